# cmake -DINPUT=<file> -DOUTPUT=<file.cpp> -DSYMBOL=<name> -P EmbedFile.cmake
# Writes a C++ source that holds INPUT's bytes as `extern const char SYMBOL[]` (with a final
# NUL, not counted) and `extern const std::size_t SYMBOL_size`.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
# Character literals, so bytes above 0x7f (UTF-8 text) need no narrowing conversion.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
# Break the array into lines of 16 bytes so compilers and editors stay comfortable.
string(REGEX REPLACE "(('\\\\x[0-9a-f][0-9a-f]',){16})" "\\1\n    " bytes "${bytes}")
get_filename_component(name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp"
"// Generated at build time from ${name}; edit that file instead.\n"
"#include <cstddef>\n"
"extern const char ${SYMBOL}[] = {\n    ${bytes}'\\0'};\n"
"extern const std::size_t ${SYMBOL}_size = ${size};\n")
# Only touch the output when it changed, so a rebuild does not recompile for nothing.
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
