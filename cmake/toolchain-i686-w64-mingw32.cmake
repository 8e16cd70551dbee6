# Cross build with Debian's mingw-w64 (i686).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(SAVER_MINGW_TRIPLE i686-w64-mingw32)
# Thread model of the compiler driver: "posix" brings std::mutex (GoogleTest needs it)
# and winpthread; "win32" keeps the shipped stub small.
set(SAVER_MINGW_THREADS "win32" CACHE STRING "mingw-w64 thread model (posix or win32)")

set(CMAKE_C_COMPILER   ${SAVER_MINGW_TRIPLE}-gcc-${SAVER_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${SAVER_MINGW_TRIPLE}-g++-${SAVER_MINGW_THREADS})
set(CMAKE_RC_COMPILER  ${SAVER_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SAVER_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
