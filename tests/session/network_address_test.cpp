// Address blocks against bytes written from the layout with an outside
// encoder (GUIDs in their stored order, little-endian sizes), and the host
// name read back from a TCP/IP block.
#include "session/network_address.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

std::vector<uint8_t> FromHex(std::string_view hex)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    return bytes;
}

struct BlockCase {
    const char* what;
    std::function<std::unique_ptr<NetworkAddress>()> make;
    size_t size;
    const char* hex;
};

TEST(NetworkAddress, BlocksMatchTheLayoutByteForByte)
{
    const BlockCase cases[] = {
        {"tcp/ip, three-letter host",
         [] {
             auto a = std::make_unique<TcpIpAddress>();
             a->SetHost("abc");
             return a;
         },
         84,
         "60f518132c91d0119daa00a0c90a43cb0400000054000000c016d907afe0cf119c4e00a0c905425e10000000e05ee9367785cf11"
         "960c0080c7534e82a04da5c4afe0cf119c4e00a0c905425e0400000061626300"},
        {"serial",
         [] {
             auto a = std::make_unique<SerialAddress>();
             a->SetSettings({1, 57600, 0, 2, 4});
             return a;
         },
         100,
         "60f518132c91d0119daa00a0c90a43cb0400000064000000c016d907afe0cf119c4e00a0c905425e1000000060681d0fd988cf11"
         "9c4e00a0c905425e00cef0f2afe0cf119c4e00a0c905425e140000000100000000e10000000000000200000004000000"},
        {"modem, empty texts", [] { return std::make_unique<ModemAddress>(); }, 102,
         "60f518132c91d0119daa00a0c90a43cb0400000066000000c016d907afe0cf119c4e00a0c905425e1000000060a7ea4468cbcf11"
         "9c4e00a0c905425e00c2dcf6fea2d0119c4f00a0c905425e0100000000a089ec78afe0cf119c4e00a0c905425e0100000000"},
        {"modem, name and number",
         [] {
             auto a = std::make_unique<ModemAddress>();
             a->SetModemName("Hayes");
             a->SetPhoneNumber("5551234");
             return a;
         },
         114,
         "60f518132c91d0119daa00a0c90a43cb0400000072000000c016d907afe0cf119c4e00a0c905425e1000000060a7ea4468cbcf11"
         "9c4e00a0c905425e00c2dcf6fea2d0119c4f00a0c905425e06000000486179657300a089ec78afe0cf119c4e00a0c905425e0800"
         "00003535353132333400"},
    };
    for (const BlockCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<NetworkAddress> address = c.make();
        const std::vector<uint8_t>& block = address->Build();
        EXPECT_EQ(block.size(), c.size);
        EXPECT_EQ(block, FromHex(c.hex));
        EXPECT_EQ(&address->Block(), &block); // kept by the builder
    }
}

TEST(NetworkAddress, TheHostIsReadBackOnlyFromASoundTcpIpBlock)
{
    TcpIpAddress tcp;
    tcp.SetHost("127.0.0.1");
    EXPECT_EQ(TcpIpHostOf(tcp.Build()), "127.0.0.1");
    tcp.SetHost("");
    EXPECT_EQ(TcpIpHostOf(tcp.Build()), "");

    ModemAddress modem;
    EXPECT_FALSE(TcpIpHostOf(modem.Build()));
    tcp.SetHost("abc");
    std::vector<uint8_t> cut = tcp.Build();
    cut.pop_back();
    EXPECT_FALSE(TcpIpHostOf(cut)) << "a cut block";
    std::vector<uint8_t> unterminated = tcp.Build();
    unterminated.back() = 'd';
    EXPECT_FALSE(TcpIpHostOf(unterminated)) << "a name without its NUL";
    std::vector<uint8_t> huge = tcp.Build();
    huge[76] = 0xFF;
    huge[79] = 0x7F;
    EXPECT_FALSE(TcpIpHostOf(huge)) << "an element longer than the block";
}

} // namespace
