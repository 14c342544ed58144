#pragma once

#include <string_view>

namespace pivorel {

// Orders version strings the way release feeds write them: numbers compare as numbers of
// any length ("1.10" > "1.9"), a pre-release word ranks below the release it precedes
// ("1.0b2" < "1.0"), trailing zeros do not count ("1.0.0" == "1"), a leading "v" is
// ignored. Separators are ".", "-", "_", "+" and spaces. Returns <0, 0 or >0.
int compareVersions(std::string_view a, std::string_view b);

}  // namespace pivorel
