# Writes the bytes of INPUT as a C++ array named NAME into OUTPUT (a .cpp), with its size.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT_NAME} when the build is configured; do not edit.\n"
  "#include \"res/${NAME_HEADER}\"\n\n"
  "extern const unsigned char ${NAME}Bytes[] = {\n${bytes}};\n"
  "extern const unsigned long ${NAME}Size = ${size};\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
