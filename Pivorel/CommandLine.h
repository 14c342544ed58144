#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Support/Result.h"

namespace pivorel {

// What the process was asked to do, read from argv before anything else starts.
struct CommandLine {
    bool help = false;
    bool version = false;
    std::optional<std::string> link;  // an inbound pivorel:// or brisendo:// link

    // Parses argv[1...]. Unknown switches and stray arguments are an error whose text
    // names the offending argument.
    static Result<CommandLine, std::string> parse(const std::vector<std::string>& args);

    static std::string usage();
};

}  // namespace pivorel
