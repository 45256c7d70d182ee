# Turns a text file into a C++ source defining one string constant, so that the
# page's script and style sheet stay real files yet travel inside the program:
#   cmake -DIN=file -DOUT=file.cpp -DNAME=CONSTANT -DHEADER=include -P embed.cmake
file(READ "${IN}" content)
string(FIND "${content}" ")tallyrep_asset\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${IN} holds the raw string's closing delimiter")
endif()
file(WRITE "${OUT}.part"
  "// Generated from ${IN} at build time; edit that file instead.\n"
  "#include \"${HEADER}\"\n\n"
  "const char* const ${NAME} = R\"tallyrep_asset(${content})tallyrep_asset\";\n")
file(RENAME "${OUT}.part" "${OUT}")
