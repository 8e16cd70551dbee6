// What the two check programs share: one line per expectation, and the
// counts that decide their exit code. Each program is one source file.
#ifndef GLIMMER_CHECK_EXPECT_H
#define GLIMMER_CHECK_EXPECT_H

#include <stdio.h>

static int g_passed = 0;
static int g_failed = 0;

static void Expect(bool ok, const char *what, const char *detail)
{
  if (ok)
    g_passed++;
  else
    g_failed++;
  printf("%s %s%s%s\n", ok ? "ok  " : "FAIL", what, detail && *detail ? ": " : "", detail ? detail : "");
  fflush(stdout);
}

// Prints the counts; the exit code for main.
static int Verdict()
{
  printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed ? 1 : 0;
}

#endif
