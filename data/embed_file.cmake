# Turns a file into a C array: cmake -DIN=file -DOUT=file.c -DNAME=symbol -P embed_file.cmake
file(READ "${IN}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE "${OUT}" "/* generated from ${IN} */\n#include <stddef.h>\nconst unsigned char ${NAME}[] = {\n${bytes}\n};\nconst size_t ${NAME}_size = ${size};\n")
