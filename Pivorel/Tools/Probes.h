#pragma once

#include <string>

namespace pivorel {

// The one line of --l10n-probe: the effective language and a few texts in it.
std::string l10nProbeLine();

}  // namespace pivorel
