// Byte streams under the texture loader, the image readers and the IFF library:
// a file descriptor, a bounded block of memory, or a window of another stream.
// Failures never throw; they add bits to the status word, which callers check
// after each stage of work.
#pragma once

#include "platform/ref_counted.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ve {

// Status bits; they are only ever added.
constexpr uint32_t kMediumEndOfData = 0x01;    // a value or window needed more bytes than there are
constexpr uint32_t kMediumShort = 0x02;        // fewer bytes moved than asked
constexpr uint32_t kMediumOpenFailed = 0x04;
constexpr uint32_t kMediumCloseFailed = 0x08;  // also: closing a medium that has nothing to close
constexpr uint32_t kMediumUnavailable = 0x10;  // operation not offered, no backing, bad position
constexpr uint32_t kMediumIoError = 0x20;

class DataMedium : public RefCounted {
public:
    DataMedium() = default;
    DataMedium(const DataMedium&) = delete;
    DataMedium& operator=(const DataMedium&) = delete;
    virtual ~DataMedium();

    // Bytes left from the logical position; -1 when unknown.
    virtual int64_t Size();
    virtual uint8_t* GetWriteBuffer(uint32_t* length, uint32_t wanted);
    virtual const uint8_t* ReadBlock(uint32_t* length, uint32_t wanted);
    virtual void CommitWrite(uint32_t used);
    virtual void Skip(uint32_t used);
    virtual void Write(const void* buffer, uint32_t count);
    virtual void Read(void* buffer, uint32_t count);
    // Reads up to `count` bytes straight into `buffer`, with no block
    // outstanding; returns the bytes read, or kNoDirectRead when the medium
    // only reads through blocks.
    virtual uint32_t ReadDirect(void* buffer, uint32_t count);
    static constexpr uint32_t kNoDirectRead = UINT32_MAX;
    // Position of the underlying stream, not counting an outstanding block.
    virtual uint32_t Tell();
    virtual void Seek(uint32_t position);

    // Buffered little-endian reads: on short data they set kMediumEndOfData and
    // leave the value unchanged.
    bool ReadUInt32(uint32_t& value);
    bool ReadUInt16(uint16_t& value);
    bool ReadUInt8(uint8_t& value);
    // Buffered copy of up to count bytes; returns the bytes copied.
    uint32_t ReadBytes(void* buffer, uint32_t count);
    // The next `count` bytes in one piece, read past without a copy where the
    // medium lies in memory; null (kMediumEndOfData set) when fewer are left.
    // They stay valid until the medium is next read.
    const uint8_t* ReadInPlace(uint32_t count);
    void SkipBytes(int32_t count);
    // Gives back an outstanding block so the virtual transfers may be used.
    void Flush();

    uint32_t Status() const { return status_; }
    void AddStatus(uint32_t bits) { status_ |= bits; }
    int OsError() const { return osError_; }
    uint32_t BlockSize() const { return blockSize_; }

protected:
    // At least `needed` bytes buffered; a new block asks for `wanted` when larger.
    bool Fill(uint32_t needed, uint32_t wanted = 0);
    void SetOsError(int error) { osError_ = error; }

    uint32_t status_ = 0;
    uint32_t blockSize_ = 1024;
    uint8_t* writeBlock_ = nullptr;
    uint32_t writePos_ = 0;
    const uint8_t* readBlock_ = nullptr;
    uint32_t readPos_ = 0;
    uint32_t blockLength_ = 0;
    uint32_t furthest_ = 0;
    int osError_ = 0;
};

// Over a POSIX file descriptor (-1 when none).
class FileMedium : public DataMedium {
public:
    explicit FileMedium(int fd) : fd_(fd) {}
    ~FileMedium() override;

    // Opens for reading, or for writing (created, truncated); a failed open
    // leaves a medium without handle and kMediumOpenFailed set.
    static FileMedium* Open(const std::string& path, bool write = false);

    int64_t Size() override;
    uint8_t* GetWriteBuffer(uint32_t* length, uint32_t wanted) override;
    const uint8_t* ReadBlock(uint32_t* length, uint32_t wanted) override;
    void CommitWrite(uint32_t used) override;
    void Skip(uint32_t used) override;
    void Write(const void* buffer, uint32_t count) override;
    void Read(void* buffer, uint32_t count) override;
    uint32_t ReadDirect(void* buffer, uint32_t count) override;
    uint32_t Tell() override;
    void Seek(uint32_t position) override;

    int Handle() const { return fd_; }
    // The caller keeps its descriptor open: the medium forgets it.
    void Detach() { fd_ = -1; }

private:
    int fd_;
    std::vector<uint8_t> block_;
    uint32_t blockBytes_ = 0;  // bytes of the outstanding block taken from or owed to the file
};

// Read-only, over memory of a known size. Reads never pass the end.
class MemoryMedium : public DataMedium {
public:
    MemoryMedium(const void* base, uint32_t size)
        : base_(static_cast<const uint8_t*>(base)), size_(size)
    {
    }

    int64_t Size() override;
    const uint8_t* ReadBlock(uint32_t* length, uint32_t wanted) override;
    void Skip(uint32_t used) override;
    void Read(void* buffer, uint32_t count) override;
    uint32_t Tell() override;
    void Seek(uint32_t position) override;

    bool HasMemory() const { return base_ != nullptr; }

private:
    const uint8_t* base_;
    uint32_t size_;
    uint32_t position_ = 0;
};

// Writes into a growing buffer (the IFF writer's target in memory).
class BufferMedium : public DataMedium {
public:
    uint8_t* GetWriteBuffer(uint32_t* length, uint32_t wanted) override;
    void CommitWrite(uint32_t used) override;
    void Write(const void* buffer, uint32_t count) override;
    uint32_t Tell() override { return uint32_t(bytes_.size()); }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    std::vector<uint8_t> pending_;
};

// A window of at most `limit` bytes of another medium, from that medium's
// position. The inner medium stays owned by its creator.
class SubRangeMedium : public DataMedium {
public:
    SubRangeMedium(DataMedium* inner, uint32_t limit) : inner_(inner), limit_(limit) {}

    int64_t Size() override;
    uint8_t* GetWriteBuffer(uint32_t* length, uint32_t wanted) override;
    const uint8_t* ReadBlock(uint32_t* length, uint32_t wanted) override;
    void CommitWrite(uint32_t used) override;
    void Skip(uint32_t used) override;
    void Write(const void* buffer, uint32_t count) override;
    void Read(void* buffer, uint32_t count) override;
    uint32_t Tell() override { return inner_ ? position_ : (status_ |= kMediumUnavailable, 0); }
    void Seek(uint32_t position) override;

    // Gives back an outstanding block, drops the inner medium, returns the position.
    uint32_t Finish();
    uint32_t Consumed() const { return position_ > furthestPos_ ? position_ : furthestPos_; }

private:
    // Moves past `count` bytes when they lie inside the range; else sets the status.
    bool Admit(uint32_t count);
    void Absorb();

    DataMedium* inner_;
    uint32_t limit_;
    uint32_t position_ = 0;
    uint32_t furthestPos_ = 0;
};

} // namespace ve
