// CInstObjDefine: one script variable, a name and its value.
#ifndef OBJECTS_INSTOBJDEFINE_H
#define OBJECTS_INSTOBJDEFINE_H

#include "objects/InstObj.h"

class CInstObjDefine : public CInstObj
{
    DECLARE_SERIAL(CInstObjDefine)
public:
    // Stream form: the base fields, m_strName, m_strValue.
    void Serialize(CArchive& ar) override;
    // ERR_EMPTY_NAME for an empty name; the value may be empty.
    int Validate() override;

    // Stores both and returns Validate.
    int SetVariable(const CString& strName, const CString& strValue);
    CString& GetValue() { return m_strValue; }
    // The names are equal without regard to case. The text is taken with its
    // length, so a name is never equal to a longer text that holds a zero.
    BOOL NameEquals(const CString& strText) const;
    BOOL NameEquals(const char* pchText, int nLength) const;

    CString m_strName;   // without the angle brackets of a reference
    CString m_strValue;  // inserted as it is, never expanded itself
};

#endif
