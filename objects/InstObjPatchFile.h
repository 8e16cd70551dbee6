// CInstObjPatchFile: writes one carried file to several targets, each in its
// own variant made by replacing byte patterns.
#ifndef OBJECTS_INSTOBJPATCHFILE_H
#define OBJECTS_INSTOBJPATCHFILE_H

#include "objects/InstObjFile.h"

// One list per target; list i holds CByteArray objects. Stored as a plain
// CObArray: it adds typed access only.
class CPatchTable : public CObArray
{
public:
    CObArray* GetList(int i) const { return (CObArray*)GetAt(i); }
    CByteArray* GetEntry(int i, int j) const { return (CByteArray*)GetList(i)->GetAt(j); }
    // Deletes every list and every byte array in them.
    void DeleteAll();
};

class CInstObjPatchFile : public CInstObjFile
{
    DECLARE_SERIAL(CInstObjPatchFile)
public:
    ~CInstObjPatchFile() override;

    // Stream form: that of CInstObjFile, then m_SearchPatterns and
    // m_Replacements, each a CObArray of CObArray objects holding CByteArray
    // objects. Loading refuses anything else in them.
    void Serialize(CArchive& ar) override;
    // That of CInstObjDir; then ERR_PATCH_TABLES unless the targets and both
    // tables have one entry each, with lists of equal length per target.
    int Validate() override;
    int Execute(CInstaller* pInstaller) override;

    // Applies the pairs of list i to the bytes in place: each match of a
    // pattern, left to right without overlap, is overwritten by its
    // replacement. FALSE when a replacement is longer than its pattern.
    BOOL ApplyPatches(int i, CByteArray& bytes) const;

    CPatchTable m_SearchPatterns;
    CPatchTable m_Replacements;
};

#endif
