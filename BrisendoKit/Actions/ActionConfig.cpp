#include "BrisendoKit/Actions/ActionConfig.h"

#include <curl/curl.h>
#include <unicode/bytestream.h>
#include <unicode/idna.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <memory>
#include <random>
#include <unordered_set>

#include "BrisendoKit/Actions/BaseScores.h"
#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Support/Text.h"

namespace pivorel {

// ---------------------------------------------------------------------------------------
// CustomAction

std::string CustomAction::newID() {
    static constexpr char kHex[] = "0123456789abcdef";
    std::random_device device;
    unsigned char bytes[16];
    for (int i = 0; i < 16; i += 4) {
        const auto word = static_cast<std::uint32_t>(device());
        for (int k = 0; k < 4; ++k) bytes[i + k] = static_cast<unsigned char>(word >> (8 * k));
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    std::string id(ActionID::customPrefix);
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) id += '-';
        id += kHex[bytes[i] >> 4];
        id += kHex[bytes[i] & 0x0F];
    }
    return id;
}

std::optional<std::string> CustomAction::validationError() const {
    if (text::trim(name).empty()) return L("请填一个名称");
    return URLTemplate::validate(urlTemplate);
}

// ---------------------------------------------------------------------------------------
// ActionConfig

const std::vector<ActionID>& ActionConfig::defaultOrder() {
    static const std::vector<ActionID> order = [] {
        std::vector<ActionID> ids = ActionID::builtins();
        std::stable_sort(ids.begin(), ids.end(), [](const ActionID& a, const ActionID& b) {
            return baseScore(a).value_or(0) > baseScore(b).value_or(0);
        });
        return ids;
    }();
    return order;
}

std::vector<std::string> ActionConfig::defaultOrderStrings() {
    std::vector<std::string> raw;
    for (const ActionID& id : defaultOrder()) raw.push_back(id.rawValue);
    return raw;
}

ActionConfig ActionConfig::defaultConfig() {
    return ActionConfig{};
}

ActionConfig ActionConfig::normalized() const {
    ActionConfig result;
    result.version = currentVersion;
    result.smartRanking = smartRanking;
    result.barCount = std::clamp(barCount, barCountRange.lowerBound, barCountRange.upperBound);

    std::unordered_set<std::string> known;
    for (const ActionID& id : ActionID::builtins()) known.insert(id.rawValue);
    std::unordered_set<std::string> customIDs;
    for (const CustomAction& action : custom) {
        if (!ActionID(action.id).isCustom() || !customIDs.insert(action.id).second) continue;
        result.custom.push_back(action);
        known.insert(action.id);
    }

    result.order.clear();
    std::unordered_set<std::string> taken;
    const auto take = [&](const std::string& id) {
        if (known.count(id) && taken.insert(id).second) result.order.push_back(id);
    };
    for (const std::string& id : order) take(id);
    for (const ActionID& id : defaultOrder()) take(id.rawValue);
    for (const CustomAction& action : result.custom) take(action.id);

    for (const std::string& id : hidden) {
        if (known.count(id)) result.hidden.push_back(id);
    }
    return result;
}

std::vector<ActionID> ActionConfig::orderedActions() const {
    std::vector<ActionID> ids;
    for (std::string& raw : normalized().order) ids.emplace_back(std::move(raw));
    return ids;
}

bool ActionConfig::isHidden(const ActionID& id) const {
    return std::find(hidden.begin(), hidden.end(), id.rawValue) != hidden.end();
}

