#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace pivorel {

// The links that hand a selection to another program or site, and the text of a flomo
// note. Pure functions; text that is not valid UTF-8 is repaired first.
class ActionLinks {
  public:
    ActionLinks() = delete;

    static constexpr std::string_view flomoTag = "#pivorel";
    static constexpr std::string_view googleHost = "www.google.com";
    static constexpr std::string_view kagiHost = "kagi.com";

    // Web searches for the whole text (nothing trimmed, no length limit).
    static std::optional<std::string> google(std::string_view text);
    static std::optional<std::string> kagi(std::string_view text);
    // Day One's new-entry link.
    static std::optional<std::string> dayOne(std::string_view entry);

    // The link a selected link text stands for: trimmed, with "https://" put in front when it
    // names no scheme. Nothing when that is not a URL.
    static std::optional<std::string> openable(std::string_view text);

    // The first line that is not blank, its whitespace runs collapsed to one space, cut to
    // `limit` characters.
    static std::string oneLine(std::string_view text, std::size_t limit);

    // "<page address> · 来自 <app>" (localized), with either part left out when missing or
    // empty; nothing when both are.
    static std::optional<std::string> sourceLine(std::optional<std::string_view> app,
                                                 std::optional<std::string_view> url);

    // "<" and ">" become their full-width forms, so flomo never reads the text as markup.
    static std::string flomoSanitize(std::string_view text);

    // The note: the trimmed text, a blank line and the source line when there is one, a
    // blank line and flomoTag.
    static std::string flomoContent(std::string_view text, std::optional<std::string_view> app,
                                    std::optional<std::string_view> url);

    // Percent-encodes a query item's name or value: what a query may hold stays, except
    // "&", "=" and "+", which would end or change the item.
    static std::string encodeQueryValue(std::string_view value);
};

}  // namespace pivorel
