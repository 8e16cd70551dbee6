// Feeds untrusted bytes to the package loading path: package stream ->
// PackageArchive -> CInstaller::Serialize, then runs what a loaded script
// offers without touching the system (validation, variable expansion,
// patching) and checks that storing and loading again is stable.
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "framework/Exceptions.h"
#include "framework/MemFile.h"
#include "fuzz/FuzzSupport.h"
#include "objects/InstObjPatchFile.h"
#include "script/Installer.h"
#include "script/PackageArchive.h"
#include "script/PackageFormat.h"

namespace
{
bool LoadPlain(CInstaller& script, const BYTE* p, size_t n)
{
    CExceptionScope scope;
    CMemFile in(const_cast<BYTE*>(p), (UINT)n);
    CArchive ar(&in, CArchive::load);
    script.Serialize(ar);
    ar.Close();
    return !scope.Failed();
}

void Exercise(CInstaller& script)
{
    CObList* const lists[] = {&script.m_CheckList, &script.m_DefineList,  &script.m_PrepareList,
                              &script.m_FileList,  &script.m_RegistryList, &script.m_FinishList1,
                              &script.m_FinishList2};
    for (CObList* pList : lists)
        for (POSITION pos = pList->GetHeadPosition(); pos != nullptr;)
        {
            CInstObj* pObject = (CInstObj*)pList->GetNext(pos);
            pObject->m_pInstaller = &script;
            pObject->ExpandVariables();
            if (pObject->Validate() != ERR_OK || !pObject->IsKindOf(RUNTIME_CLASS(CInstObjPatchFile)))
                continue;
            CInstObjPatchFile* pPatch = (CInstObjPatchFile*)pObject;
            for (int i = 0; i < pPatch->m_Targets.GetSize(); i++)
            {
                CByteArray work;
                work.Copy(pPatch->m_Content);
                pPatch->ApplyPatches(i, work);
            }
        }
}

// Loaded once more from what it stores, a script stores the same bytes.
void CheckRoundTrip(CInstaller& script)
{
    std::vector<BYTE> first = StoreLoadedScript(script);
    CInstaller again;
    if (!LoadPlain(again, first.data(), first.size()))
        abort();
    if (StoreLoadedScript(again) != first)
        abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    InitPackageReading();
    if (size < 1)
        return 0;
    int mode = data[0] % FUZZ_MODES;
    const BYTE* p = data + 1;
    size_t n = size - 1;

    CInstaller script;
    bool bLoaded = false;
    switch (mode)
    {
    case FUZZ_PLAIN_SCRIPT:
        bLoaded = LoadPlain(script, p, n);
        break;
    case FUZZ_WRAPPED_SCRIPT:
    {
        std::vector<BYTE> package = WrapPackage(p, n);
        CMemFile file(package.data(), (UINT)package.size());
        bLoaded = script.LoadPackageStream(file) == ERR_OK;
        break;
    }
    case FUZZ_INSTALLER:
    {
        std::vector<BYTE> copy(p, p + n);
        CMemFile file(copy.empty() ? nullptr : copy.data(), (UINT)copy.size());
        CByteArray marker;
        PackageFormat::BuildMarker(marker);
        CExceptionScope scope;
        if (CInstaller::FindPackageMarker(file, marker))
            bLoaded = script.LoadPackageStream(file) == ERR_OK;
        break;
    }
    default:
    {
        std::vector<BYTE> copy(p, p + n);
        CMemFile file(copy.empty() ? nullptr : copy.data(), (UINT)copy.size());
        bLoaded = script.LoadPackageStream(file) == ERR_OK;
        break;
    }
    }
    if (bLoaded)
    {
        CheckRoundTrip(script);
        Exercise(script);
    }
    return 0;
}
