// CObject and the run-time class records that let an archive create objects
// by class name.
#ifndef FRAMEWORK_OBJECT_H
#define FRAMEWORK_OBJECT_H

#include "framework/WinTypes.h"

class CArchive;
class CObject;

// Schema of a class that cannot be serialized.
#define SCHEMA_NOT_SERIAL 0xFFFF

struct CRuntimeClass
{
    const char* m_lpszClassName;
    int m_nObjectSize;
    UINT m_wSchema;
    CObject* (*m_pfnCreateObject)();
    const CRuntimeClass* m_pBaseClass;

    // Null when the class has no dynamic creation or memory is exhausted.
    CObject* CreateObject() const;
    BOOL IsDerivedFrom(const CRuntimeClass* pBaseClass) const;

    // Stream form of a class: WORD schema, WORD name length, the name in ASCII.
    void Store(CArchive& ar) const;
    // Reads a stored class and looks it up among the registered classes; null
    // when the name is too long, the stream is short, or no class has that name.
    static const CRuntimeClass* Load(CArchive& ar, UINT* pwSchemaNum);

    // Exact, case-sensitive look-up among the registered classes.
    static const CRuntimeClass* FromName(const char* lpszClassName);
};

// Makes a class known to dynamic creation by name. The framework's own
// serializable classes are always known; registering twice is harmless.
void AfxRegisterClass(const CRuntimeClass* pClass);

class CObject
{
public:
    virtual const CRuntimeClass* GetRuntimeClass() const;
    virtual ~CObject();
    virtual void Serialize(CArchive& ar);

    BOOL IsKindOf(const CRuntimeClass* pClass) const;
    BOOL IsSerializable() const;

    static const CRuntimeClass classCObject;

protected:
    // constexpr, so that a static object of a derived class can be made
    // when the program is loaded, before any code runs.
    constexpr CObject() {}

private:
    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;
};

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

#define DECLARE_DYNAMIC(class_name) \
public: \
    static const CRuntimeClass class##class_name; \
    const CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(class_name) \
    DECLARE_DYNAMIC(class_name) \
    static CObject* CreateObject();

#define DECLARE_SERIAL(class_name) DECLARE_DYNCREATE(class_name)

#define IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, wSchema, pfnNew) \
    const CRuntimeClass class_name::class##class_name = { \
        #class_name, (int)sizeof(class_name), wSchema, pfnNew, RUNTIME_CLASS(base_class_name)}; \
    const CRuntimeClass* class_name::GetRuntimeClass() const { return RUNTIME_CLASS(class_name); }

#define IMPLEMENT_DYNAMIC(class_name, base_class_name) \
    IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, SCHEMA_NOT_SERIAL, nullptr)

#define IMPLEMENT_DYNCREATE(class_name, base_class_name) \
    CObject* class_name::CreateObject() { return new class_name; } \
    IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, SCHEMA_NOT_SERIAL, class_name::CreateObject)

#define IMPLEMENT_SERIAL(class_name, base_class_name, wSchema) \
    CObject* class_name::CreateObject() { return new class_name; } \
    IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, wSchema, class_name::CreateObject)

#endif
