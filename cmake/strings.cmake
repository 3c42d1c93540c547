# strings.cmake: writes the resource compiler's string table from
# resources/strings.def.  Run as: cmake -DIN=strings.def -DOUT=strings.rc -P
# The resource compiler writes an inner double quote as "" where C writes \".
file(STRINGS "${IN}" lines REGEX "^STR\\(")
set(out "STRINGTABLE\nBEGIN\n")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^STR\\(([0-9]+), (\".*\")\\)$" "    \\1, \\2" entry "${line}")
  string(REPLACE "\\\"" "\"\"" entry "${entry}")
  string(APPEND out "${entry}\n")
endforeach()
string(APPEND out "END\n")
file(WRITE "${OUT}.tmp" "${out}")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
