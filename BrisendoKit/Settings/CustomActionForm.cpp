#include "BrisendoKit/Settings/CustomActionForm.h"

#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Support/Text.h"

namespace pivorel {

CustomActionForm::CustomActionForm(KnownSymbol known) : known_(std::move(known)) {}

CustomActionForm::CustomActionForm(const CustomAction& existing, KnownSymbol known)
    : existing_(existing),
      known_(std::move(known)),
      name_(existing.name),
      symbol_(existing.symbol),
      urlTemplate_(existing.urlTemplate) {}

std::string CustomActionForm::title() const {
    return isNew() ? L("新的自定义动作") : L("编辑自定义动作");
}

void CustomActionForm::edited() {
    error_.reset();
    changed.emit();
}

void CustomActionForm::setName(std::string value) {
    name_ = std::move(value);
    edited();
}

void CustomActionForm::setSymbol(std::string value) {
    symbol_ = std::move(value);
    edited();
}

void CustomActionForm::setURLTemplate(std::string value) {
    urlTemplate_ = std::move(value);
    edited();
}

bool CustomActionForm::symbolKnown() const {
    const std::string trimmed = text::trim(symbol_);
    return !trimmed.empty() && known_ && known_(trimmed);
}

std::string CustomActionForm::previewSymbol() const {
    return symbolKnown() ? text::trim(symbol_) : std::string(unknownSymbolPreview);
}

std::optional<CustomAction> CustomActionForm::submit() {
    CustomAction action;
    action.id = existing_ ? existing_->id : CustomAction::newID();
    action.presetID = existing_ ? existing_->presetID : std::nullopt;
    action.name = text::trim(name_);
    action.symbol = text::trim(symbol_);
    action.urlTemplate = text::trim(urlTemplate_);
    if (auto message = action.validationError()) {
        error_ = Error{action.name.empty() ? Field::name : Field::urlTemplate, std::move(*message)};
        changed.emit();
        return std::nullopt;
    }
    error_.reset();
    changed.emit();
    return action;
}

std::string CustomActionForm::templateHelp() {
    // clang-format off
    return L("{text} 换成选中的文字；{url} 换成来源页面地址（没有就是空）。会做严格的百分号编码，不执行脚本。");
    // clang-format on
}

}  // namespace pivorel
