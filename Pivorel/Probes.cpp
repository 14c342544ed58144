#include "Probes.h"

#include "Localization/L.h"
#include "Localization/Localizer.h"

namespace pivorel {

std::string l10nProbeLine() {
    // The display name and the reminders description come from the desktop file, which
    // the application does not install yet: "-" until it does.
    return "language=" + Localizer::effectiveLanguage() + " copy=" + L("复制") +
           " ask=" + L("问一下") + " quit=" + L("退出 Pivorel") + " display=-" + " reminders=-";
}

}  // namespace pivorel
