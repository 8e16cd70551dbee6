// The stubs carry their manifest: resource type 24, id 1, language neutral,
// well-formed XML that the system's activation context accepts, asking for
// the administrator, naming the systems from Vista to 11, DPI aware, with
// the common controls 6.
#include <gtest/gtest.h>
#include <windows.h>
#include <xmllite.h>

#include <string>
#include <vector>

#include "saver_test_config.h"
#include "support/TestSupport.h"
#include "win/stub_installer.h"

namespace
{
// The manifest resource's bytes; false when the file has none of that
// language.
bool ReadManifest(const std::string& path, WORD wLanguage, std::string& text)
{
    HMODULE h = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (h == nullptr)
        return false;
    HRSRC hResource = FindResourceExA(h, MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1), wLanguage);
    HGLOBAL hData = hResource != nullptr ? LoadResource(h, hResource) : nullptr;
    const char* p = hData != nullptr ? (const char*)LockResource(hData) : nullptr;
    if (p != nullptr)
        text.assign(p, SizeofResource(h, hResource));
    FreeLibrary(h);
    return p != nullptr;
}

std::string Narrow(const WCHAR* p)
{
    std::string s;
    for (; p != nullptr && *p != 0; p++)
        s += *p < 0x80 ? (char)*p : '?';
    return s;
}

// The document flattened: "a/b/c" for each element, "a/b/c@name=value" for
// each attribute (namespace declarations left out) and "a/b/c=text" for
// text. False with the reader's error when the XML is not well-formed.
typedef HRESULT(WINAPI* CreateReaderFn)(REFIID, void**, IMalloc*);

bool Flatten(const std::string& xml, std::vector<std::string>& lines, std::string& error)
{
    HMODULE hXml = LoadLibraryA("xmllite.dll");
    CreateReaderFn pfnCreate = hXml != nullptr ? (CreateReaderFn)GetProcAddress(hXml, "CreateXmlReader") : nullptr;
    if (pfnCreate == nullptr)
    {
        error = "no xmllite";
        return false;
    }
    HGLOBAL hMemory = GlobalAlloc(GMEM_MOVEABLE, xml.size());
    memcpy(GlobalLock(hMemory), xml.data(), xml.size());
    GlobalUnlock(hMemory);
    IStream* stream = nullptr;
    IXmlReader* reader = nullptr;
    if (FAILED(CreateStreamOnHGlobal(hMemory, TRUE, &stream)) ||
        FAILED(pfnCreate(__uuidof(IXmlReader), (void**)&reader, nullptr)))
    {
        error = "no reader";
        return false;
    }
    reader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit);
    reader->SetInput(stream);
    std::vector<std::string> path;
    auto joined = [&]() {
        std::string s;
        for (const std::string& p : path)
            s += (s.empty() ? "" : "/") + p;
        return s;
    };
    XmlNodeType type;
    HRESULT hr;
    while ((hr = reader->Read(&type)) == S_OK)
    {
        const WCHAR* name = nullptr;
        const WCHAR* value = nullptr;
        if (type == XmlNodeType_Element)
        {
            reader->GetLocalName(&name, nullptr);
            path.push_back(Narrow(name));
            lines.push_back(joined());
            bool bEmpty = reader->IsEmptyElement() != FALSE;
            for (HRESULT a = reader->MoveToFirstAttribute(); a == S_OK; a = reader->MoveToNextAttribute())
            {
                const WCHAR* prefix = nullptr;
                reader->GetPrefix(&prefix, nullptr);
                reader->GetLocalName(&name, nullptr);
                reader->GetValue(&value, nullptr);
                if (Narrow(prefix) != "xmlns" && Narrow(name) != "xmlns")
                    lines.push_back(joined() + "@" + Narrow(name) + "=" + Narrow(value));
            }
            if (bEmpty)
                path.pop_back();
        }
        else if (type == XmlNodeType_EndElement)
            path.pop_back();
        else if (type == XmlNodeType_Text)
        {
            reader->GetValue(&value, nullptr);
            lines.push_back(joined() + "=" + Narrow(value));
        }
    }
    reader->Release();
    stream->Release();
    if (hr != S_FALSE)
    {
        char sz[32];
        wsprintfA(sz, "0x%08lx", (unsigned long)hr);
        error = sz;
        return false;
    }
    return true;
}

bool Has(const std::vector<std::string>& lines, const std::string& line)
{
    for (const std::string& l : lines)
        if (l == line)
            return true;
    return false;
}
}  // namespace

TEST(ManifestResource, EachStubCarriesItsManifest)
{
    std::vector<std::string> stubs = stub::BuiltStubs();
    if (stubs.empty())
        GTEST_SKIP() << "setup.exe is not built in this tree";
    for (const std::string& stub : stubs)
    {
        SCOPED_TRACE(stub);
        std::string xml;
        ASSERT_TRUE(ReadManifest(stub, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), xml));
        std::vector<std::string> lines;
        std::string error;
        ASSERT_TRUE(Flatten(xml, lines, error)) << error;

        const char* expected[] = {
            "assembly/trustInfo/security/requestedPrivileges/requestedExecutionLevel@level=requireAdministrator",
            "assembly/trustInfo/security/requestedPrivileges/requestedExecutionLevel@uiAccess=false",
            // Vista, 7, 8, 8.1, 10 and 11.
            "assembly/compatibility/application/supportedOS@Id={e2011457-1546-43c5-a5fe-008deee3d3f0}",
            "assembly/compatibility/application/supportedOS@Id={35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
            "assembly/compatibility/application/supportedOS@Id={4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
            "assembly/compatibility/application/supportedOS@Id={1f676c76-80e1-4239-95bb-83d0f6d0da78}",
            "assembly/compatibility/application/supportedOS@Id={8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
            "assembly/application/windowsSettings/dpiAware=true",
            "assembly/dependency/dependentAssembly/assemblyIdentity@name=Microsoft.Windows.Common-Controls",
            "assembly/dependency/dependentAssembly/assemblyIdentity@version=6.0.0.0",
            "assembly/dependency/dependentAssembly/assemblyIdentity@publicKeyToken=6595b64144ccf1df",
        };
        for (const char* line : expected)
            EXPECT_TRUE(Has(lines, line)) << line;
    }
}

TEST(ManifestResource, TheSystemAcceptsTheManifest)
{
    if (!SAVER_TEST_HAVE_SETUP)
        GTEST_SKIP() << "setup.exe is not built in this tree";
    // The activation context is what the system makes of the manifest when
    // the stub starts: a manifest it cannot parse fails the start.
    ACTCTXA context = {sizeof(context)};
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    std::string path = SAVER_TEST_SETUP_EXE;
    context.lpSource = path.c_str();
    context.lpResourceName = MAKEINTRESOURCEA(1);
    HANDLE h = CreateActCtxA(&context);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
    ReleaseActCtx(h);
}

TEST(ManifestResource, AFlattenedBrokenDocumentFails)
{
    // The reader catches what a hand-edited manifest gets wrong.
    const char* broken[] = {
        "<assembly><trustInfo></assembly>",
        "<assembly level=requireAdministrator/>",
        "<assembly/><assembly/>",
        "<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY a \"b\">]><x>&a;</x>",
    };
    for (const char* xml : broken)
    {
        std::vector<std::string> lines;
        std::string error;
        EXPECT_FALSE(Flatten(xml, lines, error)) << xml;
    }
    std::vector<std::string> lines;
    std::string error;
    ASSERT_TRUE(Flatten("<a x=\"1\"><b>t</b><c/></a>", lines, error)) << error;
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "a@x=1", "a/b", "a/b=t", "a/c"}));
}
