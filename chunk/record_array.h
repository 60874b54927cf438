// Arrays of fixed-size little-endian records, the payload of most shape chunks.
// The extents of an array are checked once, then its records are decoded
// straight from the bytes; one reader and one writer serve every record kind.
#pragma once

#include "platform/byte_cursor.h"
#include "chunk/shape_data.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <iterator>
#include <type_traits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace trevok {

inline int32_t LoadI32(const uint8_t* p)
{
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

inline float LoadF32(const uint8_t* p)
{
    return std::bit_cast<float>(LoadI32(p));
}

// How one record lies in a file: kSize bytes, read from and written to them.
template <class Record>
struct RecordLayout;

template <>
struct RecordLayout<int32_t> {
    static constexpr size_t kSize = 4;
    static int32_t Read(const uint8_t* p) { return LoadI32(p); }
    static void Write(ByteWriter& out, int32_t v) { out.I32(v); }
};

template <>
struct RecordLayout<std::array<int32_t, 3>> {
    static constexpr size_t kSize = 12;
    static std::array<int32_t, 3> Read(const uint8_t* p) { return {LoadI32(p), LoadI32(p + 4), LoadI32(p + 8)}; }
    static void Write(ByteWriter& out, const std::array<int32_t, 3>& t)
    {
        for (int32_t v : t)
            out.I32(v);
    }
};

inline void Put(ByteWriter& out, int32_t v)
{
    out.I32(v);
}

inline void Put(ByteWriter& out, float v)
{
    out.F32(v);
}

// Three 32-bit components x, y, z: points (integers) and normals (floats).
template <class Vector>
struct VectorLayout {
    using Component = decltype(Vector::x);
    static constexpr size_t kSize = 12;
    static Component Load(const uint8_t* p)
    {
        if constexpr (std::is_same_v<Component, float>)
            return LoadF32(p);
        else
            return LoadI32(p);
    }
    static Vector Read(const uint8_t* p) { return {Load(p), Load(p + 4), Load(p + 8)}; }
    static void Write(ByteWriter& out, const Vector& v)
    {
        Put(out, v.x);
        Put(out, v.y);
        Put(out, v.z);
    }
};

template <>
struct RecordLayout<ShapePoint> : VectorLayout<ShapePoint> {};

template <>
struct RecordLayout<ShapeNormal> : VectorLayout<ShapeNormal> {};

// Type, normal index, flags, texture word, then five vertex slots ended by -1.
template <>
struct RecordLayout<ShapePolygon> {
    static constexpr size_t kSize = 36;
#if defined(__SSE2__)
    // The four header words lie in memory as they are stored and the four
    // vertex slots follow the count, so a record is read in two 16-byte words.
    static constexpr bool kWholeWords =
        std::endian::native == std::endian::little && offsetof(ShapePolygon, type_) == 0 &&
        offsetof(ShapePolygon, normalIndex_) == 4 && offsetof(ShapePolygon, flags_) == 8 &&
        offsetof(ShapePolygon, textureWord_) == 12 && offsetof(ShapePolygon, vertices_) == 20 &&
        kMaxPolygonVertices == 4;
#else
    static constexpr bool kWholeWords = false;
#endif
    // Read field by field, a polygon returned by value was put together on the
    // stack from a 4-byte and an overlapping 16-byte store and read back
    // whole, which stalled every record: an array is then filled where its
    // records lie. Read in whole words, it is built in place from its value,
    // which spares the array's zero fill.
    static constexpr bool kFillInPlace = !kWholeWords;
    static ShapePolygon Read(const uint8_t* p)
    {
        ShapePolygon poly;
        ReadInto(poly, p);
        return poly;
    }
    static void ReadInto(ShapePolygon& poly, const uint8_t* p)
    {
        // The vertex count is the number of indices before the first -1; a
        // record without one keeps all four. Slots past the count stay 0.
#if defined(__SSE2__)
        if constexpr (kWholeWords) {
            // One compare of the four slots against -1 finds the count.
            const __m128i slots = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
            const int ends = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(slots, _mm_set1_epi32(-1))));
            const int count = std::countr_zero(static_cast<unsigned>(ends | 0x10));
            const __m128i keep = _mm_cmpgt_epi32(_mm_set1_epi32(count), _mm_setr_epi32(0, 1, 2, 3));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(&poly.type_),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
            poly.vertexCount_ = count;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(poly.vertices_), _mm_and_si128(slots, keep));
            return;
        }
