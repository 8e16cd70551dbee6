// CInstObjFile: writes bytes carried in the package to its targets; also the
// restore record that writes a file's saved bytes back on undo.
#ifndef OBJECTS_INSTOBJFILE_H
#define OBJECTS_INSTOBJFILE_H

#include "objects/InstObjDir.h"

class CInstObjFile : public CInstObjDir
{
    DECLARE_SERIAL(CInstObjFile)
public:
    // Stream form: that of CInstObjDir, then m_Content.
    void Serialize(CArchive& ar) override;
    int Execute(CInstaller* pInstaller) override;
    // Drops m_Content.
    void ReleaseCarriedData() override;

    // Makes this new object a restore record for the file at path.
    int InitFileUndo(const CString& strPath, const CByteArray& bytes);

    // Writes bytes to one target when the overwrite rule allows it, after
    // recording how to undo the write (Windows only). An undo record writes
    // its saved bytes back whatever is on disk now.
    int WriteTarget(const CString& strTarget, const CByteArray& bytes, BOOL bApplyAttributes);

    // Creates or truncates the file, exclusively, and writes all the bytes:
    // 0, or 1 when it cannot be opened or written.
    static int WriteFileBytes(const CString& strPath, const CByteArray& bytes);

    CByteArray m_Content;  // the whole file
};

#endif
