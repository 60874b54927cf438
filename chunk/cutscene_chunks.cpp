#include "chunk/cutscene_chunks.h"

#include "chunk/md5.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace trevok {
namespace {

// The longest layout among the event types; counts from a file are checked
// against the shortest record, the header alone.
constexpr size_t kLongestWordsEvent = 7;

struct WordsEventDefaults {
    int32_t type;
    size_t count;
    int32_t words[kLongestWordsEvent];
};

constexpr int32_t kFloat90 = std::bit_cast<int32_t>(90.0f);

constexpr WordsEventDefaults kWordsEvents[] = {
    {1, 5, {0, 0, -1, 0, 0}},
    {2, 7, {0, 0, 0, -1, 0, 0, 0}},
    {3, 4, {0, -1, 0, 0}},
    {4, 5, {0, 0, 0, 0, 0}},
    {6, 4, {0, -1, 0, 0}},
    {7, 3, {0, 0, 0}},
    {8, 7, {0, 0, 0, -1, 0, 0, 0}},
    {9, 4, {kFloat90, 0, 0, 0}},
};

const WordsEventDefaults* WordsEventOf(int32_t type)
{
    for (const auto& d : kWordsEvents)
        if (d.type == type)
            return &d;
    return nullptr;
}

// The children of one class, in file order.
template <class T>
void ChildrenOf(const ParentChunk& parent, std::vector<T*>& list)
{
    list.clear();
    for (Chunk* c = parent.FirstChild(); c; c = c->Next())
        if (auto* t = dynamic_cast<T*>(c))
            list.push_back(t);
}

// Builds the record a stored event describes. A known type whose stored size
// is not its layout's is kept raw, so no byte of it is lost.
std::unique_ptr<CutsceneEvent> ReadEvent(int32_t type, std::span<const uint8_t> body)
{
    ByteReader r(body);
    if (const WordsEventDefaults* d = WordsEventOf(type); d && body.size() == 4 * d->count) {
        auto e = std::make_unique<CutsceneWordsEvent>(type);
        for (int32_t& w : e->words_)
            w = r.I32();
        return e;
    }
    if (type == CutsceneNamedEvent::kType) {
        auto e = std::make_unique<CutsceneNamedEvent>();
        e->name_ = r.PaddedString();
        for (int32_t& w : e->words_)
            w = r.I32();
        if (r.Ok() && r.Remaining() == 0)
            return e;
    }
    if (type == CutsceneRoundedEvent::kType && body.size() == 16) {
        auto e = std::make_unique<CutsceneRoundedEvent>();
        e->rounded_ = TruncateToInt32(r.F32());
        for (int32_t& w : e->words_)
            w = r.I32();
        return e;
    }
    auto e = std::make_unique<CutsceneRawEvent>(type);
    e->bytes_.assign(body.begin(), body.end());
    return e;
}

} // namespace

// ---------------------------------------------------------------------------

CutsceneRecordChunk::CutsceneRecordChunk(ParentChunk* parent, const ChunkBytes& bytes, CutsceneRecordLayout layout)
    : DataChunk(parent, bytes.Identifier()), layout_(layout)
{
    ByteReader r(bytes.Payload());
    words_.resize(layout.before + layout.after);
    for (size_t i = 0; i < layout.before; ++i)
        words_[i] = r.I32();
    if (layout.named)
        name_ = r.PaddedString();
    for (size_t i = layout.before; i < words_.size(); ++i)
        words_[i] = r.I32();
    FinishRead(r, bytes);
}

CutsceneRecordChunk::CutsceneRecordChunk(ParentChunk* parent, const char* identifier, CutsceneRecordLayout layout,
                                         std::vector<int32_t> words, std::string name)
    : DataChunk(parent, identifier), words_(std::move(words)), name_(std::move(name)), layout_(layout)
{
    words_.resize(layout.before + layout.after);
}

float CutsceneRecordChunk::FloatWord(size_t i) const
{
    return std::bit_cast<float>(Word(i));
}

size_t CutsceneRecordChunk::PayloadSize() const
{
    return 4 * words_.size() + (layout_.named ? ByteReader::PaddedLength(name_.size()) : 0);
}

