# SPDX-License-Identifier: GPL-3.0-or-later
# Writes OUTPUT, a C++ source that holds every text table file of TABLES
# (one per language, named by its code) as a raw string.
set(entries "")
foreach(table IN LISTS TABLES)
  get_filename_component(code "${table}" NAME_WE)
  file(READ "${table}" content)
  string(FIND "${content}" ")tr640text\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${table} contains the raw string's end marker")
  endif()
  string(APPEND entries "        {\"${code}\", R\"tr640text(${content})tr640text\"},\n")
endforeach()
file(WRITE "${OUTPUT}" "// SPDX-License-Identifier: GPL-3.0-or-later
// Generated from src/model/texts/ by EmbedTexts.cmake; do not edit.
#include \"model/Language.h\"

namespace tr640 {

const std::vector<EmbeddedTextTable>& EmbeddedTextTables() {
    static const std::vector<EmbeddedTextTable> tables = {
${entries}    };
    return tables;
}

}  // namespace tr640
")
