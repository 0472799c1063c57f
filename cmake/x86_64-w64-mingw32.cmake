# Cross toolchain for the 64-bit Windows target (mingw-w64, posix thread model).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZELK_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
