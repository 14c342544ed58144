#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrisendoKit/Support/Result.h"

namespace pivorel {

// One release in an appcast feed.
struct AppcastItem {
    std::string title;
    std::string version;         // what is compared ("sparkle:version")
    std::string displayVersion;  // what people read ("sparkle:shortVersionString", else version)
    std::string downloadURL;     // the enclosure
    std::string releaseNotesURL;
    std::string link;  // the release's web page
    std::string os;    // empty: any system

    // The page that gets the user to the update: the release's page, else the download,
    // else the release notes; only http and https addresses count. Empty when none does.
    std::string pageURL() const;
    bool operator==(const AppcastItem&) const = default;
};

// The update feed: RSS 2.0 with the Sparkle namespace, in either the attribute form
// (<enclosure sparkle:version="…">) or the element form (<sparkle:version>…).
struct Appcast {
    Appcast() = delete;

    static constexpr std::string_view sparkleNamespace =
        "http://www.andymatuschak.org/xml-namespaces/sparkle";
    static constexpr std::size_t maxFieldBytes = 2048;

    // The items that carry a version, in feed order; an error text for a document that is
    // not well-formed XML or not an RSS channel. Text is repaired to valid UTF-8; fields
    // longer than maxFieldBytes are dropped with their item.
    static Result<std::vector<AppcastItem>, std::string> parse(std::string_view xml);

    // The newest item for this system ("linux" or no os) that is newer than `current`.
    static std::optional<AppcastItem> newest(const std::vector<AppcastItem>& items,
                                             std::string_view current);
};

}  // namespace pivorel
