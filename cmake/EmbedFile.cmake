# cmake -DINPUT=file -DOUTPUT=file.c -DSYMBOL=name -P EmbedFile.cmake
# Writes a C array `SYMBOL` with the bytes of INPUT and `SYMBOL_size`.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR size "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n  " bytes "${bytes}")
file(WRITE ${OUTPUT} "/* Generated from ${INPUT}; do not edit. */\n#include <stddef.h>\n"
  "__attribute__((aligned(16))) const unsigned char ${SYMBOL}[] = {\n  ${bytes}\n};\n"
  "const size_t ${SYMBOL}_size = ${size};\n")
