#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "BrisendoKit/Actions/ActionCatalog.h"
#include "BrisendoKit/Actions/ActionID.h"
#include "BrisendoKit/LanguageModel/AskKind.h"
#include "BrisendoKit/Support/Clock.h"
#include "BrisendoKit/Support/Signal.h"

namespace pivorel {

class AskModel;

// What the panel shows.
struct PanelMode {
    struct List {
        bool operator==(const List&) const = default;
    };
    struct Ask {
        AskKind kind;
        bool operator==(const Ask&) const = default;
    };
    struct Notice {
        std::string text;
        bool operator==(const Notice&) const = default;
    };
    using Value = std::variant<List, Ask, Notice>;

    Value value = List{};

    static PanelMode list() { return {List{}}; }
    static PanelMode ask(AskKind kind) { return {Ask{kind}}; }
    static PanelMode notice(std::string text) { return {Notice{std::move(text)}}; }
    bool isList() const { return std::holds_alternative<List>(value); }
    bool isAsk() const { return std::holds_alternative<Ask>(value); }
    bool isNotice() const { return std::holds_alternative<Notice>(value); }

    bool operator==(const PanelMode&) const = default;
};

// One row of the panel's list.
struct PanelRow {
    ActionID action;
    std::string title;
    std::string symbol;
    std::string hint;  // the muted right-hand text
    bool operator==(const PanelRow&) const = default;
};

// What one panel shows, shared by the coordinator, the panel controller and the views.
// Main thread only.
class PanelModel {
  public:
    static constexpr std::size_t maxRows = 14;

    // `sourceApp` is the display name of the application the text came from.
    PanelModel(std::string selection, std::optional<std::string> sourceApp,
               const std::vector<ActionID>& ranking, std::optional<std::string> selectionURL,
               const ActionCatalog& catalog, bool smartRanking,
               TimePoint now = std::chrono::system_clock::now());

    const std::vector<PanelRow>& rows() const { return rows_; }
    std::int64_t highlighted() const { return highlighted_; }
    const PanelMode& mode() const { return mode_; }
    void setMode(PanelMode mode);
    const std::string& selection() const { return selection_; }
    const std::optional<std::string>& sourceApp() const { return sourceApp_; }
    const std::optional<std::string>& selectionURL() const { return selectionURL_; }
    bool smartRanking() const { return smartRanking_; }

    // Moves the highlight by `delta` rows, wrapping around; nothing without rows.
    void moveHighlight(std::int64_t delta);
    // Calls onChoose for a row that exists.
    void choose(std::int64_t index);
    void chooseHighlighted();

    // The right-hand hint of a built-in action's row; `url` is not used.
    static std::string hint(const ActionID& id, const std::string& selection,
                            const std::optional<std::string>& url,
                            TimePoint now = std::chrono::system_clock::now());

    std::function<void(std::int64_t index)> onChoose;
    // The ask view's close button; the panel controller listens while it shows the model.
    Signal<> closeRequested;
    // The conversation, once an ask or a translation started.
    std::shared_ptr<AskModel> ask;

    // Emitted after the rows or the highlight change.
    Signal<> changed;
    // Emitted after the mode changes, with the new mode.
    Signal<const PanelMode&> modeChanged;

  private:
    std::vector<PanelRow> rows_;
    std::int64_t highlighted_ = 0;
    PanelMode mode_;
    std::string selection_;
    std::optional<std::string> sourceApp_;
    std::optional<std::string> selectionURL_;
    bool smartRanking_;
};

}  // namespace pivorel
