# Turns the help file into a header that holds its bytes, so that the
# program carries the help it shows when no pym.hlp is installed. The help
# file must be plain ASCII, so that cat and the editor show it right in
# every locale, and its title must name the version being built.
#   cmake -DHELP=pym.hlp -DOUT=help_text.h -DVERSION=0.5 -P help_text.cmake
file(READ "${HELP}" hex HEX)
if(hex STREQUAL "")
  message(FATAL_ERROR "${HELP} is empty")
endif()
string(REGEX REPLACE "(..)" "0x\\1," bytes "${hex}")
# 0x09 and 0x0a, tab and line feed, are the only bytes outside 0x20-0x7e
if(bytes MATCHES "0x([89a-f].|0[0-8b-f]|1.|7f),")
  message(FATAL_ERROR "${HELP} holds the byte 0x${CMAKE_MATCH_1}: it must be plain ASCII")
endif()
file(STRINGS "${HELP}" title LIMIT_COUNT 1)
if(NOT title MATCHES "^PYM ${VERSION} ")
  message(FATAL_ERROR "the title of ${HELP} does not name PYM ${VERSION}: ${title}")
endif()
file(WRITE "${OUT}.new"
  "// Made from pym.hlp by cmake/help_text.cmake.\n"
  "static const char builtin_help[] = {${bytes}};\n")
file(RENAME "${OUT}.new" "${OUT}")
