#include "BrisendoKit/Actions/ExtensionPreset.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Support/Text.h"

namespace pivorel {

namespace {

// Spaces (general category Zs) and tabs, but not line breaks: an id is one line.
bool isSpace(char32_t c) {
    return c == U'\t' || u_charType(static_cast<UChar32>(c)) == U_SPACE_SEPARATOR;
}

bool isBlankID(std::string_view id) {
    for (std::size_t i = 0; i < id.size();) {
        if (!isSpace(text::decodeNext(id, i))) return false;
    }
    return true;
}

std::string comparableTemplate(std::string_view urlTemplate) {
    const std::string trimmed = text::trim(text::repairUtf8(urlTemplate));
    icu::UnicodeString folded = icu::UnicodeString::fromUTF8(trimmed);
    folded.toLower(icu::Locale::getRoot());
    std::string out;
    folded.toUTF8String(out);
    return out;
}

}  // namespace

std::optional<std::string> ExtensionPreset::validationError() const {
    if (isBlankID(id)) return L("缺少 id");
    if (text::trim(text::repairUtf8(name)).empty()) return L("缺少名称");
    return URLTemplate::validate(urlTemplate);
}

CustomAction ExtensionPreset::makeAction() const {
    return CustomAction{CustomAction::newID(), L(name), symbol, urlTemplate, id};
}

bool ExtensionPreset::matches(const CustomAction& action) const {
    if (action.presetID && *action.presetID == id) return true;
    return comparableTemplate(action.urlTemplate) == comparableTemplate(urlTemplate);
}

}  // namespace pivorel
