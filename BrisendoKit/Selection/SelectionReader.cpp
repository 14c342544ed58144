#include "BrisendoKit/Selection/SelectionReader.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <thread>
#include <utility>

#include "BrisendoKit/Platform/Accessibility.h"
#include "BrisendoKit/Platform/PasteboardLike.h"
#include "BrisendoKit/Platform/Workspace.h"
#include "BrisendoKit/Selection/CopyFallback.h"
#include "BrisendoKit/Support/Text.h"

namespace pivorel {

const std::array<std::string_view, 18> SelectionReader::nonTextRoles{
    "AXButton",      "AXScrollBar", "AXToolbar",  "AXMenuBar",  "AXMenuBarItem",    "AXMenuItem",
    "AXMenuButton",  "AXMenu",      "AXSlider",   "AXCheckBox", "AXRadioButton",    "AXPopUpButton",
    "AXIncrementor", "AXSplitter",  "AXDockItem", "AXGrowArea", "AXValueIndicator", "AXTabGroup"};

const std::array<std::string_view, 3> SelectionReader::editableRoles{"AXTextField", "AXTextArea",
                                                                     "AXComboBox"};

namespace {

using ReadResult = SelectionDetector::ReadResult;

constexpr std::string_view secureSubrole = "AXSecureTextField";
constexpr char copyKey = 'C';

template <std::size_t N>
bool contains(const std::array<std::string_view, N>& list, std::string_view value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// Browsers and text objects stand an object replacement character (U+FFFC) in for an
// embedded image or widget; it is nothing the user can act on.
std::string withoutObjects(std::string s) {
    constexpr std::string_view object = "\xEF\xBF\xBC";
    for (auto at = s.find(object); at != std::string::npos; at = s.find(object, at)) {
        s.erase(at, object.size());
    }
    return s;
}

// What a password field shows: nothing but bullets (U+25CF or U+2022).
bool onlyBullets(std::string_view s) {
    if (s.empty()) return false;
    while (!s.empty()) {
        if (s.starts_with("\xE2\x97\x8F") || s.starts_with("\xE2\x80\xA2")) {
            s.remove_prefix(3);
        } else {
            return false;
        }
    }
    return true;
}

std::optional<std::string> repaired(std::optional<std::string> s) {
    if (s) *s = text::repairUtf8(*s);
    return s;
}

// The trimmed selected text, from the desktop-wide selection first, then the frontmost
// application's focused element; the first that is not blank wins.
std::optional<std::string> accessibilityText(Accessibility& accessibility,
                                             const std::optional<std::string>& app,
                                             std::size_t limit) {
    const Accessibility::Scope scopes[] = {Accessibility::Scope::systemWide,
                                           Accessibility::Scope::application};
    for (const auto scope : scopes) {
        if (scope == Accessibility::Scope::application && !app) break;
        const auto raw = accessibility.selectedText(scope, app, limit);
        if (!raw) continue;
        std::string trimmed = text::trim(withoutObjects(text::repairUtf8(*raw)));
        if (!trimmed.empty()) return trimmed;
    }
    return std::nullopt;
}

// More than `limit` characters, counting no further than needed.
bool longerThan(std::string_view s, std::size_t limit) {
    // A character takes at least one byte.
    if (s.size() <= limit) return false;
    return text::graphemePrefix(s, limit).size() < s.size();
}

}  // namespace

SelectionReader::SelectionReader(Accessibility& accessibility, Workspace& workspace,
                                 PasteboardLike& pasteboard, std::function<void()> pause)
    : accessibility_(accessibility),
      workspace_(workspace),
      pasteboard_(pasteboard),
      pause_(std::move(pause)) {
    if (!pause_) {
        pause_ = [] {
            std::this_thread::sleep_for(std::chrono::duration<double>(CopyFallback::defaultPause));
        };
    }
}

SelectionReader::Context SelectionReader::context(Point downPoint) const {
    Context c;
    c.app = repaired(workspace_.frontmostApp());
    c.url = documentURL(c.app);
    c.pressRole = accessibility_.roleAt(downPoint);
    return c;
}

SelectionReader::BarRead SelectionReader::readForBar(Point downPoint,
                                                     const std::set<std::string>& copyFallbackApps,
                                                     bool allowCopy,
                                                     const std::optional<Context>& known) const {
    if (!accessibility_.isTrusted()) {
        return {ReadResult::Unavailable{"not-trusted"}, std::nullopt, std::nullopt, false};
    }
    const Context c = known ? *known : context(downPoint);
    const std::optional<std::string>& app = c.app;
    const auto answer = [&](ReadResult result, bool editable = false) {
        return BarRead{std::move(result), app, c.url, editable};
    };

    // A press that started on a button or a scroll bar selected nothing, even when some text
    // elsewhere in the window still is.
    if (c.pressRole && contains(nonTextRoles, *c.pressRole)) {
        return answer(ReadResult::Ignored{"non-text-target"});
    }
    // Asked even when the frontmost application is unknown: a password must never be read.
    if (accessibility_.focusedSubrole(app) == secureSubrole) {
        return answer(ReadResult::Ignored{"secure-field"});
    }

    if (auto selected = selectedText(app)) {
        if (longerThan(*selected, maxTextLength)) return answer(ReadResult::Ignored{"too-long"});
        if (onlyBullets(*selected)) return answer(ReadResult::Ignored{"secure-field"});
        const bool editable = focusedIsEditable(app);
        auto read = answer(ReadResult::Text{std::move(*selected)}, editable);
        read.unrecorded = accessibility_.focusHidden(app);
        return read;
    }

    if (allowCopy && app && copyFallbackApps.contains(*app)) {
        const auto trigger = [&] { return accessibility_.pressMenu(*app, copyKey) == true; };
        auto copied =
            CopyFallback::read(pasteboard_, trigger, pause_, CopyFallback::defaultMaxChecks);
        if (!copied) {
            return answer(ReadResult::Empty{"copy-" + std::string(toString(copied.error()))});
        }
        std::string text = withoutObjects(std::move(copied).value());
        if (text::trim(text).empty()) {
            return answer(
                ReadResult::Empty{"copy-" + std::string(toString(CopyFallback::Failure::notText))});
        }
        auto read = answer(ReadResult::Text{std::move(text)});
        read.unrecorded = accessibility_.focusHidden(app);
        return read;
    }
    return answer(ReadResult::Empty{"no-selection"});
}

std::variant<SelectionReader::Selection, SelectionReader::Failure> SelectionReader::read() const {
    if (!accessibility_.isTrusted()) return Failure::notTrusted;
    const std::optional<std::string> app = repaired(workspace_.frontmostApp());
    // The hot key reads whatever is selected, however long.
    auto selected = accessibilityText(accessibility_, app, std::numeric_limits<std::size_t>::max());
    if (!selected) return Failure::noSelection;
    return Selection{std::move(*selected), app, documentURL(app)};
}

SelectionReader::EditResult SelectionReader::performEdit(
    EditCommand command, const std::optional<std::string>& bundleID) const {
    if (!accessibility_.isTrusted()) return EditResult::noMenu;
    std::optional<std::string> target;
    if (bundleID) {
        for (const auto& running : workspace_.runningApps()) {
            if (running.bundleID == *bundleID) {
                target = running.bundleID;
                break;
            }
        }
    }
    if (!target) target = workspace_.frontmostApp();
    if (!target) return EditResult::noMenu;
    const std::optional<bool> pressed = accessibility_.pressMenu(*target, menuKey(command));
    if (!pressed) return EditResult::noMenu;
    return *pressed ? EditResult::pressed : EditResult::disabled;
}

char SelectionReader::menuKey(EditCommand command) {
    switch (command) {
        case EditCommand::copy:
            return 'C';
        case EditCommand::cut:
            return 'X';
        case EditCommand::paste:
            return 'V';
    }
    return 'C';
}

std::optional<std::string> SelectionReader::selectedText(
    const std::optional<std::string>& app) const {
    return accessibilityText(accessibility_, app, maxTextLength);
}

std::optional<std::string> SelectionReader::documentURL(
    const std::optional<std::string>& app) const {
    auto url = repaired(accessibility_.documentURL(app));
    if (!url || !url->starts_with("http")) return std::nullopt;
    return url;
}

bool SelectionReader::focusedIsEditable(const std::optional<std::string>& app) const {
    if (const auto role = accessibility_.focusedRole(app); role && contains(editableRoles, *role)) {
        return true;
    }
    return accessibility_.isSelectedTextSettable(app);
}

}  // namespace pivorel
