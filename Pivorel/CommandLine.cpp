#include "CommandLine.h"

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

Result<CommandLine, std::string> CommandLine::parse(const std::vector<std::string>& args) {
    CommandLine cl;
    for (const auto& arg : args) {
        if (arg == "--help" || arg == "-h") {
            cl.help = true;
        } else if (arg == "--version") {
            cl.version = true;
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
    return "usage: pivorel [--help] [--version] [pivorel://LINK]\n";
}

}  // namespace pivorel
