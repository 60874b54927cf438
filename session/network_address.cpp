#include "session/network_address.h"

#include "platform/byte_cursor.h"

namespace {

void PutElement(trevok::ByteWriter& out, const Guid& type, const void* data, uint32_t size)
{
    out.Bytes(type.data(), type.size());
    out.U32(size);
    out.Bytes(data, size);
}

// A string's length counts its NUL; a missing string is one NUL.
void PutText(trevok::ByteWriter& out, const Guid& type, const std::string& text)
{
    PutElement(out, type, text.c_str(), static_cast<uint32_t>(text.size() + 1));
}

// The total-size and provider elements every block opens with; the total is
// patched once the block is complete.
void PutHead(trevok::ByteWriter& out, const Guid& provider)
{
    const uint32_t placeholder = 0;
    PutElement(out, AddressGuid::kTotalSize, &placeholder, 4);
    PutElement(out, AddressGuid::kServiceProvider, provider.data(), 16);
}

} // namespace

const std::vector<uint8_t>& NetworkAddress::Build()
{
    block_.clear();
    Write(block_);
    trevok::ByteWriter(block_).PatchU32(20, static_cast<uint32_t>(block_.size()));
    return block_;
}

void TcpIpAddress::Write(std::vector<uint8_t>& block) const
{
    trevok::ByteWriter out(block);
    PutHead(out, AddressGuid::kTcpIpProvider);
    PutText(out, AddressGuid::kInet, host_);
}

void SerialAddress::Write(std::vector<uint8_t>& block) const
{
    trevok::ByteWriter out(block);
    PutHead(out, AddressGuid::kSerialProvider);
    out.Bytes(AddressGuid::kComPort.data(), 16);
    out.U32(20);
    for (uint32_t value : {settings_.port, settings_.baudRate, settings_.stopBits, settings_.parity, settings_.flowControl})
        out.U32(value);
}

void ModemAddress::Write(std::vector<uint8_t>& block) const
{
    trevok::ByteWriter out(block);
    PutHead(out, AddressGuid::kModemProvider);
    PutText(out, AddressGuid::kModem, modemName_);
    PutText(out, AddressGuid::kPhone, phone_);
}

std::optional<std::string> TcpIpHostOf(std::span<const uint8_t> block)
{
    trevok::ByteReader in(block);
    bool tcpIp = false;
    std::optional<std::string> host;
    while (in.Ok() && !in.AtEnd()) {
        Guid type{};
        in.Bytes(type.data(), type.size());
        const uint32_t size = in.U32();
        if (!in.Has(size))
            return std::nullopt;
        if (type == AddressGuid::kServiceProvider && size == 16) {
            Guid provider{};
            in.Bytes(provider.data(), 16);
            tcpIp = provider == AddressGuid::kTcpIpProvider;
        } else if (type == AddressGuid::kInet) {
            std::string text(size, '\0');
            in.Bytes(text.data(), size);
            if (size == 0 || text.back() != '\0')
                return std::nullopt;
            text.resize(text.find('\0'));
            host = std::move(text);
        } else {
            in.Skip(size);
        }
    }
    if (!in.Ok() || !tcpIp)
        return std::nullopt;
    return host;
}
