// The inflate the loader links (on Windows compiled from the zlib source with
// the stub's size flags and without gzip support): every kind of deflate
// block and a match from the far end of the window come back exactly, read
// whole and in pieces too small for the fast path; damaged and foreign
// streams are refused.
#include <gtest/gtest.h>

#include <string.h>
#include <zlib.h>

#include <string>
#include <vector>

namespace
{
using Buffer = std::vector<unsigned char>;

// Deterministic content of a few shapes.
enum class Shape
{
    Empty,
    Text,       // words from a small vocabulary: short matches, dynamic codes
    Noise,      // incompressible: deflate stores it
    Runs,       // long runs of one byte: matches of the longest length
    FarWindow,  // 32 KiB of noise twice: the match reaches the window's far end
};

Buffer Make(Shape shape)
{
    Buffer out;
    unsigned int seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    static const char* const kWords[] = { "saver ", "setup ", "glimmer ", "window ", "<WinDir>\\", "\r\n" };
    switch (shape)
    {
    case Shape::Empty:
        break;
    case Shape::Text:
        while (out.size() < 100000)
        {
            const char* w = kWords[next() % 6];
            out.insert(out.end(), w, w + strlen(w));
        }
        break;
    case Shape::Noise:
        for (int i = 0; i < 70000; i++)
            out.push_back((unsigned char)next());
        break;
    case Shape::Runs:
        for (int i = 0; i < 50; i++)
            out.insert(out.end(), 300 + next() % 3000, (unsigned char)next());
        break;
    case Shape::FarWindow:
        for (int i = 0; i < 32768; i++)
            out.push_back((unsigned char)next());
        out.insert(out.end(), out.begin(), out.end());
        break;
    }
    return out;
}

Buffer Deflate(const Buffer& plain, int level, int strategy, int windowBits = 15)
{
    z_stream z = {};
    EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, windowBits, 8, strategy), Z_OK);
    Buffer out(deflateBound(&z, (uLong)plain.size()) + 32);
    z.next_in = const_cast<Bytef*>(plain.data());
    z.avail_in = (uInt)plain.size();
    z.next_out = out.data();
    z.avail_out = (uInt)out.size();
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// Inflates a zlib stream handing over at most nIn input and nOut output bytes
// per call (0: everything at once). Returns the last code of inflate:
// Z_STREAM_END when the stream ended and its check matched.
int Inflate(const Buffer& packed, size_t nIn, size_t nOut, Buffer& plain)
{
    plain.clear();
    z_stream z = {};
    if (inflateInit(&z) != Z_OK)
        return Z_MEM_ERROR;
    unsigned char chunk[1 << 16];
    size_t used = 0;
    int code = Z_OK;
    while (code == Z_OK)
    {
        if (z.avail_in == 0)
        {
            size_t n = packed.size() - used;
            if (nIn != 0 && n > nIn)
                n = nIn;
            z.next_in = const_cast<Bytef*>(packed.data()) + used;
            z.avail_in = (uInt)n;
            used += n;
        }
        z.next_out = chunk;
        z.avail_out = nOut != 0 && nOut < sizeof(chunk) ? (uInt)nOut : (uInt)sizeof(chunk);
        uInt before = z.avail_out;
        code = inflate(&z, Z_NO_FLUSH);
        plain.insert(plain.end(), chunk, chunk + (before - z.avail_out));
        if (code == Z_BUF_ERROR && used < packed.size())
            code = Z_OK;  // no progress possible with this piece; hand over more
        else if (code == Z_OK && z.avail_in == 0 && used == packed.size() && z.avail_out != 0)
            code = Z_BUF_ERROR;  // all input read, the stream not at its end
    }
    inflateEnd(&z);
    return code;
}

struct RoundTrip
{
    const char* name;
    Shape shape;
    int level;
    int strategy;
};

const RoundTrip kRoundTrips[] = {
    { "stored blocks", Shape::Text, 0, Z_DEFAULT_STRATEGY },
    { "fixed codes", Shape::Text, 6, Z_FIXED },
    { "dynamic codes", Shape::Text, 9, Z_DEFAULT_STRATEGY },
    { "literals only", Shape::Text, 6, Z_HUFFMAN_ONLY },
    { "longest matches", Shape::Runs, 9, Z_RLE },
    { "incompressible", Shape::Noise, 6, Z_DEFAULT_STRATEGY },
    { "window's far end", Shape::FarWindow, 9, Z_DEFAULT_STRATEGY },
    { "empty", Shape::Empty, 6, Z_DEFAULT_STRATEGY },
};

// Whole, and in pieces that keep inflate off its fast path (which needs at
// least 6 input and 258 output bytes at hand).
const size_t kPieces[][2] = { { 0, 0 }, { 3, 5 }, { 1, 300 } };

TEST(ZlibInflateTest, EveryBlockKindComesBackExactly)
{
    for (const RoundTrip& c : kRoundTrips)
    {
        Buffer plain = Make(c.shape);
        Buffer packed = Deflate(plain, c.level, c.strategy);
        for (const auto& p : kPieces)
        {
            SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(p[0]) + " in / " +
                         std::to_string(p[1]) + " out");
            Buffer out;
            EXPECT_EQ(Inflate(packed, p[0], p[1], out), Z_STREAM_END);
            EXPECT_TRUE(out == plain) << out.size() << " bytes instead of " << plain.size();
        }
    }
}

// Uncompress (what the packer's verify and the benchmark use) agrees.
TEST(ZlibInflateTest, UncompressGivesTheSameBytes)
{
    Buffer plain = Make(Shape::FarWindow);
    Buffer packed = Deflate(plain, 9, Z_DEFAULT_STRATEGY);
    Buffer out(plain.size());
    uLongf n = (uLongf)out.size();
    ASSERT_EQ(uncompress(out.data(), &n, packed.data(), (uLong)packed.size()), Z_OK);
    EXPECT_EQ(n, plain.size());
    EXPECT_TRUE(out == plain);
}

TEST(ZlibInflateTest, RefusesDamagedAndForeignStreams)
{
    const Buffer plain = Make(Shape::Text);
    const Buffer good = Deflate(plain, 9, Z_DEFAULT_STRATEGY);
    struct Case
    {
        const char* name;
        Buffer stream;
        int code;
    };
    ASSERT_GT(good.size(), 6u);
    Buffer badCheck = good;
    badCheck[good.size() - 1] ^= 0x01;
    Buffer badHeader = good;
    badHeader[1] ^= 0x01;
    Buffer cut(good.begin(), good.end() - 5);
    const Case cases[] = {
        { "Adler-32 of the content wrong", badCheck, Z_DATA_ERROR },
        { "header check wrong", badHeader, Z_DATA_ERROR },
        { "a gzip stream", Deflate(plain, 9, Z_DEFAULT_STRATEGY, 15 + 16), Z_DATA_ERROR },
        { "a raw deflate stream", Deflate(plain, 9, Z_DEFAULT_STRATEGY, -15), Z_DATA_ERROR },
        { "block type 3", { 0x78, 0x9C, 0x07, 0x00 }, Z_DATA_ERROR },
        { "cut short before the check", cut, Z_BUF_ERROR },
        { "nothing", {}, Z_BUF_ERROR },
    };
    for (const Case& c : cases)
    {
        for (const auto& p : kPieces)
        {
            SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(p[0]));
            Buffer out;
            EXPECT_EQ(Inflate(c.stream, p[0], p[1], out), c.code);
        }
    }
}
} // namespace
