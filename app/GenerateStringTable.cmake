# Embeds resources/strings.txt into the binary as bytes; the program parses it at
# its first text lookup. Called as: cmake -DINPUT=... -DOUTPUT=... -P GenerateStringTable.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" length)
math(EXPR size "${length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp" "// Generated from resources/strings.txt; do not edit.\n#include \"app/StringTable.h\"\n\nconst unsigned char StringTableData[] = {\n    ${bytes}0x00};\nconst unsigned long StringTableSize = ${size};\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
