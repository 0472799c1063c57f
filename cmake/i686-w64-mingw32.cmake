# Cross toolchain for the 32-bit Windows target (mingw-w64, posix thread model).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZELK_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
