// The configuration values: their names and hives, whole 32-bit numbers,
// empty strings read as absent, failed writes reported, and values that
// survive a restart of the program.
#include "app/registry_config.h"
#include "platform/registry.h"
#include "support/config_home.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using Configuration = ConfigHomeTest;

TEST_F(Configuration, NamesAndHives)
{
    struct Case {
        uint32_t id;
        const char* name;
        bool perUser;
    };
    const Case cases[] = {{0, "Path", false},       {1, "New User", true},   {2, "MP Session", true},
                          {3, "MP IP Addr", true},  {4, "MP Game Type", true}, {5, "Unnamed00000005", false},
                          {16, "Unnamed00000010", false}, {0xABCDEF01u, "Unnamedabcdef01", false}};
    for (const Case& c : cases) {
        EXPECT_EQ(Registry::ValueName(c.id), c.name);
        EXPECT_EQ(Registry::IsPerUser(c.id), c.perUser) << c.name;
    }
    ASSERT_TRUE(Registry::SetDword(16, 9));
    const auto stored = platform::RegistryGet(platform::RegistryHive::LocalMachine, Registry::kKey, "Unnamed00000010");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->number, 9u);
}

TEST_F(Configuration, NumbersKeepAll32Bits)
{
    for (uint32_t value : {0u, 44u, 300u, 0x12345678u, 0xFFFFFFFEu}) {
        ASSERT_TRUE(Registry::SetDword(Registry::kNewUser, value));
        EXPECT_EQ(Registry::GetDword(Registry::kNewUser), value);
    }
    EXPECT_EQ(Registry::GetDword(Registry::kMpGameType), Registry::kMissingNumber);
    ASSERT_TRUE(Registry::SetString(Registry::kMpGameType, "3"));
    EXPECT_EQ(Registry::GetDword(Registry::kMpGameType), Registry::kMissingNumber) << "a string is not a number";
}

TEST_F(Configuration, StringsAbsentEmptyAndLong)
{
    EXPECT_EQ(Registry::GetString(Registry::kPath), nullptr);
    ASSERT_TRUE(Registry::SetString(Registry::kPath, ""));
    EXPECT_EQ(Registry::GetString(Registry::kPath), nullptr) << "empty reads as absent";
    ASSERT_TRUE(Registry::SetString(Registry::kPath, nullptr));
    EXPECT_EQ(Registry::GetString(Registry::kPath), nullptr);
    ASSERT_TRUE(Registry::SetString(Registry::kMpIpAddr, "192.0.2.7"));
    EXPECT_STREQ(Registry::GetString(Registry::kMpIpAddr), "192.0.2.7");
    ASSERT_TRUE(Registry::SetString(Registry::kMpSession, std::string(3000, 's').c_str()));
    EXPECT_EQ(std::string(Registry::GetString(Registry::kMpSession)), std::string(2047, 's'));
    ASSERT_TRUE(Registry::SetDword(Registry::kMpIpAddr, 1));
    EXPECT_EQ(Registry::GetString(Registry::kMpIpAddr), nullptr) << "a number is not a string";
}

TEST_F(Configuration, FailedWritesReportFailure)
{
    std::ofstream(dir_ / "trevok") << "a file where the folder should be";
    EXPECT_FALSE(Registry::SetDword(Registry::kNewUser, 1));
    EXPECT_FALSE(Registry::SetString(Registry::kPath, "/games"));
}

TEST_F(Configuration, ValuesSurviveARestart)
{
    const pid_t pid = fork();
    if (pid == 0) {
        const bool ok = Registry::SetDword(Registry::kNewUser, 0x80000001u) &&
                        Registry::SetString(Registry::kMpSession, "Friday night");
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Registry::GetDword(Registry::kNewUser), 0x80000001u);
    EXPECT_STREQ(Registry::GetString(Registry::kMpSession), "Friday night");
}

TEST_F(Configuration, DamagedFileFallsBackToDefaults)
{
    fs::create_directories(dir_ / "trevok");
    std::ofstream(dir_ / "trevok" / "registry.txt") << "\x01\x02 not a configuration file\n[broken\n";
    EXPECT_EQ(Registry::GetDword(Registry::kNewUser), Registry::kMissingNumber);
    EXPECT_EQ(Registry::GetString(Registry::kPath), nullptr);
    ASSERT_TRUE(Registry::SetDword(Registry::kNewUser, 1));
    EXPECT_EQ(Registry::GetDword(Registry::kNewUser), 1u);
    EXPECT_TRUE(fs::exists(dir_ / "trevok" / "registry.txt.damaged"));
}

} // namespace
