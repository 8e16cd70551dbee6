# Cross build with Debian's mingw-w64 (x86_64).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SAVER_MINGW_TRIPLE x86_64-w64-mingw32)
# Thread model of the compiler driver: "posix" brings std::mutex (GoogleTest needs it)
# and winpthread; "win32" keeps the shipped stub small.
set(SAVER_MINGW_THREADS "posix" CACHE STRING "mingw-w64 thread model (posix or win32)")

set(CMAKE_C_COMPILER   ${SAVER_MINGW_TRIPLE}-gcc-${SAVER_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${SAVER_MINGW_TRIPLE}-g++-${SAVER_MINGW_THREADS})
set(CMAKE_RC_COMPILER  ${SAVER_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SAVER_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
