// Command line of a screen saver, as Windows passes it: the mode and the window it refers to.
#ifndef GLIMMER_SAVER_ARGS_H
#define GLIMMER_SAVER_ARGS_H

#include <stdint.h>

enum SaverMode
{
  SAVER_CONFIGURE,  // "/c", "/c:HWND", no argument, or anything not understood
  SAVER_FULLSCREEN, // "/s"
  SAVER_PREVIEW,    // "/p HWND": draw into a child of that window
  SAVER_PASSWORD    // "/a HWND": Windows 95 asks a saver to change its password
};

struct SaverArgs
{
  SaverMode mode;
  uintptr_t hwnd; // 0 when the command line names no window or an unreadable one
};

// Windows has passed these over the years as "/s", "-S", "/p 1234", "/p:1234",
// "/c:1234", and nothing at all when the user double-clicks the file. Only the
// first letter after the switch counts. An unknown switch falls back to the
// settings box, which is harmless, rather than blanking the screen.
inline SaverArgs ParseSaverArgs(const char *cmdLine)
{
  SaverArgs args = { SAVER_CONFIGURE, 0 };
  if (!cmdLine)
    return args;
  const char *p = cmdLine;
  while (*p == ' ' || *p == '\t')
    p++;
  if (*p != '/' && *p != '-')
    return args;
  char letter = p[1];
  if (letter >= 'A' && letter <= 'Z')
    letter = (char)(letter - 'A' + 'a');
  switch (letter)
  {
    case 's': args.mode = SAVER_FULLSCREEN; return args;
    case 'p': args.mode = SAVER_PREVIEW; break;
    case 'a': args.mode = SAVER_PASSWORD; break;
    case 'c': break;
    default: return args;
  }
  p += 2;
  while (*p == ' ' || *p == '\t')
    p++;
  if (*p == ':')
    p++;
  while (*p == ' ' || *p == '\t')
    p++;
  uint64_t value = 0;
  const char *digits = p;
  while (*p >= '0' && *p <= '9')
  {
    unsigned d = (unsigned)(*p - '0');
    if (value > (UINT64_MAX - d) / 10)
      return args; // too long to be a window handle: treat as none
    value = value * 10 + d;
    p++;
  }
  // "1234x" is not a handle either.
  if (p == digits || (*p && *p != ' ' && *p != '\t'))
    return args;
  if (value > (uint64_t)UINTPTR_MAX)
    return args;
  args.hwnd = (uintptr_t)value;
  return args;
}

#endif
