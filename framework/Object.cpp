// CObject, run-time class records and the registry of creatable classes.
#include "framework/Object.h"

#include <string.h>

#include "framework/Collections.h"

const CRuntimeClass CObject::classCObject = {"CObject", (int)sizeof(CObject), SCHEMA_NOT_SERIAL,
                                             nullptr, nullptr};

const CRuntimeClass* CObject::GetRuntimeClass() const
{
    return &CObject::classCObject;
}

CObject::~CObject()
{
}

void CObject::Serialize(CArchive&)
{
}

BOOL CObject::IsKindOf(const CRuntimeClass* pClass) const
{
    return GetRuntimeClass()->IsDerivedFrom(pClass);
}

BOOL CObject::IsSerializable() const
{
    return GetRuntimeClass()->m_wSchema != SCHEMA_NOT_SERIAL;
}

CObject* CRuntimeClass::CreateObject() const
{
    return m_pfnCreateObject ? m_pfnCreateObject() : nullptr;
}

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* pBaseClass) const
{
    for (const CRuntimeClass* p = this; p != nullptr; p = p->m_pBaseClass)
        if (p == pBaseClass)
            return TRUE;
    return FALSE;
}

namespace
{
// A package names a handful of classes; the table is fixed so that the
// registry needs no allocation and no static constructors.
const int kMaxClasses = 64;
const CRuntimeClass* s_classes[kMaxClasses] = {
    RUNTIME_CLASS(CObArray), RUNTIME_CLASS(CByteArray), RUNTIME_CLASS(CStringArray),
    RUNTIME_CLASS(CObList)};
int s_nClasses = 4;
}  // namespace

void AfxRegisterClass(const CRuntimeClass* pClass)
{
    for (int i = 0; i < s_nClasses; i++)
        if (s_classes[i] == pClass)
            return;
    if (s_nClasses < kMaxClasses)
        s_classes[s_nClasses++] = pClass;
}

const CRuntimeClass* CRuntimeClass::FromName(const char* lpszClassName)
{
    for (int i = 0; i < s_nClasses; i++)
        if (strcmp(s_classes[i]->m_lpszClassName, lpszClassName) == 0)
            return s_classes[i];
    return nullptr;
}
