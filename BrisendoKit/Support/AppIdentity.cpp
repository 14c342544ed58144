#include "BrisendoKit/Support/AppIdentity.h"

#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/XdgDirs.h"

namespace pivorel {

namespace fs = std::filesystem;

fs::path AppIdentity::supportDirectory(const std::optional<fs::path>& base) {
    const fs::path dir = (base ? *base : XdgDirs::dataHome()) / supportDirName;
    fileio::makePrivateDirectory(dir);
    return dir;
}

}  // namespace pivorel