void CutsceneRecordChunk::WritePayload(ByteWriter& out) const
{
    for (size_t i = 0; i < layout_.before; ++i)
        out.I32(words_[i]);
    if (layout_.named)
        out.PaddedString(name_);
    for (size_t i = layout_.before; i < words_.size(); ++i)
        out.I32(words_[i]);
}

CutsceneDataChunk::CutsceneDataChunk(ParentChunk* parent)
    : CutsceneRecordChunk(parent, chunk_id::kCutsceneData, kLayout, {})
{
}

CutsceneDataChunk::CutsceneDataChunk(ParentChunk* parent, std::string name, int32_t a, int32_t b, int32_t c)
    : CutsceneRecordChunk(parent, chunk_id::kCutsceneData, kLayout, {a, b, c, 0, 0, 0, 0}, std::move(name))
{
    const Md5Value digest = Md5::Digest("Cutscene:" + name_);
    ByteReader r(digest);
    words_[5] = r.I32();
    words_[6] = r.I32();
}

CutsceneUserDataChunk::CutsceneUserDataChunk(ParentChunk* parent)
    : CutsceneRecordChunk(parent, chunk_id::kCutsceneUserData, kLayout, {-1, -1})
{
}

CutsceneUserHierarchyChunk::CutsceneUserHierarchyChunk(ParentChunk* parent, std::string name)
    : CutsceneRecordChunk(parent, chunk_id::kCutsceneUserHierarchy, kLayout, {}, std::move(name))
{
}

CutsceneUserSoundChunk::CutsceneUserSoundChunk(ParentChunk* parent)
    : CutsceneRecordChunk(parent, chunk_id::kCutsceneUserSound, kLayout, {10000, 20000, 127, 0, 0, 0})
{
}

CutsceneTrackNameChunk::CutsceneTrackNameChunk(ParentChunk* parent, std::string name)
    : CutsceneRecordChunk(parent, chunk_id::kCutsceneTrackName, kLayout, {}, std::move(name))
{
}

CutsceneFovChunk::CutsceneFovChunk(ParentChunk* parent)
    : CutsceneRecordChunk(parent, chunk_id::kCutsceneFov, kLayout, {kFloat90, 0, 0})
{
}

// ---------------------------------------------------------------------------

CutsceneUserPositionsChunk::CutsceneUserPositionsChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    const int32_t n = r.I32();
    if (CheckCount(r, n, 4 * kRecordWords)) {
        records_.resize(size_t(n));
        for (auto& rec : records_)
            for (int32_t& w : rec)
                w = r.I32();
    }
    for (int32_t& w : trailing_)
        w = r.I32();
    FinishRead(r, bytes);
}

CutsceneUserPositionsChunk::CutsceneUserPositionsChunk(ParentChunk* parent)
    : DataChunk(parent, chunk_id::kCutsceneUserPositions)
{
}

void CutsceneUserPositionsChunk::WritePayload(ByteWriter& out) const
{
    out.I32(int32_t(records_.size()));
    for (const auto& rec : records_)
        for (int32_t w : rec)
            out.I32(w);
    for (int32_t w : trailing_)
        out.I32(w);
}

CutscenePointsChunk::CutscenePointsChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    const int32_t n = r.I32();
    if (CheckCount(r, n, 16)) {
        points_.resize(size_t(n));
        for (auto& p : points_)
            for (int32_t& w : p)
                w = r.I32();
    }
    for (int32_t& w : trailing_)
        w = r.I32();
    FinishRead(r, bytes);
}

CutscenePointsChunk::CutscenePointsChunk(ParentChunk* parent) : DataChunk(parent, chunk_id::kCutscenePoints) {}

void CutscenePointsChunk::WritePayload(ByteWriter& out) const
{
    out.I32(int32_t(points_.size()));
    for (const auto& p : points_)
        for (int32_t w : p)
            out.I32(w);
    for (int32_t w : trailing_)
        out.I32(w);
}

// ---------------------------------------------------------------------------

void CutsceneEvent::Write(ByteWriter& out) const
{
    out.I32(type_);
    out.I32(int32_t(Size()));
    out.I32(time_);
    out.I32(value_);
    out.I32(secondTime_);
    out.I32(secondValue_);
}

