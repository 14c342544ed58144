#pragma once

#include <string>
#include <vector>

namespace pivorel {

// Whether argv (without the program name) asks for a permission probe: the switch
// followed by a known kind. Anything else starts the program normally.
bool isPermissionProbe(const std::vector<std::string>& args);

// Answers the probe: prints "1" or "0" and a line break, flushes, and returns the exit
// status 0. Returns -1, printing nothing, when `args` is no probe. Must run before anything
// else in main: the guide runs it as a child process and gives up after two seconds.
int runPermissionProbe(const std::vector<std::string>& args);

}  // namespace pivorel
