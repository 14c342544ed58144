#include "BrisendoKit/Actions/ActionLinks.h"

#include <vector>

#include "BrisendoKit/Actions/ActionConfig.h"
#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Support/Text.h"

namespace pivorel {

namespace {

bool isAsciiAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

// The characters a query may hold unescaped, less the ones that delimit query items.
bool keptInQueryValue(char c) {
    static constexpr std::string_view kKept = "-._~!$'()*,;:@/?";
    return isAsciiAlpha(c) || isAsciiDigit(c) || kKept.find(c) != std::string_view::npos;
}

struct QueryItem {
    std::string_view name;
    std::string_view value;
};

std::string queryLink(std::string_view base, const std::vector<QueryItem>& items) {
    std::string link(base);
    for (std::size_t i = 0; i < items.size(); ++i) {
        link += i == 0 ? '?' : '&';
        link += ActionLinks::encodeQueryValue(items[i].name);
        link += '=';
        link += ActionLinks::encodeQueryValue(items[i].value);
    }
    return link;
}

bool isLineBreak(char32_t c) {
    return c == 0x0A || c == 0x0B || c == 0x0C || c == 0x0D || c == 0x85 || c == 0x2028 ||
           c == 0x2029;
}

// Splits at code points for which `separator` holds, dropping empty pieces.
template <class Pred>
std::vector<std::string_view> split(std::string_view s, Pred separator) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t at = i;
        if (separator(text::decodeNext(s, i))) {
            if (at > start) pieces.push_back(s.substr(start, at - start));
            start = i;
        }
    }
    if (s.size() > start) pieces.push_back(s.substr(start));
    return pieces;
}

std::string collapseWhiteSpace(std::string_view line) {
    std::string out;
    for (std::string_view word : split(line, text::isWhiteSpace)) {
        if (!out.empty()) out += ' ';
        out += word;
    }
    return out;
}

// "scheme://" at the start, the scheme being a letter then letters, digits, "+", "." or "-".
bool startsWithSchemeAndSlashes(std::string_view s) {
    if (s.empty() || !isAsciiAlpha(s[0])) return false;
    std::size_t i = 1;
    while (i < s.size() && (isAsciiAlpha(s[i]) || isAsciiDigit(s[i]) || s[i] == '+' ||
                            s[i] == '.' || s[i] == '-')) {
        ++i;
    }
    return s.substr(i).starts_with("://");
}

}  // namespace

std::string ActionLinks::encodeQueryValue(std::string_view value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const std::string repaired = text::repairUtf8(value);
    std::string out;
    out.reserve(repaired.size() * 3);
    for (const char c : repaired) {
        if (keptInQueryValue(c)) {
            out += c;
        } else {
            const auto byte = static_cast<unsigned char>(c);
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
    }
    return out;
}

std::optional<std::string> ActionLinks::google(std::string_view text) {
    return queryLink("https://" + std::string(googleHost) + "/search", {{"q", text}});
}

std::optional<std::string> ActionLinks::kagi(std::string_view text) {
    return queryLink("https://" + std::string(kagiHost) + "/search", {{"q", text}});
}

std::optional<std::string> ActionLinks::dayOne(std::string_view entry) {
    return queryLink("dayone://post", {{"entry", entry}});
}

std::optional<std::string> ActionLinks::openable(std::string_view input) {
    std::string link = text::trim(text::repairUtf8(input));
    if (!startsWithSchemeAndSlashes(link)) link.insert(0, "https://");
    // A URL holds no white space; a text with some inside is not one link.
    for (std::size_t i = 0; i < link.size();) {
        if (text::isWhiteSpace(text::decodeNext(link, i))) return std::nullopt;
    }
    std::optional<std::string> url = URLTemplate::makeURL(link);
    if (!url) return std::nullopt;
    const auto parts = URLTemplate::parse(*url);
    if (!parts || ((parts->scheme == "http" || parts->scheme == "https") && parts->host.empty())) {
        return std::nullopt;
    }
    return url;
}

std::string ActionLinks::oneLine(std::string_view input, std::size_t limit) {
    const std::string repaired = text::repairUtf8(input);
    std::string line;
    // A blank first line (spaces before a line break) says nothing: take the first with text.
    for (std::string_view piece : split(repaired, isLineBreak)) {
        line = collapseWhiteSpace(piece);
        if (!line.empty()) break;
    }
    return text::graphemePrefix(line, limit);
}

std::optional<std::string> ActionLinks::sourceLine(std::optional<std::string_view> app,
                                                   std::optional<std::string_view> url) {
    std::string line;
    if (url && !url->empty()) line = text::repairUtf8(*url);
    if (app && !app->empty()) {
        if (!line.empty()) line += " \u00B7 ";
        line += L("来自 %@", text::repairUtf8(*app));
    }
    if (line.empty()) return std::nullopt;
    return line;
}

std::string ActionLinks::flomoSanitize(std::string_view input) {
    const std::string repaired = text::repairUtf8(input);
    std::string out;
    out.reserve(repaired.size());
    for (const char c : repaired) {
        if (c == '<') {
            out += "\uFF1C";
        } else if (c == '>') {
            out += "\uFF1E";
        } else {
            out += c;
        }
    }
    return out;
}

std::string ActionLinks::flomoContent(std::string_view text, std::optional<std::string_view> app,
                                      std::optional<std::string_view> url) {
    std::string content = flomoSanitize(text::trim(text::repairUtf8(text)));
    if (const auto source = sourceLine(app, url)) {
        content += "\n\n";
        content += flomoSanitize(*source);
    }
    content += "\n\n";
    content += flomoTag;
    return content;
}

}  // namespace pivorel
