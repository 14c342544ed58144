#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "BrisendoKit/Actions/ActionConfig.h"
#include "BrisendoKit/Support/Signal.h"

namespace pivorel {

// The custom-action editor without its widgets: name, symbol and URL template, the checks
// run on save, and whether the symbol name is one the program can draw (else a grid of
// symbols to pick from is offered). Main thread.
class CustomActionForm {
  public:
    enum class Field { name, urlTemplate };
    struct Error {
        Field field;  // the field the message stands under
        std::string message;
        bool operator==(const Error&) const = default;
    };
    // Whether the program has a glyph for a symbol name.
    using KnownSymbol = std::function<bool(std::string_view)>;

    static constexpr std::string_view unknownSymbolPreview = "questionmark.square.dashed";
    static constexpr std::string_view templatePlaceholder =
        "https://www.google.com/search?q={text}";

    // A new action.
    explicit CustomActionForm(KnownSymbol known);
    // Editing `existing`; saving keeps its id and preset.
    CustomActionForm(const CustomAction& existing, KnownSymbol known);

    bool isNew() const { return !existing_; }
    std::string title() const;

    const std::string& name() const { return name_; }
    const std::string& symbol() const { return symbol_; }
    const std::string& urlTemplate() const { return urlTemplate_; }
    void setName(std::string value);
    void setSymbol(std::string value);
    void setURLTemplate(std::string value);

    bool symbolKnown() const;
    // What the icon preview draws.
    std::string previewSymbol() const;

    // The message of the last failed save; cleared by the next edit.
    const std::optional<Error>& error() const { return error_; }

    // Runs the checks; the action to store (fields trimmed), or nothing with error() set.
    std::optional<CustomAction> submit();

    static std::string templateHelp();

    Signal<> changed;

  private:
    void edited();

    std::optional<CustomAction> existing_;
    KnownSymbol known_;
    std::string name_;
    std::string symbol_;
    std::string urlTemplate_;
    std::optional<Error> error_;
};

}  // namespace pivorel
