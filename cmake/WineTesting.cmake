# Runs the Windows build's tests under Wine on the build machine.
#
# Every test program is started through bin/wine-run (CMAKE_CROSSCOMPILING_EMULATOR), which
# ctest and gtest_discover_tests both honour. The script keeps a Wine prefix of the build's own
# (wineprefix/ in the build folder), creates it on first use, runs headless and quiet, and
# turns a colon-separated list of folders in PELLVANE_WINEPATH into the program's PATH: that is
# how a test chooses which host library the applet can find, as LD_LIBRARY_PATH does on Linux.

find_program(PELLVANE_WINE NAMES wine64 wine HINTS /usr/lib/wine /usr/lib64/wine
             DOC "Wine, which runs the Windows test programs")
if(NOT PELLVANE_WINE)
    message(FATAL_ERROR "Wine (wine64) is needed to run the Windows tests: "
                        "run scripts/setup-deps.sh, or configure with PELLVANE_BUILD_TESTS=OFF")
endif()
get_filename_component(_wine_dir "${PELLVANE_WINE}" DIRECTORY)
find_program(PELLVANE_WINESERVER NAMES wineserver64 wineserver HINTS "${_wine_dir}"
             DOC "The Wine server, kept running for the length of a test run")
if(NOT PELLVANE_WINESERVER)
    message(FATAL_ERROR "wineserver, which comes with Wine, was not found beside ${PELLVANE_WINE}")
endif()

set(PELLVANE_WINE_PREFIX "${CMAKE_BINARY_DIR}/wineprefix")
# Seconds the Wine server stays up after the last Windows program has ended.
set(PELLVANE_WINESERVER_LINGER 15)
# What a test program finds when its test names no folders: the host library. Discovery runs
# the programs this way too.
set(PELLVANE_WINE_DEFAULT_PATH "${PELLVANE_HOST_LIB_DIR}")
set(PELLVANE_WINE_RUN "${CMAKE_BINARY_DIR}/bin/wine-run")
configure_file("${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in" "${PELLVANE_WINE_RUN}"
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE
               @ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR "${PELLVANE_WINE_RUN}")

# Wine's first start, which creates the prefix, takes a while: the build does it, alongside the
# compiling, so that no test (and no test discovery) pays for it or times out on it.
set(_wine_ready "${PELLVANE_WINE_PREFIX}/.pellvane-ready")
add_custom_command(OUTPUT "${_wine_ready}"
                   COMMAND "${PELLVANE_WINE_RUN}" --prepare
                   DEPENDS "${PELLVANE_WINE_RUN}"
                   COMMENT "Creating the Wine prefix for the Windows tests"
                   VERBATIM)
add_custom_target(pellvane_wine_prefix ALL DEPENDS "${_wine_ready}")

# Discover the tests when ctest runs, not right after linking: the build then never runs a
# Windows program.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)

# The environment variable through which a test names the folders (colon-separated) in which its
# program finds libraries.
set(PELLVANE_TEST_PATH_VARIABLE PELLVANE_WINEPATH)
