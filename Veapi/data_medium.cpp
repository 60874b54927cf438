#include "Veapi/data_medium.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ve {

namespace {

// Moves up to `count` bytes with `step(offset, left)` (one read or write call),
// retrying interrupted calls and stopping at the end of the file. Returns the
// bytes moved; `failed` tells that the system refused, with errno kept.
template <class Step>
uint32_t MoveAll(uint32_t count, bool& failed, Step step)
{
    failed = false;
    uint32_t done = 0;
    while (done < count) {
        ssize_t n = step(done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            failed = true;
            break;
        }
        if (n == 0)
            break;
        done += uint32_t(n);
    }
    return done;
}

} // namespace

DataMedium::~DataMedium() = default;

int64_t DataMedium::Size()
{
    status_ |= kMediumUnavailable;
    return -1;
}

uint8_t* DataMedium::GetWriteBuffer(uint32_t* length, uint32_t)
{
    status_ |= kMediumUnavailable;
    *length = 0;
    return nullptr;
}

const uint8_t* DataMedium::ReadBlock(uint32_t* length, uint32_t)
{
    status_ |= kMediumUnavailable;
    *length = 0;
    return nullptr;
}

void DataMedium::CommitWrite(uint32_t) { status_ |= kMediumUnavailable; }
void DataMedium::Skip(uint32_t) { status_ |= kMediumUnavailable; }
void DataMedium::Write(const void*, uint32_t) { status_ |= kMediumUnavailable; }
void DataMedium::Read(void*, uint32_t) { status_ |= kMediumUnavailable; }
uint32_t DataMedium::ReadDirect(void*, uint32_t) { return kNoDirectRead; }

uint32_t DataMedium::Tell()
{
    status_ |= kMediumUnavailable;
    return 0;
}

void DataMedium::Seek(uint32_t) { status_ |= kMediumUnavailable; }

bool DataMedium::Fill(uint32_t needed, uint32_t wanted)
{
    if (readBlock_ && blockLength_ - readPos_ >= needed && readPos_ <= blockLength_)
        return true;
    Flush();
    uint32_t length = 0;
    const uint8_t* block = ReadBlock(&length, std::max({blockSize_, needed, wanted}));
    readBlock_ = block;
    blockLength_ = block ? length : 0;
    readPos_ = 0;
    furthest_ = 0;
    if (!block || length < needed) {
        status_ |= kMediumEndOfData;
        return false;
    }
    return true;
}

bool DataMedium::ReadUInt32(uint32_t& value)
{
    if (!Fill(4))
        return false;
    const uint8_t* p = readBlock_ + readPos_;
    value = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    readPos_ += 4;
    return true;
}

bool DataMedium::ReadUInt16(uint16_t& value)
{
    if (!Fill(2))
        return false;
    const uint8_t* p = readBlock_ + readPos_;
    value = uint16_t(p[0] | p[1] << 8);
    readPos_ += 2;
    return true;
}

bool DataMedium::ReadUInt8(uint8_t& value)
{
    if (!Fill(1))
        return false;
    value = readBlock_[readPos_++];
    return true;
}

uint32_t DataMedium::ReadBytes(void* buffer, uint32_t count)
{
    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t done = 0;
    while (done < count) {
        if (!readBlock_ || readPos_ >= blockLength_) {
            // A request of a block or more goes straight into the caller's
            // buffer where the medium can, else in one block, not many.
            if (count - done >= blockSize_) {
                Flush();
                const uint32_t got = ReadDirect(out + done, count - done);
                if (got != kNoDirectRead) {
                    if (got < count - done)
                        status_ |= kMediumEndOfData;
                    return done + got;
                }
            }
            if (!Fill(1, count - done))
                break;
        }
        uint32_t n = std::min(count - done, blockLength_ - readPos_);
        std::memcpy(out + done, readBlock_ + readPos_, n);
        readPos_ += n;
        done += n;
    }
    return done;
}

