// Chunk bodies the dump tool holds without giving their values a meaning: a body is
// read into a list of fields (words, half-words, bytes, texts, raw runs) in file
// order and written back from that list, so a loaded chunk saves in its own layout.
#pragma once

#include "chunk/chunk.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace trevok::rifdump {

struct BodyField {
    enum class Kind : uint8_t { U8, U16, U32, Text, PaddedText, FixedText, Bytes };
    Kind kind_ = Kind::U32;
    uint32_t value_ = 0;         // U8, U16, U32; the width of a FixedText
    std::string text_;           // the texts, without their NUL
    std::vector<uint8_t> bytes_; // Bytes

    size_t StoredSize() const;
    void Write(ByteWriter& out) const;
};

// Reads a body field by field. Every count is checked against the bytes left before
// anything is held for it; a body that does not fit fails the reader.
class BodyReader {
public:
    BodyReader(std::span<const uint8_t> body, std::vector<BodyField>& fields) : reader_(body), fields_(fields) {}

    uint32_t Word();
    void Words(size_t n);
    void HalfWords(size_t n);
    void Byte();
    void Bytes(size_t n);
    // NUL-terminated text.
    void Name();
    // NUL-terminated text in (length & ~3) + 4 bytes.
    void PaddedName();
    // A text field of exactly `width` bytes.
    void FixedName(size_t width);
    // count records of `words` u32 each.
    void Records(uint64_t count, size_t words);
    // count records of `size` bytes each, held as one run.
    void RecordBytes(uint64_t count, uint64_t size);
    // Whether count items of at least minimumSize bytes each can still follow; fails the reader if not.
    bool Fits(uint64_t count, uint64_t minimumSize);
    // A block that starts with its own size word (at least 4): held in a zero-filled
    // buffer of at least `minimum` bytes, `upgrade` run on it with the stored size, and
    // its size word then set to the buffer's size.
    void SizedBlock(size_t minimum, const std::function<void(std::vector<uint8_t>&, uint32_t storedSize)>& upgrade = {});

    size_t FieldCount() const { return fields_.size(); }
    uint32_t& WordAt(size_t index) { return fields_[index].value_; }
    ByteReader& Raw() { return reader_; }
    bool Ok() const { return reader_.Ok(); }
    void Fail() { reader_.Fail(); }

private:
    BodyField& Add(BodyField::Kind kind);

    ByteReader reader_;
    std::vector<BodyField>& fields_;
};

using BodyLayout = std::function<void(BodyReader&)>;

// A data chunk whose body is kept as fields; bytes after the layout stay in the tail.
class LayoutChunk : public DataChunk {
public:
    LayoutChunk(ParentChunk* parent, const ChunkBytes& bytes, const BodyLayout& layout);

    std::vector<BodyField> fields_;

protected:
    LayoutChunk(ParentChunk* parent, std::string_view identifier) : DataChunk(parent, identifier) {}
    void ReadBody(const ChunkBytes& bytes, const BodyLayout& layout);
    // The word written for field `index` (a class may put back a mark it took out on load).
    virtual uint32_t WordToWrite(size_t, uint32_t value) const { return value; }

    size_t PayloadSize() const override;
    void WritePayload(ByteWriter& out) const override;
};

template <class Layout>
class LayoutChunkOf : public LayoutChunk {
public:
    LayoutChunkOf(ParentChunk* parent, const ChunkBytes& bytes) : LayoutChunk(parent, bytes, Layout::Read) {}
};

// Kinds of strategy blocks a KZMEXSTR may hold with their own layout; others are the header alone.
inline constexpr uint32_t kFirstExtraStrategyKind = 50;
inline constexpr uint32_t kLastExtraStrategyKind = 54;

// A strategy block: a header of three words (the kind first) and the kind's body.
// Unknown kinds are the header alone. Returns the kind read.
uint32_t ReadStrategyBlock(BodyReader& r, bool extraKindsOnly);

} // namespace trevok::rifdump
