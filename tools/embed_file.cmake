# Writes the bytes of INPUT as a C array named NAME (with NAME_size) into
# OUTPUT, so a program carries the file inside itself.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n"
       bytes "${bytes}")
file(WRITE ${OUTPUT}.tmp
  "/* Generated from ${INPUT}. */\n#include <stddef.h>\n"
  "const unsigned char ${NAME}[] = {\n${bytes}\n};\n"
  "const size_t ${NAME}_size = ${size};\n")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
