# Writes OUTPUT, a C++ source holding every translation table of TABLE_DIR as string data,
# so the tables travel inside the binary. Run with cmake -P.
file(GLOB tables "${TABLE_DIR}/*.json")
list(SORT tables)
set(body "")
foreach(table ${tables})
  get_filename_component(code ${table} NAME_WE)
  file(READ ${table} content)
  string(APPEND body "        {\"${code}\", R\"PIVOREL_TABLE(${content})PIVOREL_TABLE\"},\n")
endforeach()
file(WRITE ${OUTPUT}.tmp
"// Generated from the translation tables; do not edit.
#include \"BrisendoKit/Localization/EmbeddedTables.h\"

namespace pivorel {

const std::vector<EmbeddedTable>& embeddedTables() {
    static const std::vector<EmbeddedTable> tables = {
${body}    };
    return tables;
}

}  // namespace pivorel
")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
