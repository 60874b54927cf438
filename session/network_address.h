// Address blocks for a network connection: the element run (data-type GUID,
// u32 size, data) that names a provider and where to reach a session. The
// set-up menus build one per provider; the connection reads the TCP/IP one.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

using Guid = std::array<uint8_t, 16>;

// A GUID in its stored byte order (first three groups little-endian).
constexpr Guid MakeGuid(uint32_t a, uint16_t b, uint16_t c, std::array<uint8_t, 8> d)
{
    return {static_cast<uint8_t>(a), static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a >> 16),
            static_cast<uint8_t>(a >> 24), static_cast<uint8_t>(b), static_cast<uint8_t>(b >> 8),
            static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8), d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7]};
}

namespace AddressGuid {
inline constexpr Guid kTotalSize = MakeGuid(0x1318F560, 0x912C, 0x11D0, {0x9D, 0xAA, 0x00, 0xA0, 0xC9, 0x0A, 0x43, 0xCB});
inline constexpr Guid kServiceProvider = MakeGuid(0x07D916C0, 0xE0AF, 0x11CF, {0x9C, 0x4E, 0x00, 0xA0, 0xC9, 0x05, 0x42, 0x5E});
inline constexpr Guid kTcpIpProvider = MakeGuid(0x36E95EE0, 0x8577, 0x11CF, {0x96, 0x0C, 0x00, 0x80, 0xC7, 0x53, 0x4E, 0x82});
inline constexpr Guid kSerialProvider = MakeGuid(0x0F1D6860, 0x88D9, 0x11CF, {0x9C, 0x4E, 0x00, 0xA0, 0xC9, 0x05, 0x42, 0x5E});
inline constexpr Guid kModemProvider = MakeGuid(0x44EAA760, 0xCB68, 0x11CF, {0x9C, 0x4E, 0x00, 0xA0, 0xC9, 0x05, 0x42, 0x5E});
inline constexpr Guid kInet = MakeGuid(0xC4A54DA0, 0xE0AF, 0x11CF, {0x9C, 0x4E, 0x00, 0xA0, 0xC9, 0x05, 0x42, 0x5E});
inline constexpr Guid kComPort = MakeGuid(0xF2F0CE00, 0xE0AF, 0x11CF, {0x9C, 0x4E, 0x00, 0xA0, 0xC9, 0x05, 0x42, 0x5E});
inline constexpr Guid kModem = MakeGuid(0xF6DCC200, 0xA2FE, 0x11D0, {0x9C, 0x4F, 0x00, 0xA0, 0xC9, 0x05, 0x42, 0x5E});
inline constexpr Guid kPhone = MakeGuid(0x78EC89A0, 0xE0AF, 0x11CF, {0x9C, 0x4E, 0x00, 0xA0, 0xC9, 0x05, 0x42, 0x5E});
} // namespace AddressGuid

class NetworkAddress {
public:
    virtual ~NetworkAddress() = default;
    // Makes the block, keeps it and returns it.
    const std::vector<uint8_t>& Build();
    const std::vector<uint8_t>& Block() const { return block_; }

protected:
    virtual void Write(std::vector<uint8_t>& out) const = 0;

private:
    std::vector<uint8_t> block_;
};

class TcpIpAddress : public NetworkAddress {
public:
    void SetHost(std::string host) { host_ = std::move(host); }

private:
    void Write(std::vector<uint8_t>& out) const override;
    std::string host_;
};

struct ComPortSettings {
    uint32_t port = 0, baudRate = 0, stopBits = 0, parity = 0, flowControl = 0;
};

class SerialAddress : public NetworkAddress {
public:
    void SetSettings(const ComPortSettings& settings) { settings_ = settings; }

private:
    void Write(std::vector<uint8_t>& out) const override;
    ComPortSettings settings_;
};

class ModemAddress : public NetworkAddress {
public:
    void SetModemName(std::string name) { modemName_ = std::move(name); }
    void SetPhoneNumber(std::string phone) { phone_ = std::move(phone); }

private:
    void Write(std::vector<uint8_t>& out) const override;
    std::string modemName_;
    std::string phone_;
};

// The host name of a TCP/IP block; none when the block is not one, is
// damaged, or its name is unterminated. An empty name asks for a broadcast.
std::optional<std::string> TcpIpHostOf(std::span<const uint8_t> block);
