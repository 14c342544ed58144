#include "BrisendoKit/Selection/SelectionURL.h"

#include <algorithm>
#include <optional>

#include "BrisendoKit/Support/AppIdentity.h"
#include "BrisendoKit/Support/Text.h"

namespace pivorel {

namespace {

constexpr std::string_view selectHost = "select";
constexpr std::string_view defaultSource = "popclip";

bool isAsciiAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string lowercaseAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

int hexValue(char c) {
    if (isAsciiDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decodes "%XY" escapes; a "%" not followed by two hex digits stays as it is. A "+" is a
// plus sign, not a space: senders escape spaces as %20, and selections such as "C++" or
// "1+1" must arrive intact. The bytes are then repaired into valid UTF-8.
std::string percentDecoded(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            const int hi = hexValue(s[i + 1]);
            const int lo = hexValue(s[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += s[i];
    }
    return text::repairUtf8(out);
}

// Leading and trailing spaces and control characters are dropped, as browsers do with a
// typed address; a link handed over on a command line often ends with a line break.
std::string_view stripControls(std::string_view s) {
    const auto isControlOrSpace = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    while (!s.empty() && isControlOrSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isControlOrSpace(s.back())) s.remove_suffix(1);
    return s;
}

// Splits "scheme://userinfo@host:port/path?query#fragment"; nothing without a scheme.
std::optional<SelectionURL::Parts> splitStripped(std::string_view url) {
    const std::size_t colon = url.find(':');
    if (colon == std::string_view::npos || colon == 0 || !isAsciiAlpha(url[0])) {
        return std::nullopt;
    }
    for (std::size_t i = 1; i < colon; ++i) {
        const char c = url[i];
        if (!isAsciiAlpha(c) && !isAsciiDigit(c) && c != '+' && c != '-' && c != '.') {
            return std::nullopt;
        }
    }
    SelectionURL::Parts parts;
    parts.scheme = std::string(url.substr(0, colon));

    std::string_view rest = url.substr(colon + 1);
    if (const std::size_t hash = rest.find('#'); hash != std::string_view::npos) {
        rest = rest.substr(0, hash);
    }
    if (rest.starts_with("//")) {
        const std::size_t end = std::min(rest.find_first_of("/?", 2), rest.size());
        std::string_view authority = rest.substr(2, end - 2);
        if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
            authority.remove_prefix(at + 1);
        }
        std::string_view host = authority;
        if (host.starts_with('[')) {
            // An IPv6 literal: the port follows the closing bracket.
            const std::size_t close = host.find(']');
            host = host.substr(0, close == std::string_view::npos ? host.size() : close + 1);
        } else if (const std::size_t port = host.find(':'); port != std::string_view::npos) {
            host = host.substr(0, port);
        }
        parts.host = text::repairUtf8(host);
        rest = rest.substr(end);
    }
    if (const std::size_t question = rest.find('?'); question != std::string_view::npos) {
        parts.query = std::string(rest.substr(question + 1));
    }
    return parts;
}

}  // namespace

std::optional<SelectionURL::Parts> SelectionURL::split(std::string_view url) {
    return splitStripped(stripControls(url));
}

std::optional<std::string> SelectionURL::queryValue(std::string_view query, std::string_view name) {
    std::size_t begin = 0;
    while (begin <= query.size()) {
        const std::size_t end = std::min(query.find('&', begin), query.size());
        const std::string_view item = query.substr(begin, end - begin);
        const std::size_t equals = item.find('=');
        if (!item.empty() && percentDecoded(item.substr(0, equals)) == name) {
            if (equals == std::string_view::npos) return std::nullopt;
            return percentDecoded(item.substr(equals + 1));
        }
        begin = end + 1;
    }
    return std::nullopt;
}

namespace {

// The trimmed value; nothing when absent or blank.
std::optional<std::string> trimmedValue(std::string_view query, std::string_view name) {
    auto value = SelectionURL::queryValue(query, name);
    if (!value) return std::nullopt;
    std::string trimmed = text::trim(*value);
    if (trimmed.empty()) return std::nullopt;
    return trimmed;
}

}  // namespace

std::string SelectionURL::loggable(std::string_view s) {
    std::string out;
    for (const char c : text::repairUtf8(s)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            static constexpr char digits[] = "0123456789ABCDEF";
            out += '%';
            out += digits[byte >> 4];
            out += digits[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

std::string SelectionURL::ParseError::description() const {
    // The host comes from outside: escape what would break the log line apart.
    if (const auto* unknown = std::get_if<UnknownHost>(&value)) {
        return "unknownHost(" + loggable(unknown->host) + ")";
    }
    if (std::holds_alternative<WrongScheme>(value)) return "wrongScheme";
    return "emptyText";
}

Result<SelectRequest, SelectionURL::ParseError> SelectionURL::parse(std::string_view url) {
    const auto parts = split(url);
    if (!parts) return fail(ParseError{ParseError::WrongScheme{}});
    const auto& schemes = AppIdentity::urlSchemes;
    if (std::find(schemes.begin(), schemes.end(), lowercaseAscii(parts->scheme)) == schemes.end()) {
        return fail(ParseError{ParseError::WrongScheme{}});
    }
    const std::string host = lowercaseAscii(parts->host);
    if (host != selectHost) return fail(ParseError{ParseError::UnknownHost{host}});

    auto selected = trimmedValue(parts->query, "text");
    if (!selected) return fail(ParseError{ParseError::EmptyText{}});

    SelectRequest request;
    request.text = text::graphemePrefix(*selected, maxTextLength);
    const auto capped = [&](std::string_view name, std::size_t length) {
        auto value = trimmedValue(parts->query, name);
        if (value) value = text::graphemePrefix(*value, length);
        return value;
    };
    request.app = capped("app", maxAppLength);
    request.url = capped("url", maxURLLength);
    const std::string dry = lowercaseAscii(queryValue(parts->query, "dry").value_or(""));
    request.dry = dry == "1" || dry == "true" || dry == "yes";
    request.source = capped("src", maxSourceLength).value_or(std::string(defaultSource));
    request.editable = false;
    return request;
}

}  // namespace pivorel
