#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "BrisendoKit/Storage/SelectRequest.h"
#include "BrisendoKit/Support/Result.h"

namespace pivorel {

// Turns an inbound "pivorel://select?text=…" link into a selection request. Pure.
struct SelectionURL {
    SelectionURL() = delete;

    static constexpr std::size_t maxTextLength = 20000;
    // Grapheme clusters kept of the other fields: an application id, a page address and a
    // source name are short; a link must not fill the history with them.
    static constexpr std::size_t maxAppLength = 256;
    static constexpr std::size_t maxURLLength = 4096;
    static constexpr std::size_t maxSourceLength = 64;

    struct ParseError {
        struct UnknownHost {
            std::string host;  // lower-cased
            bool operator==(const UnknownHost&) const = default;
        };
        struct WrongScheme {
            bool operator==(const WrongScheme&) const = default;
        };
        struct EmptyText {
            bool operator==(const EmptyText&) const = default;
        };
        std::variant<UnknownHost, WrongScheme, EmptyText> value;

        // For the log line: "unknownHost(foo)", "wrongScheme", "emptyText".
        std::string description() const;
        bool operator==(const ParseError&) const = default;
    };

    static Result<SelectRequest, ParseError> parse(std::string_view url);

    // A link's scheme and host as written (host without user and port) and its raw query.
    struct Parts {
        std::string scheme;
        std::string host;
        std::string query;
    };
    // Leading and trailing spaces and control characters are ignored; nothing when the link
    // names no scheme.
    static std::optional<Parts> split(std::string_view url);
    // The percent-decoded value of the first query item named exactly `name`; nothing when
    // there is none or that item has no "=". "+" stays a plus sign.
    static std::optional<std::string> queryValue(std::string_view query, std::string_view name);
    // Text from a link made safe for one log line: control characters become %XX.
    static std::string loggable(std::string_view s);
};

}  // namespace pivorel