#endif
        poly.type_ = LoadI32(p);
        poly.normalIndex_ = LoadI32(p + 4);
        poly.flags_ = LoadI32(p + 8);
        poly.textureWord_ = LoadI32(p + 12);
        int32_t slots[kMaxPolygonVertices];
        for (int i = 0; i < kMaxPolygonVertices; ++i)
            slots[i] = LoadI32(p + 16 + 4 * i);
        int count = 0;
        while (count < kMaxPolygonVertices && slots[count] != -1)
            ++count;
        poly.vertexCount_ = count;
        for (int i = 0; i < kMaxPolygonVertices; ++i)
            poly.vertices_[i] = i < count ? slots[i] : 0;
    }
    static void Write(ByteWriter& out, const ShapePolygon& poly)
    {
        out.I32(poly.type_);
        out.I32(poly.normalIndex_);
        out.I32(poly.flags_);
        out.I32(poly.textureWord_);
        const int n = std::clamp(poly.vertexCount_, 0, kMaxPolygonVertices);
        for (int i = 0; i < 5; ++i)
            out.I32(i < n ? poly.vertices_[i] : -1);
    }
};

// Decodes one record where it lies.
template <class Record>
void ReadRecordInto(Record& record, const uint8_t* p)
{
    if constexpr (requires { RecordLayout<Record>::ReadInto(record, p); })
        RecordLayout<Record>::ReadInto(record, p);
    else
        record = RecordLayout<Record>::Read(p);
}

// Walks the records of checked bytes, decoding each as it is dereferenced.
template <class Record>
struct RecordIterator {
    using iterator_category = std::forward_iterator_tag;
    using value_type = Record;
    using difference_type = std::ptrdiff_t;
    using pointer = const Record*;
    using reference = Record;
    const uint8_t* at = nullptr;
    Record operator*() const { return RecordLayout<Record>::Read(at); }
    RecordIterator& operator++()
    {
        at += RecordLayout<Record>::kSize;
        return *this;
    }
    RecordIterator operator++(int)
    {
        RecordIterator old = *this;
        ++*this;
        return old;
    }
    bool operator==(const RecordIterator&) const = default;
};

// Reads `count` records. A count the bytes cannot hold, or a negative one,
// fails the reader and leaves `out` empty.
template <class Record>
bool ReadRecords(ByteReader& r, std::vector<Record>& out, int64_t count)
{
    constexpr size_t size = RecordLayout<Record>::kSize;
    out.clear();
    if (count < 0 || static_cast<uint64_t>(count) > r.Remaining() / size) {
        r.Fail();
        return false;
    }
    const uint8_t* p = r.Take(static_cast<size_t>(count) * size).data();
    if constexpr (requires { requires RecordLayout<Record>::kFillInPlace; }) {
        out.resize(static_cast<size_t>(count));
        for (Record& record : out) {
            RecordLayout<Record>::ReadInto(record, p);
            p += size;
        }
        return true;
    }
    // Built in place from a sized range: one allocation, no per-record capacity check.
    out.assign(RecordIterator<Record>{p}, RecordIterator<Record>{p + static_cast<size_t>(count) * size});
    return true;
}

// As many whole records as the reader has left.
template <class Record>
void ReadWholeRecords(ByteReader& r, std::vector<Record>& out)
{
    ReadRecords(r, out, static_cast<int64_t>(r.Remaining() / RecordLayout<Record>::kSize));
}

// A 32-bit count, then that many records.
template <class Record>
bool ReadCountedRecords(ByteReader& r, std::vector<Record>& out)
{
    const int32_t count = r.I32();
    return r.Ok() && ReadRecords(r, out, count);
}

template <class Record>
void WriteRecords(ByteWriter& out, const std::vector<Record>& records)
{
    for (const Record& record : records)
        RecordLayout<Record>::Write(out, record);
}

template <class Record>
void WriteCountedRecords(ByteWriter& out, const std::vector<Record>& records)
{
    out.I32(static_cast<int32_t>(records.size()));
    WriteRecords(out, records);
}

template <class Record>
size_t CountedRecordsSize(const std::vector<Record>& records)
{
    return 4 + RecordLayout<Record>::kSize * records.size();
}

} // namespace trevok
