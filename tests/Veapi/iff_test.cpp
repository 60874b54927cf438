#include <gtest/gtest.h>

#include "Veapi/iff.h"
#include "Veapi/iff_image_reader.h"
#include "texture_support.h"

using namespace texture_test;
using namespace ve;

namespace {

std::vector<uint8_t> Be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

std::vector<uint8_t> Chunk(const char* id, std::vector<uint8_t> data)
{
    std::vector<uint8_t> out(id, id + 4);
    auto size = Be32(uint32_t(data.size()));
    out.insert(out.end(), size.begin(), size.end());
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() & 1)
        out.push_back(0);
    return out;
}

std::vector<uint8_t> Group(const char* kind, const char* type, std::initializer_list<std::vector<uint8_t>> children)
{
    std::vector<uint8_t> data(type, type + 4);
    for (const auto& c : children)
        data.insert(data.end(), c.begin(), c.end());
    return Chunk(kind, data);
}

bool ReadDoc(IffDocument& doc, const std::vector<uint8_t>& bytes)
{
    MemoryMedium m(bytes.data(), uint32_t(bytes.size()));
    return doc.Read(&m);
}

IffRawChunk* Raw(IffChunk* c) { return dynamic_cast<IffRawChunk*>(c); }

TEST(IffDocument, OddChunkIsFollowedByOnePadByte)
{
    auto bytes = Group("FORM", "TEST", {Chunk("ABCD", {1, 2, 3, 4, 5}), Chunk("EFGH", {6, 7})});
    ASSERT_EQ(bytes[12 + 8 + 5], 0) << "the pad byte";
    IffDocument doc;
    ASSERT_TRUE(ReadDoc(doc, bytes));
    ASSERT_EQ(doc.Root()->Children().size(), 2u);
    IffRawChunk* first = Raw(doc.Root()->Children()[0]);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Data().size(), 5u);
    IffRawChunk* second = Raw(doc.Root()->Children()[1]);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->Id(), MakeIffId("EFGH"));
    EXPECT_EQ(second->Data(), (std::vector<uint8_t>{6, 7}));
}

TEST(IffDocument, FormKeepsPropRawAndListHandsItsPropertiesDown)
{
    RegisterIffImageFormat();
    auto bytes = Group("FORM", "ILBM", {Group("PROP", "ILBM", {Chunk("CMAP", {1, 2, 3})})});
    IffDocument doc;
    ASSERT_TRUE(ReadDoc(doc, bytes));
    IffChunk* prop = doc.Root()->Children()[0];
    EXPECT_EQ(prop->AsContainer(), nullptr);
    EXPECT_NE(Raw(prop), nullptr);

    IffDocument list;
    ASSERT_TRUE(list.ReadFile(Fixture("ilbm_list_prop.iff")));
    IffChunk* body = nullptr;
    list.ForEach(kIffIlbm, kIffBody, [](IffChunk* c, void* ctx) {
        *static_cast<IffChunk**>(ctx) = c;
        return false;
    }, &body);
    ASSERT_NE(body, nullptr);
    auto* cmap = dynamic_cast<IlbmCmap*>(body->FindProperty(kIffCmap));
    ASSERT_NE(cmap, nullptr);
    EXPECT_EQ(cmap->Count(), 4u);
    EXPECT_NE(body->FindProperty(kIffBmhd), nullptr);
    EXPECT_EQ(body->FindProperty(kIffGrab), nullptr);
}

class HalfReader : public IffChunk {
public:
    explicit HalfReader(IffId id) : IffChunk(id) {}
    void Transfer(IffArchive& ar) override
    {
        for (uint32_t i = 0; i < want; ++i)
            ar.Transfer8(got[i]);
    }
    static inline uint32_t want = 1;
    uint8_t got[8] = {};
};

TEST(IffDocument, ChunkReadingLessIsSkippedReadingMoreFails)
{
    IffRegistry::Register([](IffId id) -> IffChunk* { return new HalfReader(id); }, MakeIffId("TST1"),
                          MakeIffId("HALF"));
    auto bytes = Group("FORM", "TST1", {Chunk("HALF", {1, 2, 3, 4}), Chunk("NEXT", {9})});
    HalfReader::want = 1;
    IffDocument doc;
    ASSERT_TRUE(ReadDoc(doc, bytes));
    ASSERT_EQ(doc.Root()->Children().size(), 2u);
    EXPECT_EQ(static_cast<HalfReader*>(doc.Root()->Children()[0])->got[0], 1);
    IffRawChunk* next = Raw(doc.Root()->Children()[1]);
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->Data(), std::vector<uint8_t>{9});
    HalfReader::want = 5;
    IffDocument more;
    EXPECT_FALSE(ReadDoc(more, bytes));
}

