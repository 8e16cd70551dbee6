# Cross build with Debian's mingw-w64 (i686): the shipped stub.
set(SAVER_MINGW_PROCESSOR i686)
set(SAVER_MINGW_DEFAULT_THREADS win32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
