#include "Pivorel/Linux/AtSpiNames.h"

#include <atspi/atspi-constants.h>

#include <algorithm>
#include <cctype>
#include <vector>

namespace pivorel {

namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return std::string(s);
}

// One accelerator: its modifiers and its key, both lower-cased. "<Control><Shift>c" and
// "Ctrl+Shift+C" both give {"control", "shift"} and "c".
bool parseAccelerator(std::string_view text, std::vector<std::string>& modifiers,
                      std::string& key) {
    const std::string s = lower(trimmed(text));
    if (s.empty()) return false;
    if (s.front() == '<') {
        std::size_t i = 0;
        while (i < s.size() && s[i] == '<') {
            const auto close = s.find('>', i);
            if (close == std::string::npos) return false;
            modifiers.push_back(s.substr(i + 1, close - i - 1));
            i = close + 1;
        }
        key = s.substr(i);
    } else {
        std::size_t start = 0;
        for (;;) {
            // "Ctrl++" binds the plus key: a '+' right after a separator is the key.
            const auto plus = s.find('+', start + 1);
            if (plus == std::string::npos) break;
            modifiers.push_back(s.substr(start, plus - start));
            start = plus + 1;
        }
        key = s.substr(start);
    }
    return !key.empty();
}

bool isControl(const std::string& modifier) {
    return modifier == "control" || modifier == "ctrl" || modifier == "primary" ||
           modifier == "ctl";
}

}  // namespace

bool AtSpiNames::hasState(std::uint64_t states, std::uint32_t state) {
    return state < 64 && (states >> state) & 1u;
}

std::optional<std::string> AtSpiNames::subrole(std::uint32_t atspiRole) {
    if (atspiRole == ATSPI_ROLE_PASSWORD_TEXT) return std::string(secureSubrole);
    return std::nullopt;
}

bool AtSpiNames::isContainer(std::uint32_t atspiRole) {
    switch (atspiRole) {
        case ATSPI_ROLE_PAGE_TAB_LIST:
        case ATSPI_ROLE_FILLER:
        case ATSPI_ROLE_PANEL:
        case ATSPI_ROLE_SCROLL_PANE:
        case ATSPI_ROLE_VIEWPORT:
        case ATSPI_ROLE_SPLIT_PANE:
        case ATSPI_ROLE_LAYERED_PANE:
        case ATSPI_ROLE_ROOT_PANE:
        case ATSPI_ROLE_GLASS_PANE:
        case ATSPI_ROLE_INTERNAL_FRAME:
        case ATSPI_ROLE_FRAME:
        case ATSPI_ROLE_WINDOW:
        case ATSPI_ROLE_SECTION:
        case ATSPI_ROLE_GROUPING:
            return true;
        default:
            return false;
    }
}

