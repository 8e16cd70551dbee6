// The walks over the performance library's "Counters" list and over a
// performance data block, on blocks built here: the system's own data is
// not needed (and under Wine holds no processes).
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "sysutil/PerfData.h"

namespace
{
typedef std::vector<BYTE> Block;

void Put32(Block& b, size_t at, DWORD v)
{
    for (int i = 0; i < 4; i++)
        b[at + i] = (BYTE)(v >> (8 * i));
}

size_t Append(Block& b, size_t n)
{
    size_t at = b.size();
    b.resize(at + n);
    return at;
}

// ASCII only: anything else fails, as a name the code page cannot hold.
int AsciiConvert(const BYTE* pWide, int nChars, char* pszOut, int nOut)
{
    if (nChars >= nOut)
        return -1;
    for (int i = 0; i < nChars; i++)
    {
        if (pWide[2 * i + 1] != 0 || pWide[2 * i] >= 0x80)
            return -1;
        pszOut[i] = (char)pWide[2 * i];
    }
    pszOut[nChars] = 0;
    return nChars;
}

const DWORD kIdCounter = 784;
const DWORD kIdOffset = 16;  // in each counter block

struct Instance
{
    std::string name;  // '\x80' and above stand for characters outside ASCII
    DWORD pid;
};

// A block with one object type of two counters (the process id second) and
// the instances given. Offsets of the parts, for the tests that break them.
struct PerfBlock
{
    Block bytes;
    size_t object = 0;
    size_t counters = 0;
    std::vector<size_t> instances;
    std::vector<size_t> counterBlocks;
};

PerfBlock Build(const std::vector<Instance>& instances, DWORD idCounter = kIdCounter)
{
    PerfBlock p;
    Block& b = p.bytes;
    // PERF_DATA_BLOCK, 88 bytes.
    Append(b, 88);
    const char* sig = "PERF";
    for (int i = 0; i < 4; i++)
        b[2 * i] = (BYTE)sig[i];
    Put32(b, 8, 1);
    Put32(b, 24, 88);
    Put32(b, 28, 1);
    // PERF_OBJECT_TYPE, 64 bytes, then the counter definitions.
    p.object = Append(b, 64);
    p.counters = Append(b, 80);
    Put32(b, p.object + 4, 64 + 80);
    Put32(b, p.object + 8, 64);
    Put32(b, p.object + 12, 230);
    Put32(b, p.object + 32, 2);
    Put32(b, p.object + 40, (DWORD)instances.size());
    const DWORD counterIndex[2] = {6, idCounter};
    const DWORD counterOffset[2] = {8, kIdOffset};
    for (int k = 0; k < 2; k++)
    {
        size_t c = p.counters + 40 * k;
        Put32(b, c, 40);
        Put32(b, c + 4, counterIndex[k]);
        Put32(b, c + 32, 4);
        Put32(b, c + 36, counterOffset[k]);
    }
    for (const Instance& inst : instances)
    {
        // PERF_INSTANCE_DEFINITION with its name, padded to 8 bytes.
        size_t nameBytes = 2 * (inst.name.size() + 1);
        size_t length = (24 + nameBytes + 7) / 8 * 8;
        size_t at = Append(b, length);
        Put32(b, at, (DWORD)length);
        Put32(b, at + 16, 24);
        Put32(b, at + 20, (DWORD)nameBytes);
        for (size_t i = 0; i < inst.name.size(); i++)
        {
            BYTE c = (BYTE)inst.name[i];
            b[at + 24 + 2 * i] = c;
            b[at + 25 + 2 * i] = c >= 0x80 ? 0x01 : 0;
        }
        p.instances.push_back(at);
        // PERF_COUNTER_BLOCK of 24 bytes.
        size_t block = Append(b, 24);
        Put32(b, block, 24);
        Put32(b, block + kIdOffset, inst.pid);
        p.counterBlocks.push_back(block);
    }
    Put32(b, p.object, (DWORD)(b.size() - p.object));
    Put32(b, 20, (DWORD)b.size());
    return p;
}

const std::vector<Instance> kThree = {{"Idle", 0}, {"System", 4}, {"explorer", 1234}};

DWORD Walk(const Block& b, std::vector<TaskEntry>& entries, DWORD nMax = 511, DWORD idCounter = kIdCounter)
{
    entries.assign(kTaskListSize, TaskEntry());
    memset(entries.data(), 0, entries.size() * sizeof(TaskEntry));
    // An exact copy, so that a read past the end is caught by the sanitizer.
    Block exact(b);
    return WalkPerfProcesses(exact.data(), exact.size(), idCounter, entries.data(), nMax, AsciiConvert);
}

bool AllZero(const std::vector<TaskEntry>& entries)
{
    const BYTE* p = (const BYTE*)entries.data();
    for (size_t i = 0; i < entries.size() * sizeof(TaskEntry); i++)
        if (p[i] != 0)
            return false;
    return true;
}
}  // namespace

