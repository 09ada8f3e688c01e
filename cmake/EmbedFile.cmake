# Embeds a data file into the binary as bytes followed by a terminating zero.
# Called as: cmake -DINPUT=... -DOUTPUT=... -DSYMBOL=... -DHEADER=... -P EmbedFile.cmake
# and defines SYMBOL##Data (the bytes) and SYMBOL##Size (their number).
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" length)
math(EXPR size "${length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n    " bytes "${bytes}")
get_filename_component(name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp" "// Generated from ${name}; do not edit.\n#include \"${HEADER}\"\n\nconst unsigned char ${SYMBOL}Data[] = {\n    ${bytes}0x00};\nconst unsigned long ${SYMBOL}Size = ${size};\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
