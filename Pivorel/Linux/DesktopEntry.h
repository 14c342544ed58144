#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pivorel {

// A file in the freedesktop key-file format (desktop entries): "[Group]" headers,
// "Key=value" and "Key[locale]=value" lines, "#" comments. Parsing never fails: lines that
// are neither are skipped, and bytes that are not UTF-8 are repaired.
class DesktopEntry {
  public:
    static constexpr std::string_view mainGroup = "Desktop Entry";

    static DesktopEntry parse(std::string_view text);

    bool hasGroup(std::string_view group) const;

    // The value as a string, escapes (\s \n \t \r \\) resolved; the first occurrence wins.
    std::optional<std::string> value(std::string_view key,
                                     std::string_view group = mainGroup) const;

    // The value for the first of `locales` the file has ("Key[zh_CN]"), else the plain key.
    std::optional<std::string> localizedValue(std::string_view key,
                                              const std::vector<std::string>& locales,
                                              std::string_view group = mainGroup) const;

    // The lookup order for a POSIX locale "lang_COUNTRY.ENCODING@MODIFIER":
    // lang_COUNTRY@MODIFIER, lang_COUNTRY, lang@MODIFIER, lang (the encoding is ignored).
    static std::vector<std::string> localeFallbacks(std::string_view locale);

  private:
    // group -> "Key" or "Key[locale]" -> raw value
    std::map<std::string, std::map<std::string, std::string, std::less<>>, std::less<>> groups_;
};

}  // namespace pivorel