const uint8_t* DataMedium::ReadInPlace(uint32_t count)
{
    if (!Fill(count, count))
        return nullptr;
    const uint8_t* at = readBlock_ + readPos_;
    readPos_ += count;
    return at;
}

void DataMedium::SkipBytes(int32_t count)
{
    if (readBlock_) {
        if (count >= 0 && uint32_t(count) <= blockLength_ - readPos_) {
            readPos_ += uint32_t(count);
            return;
        }
        if (count < 0 && uint32_t(-int64_t(count)) <= readPos_) {
            furthest_ = std::max(furthest_, readPos_);
            readPos_ -= uint32_t(-int64_t(count));
            return;
        }
    }
    Flush();
    int64_t target = int64_t(Tell()) + count;
    if (target < 0 || target > int64_t(UINT32_MAX)) {
        status_ |= kMediumUnavailable;
        return;
    }
    Seek(uint32_t(target));
}

void DataMedium::Flush()
{
    if (readBlock_) {
        uint32_t start = Tell();
        uint32_t used = std::max(furthest_, readPos_);
        uint32_t pos = readPos_;
        readBlock_ = nullptr;
        readPos_ = 0;
        Skip(used);
        if (pos != used)
            Seek(start + pos);
    }
    if (writeBlock_) {
        uint32_t used = writePos_;
        writeBlock_ = nullptr;
        writePos_ = 0;
        CommitWrite(used);
    }
    blockLength_ = 0;
    furthest_ = 0;
}

// ---- FileMedium

FileMedium* FileMedium::Open(const std::string& path, bool write)
{
    int fd = write ? ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)
                   : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    auto* medium = new FileMedium(fd);
    if (fd < 0) {
        medium->SetOsError(errno);
        medium->status_ |= kMediumOpenFailed;
    }
    return medium;
}

FileMedium::~FileMedium()
{
    if (fd_ < 0)
        return;  // nothing to close; the status is gone with the medium
    Flush();
    ::close(fd_);
}

int64_t FileMedium::Size()
{
    struct stat st;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
        status_ |= kMediumUnavailable;
        return 0;
    }
    int64_t left = int64_t(st.st_size) - int64_t(Tell()) - readPos_ - writePos_;
    return left < 0 ? 0 : left;
}

uint8_t* FileMedium::GetWriteBuffer(uint32_t* length, uint32_t wanted)
{
    block_.assign(wanted, 0);
    blockBytes_ = 0;
    *length = wanted;
    return block_.data();
}

const uint8_t* FileMedium::ReadBlock(uint32_t* length, uint32_t wanted)
{
    *length = 0;
    if (fd_ < 0) {
        status_ |= kMediumUnavailable;
        return nullptr;
    }
    block_.resize(wanted);
    bool failed;
    uint32_t got = MoveAll(wanted, failed, [&](uint32_t at, uint32_t left) {
        return ::read(fd_, block_.data() + at, left);
    });
    if (failed) {
        SetOsError(errno);
        status_ |= kMediumIoError;
    }
    if (got == 0 && !(status_ & kMediumIoError))
        status_ |= kMediumShort;
    blockBytes_ = got;
    *length = got;
    return block_.data();
}

void FileMedium::CommitWrite(uint32_t used)
{
    if (fd_ < 0) {
        status_ |= kMediumUnavailable;
        return;
    }
    Write(block_.data(), std::min<uint32_t>(used, uint32_t(block_.size())));
    block_.clear();
    blockBytes_ = 0;
}

void FileMedium::Skip(uint32_t used)
{
    if (fd_ < 0) {
        status_ |= kMediumUnavailable;
        return;
    }
    if (used != blockBytes_) {
        off_t back = off_t(blockBytes_) - off_t(used);
        blockBytes_ = 0;
        if (::lseek(fd_, -back, SEEK_CUR) < 0)
            status_ |= kMediumUnavailable;
    }
    // The buffer is kept for the next block: growing it again would zero it.
    blockBytes_ = 0;
}

