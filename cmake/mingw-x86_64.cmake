# Cross toolchain for the 64-bit Windows build (Debian's g++-mingw-w64-x86-64):
# the same programs made for x86-64, so that they can be checked under a
# 64-bit Wine on machines that start no 32-bit program. What ships stays the
# 32-bit build.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
