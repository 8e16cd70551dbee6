// Checks the Glimmer builds without a display: how the saver reads its command
// line, and what the version resources of both language builds report through
// the version API and the locale names. Later installer tests compare files by
// exactly these facts.
//
// Usage: glimmer_check glimmer.scr glimmer_de.scr
// Prints one line per check and "N passed, N failed"; exit code 0 when all pass.
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include "expect.h"
#include "../saver_args.h"

namespace {


const char *ModeName(SaverMode mode)
{
  switch (mode)
  {
    case SAVER_CONFIGURE: return "configure";
    case SAVER_FULLSCREEN: return "fullscreen";
    case SAVER_PREVIEW: return "preview";
    case SAVER_PASSWORD: return "password";
  }
  return "?";
}

void CheckArguments()
{
  static const struct
  {
    const char *cmdLine;
    SaverMode mode;
    uintptr_t hwnd;
  } cases[] = {
    { "", SAVER_CONFIGURE, 0 },
    { "   ", SAVER_CONFIGURE, 0 },
    { "/s", SAVER_FULLSCREEN, 0 },
    { "-s", SAVER_FULLSCREEN, 0 },
    { "/S", SAVER_FULLSCREEN, 0 },
    { "  -S  ", SAVER_FULLSCREEN, 0 },
    { "/p 1234", SAVER_PREVIEW, 1234 },
    { "/P:1234", SAVER_PREVIEW, 1234 },
    { "-p\t42", SAVER_PREVIEW, 42 },
    { "/p : 77", SAVER_PREVIEW, 77 },
    { "/p", SAVER_PREVIEW, 0 },
    { "/p 12ab", SAVER_PREVIEW, 0 },
    { "/p -5", SAVER_PREVIEW, 0 },
    { "/p 99999999999999999999999", SAVER_PREVIEW, 0 },
    { "/c", SAVER_CONFIGURE, 0 },
    { "/C:1234", SAVER_CONFIGURE, 1234 },
    { "-c 5678", SAVER_CONFIGURE, 5678 },
    { "/a 300", SAVER_PASSWORD, 300 },
    { "/x", SAVER_CONFIGURE, 0 },
    { "s", SAVER_CONFIGURE, 0 },
    { "/", SAVER_CONFIGURE, 0 },
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++)
  {
    SaverArgs args = ParseSaverArgs(cases[i].cmdLine);
    char what[128];
    char detail[128] = "";
    _snprintf(what, sizeof what, "arguments \"%s\"", cases[i].cmdLine);
    bool ok = args.mode == cases[i].mode && args.hwnd == cases[i].hwnd;
    if (!ok)
      _snprintf(detail, sizeof detail, "got %s %lu, want %s %lu", ModeName(args.mode),
                (unsigned long)args.hwnd, ModeName(cases[i].mode), (unsigned long)cases[i].hwnd);
    Expect(ok, what, detail);
  }
  Expect(ParseSaverArgs(NULL).mode == SAVER_CONFIGURE, "arguments NULL", "");
}

// Owns the bytes GetFileVersionInfoA fills in.
class CVersionBlock
{
public:
  CVersionBlock() : m_data(NULL) {}
  ~CVersionBlock() { delete[] m_data; }

  // Returns the size the API reported; 0 with the last error when there is no resource.
  DWORD Load(const char *path)
  {
    DWORD unused = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &unused);
    if (size == 0)
      return 0;
    m_data = new char[size];
    if (!GetFileVersionInfoA(path, 0, size, m_data))
      return 0;
    return size;
  }

  const VS_FIXEDFILEINFO *Fixed() const
  {
    void *p = NULL;
    UINT len = 0;
    if (!m_data || !VerQueryValueA(m_data, "\\", &p, &len) || len < sizeof(VS_FIXEDFILEINFO))
      return NULL;
    return (const VS_FIXEDFILEINFO *)p;
  }

  // First entry of the translation table: language in the low word, code page in the high word.
  bool Translation(WORD *lang, WORD *codePage) const
  {
    void *p = NULL;
    UINT len = 0;
    if (!m_data || !VerQueryValueA(m_data, "\\VarFileInfo\\Translation", &p, &len) || len < 4)
      return false;
    *lang = ((const WORD *)p)[0];
    *codePage = ((const WORD *)p)[1];
    return true;
  }

  const char *String(WORD lang, WORD codePage, const char *name) const
  {
    char path[128];
    _snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\%s", lang, codePage, name);
    void *p = NULL;
    UINT len = 0;
    if (!m_data || !VerQueryValueA(m_data, path, &p, &len) || len == 0)
      return NULL;
    return (const char *)p;
  }

private:
  CVersionBlock(const CVersionBlock &);
  CVersionBlock &operator=(const CVersionBlock &);
  char *m_data;
};