TEST(IffDocument, RefusesWhatIsNotADocument)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    std::vector<uint8_t> deep = Chunk("ABCD", {});
    for (int i = 0; i < 200; ++i)
        deep = Group("FORM", "DEEP", {deep});
    std::vector<uint8_t> huge = {'F', 'O', 'R', 'M', 0, 0, 0, 20, 'T', 'E', 'S', 'T', 'D', 'A', 'T', 'A', 0x7f, 0xff, 0xff, 0xf0, 1, 2, 3, 4};
    const Case cases[] = {
        {"root is a data chunk", Chunk("BODY", {1, 2})},
        {"empty", {}},
        {"chunk larger than the stream", huge},
        {"group larger than its parent",
         Group("FORM", "TEST", {{'L', 'I', 'S', 'T', 0, 0, 1, 0, 'T', 'E', 'S', 'T'}})},
        {"header cut short", {'F', 'O', 'R', 'M', 0, 0}},
        {"nesting without end", deep},
    };
    for (const Case& c : cases) {
        IffDocument doc;
        EXPECT_FALSE(ReadDoc(doc, c.bytes)) << c.what;
    }
    IffDocument missing;
    EXPECT_FALSE(missing.ReadFile("/nonexistent/file.iff"));
    EXPECT_TRUE(missing.MediumStatus() & kMediumOpenFailed);
}

TEST(IffRegistry, LaterRegistrationWins)
{
    auto first = [](IffId) -> IffChunk* { return nullptr; };
    auto second = [](IffId) -> IffChunk* { return nullptr; };
    IffRegistry::Register(first, MakeIffId("TST2"), kIffBmhd);
    IffRegistry::Register(second, MakeIffId("TST2"), kIffBmhd);
    EXPECT_EQ(IffRegistry::Lookup(MakeIffId("TST2"), kIffBmhd), static_cast<IffFactory>(second));
    // The wildcard form type matches every form.
    EXPECT_NE(IffRegistry::Lookup(MakeIffId("ANYT"), kIffForm), nullptr);
    EXPECT_EQ(IffRegistry::Lookup(MakeIffId("TST3"), MakeIffId("NONE")), nullptr);
}

TEST(IffDocument, WritesBackTheBytesItRead)
{
    RegisterIffImageFormat();
    for (const char* name : {"mipm_3levels.iff", "ilbm_4x2_2planes.iff", "ilbm_list_prop.iff",
                             "s3tc_dxt1_4x4.iff", "ilbm_alpha_2x1.iff", "ilbm_16_and_256.iff"}) {
        std::vector<uint8_t> original = ReadBytes(Fixture(name));
        IffDocument doc;
        ASSERT_TRUE(ReadDoc(doc, original)) << name;
        BufferMedium out;
        ASSERT_TRUE(doc.Write(&out)) << name;
        EXPECT_EQ(out.Bytes(), original) << name;
    }
}