TEST(PerfData, ListsEveryInstanceWithExtensionAndIdleId)
{
    std::vector<TaskEntry> entries;
    ASSERT_EQ(Walk(Build(kThree).bytes, entries), 3u);
    EXPECT_STREQ(entries[0].szProcessName, "Idle.exe");
    EXPECT_EQ(entries[0].dwProcessId, kIdleProcessId);
    EXPECT_STREQ(entries[1].szProcessName, "System.exe");
    EXPECT_EQ(entries[1].dwProcessId, 4u);
    EXPECT_STREQ(entries[2].szProcessName, "explorer.exe");
    EXPECT_EQ(entries[2].dwProcessId, 1234u);
    EXPECT_EQ(entries[3].szProcessName[0], 0);
    EXPECT_EQ(entries[0].hWindow, nullptr);
}

TEST(PerfData, NamesThatDoNotConvertOrDoNotFit)
{
    struct Case
    {
        std::string name;
        const char* expected;  // null: the name itself plus ".exe"
    } cases[] = {
        {"caf\xe9", "unknown"},             // outside the code page
        {std::string(255, 'a'), nullptr},   // 255 + ".exe" + terminator: 260
        {std::string(256, 'a'), ""},        // one more would overrun the entry
        {std::string(259, 'a'), ""},        // converts, but ".exe" does not fit
        {std::string(260, 'a'), "unknown"}, // too long to convert at all
        {std::string(400, 'a'), "unknown"},
        {"", ".exe"},
    };
    for (const Case& c : cases)
    {
        std::vector<TaskEntry> entries;
        ASSERT_EQ(Walk(Build({{c.name, 8}}).bytes, entries), 1u) << c.name.size();
        std::string expected = c.expected != nullptr ? c.expected : c.name + ".exe";
        EXPECT_EQ(entries[0].szProcessName, expected) << c.name.size();
        EXPECT_EQ(entries[0].dwProcessId, 8u);
    }
}

TEST(PerfData, StopsAtTheLimit)
{
    std::vector<Instance> many;
    for (int i = 0; i < 600; i++)
        many.push_back({"p" + std::to_string(i), (DWORD)(100 + i)});
    std::vector<TaskEntry> entries;
    // The lister passes one less than the list holds.
    ASSERT_EQ(Walk(Build(many).bytes, entries, kTaskListSize - 1), 511u);
    EXPECT_STREQ(entries[510].szProcessName, "p510.exe");
    EXPECT_EQ(entries[510].dwProcessId, 610u);
    EXPECT_EQ(entries[511].szProcessName[0], 0);
    EXPECT_EQ(Walk(Build(many).bytes, entries, 0), 0u);
}

TEST(PerfData, NoProcessIdCounterOrNoInstancesGivesNothing)
{
    std::vector<TaskEntry> entries;
    EXPECT_EQ(Walk(Build(kThree, 999).bytes, entries), 0u);
    EXPECT_TRUE(AllZero(entries));
    EXPECT_EQ(Walk(Build({}).bytes, entries), 0u);
    PerfBlock noInstances = Build(kThree);
    Put32(noInstances.bytes, noInstances.object + 40, 0xFFFFFFFF);  // PERF_NO_INSTANCES
    EXPECT_EQ(Walk(noInstances.bytes, entries), 0u);
    PerfBlock noObjects = Build(kThree);
    Put32(noObjects.bytes, 28, 0);
    EXPECT_EQ(Walk(noObjects.bytes, entries), 0u);
}

