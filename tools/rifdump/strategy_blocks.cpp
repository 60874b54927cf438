// Strategy blocks of KZMSTRAT and KZMEXSTR: a three-word header whose first word is
// the kind, then the kind's body. Some kinds bring an older block up to date on load.
#include "tools/rifdump/body_fields.h"

#include <array>

namespace trevok::rifdump {
namespace {

constexpr uint32_t kTopBit = 0x80000000u;

bool IsNegative(uint32_t word)
{
    return (word & kTopBit) != 0;
}

// 8 words; when the fourth is not negative it gets its top bit and words five to eight are cleared.
void ReadKind62(BodyReader& r)
{
    size_t at = r.FieldCount();
    r.Words(8);
    if (!r.Ok() || IsNegative(r.WordAt(at + 3)))
        return;
    r.WordAt(at + 3) |= kTopBit;
    for (size_t i = 4; i < 8; ++i)
        r.WordAt(at + i) = 0;
}

// A count of entries, each two words, a count n and n records of 16 bytes.
void ReadEntryLists(BodyReader& r)
{
    uint32_t count = r.Word();
    if (!r.Fits(count, 12))
        return;
    for (uint32_t i = 0; i < count && r.Ok(); ++i) {
        r.Words(2);
        uint32_t n = r.Word();
        r.Records(n, 4);
    }
}

void ReadKind68(BodyReader& r)
{
    r.Words(4);
    uint32_t n = r.Word();
    size_t records = r.FieldCount();
    r.Records(n, 3);
    uint32_t m = r.Word();
    r.Records(m, 2);
    size_t kAt = r.FieldCount();
    uint32_t k = r.Word();
    size_t flagAt = r.FieldCount();
    uint32_t flags = r.Word();
    r.Words(8);
    if (!r.Ok() || IsNegative(flags))
        return;
    // Older blocks kept a split point; it becomes a mark in each record.
    for (uint32_t i = 0; i < n; ++i)
        r.WordAt(records + 3 * i + 2) = i >= k ? 1 : 0;
    r.WordAt(kAt) = 0;
    r.WordAt(flagAt) = flags | kTopBit;
}

void ReadKind1000(BodyReader& r)
{
    size_t at = r.FieldCount();
    r.Words(9);
    if (!r.Ok() || IsNegative(r.WordAt(at + 5)))
        return;
    r.WordAt(at) = 0;
    r.WordAt(at + 5) |= kTopBit;
}

struct StrategyLayout {
    uint32_t kind_;
    void (*read_)(BodyReader&);
};

const std::array kStrategyLayouts = {
    StrategyLayout{50, [](BodyReader& r) { r.Word(); r.Bytes(2); r.HalfWords(1); }},
    StrategyLayout{51,
                   [](BodyReader& r) {
                       uint32_t n = r.Word();
                       r.Records(n, 2);
                       r.Words(8);
                       uint32_t m = r.Word();
                       r.Records(m, 7);
                       r.Word();
                   }},
    StrategyLayout{52, [](BodyReader& r) { r.Words(7); }},
    StrategyLayout{53, [](BodyReader&) {}},
    StrategyLayout{54, [](BodyReader& r) { r.Words(6); }},
    StrategyLayout{59, [](BodyReader& r) { r.Words(4); }},
    StrategyLayout{61,
                   [](BodyReader& r) {
                       r.Words(7);
                       uint32_t n = r.Word();
                       r.Records(n, 2);
                   }},
    StrategyLayout{62, ReadKind62},
    StrategyLayout{63, [](BodyReader& r) { r.Words(3); }},
    StrategyLayout{64, [](BodyReader& r) { r.Words(9); }},
    StrategyLayout{66, [](BodyReader& r) { r.Words(5); }},
    StrategyLayout{68, ReadKind68},
    StrategyLayout{69, [](BodyReader& r) { r.Words(8); }},
    StrategyLayout{70,
                   [](BodyReader& r) {
                       r.Words(5);
                       uint32_t n = r.Word();
                       r.Records(n, 3);
                       uint32_t m = r.Word();
                       r.Records(m, 3);
                       r.Words(2);
                   }},
    StrategyLayout{72, ReadEntryLists},
    StrategyLayout{73, [](BodyReader& r) { r.Words(3); }},
    StrategyLayout{75, [](BodyReader& r) { r.Words(4); }},
    StrategyLayout{76,
                   [](BodyReader& r) {
                       ReadEntryLists(r);
                       r.Words(2);
                   }},
    StrategyLayout{77, [](BodyReader& r) { r.Words(9); }},
    StrategyLayout{78, [](BodyReader& r) { r.Words(5); }},
    StrategyLayout{79, [](BodyReader& r) { r.Words(8); }},
    StrategyLayout{80,
                   [](BodyReader& r) {
                       ReadEntryLists(r);
                       r.Words(4);
                   }},
    StrategyLayout{1000, ReadKind1000},
    StrategyLayout{1001,
                   [](BodyReader& r) {
                       r.Words(4);
                       r.Byte();
                       r.HalfWords(1);
                       r.Byte();
                       r.Words(3);
                   }},
    StrategyLayout{1002, [](BodyReader& r) { r.Words(6); }},
    StrategyLayout{1003,
                   [](BodyReader& r) {
                       ReadKind62(r);
                       r.Words(8);
                   }},
    StrategyLayout{2000,
                   [](BodyReader& r) {
                       r.Words(2);
                       r.Bytes(4);
                       r.Words(8);
                   }},
    StrategyLayout{2001, [](BodyReader& r) { r.Words(6); }},
    StrategyLayout{2002, [](BodyReader&) {}},
    StrategyLayout{2003, [](BodyReader& r) { r.Words(12); }},
    StrategyLayout{2004, [](BodyReader& r) { r.Words(6); }},
};

} // namespace

uint32_t ReadStrategyBlock(BodyReader& r, bool extraKindsOnly)
{
    uint32_t kind = r.Word();
    r.Words(2);
    if (!r.Ok())
        return kind;
    if (extraKindsOnly && (kind < kFirstExtraStrategyKind || kind > kLastExtraStrategyKind))
        return kind;
    for (const auto& layout : kStrategyLayouts)
        if (layout.kind_ == kind) {
            layout.read_(r);
            break;
        }
    return kind;
}

} // namespace trevok::rifdump
