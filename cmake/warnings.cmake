# Warning set shared by every target of both builds (GCC and clang).
set(ZELK_WARNINGS -Wall -Wextra -Wno-missing-field-initializers)
# clang (the fuzz build) has no -Wshadow=local; its nearest is -Wshadow-uncaptured-local.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  list(APPEND ZELK_WARNINGS -Wshadow-uncaptured-local)
else()
  list(APPEND ZELK_WARNINGS -Wshadow=local)
endif()
if(ZELK_WERROR)
  list(APPEND ZELK_WARNINGS -Werror)
endif()