TEST(PerfData, InconsistentBlocksGiveAnEmptyList)
{
    struct Case
    {
        const char* what;
        void (*Break)(PerfBlock&);
    } cases[] = {
        {"signature", [](PerfBlock& p) { p.bytes[0] = 'Q'; }},
        {"block longer than read", [](PerfBlock& p) { Put32(p.bytes, 20, (DWORD)p.bytes.size() + 1); }},
        {"header beyond the block", [](PerfBlock& p) { Put32(p.bytes, 24, (DWORD)p.bytes.size()); }},
        {"header inside the block header", [](PerfBlock& p) { Put32(p.bytes, 24, 4); }},
        {"object beyond the block", [](PerfBlock& p) { Put32(p.bytes, p.object, (DWORD)p.bytes.size()); }},
        {"definitions beyond the object", [](PerfBlock& p) { Put32(p.bytes, p.object + 4, 0xFFFFFFF0); }},
        {"counter header inside the object header", [](PerfBlock& p) { Put32(p.bytes, p.object + 8, 0); }},
        {"counters beyond the definitions", [](PerfBlock& p) { Put32(p.bytes, p.object + 32, 0x10000000); }},
        {"more instances than there are", [](PerfBlock& p) { Put32(p.bytes, p.object + 40, 4); }},
        {"instance length 0", [](PerfBlock& p) { Put32(p.bytes, p.instances[1], 0); }},
        {"instance length wraps", [](PerfBlock& p) { Put32(p.bytes, p.instances[1], 0xFFFFFFF8); }},
        {"name beyond the instance", [](PerfBlock& p) { Put32(p.bytes, p.instances[2] + 20, 0x1000); }},
        {"name offset wraps", [](PerfBlock& p) { Put32(p.bytes, p.instances[2] + 16, 0xFFFFFFFE); }},
        {"counter block length 0", [](PerfBlock& p) { Put32(p.bytes, p.counterBlocks[0], 0); }},
        {"counter block beyond the object", [](PerfBlock& p) { Put32(p.bytes, p.counterBlocks[2], 0x7FFFFFFF); }},
        {"process id beyond its counter block", [](PerfBlock& p) { Put32(p.bytes, p.counters + 76, 21); }},
        {"process id offset wraps", [](PerfBlock& p) { Put32(p.bytes, p.counters + 76, 0xFFFFFFFE); }},
    };
    for (const Case& c : cases)
    {
        PerfBlock p = Build(kThree);
        c.Break(p);
        std::vector<TaskEntry> entries;
        EXPECT_EQ(Walk(p.bytes, entries), 0u) << c.what;
        EXPECT_TRUE(AllZero(entries)) << c.what;
    }
}

TEST(PerfData, EveryTruncationGivesAnEmptyList)
{
    const Block whole = Build(kThree).bytes;
    for (size_t cut = 0; cut < whole.size(); cut++)
    {
        // Cut short, with the block's own length saying so where it can.
        Block b(whole.begin(), whole.begin() + cut);
        if (cut >= 24)
            Put32(b, 20, (DWORD)cut);
        std::vector<TaskEntry> entries;
        ASSERT_EQ(Walk(b, entries), 0u) << cut;
        ASSERT_TRUE(AllZero(entries)) << cut;
    }
}

TEST(PerfData, FindsTheProcessIndexesInTheCounterList)
{
    using namespace std::string_literals;
    struct Case
    {
        std::string list;
        bool found;
        const char* object;
        DWORD id;
    } cases[] = {
        {"1\0" "1847\0" "2\0System\0" "230\0Process\0" "784\0ID Process\0" "\0"s, true, "230", 784},
        {"230\0PROCESS\0" "784\0id process\0" "\0"s, true, "230", 784},
        // A later entry replaces an earlier one.
        {"230\0process\0" "784\0id process\0" "9230\0process\0" "9784\0Id Process\0" "\0"s, true, "9230", 9784},
        // The list may end without its empty string, or without a terminator.
        {"230\0process\0" "784\0id process"s, true, "230", 784},
        // An empty string ends the list.
        {"230\0process\0" "\0" "784\0id process\0"s, false, nullptr, 0},
        {"230\0process\0" "\0"s, false, nullptr, 0},
        {"784\0id process\0" "\0"s, false, nullptr, 0},
        // A name without an index of digits before it names nothing.
        {"process\0" "784\0id process\0"s, false, nullptr, 0},
        {"23x\0process\0" "784\0id process\0"s, false, nullptr, 0},
        {"230\0process\0" "99999999999\0id process\0"s, false, nullptr, 0},
        // An object index longer than its buffer.
        {"123456789012345678\0process\0" "784\0id process\0"s, false, nullptr, 0},
        {""s, false, nullptr, 0},
    };
    for (const Case& c : cases)
    {
        std::vector<char> exact(c.list.begin(), c.list.end());
        char szObject[16] = "unchanged";
        DWORD id = 1;
        bool found = FindProcessCounterIndexes(exact.data(), exact.size(), szObject, sizeof(szObject), &id);
        EXPECT_EQ(found, c.found) << c.list;
        if (found && c.found)
        {
            EXPECT_STREQ(szObject, c.object);
            EXPECT_EQ(id, c.id);
        }
    }
}
