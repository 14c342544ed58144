#pragma once

#include <string_view>
#include <vector>

namespace pivorel {

// A translation table compiled into the binary: the language code and its JSON text.
struct EmbeddedTable {
    std::string_view language;
    std::string_view json;
};

const std::vector<EmbeddedTable>& embeddedTables();

}  // namespace pivorel
