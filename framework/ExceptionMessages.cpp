// English descriptions of the framework exceptions, for the packer's and the
// tests' diagnostics. The stub never shows them and does not link this file.
#include "framework/Exceptions.h"

CString CException::GetErrorMessage() const
{
    if (IsKindOf(RUNTIME_CLASS(CMemoryException)))
        return CString("out of memory");
    if (IsKindOf(RUNTIME_CLASS(CUserException)))
        return CString("operation refused");
    if (IsKindOf(RUNTIME_CLASS(CFileException)))
    {
        static const char* const kCauses[] = {
            "no error",           "generic file error", "file not found",     "bad path",
            "too many open files", "access denied",     "invalid file",       "cannot remove current directory",
            "directory full",     "bad seek",           "hardware I/O error", "sharing violation",
            "lock violation",     "disk full",          "end of file"};
        const CFileException* e = (const CFileException*)this;
        CString s(e->m_cause >= 0 && e->m_cause <= CFileException::endOfFile ? kCauses[e->m_cause] : "file error");
        if (!e->m_strFileName.IsEmpty())
            s += CString(": ") + e->m_strFileName;
        return s;
    }
    if (IsKindOf(RUNTIME_CLASS(CArchiveException)))
    {
        static const char* const kCauses[] = {"no error",    "generic archive error", "archive is read-only",
                                              "end of file", "archive is write-only", "bad object index",
                                              "bad class",   "bad schema"};
        const CArchiveException* e = (const CArchiveException*)this;
        CString s;
        s.Format("%s at offset %lu",
                 e->m_cause >= 0 && e->m_cause <= CArchiveException::badSchema ? kCauses[e->m_cause]
                                                                               : "archive error",
                 (unsigned long)e->m_dwPosition);
        return s;
    }
    return CString("unknown error");
}