CutsceneWordsEvent::CutsceneWordsEvent(int32_t type) : CutsceneEvent(type)
{
    if (const WordsEventDefaults* d = WordsEventOf(type))
        words_.assign(d->words, d->words + d->count);
}

size_t CutsceneWordsEvent::WordCount(int32_t type)
{
    const WordsEventDefaults* d = WordsEventOf(type);
    return d ? d->count : 0;
}

void CutsceneWordsEvent::Write(ByteWriter& out) const
{
    CutsceneEvent::Write(out);
    for (int32_t w : words_)
        out.I32(w);
}

float CutsceneWordsEvent::FloatWord(size_t i) const
{
    return i < words_.size() ? std::bit_cast<float>(words_[i]) : 0.0f;
}

size_t CutsceneNamedEvent::Size() const
{
    return kCutsceneEventHeaderSize + ByteReader::PaddedLength(name_.size()) + 4 * kWords;
}

void CutsceneNamedEvent::Write(ByteWriter& out) const
{
    CutsceneEvent::Write(out);
    out.PaddedString(name_);
    for (int32_t w : words_)
        out.I32(w);
}

CutsceneRoundedEvent::CutsceneRoundedEvent() : CutsceneEvent(kType)
{
    words_[0] = 3000;
}

void CutsceneRoundedEvent::Write(ByteWriter& out) const
{
    CutsceneEvent::Write(out);
    out.F32(float(rounded_));
    for (int32_t w : words_)
        out.I32(w);
}

void CutsceneRawEvent::Write(ByteWriter& out) const
{
    CutsceneEvent::Write(out);
    out.Bytes(bytes_);
}

CutsceneEventChunk::CutsceneEventChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    for (int32_t& w : words_)
        w = r.I32();
    name_ = r.PaddedString();
    const int32_t count = r.I32();
    if (!CheckCount(r, count, kCutsceneEventHeaderSize)) {
        ReportDamage(bytes, "event count " + std::to_string(count) + " does not fit the chunk");
        return;
    }
    for (int32_t i = 0; i < count; ++i) {
        const size_t at = r.Position();
        const int32_t type = r.I32();
        const int32_t size = r.I32();
        // Each record advances by its own stored size, once that size is known
        // to cover its header and to stay inside the chunk.
        if (!r.Ok() || size < int32_t(kCutsceneEventHeaderSize) || size_t(size) - 8 > r.Remaining()) {
            ReportDamage(bytes, "event " + std::to_string(i) + " at payload offset " + std::to_string(at) +
                                    " has a bad size " + std::to_string(size));
            return;
        }
        const int32_t time = r.I32(), value = r.I32(), secondTime = r.I32(), secondValue = r.I32();
        std::unique_ptr<CutsceneEvent> e = ReadEvent(type, r.Take(size_t(size) - kCutsceneEventHeaderSize));
        e->time_ = time;
        e->value_ = value;
        e->secondTime_ = secondTime;
        e->secondValue_ = secondValue;
        events_.push_back(std::move(e));
    }
    FinishRead(r, bytes);
}

CutsceneEventChunk::CutsceneEventChunk(ParentChunk* parent, std::string name)
    : DataChunk(parent, chunk_id::kCutsceneEvents), name_(std::move(name))
{
}

float CutsceneEventChunk::StartTime() const
{
    return std::bit_cast<float>(words_[0]);
}

size_t CutsceneEventChunk::PayloadSize() const
{
    size_t size = 12 + ByteReader::PaddedLength(name_.size()) + 4;
    for (const auto& e : events_)
        size += e->Size();
    return size;
}

void CutsceneEventChunk::WritePayload(ByteWriter& out) const
{
    for (int32_t w : words_)
        out.I32(w);
    out.PaddedString(name_);
    out.I32(int32_t(events_.size()));
    for (const auto& e : events_)
        e->Write(out);
}

// ---------------------------------------------------------------------------

CutsceneTrackChunk::CutsceneTrackChunk(ParentChunk* parent, std::string name)
    : ParentChunk(parent, chunk_id::kCutsceneTrack)
{
    new CutsceneTrackNameChunk(this, std::move(name));
}

