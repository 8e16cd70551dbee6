// The few Win32 types the portable code needs: the real ones on Windows,
// look-alikes of the same widths elsewhere.
#ifndef FRAMEWORK_WINTYPES_H
#define FRAMEWORK_WINTYPES_H

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <stddef.h>
#include <stdint.h>

typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef unsigned int UINT;
typedef int BOOL;
typedef char CHAR;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef BYTE* LPBYTE;

struct HKEY__;
typedef HKEY__* HKEY;
// The two predefined roots a script may name; opaque values off Windows.
#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260
#endif

#endif
