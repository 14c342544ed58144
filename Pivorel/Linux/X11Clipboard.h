#pragma once

#include <xcb/xcb.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "BrisendoKit/Platform/PasteboardLike.h"

namespace pivorel {

class X11Selections;

// The desktop's clipboard (the CLIPBOARD selection) as a pasteboard. A snapshot holds every
// target its owner offers except the ones that describe the selection rather than hold
// it; a restore makes us the owner, serving the saved targets until someone else copies.
// Content marked "x-kde-passwordManagerHint: secret" is not handed out as text. Any thread.
class X11Clipboard final : public PasteboardLike {
  public:
    static constexpr std::string_view passwordHint = "x-kde-passwordManagerHint";
    // Bounds of a snapshot: per target and in all. Larger targets are left out.
    static constexpr std::size_t maxTargetBytes = 8u << 20;
    static constexpr std::size_t maxSnapshotBytes = 32u << 20;

    explicit X11Clipboard(X11Selections& selections);

    std::int64_t changeCount() override;
    std::vector<Item> snapshot() override;
    void restore(const std::vector<Item>& items) override;
    std::optional<std::string> string() override;
    void setString(const std::string& text) override;

    // Targets about the selection (TARGETS, TIMESTAMP, LENGTH, ...) rather than its content.
    static bool isMetaTarget(std::string_view target);
    // Whether the offered content is marked as a secret by a password manager.
    bool holdsSecret();

  private:
    std::vector<std::string> targetNames();
    std::optional<std::string> text(std::string_view target);

    X11Selections& selections_;
    std::mutex mutex_;
    // Type and format each target came with, so a restore serves it the same way.
    std::map<std::string, std::pair<xcb_atom_t, std::uint8_t>> kinds_;
};

}  // namespace pivorel