struct Build
{
  const char *label;
  WORD lang;
  const char *languageName;
  const char *fileDescription;
  const char *originalFilename;
};

void CheckBuild(const Build &build, const char *path)
{
  char what[160];
  char detail[160];
  CVersionBlock block;
  _snprintf(what, sizeof what, "%s: version resource in %s", build.label, path);
  if (!block.Load(path))
  {
    _snprintf(detail, sizeof detail, "error %lu", GetLastError());
    Expect(false, what, detail);
    return;
  }
  Expect(true, what, "");

  const VS_FIXEDFILEINFO *fixed = block.Fixed();
  _snprintf(what, sizeof what, "%s: file and product version 1.2.0.0", build.label);
  detail[0] = 0;
  bool ok = fixed && fixed->dwSignature == 0xFEEF04BD && fixed->dwFileVersionMS == 0x00010002 &&
            fixed->dwFileVersionLS == 0 && fixed->dwProductVersionMS == 0x00010002 &&
            fixed->dwProductVersionLS == 0;
  if (fixed && !ok)
    _snprintf(detail, sizeof detail, "file %lu.%lu.%lu.%lu", fixed->dwFileVersionMS >> 16,
              fixed->dwFileVersionMS & 0xFFFF, fixed->dwFileVersionLS >> 16, fixed->dwFileVersionLS & 0xFFFF);
  Expect(ok, what, fixed ? detail : "no fixed file info");

  WORD lang = 0, codePage = 0;
  bool haveTranslation = block.Translation(&lang, &codePage);
  _snprintf(what, sizeof what, "%s: translation %04x, code page 1252", build.label, build.lang);
  _snprintf(detail, sizeof detail, "got %04x, %u", lang, codePage);
  Expect(haveTranslation && lang == build.lang && codePage == 1252, what, haveTranslation ? detail : "none");
  if (!haveTranslation)
    return;

  char name[128] = "";
  GetLocaleInfoA(MAKELCID(lang, SORT_DEFAULT), LOCALE_SLANGUAGE, name, sizeof name);
  _snprintf(what, sizeof what, "%s: language name \"%s\"", build.label, build.languageName);
  _snprintf(detail, sizeof detail, "got \"%s\"", name);
  Expect(strcmp(name, build.languageName) == 0, what, detail);

  static const struct
  {
    const char *name;
    const char *fixedValue; // NULL: taken from the build
  } strings[] = {
    { "CompanyName", "SaverSetup Examples" },
    { "FileDescription", NULL },
    { "FileVersion", "1.2.0.0" },
    { "ProductName", "Glimmer" },
    { "OriginalFilename", NULL },
  };
  for (size_t i = 0; i < sizeof strings / sizeof strings[0]; i++)
  {
    const char *want = strings[i].fixedValue;
    if (!want)
      want = strcmp(strings[i].name, "FileDescription") == 0 ? build.fileDescription : build.originalFilename;
    const char *got = block.String(lang, codePage, strings[i].name);
    _snprintf(what, sizeof what, "%s: %s \"%s\"", build.label, strings[i].name, want);
    _snprintf(detail, sizeof detail, "got \"%s\"", got ? got : "(missing)");
    Expect(got && strcmp(got, want) == 0, what, detail);
  }
}

// The installer tells "no version resource" apart from "older version"; this
// program carries none, so it shows what the API says then.
void CheckFileWithoutVersion()
{
  char self[MAX_PATH];
  DWORD n = GetModuleFileNameA(NULL, self, sizeof self);
  if (n == 0 || n >= sizeof self)
  {
    Expect(false, "no version resource: own path", "GetModuleFileNameA failed");
    return;
  }
  DWORD unused = 0;
  SetLastError(0);
  DWORD size = GetFileVersionInfoSizeA(self, &unused);
  DWORD error = GetLastError();
  char detail[64];
  _snprintf(detail, sizeof detail, "size %lu, error %lu", size, error);
  // 1812 when the file has no resources at all, 1813 when it has others.
  Expect(size == 0 && (error == ERROR_RESOURCE_DATA_NOT_FOUND || error == ERROR_RESOURCE_TYPE_NOT_FOUND),
         "no version resource: size 0 and a resource error", detail);
}

} // namespace

int main(int argc, char **argv)
{
  if (argc != 3)
  {
    fprintf(stderr, "usage: glimmer_check glimmer.scr glimmer_de.scr\n");
    return 2;
  }
  static const Build builds[] = {
    { "English", 0x0409, "English (United States)", "Glimmer Screen Saver", "glimmer.scr" },
    { "German", 0x0407, "German (Germany)", "Glimmer Bildschirmschoner", "glimmer_de.scr" },
  };
  CheckArguments();
  CheckBuild(builds[0], argv[1]);
  CheckBuild(builds[1], argv[2]);
  CheckFileWithoutVersion();
  return Verdict();
}
