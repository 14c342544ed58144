#include "BrisendoKit/Localization/L.h"

#include "BrisendoKit/Localization/Localizer.h"

namespace pivorel {

std::string L(std::string_view key) {
    return Localizer::lookup(key, Localizer::effectiveLanguage());
}

std::string localizeAndFormat(std::string_view key, const std::vector<FormatArg>& args) {
    const std::string language = Localizer::effectiveLanguage();
    return formatString(Localizer::lookup(key, language), args, language);
}

}  // namespace pivorel
