# Writes one file's bytes as a C++ array, for targets that cannot assemble
# .incbin (WebAssembly).
#
#   cmake -DINPUT=file -DOUTPUT=file.cpp -DNAME=name -P EmbedFile.cmake
#
# defines orchid_res_NAME (the bytes, 16-byte aligned; one zero byte for an
# empty file) and orchid_res_NAME_size (their count).
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
# Sixteen bytes a line.
string(REPEAT "[0-9a-f]" 32 line)
string(REGEX REPLACE "(${line})" "\\1\n" hex "${hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
if(size EQUAL 0)
  set(bytes "0")
endif()
file(WRITE ${OUTPUT} "// Generated from ${INPUT}; do not edit.
#include <cstdint>

extern \"C\" {
extern const uint8_t orchid_res_${NAME}[];
extern const uint32_t orchid_res_${NAME}_size;
alignas(16) const uint8_t orchid_res_${NAME}[] = {
${bytes}};
const uint32_t orchid_res_${NAME}_size = ${size};
}
")
