// The expansion of variable references in script strings. The input is
// a mode byte, then lines: the text to expand first, then up to eight
// variables written "name=value". The result is compared with a plain
// model that does what the expansion promises, one reference after the
// other, without any of its shortcuts:
//   - the text changes only on ERR_OK, and every other result leaves it
//     as it was;
//   - a result is never longer than the limit asked for, but a text
//     without references is never refused;
//   - malformed and unknown references are found as the scan meets them;
//   - values without references expand in one pass and are never refused
//     as too long while the result fits;
//   - values that refer to each other give the model's result, or are
//     refused as too long only where the model also outgrew its bounds.
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "script/Installer.h"

namespace
{
// The bounds the expansion keeps to whatever the caller asks (see
// Variables.cpp): the model uses the same ones to tell a refusal that was
// due from one that was not.
#ifndef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
#error "the fuzz build defines FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION, which scales the bounds below"
#endif
const size_t kMaxWorking = 64 * 1024;
const long long kMaxChainedWork = 2 * 1024 * 1024;
const int kMaxVariables = 8;

void Check(bool b)
{
    if (!b)
        abort();
}

struct Ref
{
    std::string text;  // "<name>" as written
    std::string value;
};

// Every occurrence of sOld, left to right and without overlaps, by sNew.
size_t ReplaceAll(std::string& s, const std::string& sOld, const std::string& sNew)
{
    std::string out;
    size_t nCount = 0;
    size_t nFrom = 0;
    for (size_t i = s.find(sOld); i != std::string::npos; i = s.find(sOld, i + sOld.size()))
    {
        out.append(s, nFrom, i - nFrom);
        out += sNew;
        nFrom = i + sOld.size();
        nCount++;
    }
    if (nCount == 0)
        return 0;
    out.append(s, nFrom, std::string::npos);
    s.swap(out);
    return nCount;
}

enum ModelResult
{
    MODEL_OK,
    MODEL_TOO_LONG,   // the expansion must refuse it
    MODEL_UNBOUNDED,  // the expansion may refuse it: too much work
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    // Limit: unlimited, the registry key bound, or a small one that the
    // fuzzer can reach both sides of.
    int nMaxLength;
    switch (data[0] % 4)
    {
    case 0: nMaxLength = CInstaller::kExpandUnlimited; break;
    case 1: nMaxLength = CInstaller::kMaxExpandedLength; break;
    default: nMaxLength = data[1]; break;
    }
    std::string rest((const char*)data + 2, size - 2);

    std::vector<std::string> lines;
    for (size_t from = 0;;)
    {
        size_t nl = rest.find('\n', from);
        lines.push_back(rest.substr(from, nl == std::string::npos ? std::string::npos : nl - from));
        if (nl == std::string::npos)
            break;
        from = nl + 1;
    }
    const std::string text = lines[0];

    CInstaller installer;
    int nVariables = 0;
    for (size_t i = 1; i < lines.size() && nVariables < kMaxVariables; i++)
    {
        size_t eq = lines[i].find('=');
        if (eq == 0 || eq == std::string::npos)
            continue;
        CString strName(lines[i].data(), (int)eq);
        CString strValue(lines[i].data() + eq + 1, (int)(lines[i].size() - eq - 1));
        Check(installer.AddVariable(strName, strValue) == ERR_OK);
        nVariables++;
    }

    // The scan: the first fault met decides.
    int nExpected = ERR_OK;
    std::vector<Ref> refs;
    bool bChained = false;
    size_t nOpen = std::string::npos;
    for (size_t i = 0; i < text.size() && nExpected == ERR_OK; i++)
    {
        if (text[i] == '<')
        {
            if (nOpen != std::string::npos)
                nExpected = ERR_BAD_REFERENCE;
            nOpen = i;
        }
        else if (text[i] == '>')
        {
            if (nOpen == std::string::npos)
            {
                nExpected = ERR_BAD_REFERENCE;
                break;
            }
            CString strValue;
            if (!installer.LookupVariable(CString(text.data() + nOpen + 1, (int)(i - nOpen - 1)), strValue))
            {
                nExpected = ERR_UNDEFINED_VARIABLE;
                break;
            }
            Ref r;
            r.text = text.substr(nOpen, i + 1 - nOpen);
            r.value.assign((const char*)strValue, (size_t)strValue.GetLength());
            if (r.value.find('<') != std::string::npos)
                bChained = true;
            refs.push_back(r);
            nOpen = std::string::npos;
        }
    }

    // The model's result where the scan found no fault.
    const size_t nMaxWorking = text.size() > kMaxWorking ? text.size() : kMaxWorking;
    const size_t nMaxResult =
        nMaxLength >= 0 && (size_t)nMaxLength < nMaxWorking ? (size_t)nMaxLength : nMaxWorking;
    std::string expected = text;
    ModelResult model = MODEL_OK;
    const bool bExpands = nExpected == ERR_OK && !refs.empty();
    if (bExpands && !bChained)
    {
        expected.clear();
        size_t nFrom = 0;
        size_t nRef = 0;
        for (size_t i = 0; i < text.size(); i++)
            if (text[i] == '<' && text.find('>', i) != std::string::npos)
            {
                expected.append(text, nFrom, i - nFrom);
                expected += refs[nRef].value;
                nFrom = i + refs[nRef].text.size();
                i = nFrom - 1;
                nRef++;
            }
        expected.append(text, nFrom, std::string::npos);
        Check(nRef == refs.size());
        if (expected.size() > nMaxResult)
            model = MODEL_TOO_LONG;
    }
    else if (bExpands)
    {
        long long nWork = 0;
        for (const Ref& r : refs)
        {
            nWork += (long long)expected.size();
            if (ReplaceAll(expected, r.text, r.value) > 0)
                nWork += 2LL * (long long)expected.size();
            if (expected.size() > nMaxWorking)
            {
                model = MODEL_TOO_LONG;
                break;
            }
            if (nWork > kMaxChainedWork)
            {
                model = MODEL_UNBOUNDED;
                break;
            }
        }
        if (model == MODEL_OK && expected.size() > nMaxResult)
            model = MODEL_TOO_LONG;
    }

    CString strText(text.data(), (int)text.size());
    int r = installer.ExpandString(strText, nMaxLength);
    std::string got((const char*)strText, (size_t)strText.GetLength());

    // A text without references is never refused, however long; it comes
    // back as it was.
    if (r != ERR_OK)
        Check(got == text);
    else if (nMaxLength >= 0 && !refs.empty())
        Check(got.size() <= (size_t)nMaxLength);

    if (nExpected != ERR_OK)
    {
        Check(r == nExpected);
        return 0;
    }
    switch (model)
    {
    case MODEL_OK:
        Check(r == ERR_OK);
        Check(got == expected);
        break;
    case MODEL_TOO_LONG:
        Check(r == ERR_TOO_LONG);
        break;
    case MODEL_UNBOUNDED:
        Check(r == ERR_TOO_LONG || (r == ERR_OK && got.size() <= nMaxResult));
        break;
    }
    return 0;
}