// Read with lending, picture and alpha rows stay where they lie in the
// medium's memory (a window over it copies them); owned, or once written,
// they outlive that memory, and the document writes back the bytes it read.
TEST(IffDocument, LentRowsLieInTheMediumUntilOwned)
{
    RegisterIffImageFormat();
    for (const char* name : {"mipm_3levels.iff", "ilbm_4x2_2planes_rle.iff", "ilbm_alpha_2x1.iff"})
        for (bool window : {false, true})
            for (bool writeFirst : {false, true}) {
                SCOPED_TRACE(std::string(name) + (window ? " through a window" : "") +
                             (writeFirst ? ", written while lent" : ""));
                const std::vector<uint8_t> original = ReadBytes(Fixture(name));
                std::vector<uint8_t> bytes = original;
                IffDocument doc;
                auto* memory = new MemoryMedium(bytes.data(), uint32_t(bytes.size()));
                DataMedium* medium = memory;
                if (window)
                    medium = new SubRangeMedium(memory, uint32_t(bytes.size()));
                ASSERT_TRUE(doc.Read(medium, true));
                if (window)
                    medium->Release();
                memory->Release();
                std::vector<IlbmBody*> rows;
                doc.ForEach(0, 0, [](IffChunk* c, void* out) {
                    if (auto* body = dynamic_cast<IlbmBody*>(c))
                        static_cast<std::vector<IlbmBody*>*>(out)->push_back(body);
                    return true;
                }, &rows);
                ASSERT_FALSE(rows.empty());
                auto inMedium = [&](const IlbmBody* b) {
                    return b->Bytes() >= bytes.data() && b->Bytes() + b->Size() <= bytes.data() + bytes.size();
                };
                for (const IlbmBody* b : rows) {
                    EXPECT_EQ(inMedium(b), !window) << IffIdText(b->Id());
                    EXPECT_GT(b->Size(), 0u);
                }
                if (writeFirst) {
                    BufferMedium out;
                    ASSERT_TRUE(doc.Write(&out));
                    EXPECT_EQ(out.Bytes(), original);
                } else {
                    doc.OwnBytes();
                }
                std::fill(bytes.begin(), bytes.end(), uint8_t(0x5a));
                for (const IlbmBody* b : rows)
                    EXPECT_FALSE(inMedium(b)) << IffIdText(b->Id());
                BufferMedium out;
                ASSERT_TRUE(doc.Write(&out));
                EXPECT_EQ(out.Bytes(), original);
            }
}

TEST(IffDocument, ForEachVisitsPicturesInDocumentOrderAndStops)
{
    RegisterIffImageFormat();
    IffDocument doc;
    ASSERT_TRUE(doc.ReadFile(Fixture("mipm_3levels.iff")));
    std::vector<uint16_t> widths;
    doc.ForEach(kIffIlbm, kIffBody, [](IffChunk* c, void* ctx) {
        auto* bmhd = static_cast<IlbmBmhd*>(c->FindProperty(kIffBmhd));
        static_cast<std::vector<uint16_t>*>(ctx)->push_back(bmhd->width);
        return true;
    }, &widths);
    EXPECT_EQ(widths, (std::vector<uint16_t>{8, 4, 2, 1}));
    int calls = 0;
    doc.ForEach(kIffIlbm, kIffBody, [](IffChunk*, void* ctx) {
        ++*static_cast<int*>(ctx);
        return false;
    }, &calls);
    EXPECT_EQ(calls, 1);
}

TEST(IlbmBody, ByteRun1FollowsTheRulesAndDecodesBack)
{
    // One plane of 64 pixels whose bytes are AA AA AA 01 02 03 03 04.
    const uint8_t rowBytes[8] = {0xaa, 0xaa, 0xaa, 0x01, 0x02, 0x03, 0x03, 0x04};
    std::vector<uint32_t> values(64);
    for (uint32_t x = 0; x < 64; ++x)
        values[x] = (rowBytes[x / 8] >> (7 - x % 8)) & 1;
    IlbmBody body;
    body.Encode(values, 64, 1, 1, true);
    EXPECT_EQ(body.data, (std::vector<uint8_t>{0xfe, 0xaa, 0x04, 0x01, 0x02, 0x03, 0x03, 0x04}));

    struct Case {
        const char* what;
        uint32_t width, height, planes;
        uint32_t (*value)(uint32_t x, uint32_t y);
    };
    const Case cases[] = {
        {"flat", 40, 3, 4, [](uint32_t, uint32_t) { return 5u; }},
        {"noise", 37, 5, 8, [](uint32_t x, uint32_t y) { return (x * 2654435761u + y * 40503u) >> 24; }},
        {"long runs", 1100, 2, 1, [](uint32_t x, uint32_t) { return uint32_t(x / 300 % 2); }},
        {"24 planes", 9, 2, 24, [](uint32_t x, uint32_t y) { return x * 0x010203u + y; }},
        {"one pixel", 1, 1, 3, [](uint32_t, uint32_t) { return 6u; }},
    };
    for (const Case& c : cases)
        for (bool compress : {false, true}) {
            std::vector<uint32_t> v(size_t(c.width) * c.height);
            for (uint32_t y = 0; y < c.height; ++y)
                for (uint32_t x = 0; x < c.width; ++x)
                    v[size_t(y) * c.width + x] = c.value(x, y) & ((c.planes == 32 ? 0 : 1u << c.planes) - 1);
            IlbmBody b;
            b.Encode(v, c.width, c.height, c.planes, compress);
            PlaneDecoder d;
            d.Start(b.data, 0, c.width, c.height, c.planes, compress);
            for (uint32_t y = 0; y < c.height; ++y) {
                ASSERT_TRUE(d.NextRow()) << c.what << " row " << y;
                for (uint32_t x = 0; x < c.width; ++x)
                    ASSERT_EQ(d.Values()[x], v[size_t(y) * c.width + x]) << c.what << " " << x << "," << y;
            }
            EXPECT_FALSE(d.NextRow()) << c.what << ": nothing after the last row";
        }
}

} // namespace

