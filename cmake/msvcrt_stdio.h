/* Read first in every Windows translation unit of the project (-include).
 * With __USE_MINGW_ANSI_STDIO=0 this declares the printf family as the
 * msvcrt functions; the C++ headers that come later cannot redirect them to
 * the much larger mingw emulation any more. */
#ifndef SAVER_MSVCRT_STDIO_H
#define SAVER_MSVCRT_STDIO_H
#include <stdio.h>
#endif
