#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace pivorel {

// The general pasteboard (the desktop's clipboard). The copy fallback only needs the first
// four operations, so a test can stand in for it with a few lines.
class PasteboardLike {
  public:
    // One item: its bytes per type identifier ("UTF8_STRING", "text/html", ...).
    using Item = std::map<std::string, std::string>;

    virtual ~PasteboardLike() = default;

    // Increases whenever the contents change.
    virtual std::int64_t changeCount() = 0;
    // The whole contents.
    virtual std::vector<Item> snapshot() = 0;
    // Replaces the contents with `items`.
    virtual void restore(const std::vector<Item>& items) = 0;
    // The plain-text contents.
    virtual std::optional<std::string> string() = 0;
    // Clears the contents and puts `text` on as plain text.
    virtual void setString(const std::string& text) = 0;
};

}  // namespace pivorel
