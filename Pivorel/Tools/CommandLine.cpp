#include "Pivorel/Tools/CommandLine.h"

#include <algorithm>
#include <cctype>

namespace pivorel {

namespace {

bool isLink(const std::string& arg) {
    const auto colon = arg.find("://");
    if (colon == std::string::npos) return false;
    std::string scheme = arg.substr(0, colon);
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return scheme == "pivorel" || scheme == "brisendo";
}

}  // namespace

const std::vector<std::string>& CommandLine::knownSwitches() {
    static const std::vector<std::string> names = {"--help",
                                                   "--version",
                                                   "--l10n-probe",
                                                   "--seed-credentials",
                                                   "--ask-selftest",
                                                   "--bar-selftest",
                                                   "--panel-selftest",
                                                   "--updater-only",
                                                   "--install-desktop-entry",
                                                   "--install-gnome-extension",
                                                   "--no-keychain-migration",
                                                   "--no-permission-guide"};
    return names;
}

const std::vector<std::string>& CommandLine::toolSwitches() {
    static const std::vector<std::string> names = {"--explain"};
    return names;
}

Result<CommandLine, std::string> CommandLine::parse(const std::vector<std::string>& args) {
    CommandLine cl;
    const auto& tools = toolSwitches();
    if (!args.empty() && std::find(tools.begin(), tools.end(), args[0]) != tools.end()) {
        cl.switches.insert(args[0]);
        cl.toolArgs.assign(args.begin() + 1, args.end());
        return cl;
    }
    const auto& known = knownSwitches();
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--permission-probe") {
            // Reaching here it named no kind this program knows: not a probe, so a normal
            // start, its word ignored.
            if (i + 1 < args.size() && args[i + 1].rfind("-", 0) != 0 && !isLink(args[i + 1])) {
                ++i;
            }
        } else if (arg == "-h") {
            cl.switches.insert("--help");
        } else if (std::find(known.begin(), known.end(), arg) != known.end()) {
            cl.switches.insert(arg);
        } else if (isLink(arg) && !cl.link) {
            cl.link = arg;
        } else if (arg.rfind("-", 0) == 0) {
            return fail("unknown option: " + arg);
        } else {
            return fail("unexpected argument: " + arg);
        }
    }
    return cl;
}

std::string CommandLine::usage() {
    std::string text = "usage: pivorel [pivorel://LINK]";
    for (const auto& name : knownSwitches()) text += " [" + name + "]";
    for (const auto& name : toolSwitches()) text += "\n       pivorel " + name + " ...";
    // Answered before anything else starts; the permission guide asks it of a fresh copy.
    text +=
        "\n       pivorel --permission-probe KIND  (accessibility, inputMonitoring, "
        "screenRecording, ...)";
    return text + "\n";
}

}  // namespace pivorel
