#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <variant>

#include "BrisendoKit/Selection/SelectionDetector.h"
#include "BrisendoKit/Support/Geometry.h"

namespace pivorel {

class Accessibility;
class PasteboardLike;
class Workspace;

// Finds out which text is selected right now, in which application, and whether it is
// editable, through the accessibility port; for applications the user listed, and only when
// the caller allows it, through the copy fallback. Never fails: every outcome is a read
// result with its reason. readForBar blocks (accessibility time-outs, the fallback's
// polling) and runs on a worker thread; read and performEdit run on the main thread.
class SelectionReader {
  public:
    static constexpr std::size_t maxTextLength = 20000;
    static const std::array<std::string_view, 18> nonTextRoles;
    static const std::array<std::string_view, 3> editableRoles;

    struct BarRead {
        SelectionDetector::ReadResult result;
        std::optional<std::string> app;
        std::optional<std::string> url;
        bool editable = false;
        // Shown but never written to the history: the text may come from a password field
        // that the accessibility service cannot see into.
        bool unrecorded = false;
        bool operator==(const BarRead&) const = default;
    };

    // The hot key's read.
    struct Selection {
        std::string text;
        std::optional<std::string> app;
        std::optional<std::string> url;
        bool operator==(const Selection&) const = default;
    };
    enum class Failure { notTrusted, noSelection };

    enum class EditCommand { copy, cut, paste };
    enum class EditResult { pressed, disabled, noMenu };

    // `pause` waits one polling interval of the copy fallback (a sleep; tests count).
    SelectionReader(Accessibility& accessibility, Workspace& workspace, PasteboardLike& pasteboard,
                    std::function<void()> pause = {});

    // What the bar's read can learn before the selection is there: the frontmost
    // application, its document's address and the role under the press point. Blocks like
    // readForBar; the watcher looks it up while the read waits its delay.
    struct Context {
        std::optional<std::string> app;
        std::optional<std::string> url;
        std::optional<std::string> pressRole;
    };
    Context context(Point downPoint) const;

    // `known`: the context looked up earlier for the same press.
    BarRead readForBar(Point downPoint, const std::set<std::string>& copyFallbackApps,
                       bool allowCopy, const std::optional<Context>& known = std::nullopt) const;
    std::variant<Selection, Failure> read() const;
    EditResult performEdit(EditCommand command, const std::optional<std::string>& bundleID) const;

    static char menuKey(EditCommand command);

  private:
    std::optional<std::string> selectedText(const std::optional<std::string>& app) const;
    std::optional<std::string> documentURL(const std::optional<std::string>& app) const;
    bool focusedIsEditable(const std::optional<std::string>& app) const;

    Accessibility& accessibility_;
    Workspace& workspace_;
    PasteboardLike& pasteboard_;
    std::function<void()> pause_;
};

}  // namespace pivorel
