# The Wine test bench: one private prefix inside the build tree, created on
# first use, and one wineserver kept running for the whole test run (a cold
# start costs ~0.6 s per program, a warm one a few ms).  Never ~/.wine.
#
# wine-bin/ holds this build's wine, winepath and wineboot: they run the
# loader for the build's programs (32-bit or 64-bit, tools/wine.sh.in).
# Every test under Wine finds them first on its PATH, so scripts just say
# "wine".  A 32-bit build's tests under Wine carry the label "wine32": where
# the machine runs no 32-bit code, tools/test.sh lists them as skipped.

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(ZELK_WIN_BITS 64)
else()
  set(ZELK_WIN_BITS 32)
endif()
set(ZELK_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix of the test run")
set(ZELK_WINE_BIN ${CMAKE_BINARY_DIR}/wine-bin)
set(_exe OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
configure_file(${CMAKE_SOURCE_DIR}/tools/wine.sh.in ${ZELK_WINE_BIN}/wine @ONLY FILE_PERMISSIONS ${_exe})
foreach(ZELK_WINE_TOOL winepath wineboot)
  configure_file(${CMAKE_SOURCE_DIR}/tools/wine-tool.sh.in ${ZELK_WINE_BIN}/${ZELK_WINE_TOOL} @ONLY
    FILE_PERMISSIONS ${_exe})
endforeach()
configure_file(${CMAKE_SOURCE_DIR}/tools/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
  @ONLY FILE_PERMISSIONS ${_exe})
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh CACHE FILEPATH "" FORCE)

set(ZELK_WINE_LABELS wine wine${ZELK_WIN_BITS})

# zelk_wine_env(test): the bench's wine first on the test's PATH, and its labels.
function(zelk_wine_env test)
  set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT_MODIFICATION "PATH=path_list_prepend:${ZELK_WINE_BIN}")
  set_property(TEST ${test} APPEND PROPERTY LABELS ${ZELK_WINE_LABELS})
endfunction()

add_test(NAME wine-start COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-bench.sh start ${ZELK_WINEPREFIX})
add_test(NAME wine-stop COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-bench.sh stop ${ZELK_WINEPREFIX})
set_tests_properties(wine-start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
set_tests_properties(wine-stop PROPERTIES FIXTURES_CLEANUP wine)
zelk_wine_env(wine-start)
zelk_wine_env(wine-stop)

# zelk_wine_test(test): the test runs under the bench's prefix and server.
function(zelk_wine_test test)
  set_tests_properties(${test} PROPERTIES FIXTURES_REQUIRED wine
    ENVIRONMENT "WINEPREFIX=${ZELK_WINEPREFIX};WINEDEBUG=-all")
  zelk_wine_env(${test})
endfunction()
