# Writes the PNG icons as byte arrays into a header, so that the program
# carries its icon wherever it is run from.
#   cmake -DOUTPUT=<header> -DSIZES="16;32" -DDIR=<resources> -P embed_icons.cmake
set(body "// Generated from resources/vocalume-<size>.png; do not edit.\n#pragma once\n\n#include <cstddef>\n\nnamespace vocalume {\n\n")
set(table "")
foreach(size IN LISTS SIZES)
  file(READ "${DIR}/vocalume-${size}.png" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR length "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
  string(APPEND body "inline constexpr unsigned char kIconPng${size}[${length}] = {\n    ${bytes}\n};\n\n")
  string(APPEND table "    {${size}, kIconPng${size}, ${length}},\n")
endforeach()
string(APPEND body "struct EmbeddedIcon {\n    int size;\n    const unsigned char* png;\n    std::size_t length;\n};\n\n")
string(APPEND body "inline constexpr EmbeddedIcon kEmbeddedIcons[] = {\n${table}};\n\n}  // namespace vocalume\n")
file(WRITE "${OUTPUT}.tmp" "${body}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
