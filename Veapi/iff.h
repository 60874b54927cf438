// Documents in the IFF 85 container format: chunks with a 4-character
// identifier and a big-endian 32-bit size, padded to even length, grouped by
// "FORM", "LIST", "CAT " and "PROP". A document is read whole into a tree of
// reference-counted chunks and written back from it; each chunk class moves
// its fields through one Transfer over an archive that reads or writes.
#pragma once

#include "platform/ref_counted.h"

#include <cstdint>
#include <string>
#include <vector>

#include "Veapi/data_medium.h"

namespace ve {

// Identifiers compare as 32-bit words holding the 4 bytes in file order; 0 is
// a wildcard that matches any identifier.
using IffId = uint32_t;
constexpr IffId MakeIffId(const char (&s)[5])
{
    return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 |
           uint32_t(uint8_t(s[2])) << 8 | uint32_t(uint8_t(s[3]));
}
inline bool IffIdMatches(IffId want, IffId have) { return want == 0 || have == 0 || want == have; }
std::string IffIdText(IffId id);

constexpr IffId kIffForm = MakeIffId("FORM");
constexpr IffId kIffList = MakeIffId("LIST");
constexpr IffId kIffCat = MakeIffId("CAT ");
constexpr IffId kIffProp = MakeIffId("PROP");

class IffArchive : public RefCounted {
public:
    explicit IffArchive(bool reading) : reading_(reading) {}
    IffArchive(const IffArchive&) = delete;
    IffArchive& operator=(const IffArchive&) = delete;
    virtual ~IffArchive() = default;

    bool Reading() const { return reading_; }
    bool Error() const { return error_; }
    void SetError() { error_ = true; }

    virtual int64_t Remaining() = 0;
    virtual IffArchive* OpenChild(uint32_t size) = 0;
    virtual void CloseChild(IffArchive* child) = 0;
    virtual void Attach(DataMedium* medium) = 0;
    virtual void Detach() = 0;
    virtual void TransferId(IffId& id) = 0;
    virtual void Transfer64(uint64_t& value) = 0;
    void Transfer64(int64_t& value);
    virtual void Transfer32(uint32_t& value) = 0;
    void Transfer32(int32_t& value);
    virtual void Transfer16(uint16_t& value) = 0;
    void Transfer16(int16_t& value);
    virtual void Transfer8(uint8_t& value) = 0;
    void Transfer8(int8_t& value);
    virtual void TransferColour(uint8_t rgb[3]) = 0;
    virtual void TransferBytes(uint8_t* buffer, uint32_t count) = 0;
    // Reading: fills `bytes` with the rest of the chunk (never more than the
    // stream holds). Writing: writes them.
    virtual void TransferRest(std::vector<uint8_t>& bytes) = 0;
    // Reading a document that lends: the rest of the chunk where it lies in
    // the medium's memory, its size in `count`, taken as if transferred; null
    // (nothing taken) when the bytes have to be copied.
    virtual const uint8_t* LendRest(uint32_t& count)
    {
        count = 0;
        return nullptr;
    }

protected:
    bool reading_;
    bool error_ = false;
};

class IffContainer;

class IffChunk : public RefCounted {
public:
    explicit IffChunk(IffId id) : id_(id) {}
    IffChunk(const IffChunk&) = delete;
    IffChunk& operator=(const IffChunk&) = delete;
    virtual ~IffChunk() = default;

    virtual void Transfer(IffArchive& archive) = 0;
    virtual bool Hidden() const { return false; }
    virtual IffContainer* AsContainer() { return nullptr; }
    // Copies whatever bytes the chunk holds lent from a medium into itself.
    virtual void OwnBytes() {}

    IffId Id() const { return id_; }
    IffContainer* Parent() const { return parent_; }

    // The chunk of this identifier that applies to this chunk: a sibling in its
    // own "FORM", else one in a "PROP" of the enclosing "LIST"s for the form's type.
    IffChunk* FindProperty(IffId id) const;

private:
    friend class IffContainer;
    IffId id_;
    IffContainer* parent_ = nullptr;
};

// A chunk no class is registered for: its bytes, written back unchanged.
class IffRawChunk : public IffChunk {
public:
    using IffChunk::IffChunk;
    void Transfer(IffArchive& archive) override { archive.TransferRest(data_); }
    std::vector<uint8_t>& Data() { return data_; }

private:
    std::vector<uint8_t> data_;
};

using IffChunkCallback = bool (*)(IffChunk* chunk, void* context);

class IffContainer : public IffChunk {
public:
    IffContainer(IffId id, IffId formType) : IffChunk(id), formType_(formType) {}
    ~IffContainer() override;

