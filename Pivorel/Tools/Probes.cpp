#include "Pivorel/Tools/Probes.h"

#include <filesystem>
#include <system_error>

#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Localization/Localizer.h"
#include "Pivorel/Linux/AppNames.h"

namespace pivorel {

namespace {

// The localized Name of the installed desktop file; "-" when none is installed.
std::string displayName() {
    for (const auto& dir : AppNames::dataDirectories()) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(dir / "applications" / "pivorel.desktop", ec)) {
            return AppNames::display("pivorel").value_or("-");
        }
    }
    return "-";
}

}  // namespace

std::string l10nProbeLine() {
    // A desktop has no counterpart of the reminders permission text: "-".
    return "language=" + Localizer::effectiveLanguage() + " copy=" + L("复制") +
           " ask=" + L("问一下") + " quit=" + L("退出 Pivorel") + " display=" + displayName() +
           " reminders=-";
}

}  // namespace pivorel
