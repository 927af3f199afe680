# cmake -DINPUT=<file.bmp> -DOUTPUT=<file.cpp> -DID=<id> -P BitmapToSource.cmake
# Writes the bitmap without its 14-byte file header as a C++ byte array.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" length)
if(length LESS 28 OR NOT hex MATCHES "^424d")
  message(FATAL_ERROR "${INPUT} is not a BMP file")
endif()
string(SUBSTRING "${hex}" 28 -1 dib)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," dib "${dib}")
# 16 bytes a line keeps the generated file readable for diff tools.
string(REPEAT "0x..," 16 line)
string(REGEX REPLACE "(${line})" "\\1\n  " dib "${dib}")
math(EXPR size "(${length} - 28) / 2")
file(WRITE ${OUTPUT} "// Generated from ${INPUT}; do not edit.\n#include <cstddef>\n#include <cstdint>\n\nnamespace wh::detail {\n\nextern const uint8_t kBitmap${ID}[] = {\n  ${dib}\n};\nextern const size_t kBitmap${ID}Size = ${size};\n\n}  // namespace wh::detail\n")