void FileMedium::Write(const void* buffer, uint32_t count)
{
    if (fd_ < 0) {
        status_ |= kMediumUnavailable;
        return;
    }
    const auto* p = static_cast<const uint8_t*>(buffer);
    bool failed;
    uint32_t done = MoveAll(count, failed, [&](uint32_t at, uint32_t left) { return ::write(fd_, p + at, left); });
    if (failed) {
        SetOsError(errno);
        status_ |= kMediumIoError;
        return;
    }
    if (done < count)
        status_ |= kMediumShort;
}

void FileMedium::Read(void* buffer, uint32_t count)
{
    if (fd_ < 0) {
        status_ |= kMediumUnavailable;
        return;
    }
    auto* p = static_cast<uint8_t*>(buffer);
    bool failed;
    uint32_t done = MoveAll(count, failed, [&](uint32_t at, uint32_t left) { return ::read(fd_, p + at, left); });
    if (failed) {
        SetOsError(errno);
        status_ |= kMediumIoError;
        return;
    }
    if (done < count)
        status_ |= kMediumShort;
}

uint32_t FileMedium::ReadDirect(void* buffer, uint32_t count)
{
    if (fd_ < 0)
        return kNoDirectRead;  // the block read reports the missing file
    auto* p = static_cast<uint8_t*>(buffer);
    bool failed;
    const uint32_t done =
        MoveAll(count, failed, [&](uint32_t at, uint32_t left) { return ::read(fd_, p + at, left); });
    if (failed) {
        SetOsError(errno);
        status_ |= kMediumIoError;
    } else if (done < count) {
        status_ |= kMediumShort;
    }
    return done;
}

uint32_t FileMedium::Tell()
{
    off_t pos = fd_ < 0 ? -1 : ::lseek(fd_, 0, SEEK_CUR);
    if (pos < 0) {
        status_ |= kMediumUnavailable;
        return 0;
    }
    return uint32_t(pos - off_t(blockBytes_));
}

void FileMedium::Seek(uint32_t position)
{
    if (fd_ < 0 || ::lseek(fd_, off_t(position), SEEK_SET) < 0)
        status_ |= kMediumUnavailable;
}

// ---- MemoryMedium

int64_t MemoryMedium::Size()
{
    if (!base_) {
        status_ |= kMediumUnavailable;
        return 0;
    }
    int64_t left = int64_t(size_) - position_ - readPos_;
    return left < 0 ? 0 : left;
}

const uint8_t* MemoryMedium::ReadBlock(uint32_t* length, uint32_t wanted)
{
    *length = 0;
    if (!base_) {
        status_ |= kMediumUnavailable;
        return nullptr;
    }
    uint32_t left = position_ < size_ ? size_ - position_ : 0;
    *length = std::min(wanted, left);
    if (*length == 0)
        status_ |= kMediumShort;
    return base_ + std::min(position_, size_);
}

void MemoryMedium::Skip(uint32_t used)
{
    if (!base_) {
        status_ |= kMediumUnavailable;
        return;
    }
    position_ = uint32_t(std::min<uint64_t>(uint64_t(position_) + used, size_));
}

void MemoryMedium::Read(void* buffer, uint32_t count)
{
    if (!base_) {
        status_ |= kMediumUnavailable;
        return;
    }
    uint32_t left = position_ < size_ ? size_ - position_ : 0;
    uint32_t n = std::min(count, left);
    if (n)
        std::memcpy(buffer, base_ + position_, n);
    position_ += n;
    if (n < count)
        status_ |= kMediumShort;
}

uint32_t MemoryMedium::Tell()
{
    if (!base_)
        status_ |= kMediumUnavailable;
    return position_;
}

void MemoryMedium::Seek(uint32_t position)
{
    if (!base_ || position > size_) {
        status_ |= base_ ? kMediumEndOfData : kMediumUnavailable;
        return;
    }
    position_ = position;
}

