// Bounds-checked little-endian reading and writing of file and message bytes.
// Every binary format goes through these instead of casting structs: a read past
// the end fails (sticky) and yields zeros, so a parser checks Ok() once at the end.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace trevok {

class ByteReader {
public:
    ByteReader() = default;
    explicit ByteReader(std::span<const uint8_t> data) : data_(data) {}

    bool Ok() const { return ok_; }
    size_t Position() const { return pos_; }
    size_t Size() const { return data_.size(); }
    size_t Remaining() const { return ok_ ? data_.size() - pos_ : 0; }
    bool AtEnd() const { return pos_ >= data_.size(); }

    // A reader over the same bytes placed at `offset` (failed past the end),
    // for formats that address their parts by offset.
    ByteReader At(size_t offset) const
    {
        ByteReader r(data_);
        r.Seek(offset);
        return r;
    }

    // Marks the reader failed (a parser found a value it cannot accept).
    void Fail() { ok_ = false; }

    bool Has(size_t n) const { return ok_ && n <= data_.size() - pos_; }

    uint8_t U8()
    {
        if (!Need(1))
            return 0;
        return data_[pos_++];
    }
    uint16_t U16()
    {
        if (!Need(2))
            return 0;
        uint16_t v = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return v;
    }
    uint32_t U32()
    {
        if (!Need(4))
            return 0;
        uint32_t v = static_cast<uint32_t>(data_[pos_]) | static_cast<uint32_t>(data_[pos_ + 1]) << 8 |
                     static_cast<uint32_t>(data_[pos_ + 2]) << 16 | static_cast<uint32_t>(data_[pos_ + 3]) << 24;
        pos_ += 4;
        return v;
    }
    int32_t I32() { return static_cast<int32_t>(U32()); }
    uint64_t U64()
    {
        uint64_t lo = U32();
        uint64_t hi = U32();
        return lo | hi << 32;
    }
    float F32() { return std::bit_cast<float>(U32()); }
    double F64() { return std::bit_cast<double>(U64()); }

    // A view of the next n bytes (empty and failed when they are not there).
    std::span<const uint8_t> Take(size_t n)
    {
        if (!Need(n))
            return {};
        auto s = data_.subspan(pos_, n);
        pos_ += n;
        return s;
    }
    void Bytes(void* out, size_t n)
    {
        auto s = Take(n);
        if (s.size() == n)
            std::memcpy(out, s.data(), n);
        else
            std::memset(out, 0, n);
    }
    void Skip(size_t n) { Take(n); }
    void Seek(size_t pos)
    {
        if (pos > data_.size())
            ok_ = false;
        else
            pos_ = pos;
    }

    // Text up to its NUL; the NUL must lie within the data.
    std::string CString()
    {
        if (!ok_)
            return {};
        const auto* begin = data_.data() + pos_;
        const auto* nul = static_cast<const uint8_t*>(std::memchr(begin, 0, data_.size() - pos_));
        if (!nul) {
            ok_ = false;
            return {};
        }
        std::string s(reinterpret_cast<const char*>(begin), static_cast<size_t>(nul - begin));
        pos_ += s.size() + 1;
        return s;
    }

    // A NUL-terminated string stored in (length & ~3) + 4 bytes; the padding is skipped.
    std::string PaddedString()
    {
        size_t start = pos_;
        std::string s = CString();
        if (ok_)
            Seek(start + PaddedLength(s.size()));
        return s;
    }

    // A fixed-width text field: characters up to the first NUL, or all of them.
    std::string FixedString(size_t width)
    {
        auto s = Take(width);
        size_t n = 0;
        while (n < s.size() && s[n] != 0)
            ++n;
        return std::string(reinterpret_cast<const char*>(s.data()), n);
    }

    static size_t PaddedLength(size_t textLength) { return (textLength & ~size_t{3}) + 4; }

private:
    bool Need(size_t n)
    {
        if (!Has(n)) {
            ok_ = false;
            return false;
        }
        return true;
    }

    std::span<const uint8_t> data_;
    size_t pos_ = 0;
    bool ok_ = true;
};

// Writes little-endian values: appended to a byte vector, or into a fixed
// buffer where a write that does not fit is refused whole and fails the
// writer (sticky), so a short buffer never overflows.
class ByteWriter {
public:
    explicit ByteWriter(std::vector<uint8_t>& out) : out_(&out) {}
    explicit ByteWriter(std::span<uint8_t> fixed) : fixed_(fixed) {}

    bool Ok() const { return ok_; }
    size_t Position() const { return out_ ? out_->size() : used_; }
    // True when n more bytes fit (always, for a vector).
    bool Fits(size_t n) const { return out_ || (ok_ && n <= fixed_.size() - used_); }
    void Fail() { ok_ = false; }

    void U8(uint8_t v)
    {
        if (out_)
            out_->push_back(v);
        else
            Bytes(&v, 1);
    }
    void U16(uint16_t v)
    {
        uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
        Bytes(b, 2);
    }
    void U32(uint32_t v)
    {
        uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                        static_cast<uint8_t>(v >> 24)};
        Bytes(b, 4);
    }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void U64(uint64_t v)
    {
        U32(static_cast<uint32_t>(v));
        U32(static_cast<uint32_t>(v >> 32));
    }
    void F32(float v) { U32(std::bit_cast<uint32_t>(v)); }
    void F64(double v) { U64(std::bit_cast<uint64_t>(v)); }
    void Bytes(const void* p, size_t n)
    {
        if (n == 0)
            return;
        if (uint8_t* to = Grow(n))
            std::memcpy(to, p, n);
    }
    void Bytes(std::span<const uint8_t> s) { Bytes(s.data(), s.size()); }
    void Zeros(size_t n)
    {
        if (n == 0)
            return;
        if (uint8_t* to = Grow(n))
            std::memset(to, 0, n);
    }

    // Text, its NUL, then zero padding to (length & ~3) + 4 bytes.
    void PaddedString(std::string_view s)
    {
        Bytes(s.data(), s.size());
        Zeros(ByteReader::PaddedLength(s.size()) - s.size());
    }
    void CString(std::string_view s)
    {
        Bytes(s.data(), s.size());
        U8(0);
    }
    // Exactly `width` bytes: the text cut to width, NUL-padded (no terminator when full).
    void FixedString(std::string_view s, size_t width)
    {
        size_t n = s.size() < width ? s.size() : width;
        Bytes(s.data(), n);
        Zeros(width - n);
    }
    void PadTo4() { Zeros((4 - Position() % 4) % 4); }
    // Rewrites four bytes already written (a size known only afterwards).
    void PatchU32(size_t at, uint32_t v)
    {
        if (at > Position() || Position() - at < 4)
            return;
        uint8_t* to = out_ ? out_->data() + at : fixed_.data() + at;
        for (int i = 0; i < 4; ++i)
            to[i] = static_cast<uint8_t>(v >> (8 * i));
    }

private:
    uint8_t* Grow(size_t n)
    {
        if (out_) {
            const size_t at = out_->size();
            out_->resize(at + n);
            return out_->data() + at;
        }
        if (!Fits(n)) {
            ok_ = false;
            return nullptr;
        }
        uint8_t* to = fixed_.data() + used_;
        used_ += n;
        return to;
    }

    std::vector<uint8_t>* out_ = nullptr;
    std::span<uint8_t> fixed_;
    size_t used_ = 0;
    bool ok_ = true;
};

} // namespace trevok
