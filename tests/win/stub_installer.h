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
