#include "BrisendoKit/Update/Appcast.h"

#include <pugixml.hpp>

#include <cctype>
#include <cstring>

#include "BrisendoKit/Support/Text.h"
#include "BrisendoKit/Update/VersionComparison.h"

namespace pivorel {

namespace {

// The prefix the document binds to the Sparkle namespace ("sparkle" when it binds none;
// feeds that forget the declaration still mean it).
std::string sparklePrefix(const pugi::xml_node& root) {
    for (const auto& attr : root.attributes()) {
        const std::string_view name = attr.name();
        if (name.substr(0, 6) == "xmlns:" && attr.value() == Appcast::sparkleNamespace) {
            return std::string(name.substr(6));
        }
    }
    return "sparkle";
}

// Trimmed, valid UTF-8; nothing when it is too long to be a real field.
std::optional<std::string> field(const char* raw) {
    if (std::strlen(raw) > Appcast::maxFieldBytes) return std::nullopt;
    return text::trim(text::repairUtf8(raw));
}

bool isWebAddress(const std::string& url) {
    std::string lower;
    for (char c : url.substr(0, 8))
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const bool scheme = lower.rfind("https://", 0) == 0 || lower.rfind("http://", 0) == 0;
    if (!scheme) return false;
    const auto rest = url.substr(url.find("//") + 2);
    if (rest.empty() || rest[0] == '/') return false;
    for (unsigned char c : url) {
        if (c <= 0x20 || c == 0x7f) return false;
    }
    return true;
}

}  // namespace

std::string AppcastItem::pageURL() const {
    for (const std::string* url : {&link, &downloadURL, &releaseNotesURL}) {
        if (isWebAddress(*url)) return *url;
    }
    return {};
}

Result<std::vector<AppcastItem>, std::string> Appcast::parse(std::string_view xml) {
    pugi::xml_document doc;
    const auto loaded =
        doc.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_auto);
    if (!loaded) {
        return fail("malformed XML: " + std::string(loaded.description()) + " at offset " +
                    std::to_string(loaded.offset));
    }
    const pugi::xml_node rss = doc.child("rss");
    const pugi::xml_node channel = rss.child("channel");
    if (!rss || !channel) return fail(std::string("not an RSS feed"));

    const std::string prefix = sparklePrefix(rss);
    const std::string versionName = prefix + ":version";
    const std::string shortName = prefix + ":shortVersionString";
    const std::string osName = prefix + ":os";
    const std::string notesName = prefix + ":releaseNotesLink";

    std::vector<AppcastItem> items;
    for (const pugi::xml_node& node : channel.children("item")) {
        const pugi::xml_node enclosure = node.child("enclosure");
        // The element form wins over the enclosure's attributes, as it is the newer form.
        const char* version = node.child(versionName.c_str()).child_value();
        if (!*version) version = enclosure.attribute(versionName.c_str()).value();
        const char* shortVersion = node.child(shortName.c_str()).child_value();
        if (!*shortVersion) shortVersion = enclosure.attribute(shortName.c_str()).value();

        const auto fVersion = field(version);
        const auto fShort = field(shortVersion);
        const auto fTitle = field(node.child("title").child_value());
        const auto fURL = field(enclosure.attribute("url").value());
        const auto fNotes = field(node.child(notesName.c_str()).child_value());
        const auto fLink = field(node.child("link").child_value());
        const auto fOs = field(enclosure.attribute(osName.c_str()).value());
        if (!fVersion || !fShort || !fTitle || !fURL || !fNotes || !fLink || !fOs) continue;
        if (fVersion->empty()) continue;

        AppcastItem item;
        item.title = *fTitle;
        item.version = *fVersion;
        item.displayVersion = fShort->empty() ? *fVersion : *fShort;
        item.downloadURL = *fURL;
        item.releaseNotesURL = *fNotes;
        item.link = *fLink;
        item.os = *fOs;
        items.push_back(std::move(item));
    }
    return items;
}

std::optional<AppcastItem> Appcast::newest(const std::vector<AppcastItem>& items,
                                           std::string_view current) {
    const AppcastItem* best = nullptr;
    for (const auto& item : items) {
        if (!item.os.empty() && item.os != "linux") continue;
        if (compareVersions(item.version, current) <= 0) continue;
        if (!best || compareVersions(item.version, best->version) > 0) best = &item;
    }
    if (!best) return std::nullopt;
    return *best;
}

}  // namespace pivorel