std::optional<CustomAction> ActionConfig::customAction(const ActionID& id) const {
    for (const CustomAction& action : custom) {
        if (action.id == id.rawValue) return action;
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------
// URLTemplate

namespace {

constexpr char kUpperHex[] = "0123456789ABCDEF";
// Any https page with a host serves; validation only needs "{url}" to expand to something.
constexpr std::string_view kSamplePageURL = "https://example.com/page?id=1";

void appendEscaped(std::string& out, unsigned char byte) {
    out += '%';
    out += kUpperHex[byte >> 4];
    out += kUpperHex[byte & 0x0F];
}

bool isAsciiAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isHexDigit(char c) {
    return isAsciiDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The end of "scheme" in "scheme:..." (the position of the colon), or npos.
std::size_t schemeEnd(std::string_view s) {
    if (s.empty() || !isAsciiAlpha(s[0])) return std::string_view::npos;
    for (std::size_t i = 1; i < s.size(); ++i) {
        const char c = s[i];
        if (c == ':') return i;
        if (!isAsciiAlpha(c) && !isAsciiDigit(c) && c != '+' && c != '-' && c != '.') break;
    }
    return std::string_view::npos;
}

std::string lowercaseAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// Percent-encodes the bytes no part of a URL may hold; `extra` are more to encode. A "%"
// that does not start an escape is encoded too, so the result is a well-formed URL part.
void appendURLSafe(std::string& out, std::string_view part, std::string_view extra) {
    static constexpr std::string_view kNeverAllowed = "\"<>\\^`{|}";
    bool inFragment = false;
    for (std::size_t i = 0; i < part.size(); ++i) {
        const auto byte = static_cast<unsigned char>(part[i]);
        const char c = part[i];
        bool escape = byte >= 0x80 || byte <= 0x20 || byte == 0x7F ||
                      kNeverAllowed.find(c) != std::string_view::npos ||
                      extra.find(c) != std::string_view::npos;
        if (c == '%') {
            escape = i + 2 >= part.size() || !isHexDigit(part[i + 1]) || !isHexDigit(part[i + 2]);
        }
        if (c == '#') {
            // Only the first "#" starts the fragment; later ones are data.
            escape = inFragment;
            inFragment = true;
        }
        if (escape) {
            appendEscaped(out, byte);
        } else {
            out += c;
        }
    }
}

// The ASCII (IDNA) form of a host that holds non-ASCII letters, or nothing.
std::optional<std::string> idnaHost(std::string_view host) {
    static const icu::IDNA* idna = [] {
        UErrorCode status = U_ZERO_ERROR;
        icu::IDNA* created =
            icu::IDNA::createUTS46Instance(UIDNA_USE_STD3_RULES | UIDNA_NONTRANSITIONAL_TO_ASCII |
                                               UIDNA_CHECK_BIDI | UIDNA_CHECK_CONTEXTJ,
                                           status);
        if (U_FAILURE(status)) {
            delete created;
            return static_cast<icu::IDNA*>(nullptr);
        }
        return created;
    }();
    if (!idna) return std::nullopt;
    std::string ascii;
    icu::StringByteSink<std::string> sink(&ascii);
    icu::IDNAInfo info;
    UErrorCode status = U_ZERO_ERROR;
    idna->nameToASCII_UTF8(icu::StringPiece(host.data(), static_cast<int32_t>(host.size())), sink,
                           info, status);
    if (U_FAILURE(status) || info.hasErrors()) return std::nullopt;
    return ascii;
}

// "user@host:port" with each piece made URL-safe.
std::optional<std::string> urlSafeAuthority(std::string_view authority) {
    std::string out;
    const std::size_t at = authority.rfind('@');
    std::string_view hostPort = authority;
    if (at != std::string_view::npos) {
        appendURLSafe(out, authority.substr(0, at), "@[]");
        out += '@';
        hostPort = authority.substr(at + 1);
    }
    std::size_t hostEnd;
    if (hostPort.starts_with('[')) {
        const std::size_t close = hostPort.find(']');
        hostEnd = close == std::string_view::npos ? hostPort.size() : close + 1;
    } else {
        hostEnd = std::min(hostPort.find(':'), hostPort.size());
    }
    const std::string_view host = hostPort.substr(0, hostEnd);
    if (std::any_of(host.begin(), host.end(), [](char c) { return c & 0x80; })) {
        auto ascii = idnaHost(host);
        if (!ascii) return std::nullopt;
        appendURLSafe(out, *ascii, "");
    } else {
        appendURLSafe(out, host, "");
    }
    appendURLSafe(out, hostPort.substr(hostEnd), "[]");
    return out;
}

bool isBlocked(std::string_view scheme) {
    return std::find(URLTemplate::blockedSchemes.begin(), URLTemplate::blockedSchemes.end(),
                     scheme) != URLTemplate::blockedSchemes.end();
}

struct CurlURLDeleter {
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
};

}  // namespace

std::string URLTemplate::percentEncode(std::string_view input) {
    const std::string s = text::repairUtf8(input);
    std::string out;
    out.reserve(s.size() * 3);
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t start = i;
        const char32_t c = text::decodeNext(s, i);
        bool keep;
        if (c < 0x80) {
            const char a = static_cast<char>(c);
            keep =
                isAsciiAlpha(a) || isAsciiDigit(a) || a == '-' || a == '.' || a == '_' || a == '~';
        } else {
            keep = (U_GET_GC_MASK(static_cast<UChar32>(c)) &
                    (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
        }
        if (keep) {
            out.append(s, start, i - start);
        } else {
            for (std::size_t k = start; k < i; ++k) {
                appendEscaped(out, static_cast<unsigned char>(s[k]));
            }
        }
    }
    return out;
}

std::optional<URLTemplate::Parts> URLTemplate::parse(std::string_view url) {
    if (url.find('\0') != std::string_view::npos) return std::nullopt;
    const std::size_t colon = schemeEnd(url);
    if (colon == std::string_view::npos) return std::nullopt;
    Parts parts;
    parts.scheme = lowercaseAscii(url.substr(0, colon));

    const std::string_view afterScheme = url.substr(colon + 1);
    const bool hasAuthority = afterScheme.starts_with("//");
    const std::size_t authorityEnd =
        hasAuthority ? std::min(afterScheme.find_first_of("/?#", 2), afterScheme.size()) : 0;
    const bool hasHost = hasAuthority && authorityEnd > 2;

    std::string forCurl;
    if (hasHost) {
        // curl reads file: URLs by stricter rules of its own ("file://host/" is refused);
        // only the generic syntax matters here.
        forCurl = parts.scheme == "file" ? "x-file" + std::string(url.substr(colon)) : url;
    } else {
        // curl cannot express an empty or absent authority: it reads "scheme:///path" and
        // "scheme:/path" as naming the host "path". The rest is checked under a stand-in.
        const std::string_view rest = hasAuthority ? afterScheme.substr(2) : afterScheme;
        forCurl = "x-pivorel://stand-in";
        if (!rest.empty() && rest.find_first_of("/?#") != 0) forCurl += '/';
        forCurl += rest;
    }
    std::unique_ptr<CURLU, CurlURLDeleter> handle(curl_url());
    if (!handle) return std::nullopt;
    const unsigned flags = CURLU_NON_SUPPORT_SCHEME | CURLU_URLENCODE;
    if (curl_url_set(handle.get(), CURLUPART_URL, forCurl.c_str(), flags) != CURLUE_OK) {
        return std::nullopt;
    }
    if (hasHost) {
        char* host = nullptr;
        if (curl_url_get(handle.get(), CURLUPART_HOST, &host, 0) == CURLUE_OK && host) {
            parts.host = host;
        }
        curl_free(host);
    }
    return parts;
}

std::optional<std::string> URLTemplate::makeURL(std::string_view input) {
    const std::string s = text::repairUtf8(input);
    const std::size_t colon = schemeEnd(s);
    std::string out;
    out.reserve(s.size() + 16);
    std::size_t restBegin = 0;
    if (colon != std::string::npos) {
        out.append(s, 0, colon + 1);
        restBegin = colon + 1;
        if (std::string_view(s).substr(restBegin).starts_with("//")) {
            const std::size_t authorityBegin = restBegin + 2;
            const std::size_t authorityEnd =
                std::min(s.find_first_of("/?#", authorityBegin), s.size());
            auto authority = urlSafeAuthority(
                std::string_view(s).substr(authorityBegin, authorityEnd - authorityBegin));
            if (!authority) return std::nullopt;
            out += "//";
            out += *authority;
            restBegin = authorityEnd;
        }
    }
    appendURLSafe(out, std::string_view(s).substr(restBegin), "[]");
    if (!parse(out)) return std::nullopt;
    return out;
}

std::optional<std::string> URLTemplate::expand(std::string_view urlTemplate, std::string_view text,
                                               std::optional<std::string_view> pageURL) {
    const std::string trimmed = text::trim(text::repairUtf8(urlTemplate));
    const std::string encodedText =
        percentEncode(text::graphemePrefix(text::repairUtf8(text), maxTextLength));
    const std::string encodedPage = percentEncode(pageURL.value_or(std::string_view()));

    // One pass, so nothing inserted is ever looked at for placeholders again.
    std::string expanded;
    expanded.reserve(trimmed.size() + encodedText.size() + encodedPage.size());
    for (std::size_t i = 0; i < trimmed.size();) {
        const std::string_view rest = std::string_view(trimmed).substr(i);
        if (rest.starts_with(placeholders[0])) {
            expanded += encodedText;
            i += placeholders[0].size();
        } else if (rest.starts_with(placeholders[1])) {
            expanded += encodedPage;
            i += placeholders[1].size();
        } else {
            expanded += trimmed[i++];
        }
    }
    return makeURL(expanded);
}

std::optional<std::string> URLTemplate::validate(std::string_view urlTemplate) {
    const std::string trimmed = text::trim(text::repairUtf8(urlTemplate));
    if (trimmed.empty()) return L("请填 URL 模板");
    for (std::size_t i = 0; i < trimmed.size();) {
        if (text::isWhiteSpace(text::decodeNext(trimmed, i))) return L("模板里不能有空格");
    }
    if (trimmed.find(placeholders[0]) == std::string::npos &&
        trimmed.find(placeholders[1]) == std::string::npos) {
        return L("模板里要有 {text}（会换成选中的文字）");
    }

    const std::optional<std::string> sample = expand(trimmed, "x", kSamplePageURL);
    const std::optional<Parts> parts = sample ? parse(*sample) : std::nullopt;
    // A placeholder before the first ":" would let the selected text choose the scheme
    // ("{text}://..." with the text "javascript"), past the blocked-scheme check below.
    const std::string_view beforeColon = std::string_view(trimmed).substr(0, trimmed.find(':'));
    const bool placeholderInScheme = beforeColon.find(placeholders[0]) != std::string_view::npos ||
                                     beforeColon.find(placeholders[1]) != std::string_view::npos;
    if (placeholderInScheme) return L("不是有效的链接，应形如 https://…?q={text}");
    // A blocked scheme is named even when the rest would not parse ("javascript://f(x)":
    // curl refuses the parentheses in the host): that is the more useful answer.
    const std::size_t colon = schemeEnd(trimmed);
    if (colon != std::string::npos && trimmed.compare(colon, 3, "://") == 0) {
        const std::string scheme = lowercaseAscii(std::string_view(trimmed).substr(0, colon));
        if (isBlocked(scheme)) return L("不支持 %@:// 协议", scheme);
    }
    if (!parts || parts->scheme.empty() || trimmed.find("://") == std::string::npos) {
        return L("不是有效的链接，应形如 https://…?q={text}");
    }
    if (isBlocked(parts->scheme)) return L("不支持 %@:// 协议", parts->scheme);
    // Without a page address "{url}" is empty, which can join "/" and "/" into "//" and so
    // turn what follows into a host: a template must also expand then, or it would pass
    // here and fail on the first selection made outside a browser.
    if (trimmed.find(placeholders[1]) != std::string::npos && !expand(trimmed, "x", std::nullopt)) {
        return L("不是有效的链接，应形如 https://…?q={text}");
    }
    if ((parts->scheme == "http" || parts->scheme == "https") && parts->host.empty()) {
        return L("缺少域名");
    }
    return std::nullopt;
}

}  // namespace pivorel
