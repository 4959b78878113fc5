# The part of the two MinGW-w64 toolchain files that they share: the tools
# found by MINGW_PREFIX, the "-win32" thread flavour first (the programs need
# no C++ threads, and this flavour's runtime links statically without pulling
# in libwinpthread), and libraries and headers from the target's own root.
set(CMAKE_SYSTEM_NAME Windows)

find_program(CMAKE_C_COMPILER NAMES ${MINGW_PREFIX}-gcc-win32 ${MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${MINGW_PREFIX}-g++-win32 ${MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${MINGW_PREFIX}-windres REQUIRED)
find_program(CMAKE_DLLTOOL NAMES ${MINGW_PREFIX}-dlltool REQUIRED)
find_program(CMAKE_OBJDUMP NAMES ${MINGW_PREFIX}-objdump)
find_program(CMAKE_STRIP NAMES ${MINGW_PREFIX}-strip REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
