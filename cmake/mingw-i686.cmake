# Cross toolchain for the Windows build: 32-bit MinGW-w64 (Debian's
# g++-mingw-w64-i686). The "-win32" thread flavour is used: the program needs
# no C++ threads, and this flavour's runtime links statically without pulling
# in libwinpthread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(MINGW_PREFIX i686-w64-mingw32)
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