// ---- BufferMedium

uint8_t* BufferMedium::GetWriteBuffer(uint32_t* length, uint32_t wanted)
{
    pending_.assign(wanted, 0);
    *length = wanted;
    return pending_.data();
}

void BufferMedium::CommitWrite(uint32_t used)
{
    bytes_.insert(bytes_.end(), pending_.begin(),
                  pending_.begin() + std::min<size_t>(used, pending_.size()));
    pending_.clear();
}

void BufferMedium::Write(const void* buffer, uint32_t count)
{
    const auto* p = static_cast<const uint8_t*>(buffer);
    bytes_.insert(bytes_.end(), p, p + count);
}

// ---- SubRangeMedium

void SubRangeMedium::Absorb()
{
    if (inner_) {
        status_ |= inner_->Status();
        osError_ = inner_->OsError();
    }
}

int64_t SubRangeMedium::Size()
{
    if (!inner_) {
        status_ |= kMediumUnavailable;
        return 0;
    }
    int64_t own = int64_t(limit_) - (int64_t(Tell()) + readPos_ + writePos_);
    int64_t inner = inner_->Size();
    Absorb();
    if (own < 0)
        own = 0;
    return inner >= 0 && inner < own ? inner : own;
}

uint8_t* SubRangeMedium::GetWriteBuffer(uint32_t* length, uint32_t wanted)
{
    if (!inner_) {
        status_ |= kMediumUnavailable;
        *length = 0;
        return nullptr;
    }
    uint8_t* p = inner_->GetWriteBuffer(length, std::min(wanted, limit_ - position_));
    Absorb();
    return p;
}

const uint8_t* SubRangeMedium::ReadBlock(uint32_t* length, uint32_t wanted)
{
    if (!inner_) {
        status_ |= kMediumUnavailable;
        *length = 0;
        return nullptr;
    }
    const uint8_t* p = inner_->ReadBlock(length, std::min(wanted, limit_ - position_));
    Absorb();
    return p;
}

void SubRangeMedium::CommitWrite(uint32_t used)
{
    if (!inner_) {
        status_ |= kMediumUnavailable;
        return;
    }
    position_ += used;
    inner_->CommitWrite(used);
    Absorb();
}

void SubRangeMedium::Skip(uint32_t used)
{
    if (!inner_) {
        status_ |= kMediumUnavailable;
        return;
    }
    position_ += used;
    inner_->Skip(used);
    Absorb();
}

bool SubRangeMedium::Admit(uint32_t count)
{
    if (!inner_) {
        status_ |= kMediumUnavailable;
        return false;
    }
    if (uint64_t(position_) + count > limit_) {
        status_ |= kMediumEndOfData;
        return false;
    }
    position_ += count;
    return true;
}

void SubRangeMedium::Write(const void* buffer, uint32_t count)
{
    if (!Admit(count))
        return;
    inner_->Write(buffer, count);
    Absorb();
}

void SubRangeMedium::Read(void* buffer, uint32_t count)
{
    if (!Admit(count))
        return;
    inner_->Read(buffer, count);
    Absorb();
}

void SubRangeMedium::Seek(uint32_t position)
{
    if (!inner_) {
        status_ |= kMediumUnavailable;
        return;
    }
    if (position > limit_) {
        status_ |= kMediumEndOfData;
        return;
    }
    int64_t target = int64_t(inner_->Tell()) + (int64_t(position) - int64_t(position_));
    if (target < 0) {
        status_ |= kMediumUnavailable;
        return;
    }
    inner_->Seek(uint32_t(target));
    Absorb();
    furthestPos_ = std::max(furthestPos_, position_);
    position_ = position;
}

uint32_t SubRangeMedium::Finish()
{
    if (!inner_)
        return position_;
    Flush();
    furthestPos_ = std::max(furthestPos_, position_);
    inner_ = nullptr;
    return position_;
}

} // namespace ve
