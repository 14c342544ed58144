#include "BrisendoKit/Support/AppIdentity.h"

#include <system_error>

#include "BrisendoKit/Support/XdgDirs.h"

namespace pivorel {

namespace fs = std::filesystem;

fs::path AppIdentity::supportDirectory(const std::optional<fs::path>& base) {
    const fs::path dir = (base ? *base : XdgDirs::dataHome()) / supportDirName;
    std::error_code ignored;
    fs::create_directories(dir, ignored);
    return dir;
}

}  // namespace pivorel
