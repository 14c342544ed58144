#include "BrisendoKit/Actions/ExtensionCatalogStore.h"

#include "BrisendoKit/Actions/HttpTransfer.h"
#include "BrisendoKit/Support/AppIdentity.h"
#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/Log.h"

namespace pivorel {

std::filesystem::path ExtensionCatalogStore::defaultCacheURL() {
    return AppIdentity::supportDirectory() / cacheFileName;
}

Result<std::string, std::string> ExtensionCatalogStore::networkFetch(const std::string& url) {
    HttpTransfer::Request request;
    request.url = url;
    request.headers = {"User-Agent: " + std::string(userAgent), "Cache-Control: no-cache",
                       "Pragma: no-cache"};
    request.timeoutSeconds = fetchTimeoutSeconds;
    request.followRedirects = true;
    request.maxBodyBytes = maxCatalogBytes;
    auto response = HttpTransfer::perform(request);
    if (!response) return fail(response.error());
    if (response->status != 200) {
        return fail("bad server response: HTTP " + std::to_string(response->status));
    }
    return std::move(response->body);
}

ExtensionCatalog ExtensionCatalogStore::current() const {
    const auto bytes = fileio::readFile(cacheURL, maxCatalogBytes);
    std::optional<ExtensionCatalog> cached;
    if (bytes) cached = ExtensionCatalog::decode(*bytes);
    return ExtensionCatalog::merged(ExtensionCatalog::builtin(), cached);
}

std::optional<ExtensionCatalog> ExtensionCatalogStore::refresh() const {
    if (!fetch) return std::nullopt;
    const auto bytes = fetch(remoteURL);
    if (!bytes) {
        Log::write("Pivorel: 扩展目录刷新失败 reason=" + bytes.error());
        return std::nullopt;
    }
    auto remote = ExtensionCatalog::decode(*bytes);
    if (!remote) {
        Log::write("Pivorel: 扩展目录刷新失败 reason=无法解析");
        return std::nullopt;
    }
    if (!fileio::writeFileAtomically(cacheURL, *bytes)) {
        Log::write("Pivorel: 扩展目录缓存写入失败");
    }
    return ExtensionCatalog::merged(ExtensionCatalog::builtin(), remote);
}

}  // namespace pivorel
