# Turns a file into a C++ source holding its bytes:
#   cmake -DINPUT=web/index.html -DOUTPUT=web_page.cpp -P embed.cmake
# The array is written in hex, so any byte survives; a NUL follows the bytes.
file(READ "${INPUT}" content HEX)
string(LENGTH "${content}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${content}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT} by embed.cmake; do not edit.\n"
  "#include \"web_page.h\"\n\nnamespace vprinter {\n\n"
  "const char kLiveViewPage[] = {\n${bytes}0x00};\n"
  "const std::size_t kLiveViewPageSize = ${size};\n\n}  // namespace vprinter\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
