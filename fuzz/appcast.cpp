// Update feeds: any bytes parse to an error or to items whose fields are valid UTF-8,
// within the size limit and carry a version; the page chosen is always a web address, and
// the newest item is newer than the version asked about. Versions compare antisymmetrically.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "BrisendoKit/Support/Text.h"
#include "BrisendoKit/Update/Appcast.h"
#include "BrisendoKit/Update/VersionComparison.h"

using namespace pivorel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto items = Appcast::parse(bytes);
    if (!items) {
        if (items.error().empty()) std::abort();
        return 0;
    }
    for (const auto& item : *items) {
        for (const std::string* field :
             {&item.title, &item.version, &item.displayVersion, &item.downloadURL,
              &item.releaseNotesURL, &item.link, &item.os}) {
            if (!text::isValidUtf8(*field) || field->size() > 3 * Appcast::maxFieldBytes) {
                std::abort();
            }
        }
        if (item.version.empty() || item.displayVersion.empty()) std::abort();
        std::string page = item.pageURL();
        for (char& c : page) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (!page.empty() && page.rfind("http://", 0) != 0 && page.rfind("https://", 0) != 0) {
            std::abort();
        }
        for (unsigned char c : page) {
            if (c <= 0x20 || c == 0x7f) std::abort();
        }
        if (compareVersions(item.version, item.version) != 0) std::abort();
        for (const auto& other : *items) {
            const int ab = compareVersions(item.version, other.version);
            const int ba = compareVersions(other.version, item.version);
            if ((ab > 0) != (ba < 0) || (ab == 0) != (ba == 0)) std::abort();
        }
    }
    if (auto newest = Appcast::newest(*items, "1.0")) {
        if (compareVersions(newest->version, "1.0") <= 0) std::abort();
    }
    return 0;
}
