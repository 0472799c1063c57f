# The Wine test bench: one private prefix inside the build tree, created on
# first use, and one wineserver kept running for the whole test run (a cold
# start costs ~0.6 s per program, a warm one a few ms).  Never ~/.wine.

set(ZELK_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix of the test run")
configure_file(${CMAKE_SOURCE_DIR}/tools/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
  @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
  WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh CACHE FILEPATH "" FORCE)

add_test(NAME wine-start COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-bench.sh start ${ZELK_WINEPREFIX})
add_test(NAME wine-stop COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-bench.sh stop ${ZELK_WINEPREFIX})
set_tests_properties(wine-start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
set_tests_properties(wine-stop PROPERTIES FIXTURES_CLEANUP wine)

# zelk_wine_test(test): the test runs under the bench's prefix and server.
function(zelk_wine_test test)
  set_tests_properties(${test} PROPERTIES FIXTURES_REQUIRED wine
    ENVIRONMENT "WINEPREFIX=${ZELK_WINEPREFIX};WINEDEBUG=-all")
endfunction()
