# Running the Windows test programs under Wine.
#
# <build>/wine-run is the emulator for every Windows executable ctest starts:
# it runs the program in a private prefix under <build>/wine/. The fixture
# "wine" starts a persistent wineserver and a virtual display before the
# Windows tests and stops both afterwards.
include_guard(GLOBAL)

find_program(SAVER_WINE wine REQUIRED)
find_program(SAVER_WINESERVER wineserver REQUIRED)

set(SAVER_WINE_DIR "${CMAKE_BINARY_DIR}/wine")
set(SAVER_WINE_RUN "${CMAKE_BINARY_DIR}/wine-run")
file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/wine-run.in" @ONLY CONTENT [=[
#!/bin/sh
SAVER_WINE_DIR='@SAVER_WINE_DIR@' exec bash '@SAVER_ROOT@/cmake/wine-run.sh' "$@"
]=])
file(COPY_FILE "${CMAKE_BINARY_DIR}/wine-run.in" "${SAVER_WINE_RUN}" ONLY_IF_DIFFERENT)
file(CHMOD "${SAVER_WINE_RUN}" PERMISSIONS
     OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CMAKE_CROSSCOMPILING_EMULATOR "${SAVER_WINE_RUN}")

add_test(NAME wine.start COMMAND "${SAVER_WINE_RUN}" --start)
add_test(NAME wine.stop COMMAND "${SAVER_WINE_RUN}" --stop)
set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine TIMEOUT 180)
set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)

