// Installers for the tests: the built setup.exe, the marker, and the
// package of a script, written the way the packer writes them.
#ifndef TESTS_WIN_STUB_INSTALLER_H
#define TESTS_WIN_STUB_INSTALLER_H

#include <string>
#include <utility>
#include <vector>

#include "objects/InstObjDefine.h"
#include "saver_test_config.h"
#include "script/Installer.h"
#include "script/PackageFormat.h"
#include "support/TestSupport.h"

namespace stub
{
inline Bytes SetupBytes()
{
    Bytes bytes;
    ReadFileBytes(SAVER_TEST_SETUP_EXE, bytes);
    return bytes;
}

// The stubs built in this tree: this preset's, and the shipped 32-bit one
// when its preset was built as well.
inline std::vector<std::string> BuiltStubs()
{
    std::vector<std::string> stubs;
    if (SAVER_TEST_HAVE_SETUP)
        stubs.push_back(SAVER_TEST_SETUP_EXE);
    std::string win32 = SAVER_TEST_SOURCE_DIR SAVER_TEST_SEP "build" SAVER_TEST_SEP "win32" SAVER_TEST_SEP
                        "bin" SAVER_TEST_SEP "setup.exe";
    if (GetFileAttributesA(win32.c_str()) != INVALID_FILE_ATTRIBUTES)
        stubs.push_back(win32);
    return stubs;
}

inline Bytes MarkerBytes()
{
    CByteArray marker;
    PackageFormat::BuildMarker(marker);
    return Bytes(marker.GetData(), marker.GetData() + marker.GetSize());
}

// The package stream of the script.
inline Bytes PackageOf(CInstaller& script)
{
    return PackBytes(PackageFormat::kPassword, [&](CArchive& ar) { script.Serialize(ar); });
}

inline CInstObjDefine* Define(const char* name, const std::string& value)
{
    CInstObjDefine* define = new CInstObjDefine;
    define->SetVariable(name, value.c_str());
    return define;
}

// A script of define objects only.
typedef std::vector<std::pair<const char*, std::string>> Variables;

inline void AddVariables(CInstaller& script, const Variables& variables)
{
    for (const auto& v : variables)
        script.m_DefineList.AddTail(Define(v.first, v.second));
}

// setup.exe, the marker and the package of the script.
inline Bytes InstallerOf(CInstaller& script)
{
    return SetupBytes() + MarkerBytes() + PackageOf(script);
}
}  // namespace stub

#endif