CutscenePointsChunk* CutsceneTrackChunk::GetPoints() const
{
    return FindChildAs<CutscenePointsChunk>(chunk_id::kCutscenePoints);
}

CutsceneFovChunk* CutsceneTrackChunk::GetFieldOfView() const
{
    return FindChildAs<CutsceneFovChunk>(chunk_id::kCutsceneFov);
}

const std::string* CutsceneTrackChunk::GetName() const
{
    auto* n = FindChildAs<CutsceneTrackNameChunk>(chunk_id::kCutsceneTrackName);
    return n ? &n->name_ : nullptr;
}

void CutsceneTrackChunk::GetEvents(std::vector<CutsceneEventChunk*>& list) const
{
    ChildrenOf(*this, list);
}

CutsceneUserChunk::CutsceneUserChunk(ParentChunk* parent) : ParentChunk(parent, chunk_id::kCutsceneUser)
{
    new CutsceneUserDataChunk(this);
}

CutsceneUserDataChunk* CutsceneUserChunk::GetData() const
{
    return FindChildAs<CutsceneUserDataChunk>(chunk_id::kCutsceneUserData);
}

const std::string* CutsceneUserChunk::GetHierarchyName() const
{
    auto* h = FindChildAs<CutsceneUserHierarchyChunk>(chunk_id::kCutsceneUserHierarchy);
    return h ? &h->name_ : nullptr;
}

CutsceneUserSoundChunk* CutsceneUserChunk::GetSoundProperties() const
{
    return FindChildAs<CutsceneUserSoundChunk>(chunk_id::kCutsceneUserSound);
}

CutsceneUserPositionsChunk* CutsceneUserChunk::GetPositions() const
{
    return FindChildAs<CutsceneUserPositionsChunk>(chunk_id::kCutsceneUserPositions);
}

void CutsceneUserChunk::GetTracks(std::vector<CutsceneTrackChunk*>& list) const
{
    ChildrenOf(*this, list);
}

CutsceneChunk::CutsceneChunk(ParentChunk* parent, std::string name, int32_t a, int32_t b, int32_t c)
    : ParentChunk(parent, chunk_id::kCutscene)
{
    new CutsceneDataChunk(this, std::move(name), a, b, c);
}

CutsceneDataChunk* CutsceneChunk::GetData() const
{
    return FindChildAs<CutsceneDataChunk>(chunk_id::kCutsceneData);
}

void CutsceneChunk::GetUsers(std::vector<CutsceneUserChunk*>& list) const
{
    ChildrenOf(*this, list);
}

void RegisterCutsceneChunks()
{
    auto& reg = ChunkRegistry::Instance();
    reg.Register(chunk_id::kCutscene, "", BuildChunk<CutsceneChunk>);
    reg.Register(chunk_id::kCutsceneData, "", BuildChunk<CutsceneDataChunk>);
    reg.Register(chunk_id::kCutsceneUser, "", BuildChunk<CutsceneUserChunk>);
    reg.Register(chunk_id::kCutsceneUserData, "", BuildChunk<CutsceneUserDataChunk>);
    reg.Register(chunk_id::kCutsceneUserHierarchy, "", BuildChunk<CutsceneUserHierarchyChunk>);
    reg.Register(chunk_id::kCutsceneUserSound, "", BuildChunk<CutsceneUserSoundChunk>);
    reg.Register(chunk_id::kCutsceneUserPositions, "", BuildChunk<CutsceneUserPositionsChunk>);
    reg.Register(chunk_id::kCutsceneTrack, "", BuildChunk<CutsceneTrackChunk>);
    reg.Register(chunk_id::kCutsceneTrackName, "", BuildChunk<CutsceneTrackNameChunk>);
    reg.Register(chunk_id::kCutscenePoints, "", BuildChunk<CutscenePointsChunk>);
    reg.Register(chunk_id::kCutsceneFov, "", BuildChunk<CutsceneFovChunk>);
    reg.Register(chunk_id::kCutsceneEvents, "", BuildChunk<CutsceneEventChunk>);
}

} // namespace trevok