    void Transfer(IffArchive& archive) override;
    IffContainer* AsContainer() override { return this; }
    void OwnBytes() override;

    // Calls back for every data chunk of identifier `id` in the forms (and
    // properties) of type `formType` at or below this container.
    virtual bool ForEach(IffId formType, IffId id, IffChunkCallback callback, void* context);
    virtual IffChunk* CreateChild(IffArchive& archive);
    virtual bool TypedChild(IffId id) const = 0;

    IffId FormType() const { return formType_; }
    void SetFormType(IffId type) { formType_ = type; }
    const std::vector<IffChunk*>& Children() const { return children_; }
    IffChunk* FindChild(IffId id) const;
    // Takes over the caller's reference.
    void Append(IffChunk* chunk);
    void Clear();

private:
    IffId formType_;
    std::vector<IffChunk*> children_;
};

class IffForm : public IffContainer {
public:
    explicit IffForm(IffId formType = 0) : IffContainer(kIffForm, formType) {}
    bool TypedChild(IffId id) const override { return id != kIffProp; }
};

class IffList : public IffContainer {
public:
    explicit IffList(IffId formType = 0) : IffContainer(kIffList, formType) {}
    bool TypedChild(IffId id) const override;
};

class IffCat : public IffContainer {
public:
    explicit IffCat(IffId formType = 0) : IffContainer(kIffCat, formType) {}
    bool TypedChild(IffId id) const override;
};

class IffProp : public IffContainer {
public:
    explicit IffProp(IffId formType = 0) : IffContainer(kIffProp, formType) {}
    bool TypedChild(IffId id) const override;
};

using IffFactory = IffChunk* (*)(IffId id);

// Chunk classes by (form type, identifier); later registrations win.
class IffRegistry {
public:
    static void Register(IffFactory factory, IffId formType, IffId id);
    static IffFactory Lookup(IffId formType, IffId id);
    static uint32_t Bucket(IffId id) { return (id ^ id >> 4 ^ id >> 9 ^ id >> 15 ^ id >> 22) & 63; }
};

class IffDocument {
public:
    IffDocument() = default;
    IffDocument(const IffDocument&) = delete;
    IffDocument& operator=(const IffDocument&) = delete;
    virtual ~IffDocument();

    // A larger file is refused unread.
    static constexpr uint64_t kMaxFileBytes = uint64_t{256} << 20;

    // With `lend`, chunks that can keep their bytes where they lie in a medium
    // in memory instead of copying them: that memory must then outlive the
    // document, or OwnBytes be called while it lives.
    bool Read(DataMedium* medium, bool lend = false);
    void OwnBytes();
    bool ReadFile(const std::string& path);
    bool Write(DataMedium* medium);
    bool WriteFile(const std::string& path);
    bool ForEach(IffId formType, IffId id, IffChunkCallback callback, void* context);
    void Transfer(IffArchive& archive);

    IffContainer* Root() const { return root_; }
    // Takes over the caller's reference.
    void SetRoot(IffContainer* root);
    bool Failed() const { return error_; }
    const std::string& Path() const { return path_; }
    // The status and OS error of the medium of the last read or write.
    uint32_t MediumStatus() const { return mediumStatus_; }
    int MediumOsError() const { return mediumOsError_; }

private:
    IffContainer* root_ = nullptr;
    std::string path_;
    bool error_ = false;
    uint32_t mediumStatus_ = 0;
    int mediumOsError_ = 0;
};

// Reads one chunk (identifier, size, data, pad) of `owner` (null for the root),
// made by the class registered under the owner's form type when the owner
// types that identifier, else kept raw.
IffChunk* IffReadChunk(IffArchive& archive, const IffContainer* owner);
// Writes one chunk with its header and pad byte.
void IffWriteChunk(IffArchive& archive, IffChunk* chunk);

} // namespace ve