std::string AtSpiNames::role(std::uint32_t atspiRole, std::uint64_t states) {
    const bool multiLine = hasState(states, ATSPI_STATE_MULTI_LINE);
    const bool editable = hasState(states, ATSPI_STATE_EDITABLE);
    switch (atspiRole) {
        case ATSPI_ROLE_PUSH_BUTTON:
        case ATSPI_ROLE_TOGGLE_BUTTON:
            return "AXButton";
        case ATSPI_ROLE_SCROLL_BAR:
            return "AXScrollBar";
        case ATSPI_ROLE_TOOL_BAR:
            return "AXToolbar";
        case ATSPI_ROLE_MENU_BAR:
            return "AXMenuBar";
        case ATSPI_ROLE_MENU:
        case ATSPI_ROLE_POPUP_MENU:
            return "AXMenu";
        case ATSPI_ROLE_MENU_ITEM:
        case ATSPI_ROLE_CHECK_MENU_ITEM:
        case ATSPI_ROLE_RADIO_MENU_ITEM:
        case ATSPI_ROLE_TEAROFF_MENU_ITEM:
            return "AXMenuItem";
        case ATSPI_ROLE_SLIDER:
        case ATSPI_ROLE_DIAL:
            return "AXSlider";
        case ATSPI_ROLE_CHECK_BOX:
            return "AXCheckBox";
        case ATSPI_ROLE_RADIO_BUTTON:
        case ATSPI_ROLE_PAGE_TAB:
            return "AXRadioButton";
        case ATSPI_ROLE_COMBO_BOX:
            // A drop-down list without a text field pops up; one with a field is typed in.
            return editable ? "AXComboBox" : "AXPopUpButton";
        case ATSPI_ROLE_PAGE_TAB_LIST:
            return "AXTabGroup";
        case ATSPI_ROLE_SEPARATOR:
            return "AXSplitter";
        case ATSPI_ROLE_LEVEL_BAR:
        case ATSPI_ROLE_PROGRESS_BAR:
            return "AXProgressIndicator";
        case ATSPI_ROLE_TEXT:
        case ATSPI_ROLE_ENTRY:
            return multiLine ? "AXTextArea" : "AXTextField";
        case ATSPI_ROLE_PASSWORD_TEXT:
        case ATSPI_ROLE_SPIN_BUTTON:
        case ATSPI_ROLE_EDITBAR:
            return "AXTextField";
        case ATSPI_ROLE_TERMINAL:
            // What a terminal shows is output: a selection there cannot be cut or replaced.
            return "AXStaticText";
        case ATSPI_ROLE_DOCUMENT_WEB:
        case ATSPI_ROLE_DOCUMENT_FRAME:
        case ATSPI_ROLE_DOCUMENT_EMAIL:
            return "AXWebArea";
        case ATSPI_ROLE_DOCUMENT_TEXT:
            return "AXTextArea";
        case ATSPI_ROLE_LABEL:
        case ATSPI_ROLE_STATIC:
        case ATSPI_ROLE_PARAGRAPH:
        case ATSPI_ROLE_CAPTION:
            return "AXStaticText";
        case ATSPI_ROLE_HEADING:
            return "AXHeading";
        case ATSPI_ROLE_LINK:
            return "AXLink";
        case ATSPI_ROLE_IMAGE:
        case ATSPI_ROLE_ICON:
            return "AXImage";
        case ATSPI_ROLE_LIST:
        case ATSPI_ROLE_LIST_BOX:
            return "AXList";
        case ATSPI_ROLE_TABLE:
            return "AXTable";
        case ATSPI_ROLE_TREE:
        case ATSPI_ROLE_TREE_TABLE:
            return "AXOutline";
        case ATSPI_ROLE_TABLE_CELL:
        case ATSPI_ROLE_LIST_ITEM:
        case ATSPI_ROLE_TREE_ITEM:
            return "AXCell";
        case ATSPI_ROLE_TABLE_ROW:
            return "AXRow";
        case ATSPI_ROLE_SCROLL_PANE:
            return "AXScrollArea";
        case ATSPI_ROLE_SPLIT_PANE:
            return "AXSplitGroup";
        case ATSPI_ROLE_FRAME:
        case ATSPI_ROLE_WINDOW:
        case ATSPI_ROLE_DIALOG:
        case ATSPI_ROLE_ALERT:
        case ATSPI_ROLE_FILE_CHOOSER:
            return "AXWindow";
        case ATSPI_ROLE_PANEL:
        case ATSPI_ROLE_FILLER:
        case ATSPI_ROLE_SECTION:
        case ATSPI_ROLE_GROUPING:
        case ATSPI_ROLE_FORM:
            return "AXGroup";
        default:
            return "AXUnknown";
    }
}

bool AtSpiNames::isControlShortcut(std::string_view binding, char key) {
    const std::string wanted(1, static_cast<char>(std::tolower(static_cast<unsigned char>(key))));
    std::size_t start = 0;
    while (start <= binding.size()) {
        auto end = binding.find(';', start);
        if (end == std::string_view::npos) end = binding.size();
        std::vector<std::string> modifiers;
        std::string accelKey;
        if (parseAccelerator(binding.substr(start, end - start), modifiers, accelKey) &&
            accelKey == wanted && modifiers.size() == 1 && isControl(modifiers.front())) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

}  // namespace pivorel
