# Cross build with Debian's mingw-w64 (x86_64): the build the tests run.
set(SAVER_MINGW_PROCESSOR x86_64)
set(SAVER_MINGW_DEFAULT_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
