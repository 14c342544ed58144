// A URL template and a selection: expansion gives an ASCII URL that parses again, or
// nothing; validation and the catalog's hint never crash.
#include <curl/curl.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "BrisendoKit/Actions/ActionCatalog.h"
#include "BrisendoKit/Actions/ActionConfig.h"
#include "BrisendoKit/Support/Text.h"

using namespace pivorel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Template, text and page address, separated by the first two 0xFF bytes.
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t first = input.find('\xFF');
    const std::string_view urlTemplate = input.substr(0, first);
    std::string_view text, page;
    bool hasPage = false;
    if (first != std::string_view::npos) {
        const std::string_view rest = input.substr(first + 1);
        const std::size_t second = rest.find('\xFF');
        text = rest.substr(0, second);
        if (second != std::string_view::npos) {
            page = rest.substr(second + 1);
            hasPage = true;
        }
    }

    const auto url =
        URLTemplate::expand(urlTemplate, text, hasPage ? std::optional(page) : std::nullopt);
    if (url) {
        for (const char c : *url) {
            if (c <= 0x20 || c >= 0x7F) std::abort();
        }
        const auto parts = URLTemplate::parse(*url);
        if (!parts) std::abort();
        // curl itself takes a URL with a host as it is (file: URLs excepted: curl reads
        // those by its own rules; without a host, curl would misread the path as one).
        if (!parts->host.empty() && parts->scheme != "file") {
            CURLU* u = curl_url();
            const CURLUcode rc =
                curl_url_set(u, CURLUPART_URL, url->c_str(), CURLU_NON_SUPPORT_SCHEME);
            curl_url_cleanup(u);
            if (rc != CURLUE_OK) std::abort();
        }
        // Encoding is idempotent on its own output.
        if (URLTemplate::makeURL(*url) != url) std::abort();
    }

    const bool valid = !URLTemplate::validate(urlTemplate).has_value();
    ActionConfig config;
    config.custom = {CustomAction{"custom:f", "f", "link", std::string(urlTemplate), {}}};
    (void)ActionCatalog(config).hint(ActionID("custom:f"));
    // A template that validates expands for every text, unless the text lands in the host
    // (a host cannot hold percent escapes). Selections are never empty; an empty text could
    // join "/{text}/" into "//" and so make an authority. Without a page, "{url}" is empty.
    if (valid && !text.empty()) {
        const auto textInHost = [](std::string t) {
            const std::size_t colon = t.find(':');
            if (colon == std::string::npos || t.compare(colon, 3, "://") != 0) return false;
            const std::string authority =
                t.substr(colon + 3, t.find_first_of("/?#", colon + 3) - colon - 3);
            return authority.find('{') != std::string::npos;
        };
        std::string t = text::trim(text::repairUtf8(urlTemplate));
        const bool inHost = textInHost(t);
        for (std::size_t at; (at = t.find("{url}")) != std::string::npos;) t.erase(at, 5);
        if (!inHost && !textInHost(t) && !URLTemplate::expand(urlTemplate, text, std::nullopt)) {
            std::abort();
        }
    }
    return 0;
}
