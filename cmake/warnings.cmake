# Warning set shared by every target of both builds (GCC and clang).
set(ZELK_WARNINGS -Wall -Wextra -Wno-missing-field-initializers)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  list(APPEND ZELK_WARNINGS -Wshadow=local)
endif()
if(ZELK_WERROR)
  list(APPEND ZELK_WARNINGS -Werror)
endif()
