// Writes the seed corpus of fuzz_package into the folder given: valid scripts
// with every install-object class, as plain streams, wrapped packages,
// package streams and whole installer files.
#include <stdio.h>

#include <string>
#include <vector>

#include "framework/Exceptions.h"
#include "framework/MemFile.h"
#include "fuzz/FuzzSupport.h"
#include "objects/InstObjAction.h"
#include "objects/InstObjDefine.h"
#include "objects/InstObjDir.h"
#include "objects/InstObjFile.h"
#include "objects/InstObjPatchFile.h"
#include "objects/InstObjRegValue.h"
#include "objects/InstObjRegistry.h"
#include "objects/InstObjShellLink.h"
#include "script/Installer.h"
#include "script/PackageFormat.h"

namespace
{
std::vector<BYTE> Plain(CInstaller& script)
{
    std::vector<BYTE> out;
    StoreScript(script, out);
    return out;
}

void Write(const std::string& dir, const std::string& name, int mode, const std::vector<BYTE>& bytes)
{
    std::string path = dir + "/" + name;
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr)
    {
        perror(path.c_str());
        return;
    }
    fputc(mode, f);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

CByteArray* Bytes(const char* s)
{
    CByteArray* a = new CByteArray;
    for (const char* p = s; *p; p++)
        a->Add((BYTE)*p);
    return a;
}

void FillEveryClass(CInstaller& script)
{
    CInstObjDefine* define = new CInstObjDefine;
    define->SetVariable("Dir", "<WinDir>\\Glimmer");
    script.m_DefineList.AddTail(define);
    CInstObjDefine* text = new CInstObjDefine;
    text->SetVariable("IDS_INSTALL1", "Installing <Dir>");
    script.m_DefineList.AddTail(text);

    CInstObjRegistry* check = new CInstObjRegistry;
    check->m_nMode = MODE_CHECK_ABSENT;
    check->m_strErrorTextName = "Blocked";
    check->m_Targets.Add("HKEY_CURRENT_USER\\Software\\Other");
    script.m_CheckList.AddTail(check);

    CInstObjDir* dir = new CInstObjDir;
    dir->m_nMode = MODE_CREATE;
    dir->m_Targets.Add("<Dir>");
    script.m_PrepareList.AddTail(dir);

    CInstObjFile* file = new CInstObjFile;
    file->m_nMode = MODE_CREATE;
    file->m_Targets.Add("<Dir>\\readme.txt");
    file->m_Content.Copy((const BYTE*)"Glimmer <Dir>", 13);
    script.m_FileList.AddTail(file);

    CInstObjPatchFile* patch = new CInstObjPatchFile;
    patch->m_Targets.Add("<Dir>\\a.ini");
    patch->m_Targets.Add("<Dir>\\b.ini");
    patch->m_Content.Copy((const BYTE*)"lang=XX;lang=XX", 15);
    for (int i = 0; i < 2; i++)
    {
        CObArray* patterns = new CObArray;
        CObArray* replacements = new CObArray;
        patterns->Add(Bytes("XX"));
        replacements->Add(Bytes(i == 0 ? "en" : "d"));
        patch->m_SearchPatterns.Add(patterns);
        patch->m_Replacements.Add(replacements);
    }
    script.m_FileList.AddTail(patch);

    CInstObjRegValue* value = new CInstObjRegValue;
    value->SetTextValue("HKEY_CURRENT_USER\\Control Panel\\Desktop", "SCRNSAVE.EXE", "<Dir>\\glimmer.scr", 10001);
    script.m_RegistryList.AddTail(value);
    CInstObjRegistry* key = new CInstObjRegistry;
    key->m_nMode = MODE_COPY;
    key->m_Sources.Add("HKEY_LOCAL_MACHINE\\Software\\A");
    key->m_Targets.Add("HKEY_CURRENT_USER\\Software\\A");
    script.m_RegistryList.AddTail(key);

    CInstObjAction* action = new CInstObjAction;
    action->m_nMode = MODE_SHELL_VERB;
    action->m_strVerb = "Open";
    action->m_strFile = "<Dir>\\readme.txt";
    script.m_FinishList1.AddTail(action);

    CInstObjShellLink* link = new CInstObjShellLink;
    link->m_nMode = MODE_CREATE;
    link->m_strVerb = "Glimmer";
    link->m_strFile = "<UserPrograms>\\Glimmer.lnk";
    link->m_strTarget = "<Dir>\\glimmer.scr";
    script.m_FinishList2.AddTail(link);
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    std::string dir = argv[1];
    CInstaller::RegisterClasses();

    CInstaller empty;
    CInstaller full;
    FillEveryClass(full);
    CInstaller defines;
    CInstObjDefine* longValue = new CInstObjDefine;
    longValue->SetVariable("L", std::string(300, 'v').c_str());
    defines.m_DefineList.AddTail(longValue);

    struct Seed
    {
        const char* name;
        std::vector<BYTE> plain;
    } seeds[] = {{"empty", Plain(empty)}, {"every-class", Plain(full)}, {"long-value", Plain(defines)}};
    for (const Seed& seed : seeds)
    {
        std::vector<BYTE> package = WrapPackage(seed.plain.data(), seed.plain.size());
        std::vector<BYTE> installer = {'M', 'Z', 0x90, 0};
        CByteArray marker;
        PackageFormat::BuildMarker(marker);
        installer.insert(installer.end(), marker.GetData(), marker.GetData() + marker.GetSize());
        installer.insert(installer.end(), package.begin(), package.end());

        Write(dir, std::string(seed.name) + ".plain", FUZZ_PLAIN_SCRIPT, seed.plain);
        Write(dir, std::string(seed.name) + ".wrapped", FUZZ_WRAPPED_SCRIPT, seed.plain);
        Write(dir, std::string(seed.name) + ".package", FUZZ_PACKAGE_STREAM, package);
        Write(dir, std::string(seed.name) + ".installer", FUZZ_INSTALLER, installer);
    }
    // A string of 16-bit characters inside a define.
    std::vector<BYTE> wide = {1, 0, 0, 0, 0, 0, 1, 0, 0xFF, 0xFF, 1, 0, 14, 0};
    for (const char* p = "CInstObjDefine"; *p; p++)
        wide.push_back((BYTE)*p);
    std::vector<BYTE> fields = {0, 0, 0, 0, 0, 0xFF, 0xFE, 0xFF, 2, 'N', 0, 0xE9, 0, 1, 'v', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    wide.insert(wide.end(), fields.begin(), fields.end());
    Write(dir, "wide.plain", FUZZ_PLAIN_SCRIPT, wide);
    return 0;
}