namespace {

// ByteRun1 codes: a literal run of `bytes`, or `count` copies of one byte.
void Literal(std::vector<uint8_t>& out, const std::vector<uint8_t>& bytes)
{
    out.push_back(uint8_t(bytes.size() - 1));
    out.insert(out.end(), bytes.begin(), bytes.end());
}
void Repeat(std::vector<uint8_t>& out, size_t count, uint8_t b)
{
    out.push_back(uint8_t(257 - count));
    out.push_back(b);
}
std::vector<uint8_t> Counting(size_t n, uint8_t from)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = uint8_t(from + i * 7);
    return v;
}

} // namespace

// Hand-built ByteRun1 rows of one plane: runs of the longest and of either
// side of 64 bytes, a run that reaches past its row (the rest is dropped),
// the no-op code, a literal that ends the data; data that stops inside a run
// ends the picture.
TEST(IlbmBody, ByteRun1RowsOfEveryRunLength)
{
    struct Case {
        const char* what;
        uint32_t rowBytes;
        std::vector<uint8_t> code;
        std::vector<std::vector<uint8_t>> rows; // then no more
    };
    auto concat = [](std::initializer_list<std::vector<uint8_t>> parts) {
        std::vector<uint8_t> all;
        for (const auto& p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    std::vector<Case> cases;
    {
        Case c{"runs of 66, 64 and 128 bytes", 386, {}, {}};
        for (uint8_t row = 0; row < 2; ++row) {
            Repeat(c.code, 66, uint8_t(0xa5 + row));
            Literal(c.code, Counting(64, row));
            Repeat(c.code, 128, 0x3c);
            Literal(c.code, Counting(128, uint8_t(100 + row)));
            c.rows.push_back(concat({std::vector<uint8_t>(66, uint8_t(0xa5 + row)), Counting(64, row),
                                     std::vector<uint8_t>(128, 0x3c), Counting(128, uint8_t(100 + row))}));
        }
        cases.push_back(c);
    }
    {
        Case c{"a literal ends the data", 100, {}, {Counting(100, 9)}};
        Literal(c.code, Counting(100, 9));
        cases.push_back(c);
    }
    {
        Case c{"a run past its row", 10, {}, {std::vector<uint8_t>(10, 0x11), Counting(10, 3)}};
        Repeat(c.code, 16, 0x11);
        Literal(c.code, Counting(10, 3));
        cases.push_back(c);
    }
    {
        Case c{"a literal past its row", 10, {}, {Counting(10, 1), std::vector<uint8_t>(10, 0x22)}};
        Literal(c.code, Counting(30, 1));
        Repeat(c.code, 10, 0x22);
        cases.push_back(c);
    }
    {
        Case c{"the no-op code", 4, {0x80}, {{1, 2, 3, 4}}};
        Literal(c.code, {1, 2, 3, 4});
        cases.push_back(c);
    }
    {
        Case c{"a literal cut short", 8, {}, {}};
        Literal(c.code, Counting(8, 0));
        c.code.resize(c.code.size() - 3);
        cases.push_back(c);
    }
    cases.push_back({"a repeat without its byte", 8, {0xf9}, {}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const uint32_t width = c.rowBytes * 8;
        PlaneDecoder d;
        d.Start(c.code, 0, width, uint32_t(std::max<size_t>(c.rows.size(), 1)), 1, true);
        for (size_t y = 0; y < c.rows.size(); ++y) {
            ASSERT_TRUE(d.NextRow()) << "row " << y;
            for (uint32_t x = 0; x < width; ++x)
                ASSERT_EQ(d.Values()[x], uint32_t(c.rows[y][x / 8] >> (7 - x % 8) & 1))
                    << "row " << y << " pixel " << x;
        }
        EXPECT_FALSE(d.NextRow());
    }
}
