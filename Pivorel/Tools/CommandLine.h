#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "BrisendoKit/Support/Result.h"

namespace pivorel {

// What the process was asked to do, read from argv before anything else starts.
struct CommandLine {
    std::set<std::string> switches;   // the known switches given, e.g. "--l10n-probe"
    std::optional<std::string> link;  // an inbound pivorel:// or brisendo:// link
    // A tool switch given first (e.g. "--explain") takes every later argument for itself.
    std::vector<std::string> toolArgs;

    bool has(const std::string& name) const { return switches.count(name) > 0; }

    // Parses argv[1...]. Unknown switches and stray arguments are an error whose text
    // names the offending argument; "--permission-probe" that reached here (no known kind)
    // is skipped with its word.
    static Result<CommandLine, std::string> parse(const std::vector<std::string>& args);

    static const std::vector<std::string>& knownSwitches();
    static const std::vector<std::string>& toolSwitches();
    static std::string usage();
};

}  // namespace pivorel
