# Warning set shared by every target of both builds.
set(ZELK_WARNINGS -Wall -Wextra -Wshadow=local -Wno-missing-field-initializers)
if(ZELK_WERROR)
  list(APPEND ZELK_WARNINGS -Werror)
endif()
