// The registry store: typed values kept per hive in a text file that a
// player may open, survives the process, shrugs off damaged lines without
// losing them, and reports a write it could not make.
#include "platform/registry.h"
#include "support/config_home.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace platform;

namespace {

class RegistryStore : public ConfigHomeTest {
protected:
    static std::string Read(const fs::path& p)
    {
        std::ifstream in(p);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
};

constexpr const char* kKey = "Software\\Velquarin\\Trevok\\Configuration";

RegistryValue Text(std::string s)
{
    RegistryValue v;
    v.type = RegistryType::String;
    v.text = std::move(s);
    return v;
}
RegistryValue Number(uint32_t n)
{
    RegistryValue v;
    v.type = RegistryType::Dword;
    v.number = n;
    return v;
}

TEST_F(RegistryStore, ValuesKeepTheirTypeAndEveryByte)
{
    RegistryValue blob;
    blob.type = RegistryType::Binary;
    blob.bytes = {0x00, 0xFF, 0x7F, 0x80};
    const std::pair<const char*, RegistryValue> cases[] = {
        {"Path", Text("C:\\Games\\Trevok \"gold\"\nsecond line")},
        {"New User", Number(0xFFFFFFFFu)},
        {"MP Game Type", Number(300)},
        {"Blob", blob},
        {"Empty", Text("")},
    };
    for (const auto& [name, value] : cases)
        ASSERT_TRUE(RegistrySet(RegistryHive::CurrentUser, kKey, name, value)) << name;
    for (const auto& [name, value] : cases) {
        SCOPED_TRACE(name);
        const auto got = RegistryGet(RegistryHive::CurrentUser, kKey, name);
        ASSERT_TRUE(got);
        EXPECT_EQ(got->type, value.type);
        EXPECT_EQ(got->text, value.text);
        EXPECT_EQ(got->number, value.number);
        EXPECT_EQ(got->bytes, value.bytes);
    }
    EXPECT_FALSE(RegistryGet(RegistryHive::LocalMachine, kKey, "New User")) << "hives are apart";
    EXPECT_FALSE(fs::exists(RegistryFilePath().string() + ".tmp"));
}

TEST_F(RegistryStore, ValuesSurviveTheProcess)
{
    const pid_t pid = fork();
    if (pid == 0) {
        const bool ok = RegistrySet(RegistryHive::LocalMachine, kKey, "Path", Text("/games/trevok")) &&
                        RegistrySet(RegistryHive::CurrentUser, kKey, "MP Session", Text("evening game"));
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(RegistryGet(RegistryHive::LocalMachine, kKey, "Path")->text, "/games/trevok");
    EXPECT_EQ(RegistryGet(RegistryHive::CurrentUser, kKey, "MP Session")->text, "evening game");
}

TEST_F(RegistryStore, DamagedLinesAreSkippedAndKept)
{
    fs::create_directories(RegistryFilePath().parent_path());
    const std::string damaged =
        "[HKEY_CURRENT_USER\\Software\\Velquarin\\Trevok\\Configuration]\n"
        "\"New User\"=dword:00000001\n"
        "\"MP Session\"=dword:12\n"          // too few digits
        "garbage without quotes\n"
        "\"MP IP Addr\"=\"10.0.0.1\n"        // unterminated
        "[HKEY_NOWHERE\\x]\n"
        "\"Lost\"=dword:00000002\n"          // under an unknown hive
        "[HKEY_LOCAL_MACHINE\\Software\\Velquarin\\Trevok\\Configuration]\n"
        "\"Path\"=\"/data\"\n";
    std::ofstream(RegistryFilePath()) << damaged;

    EXPECT_EQ(RegistryGet(RegistryHive::CurrentUser, kKey, "New User")->number, 1u);
    EXPECT_EQ(RegistryGet(RegistryHive::LocalMachine, kKey, "Path")->text, "/data");
    EXPECT_FALSE(RegistryGet(RegistryHive::CurrentUser, kKey, "MP Session"));
    EXPECT_FALSE(RegistryGet(RegistryHive::CurrentUser, kKey, "MP IP Addr"));

    ASSERT_TRUE(RegistrySet(RegistryHive::CurrentUser, kKey, "MP Game Type", Number(3)));
    EXPECT_EQ(Read(RegistryFilePath().string() + ".damaged"), damaged) << "the player's file is kept";
    EXPECT_EQ(RegistryGet(RegistryHive::CurrentUser, kKey, "New User")->number, 1u);
    EXPECT_EQ(RegistryGet(RegistryHive::CurrentUser, kKey, "MP Game Type")->number, 3u);
}

TEST_F(RegistryStore, AWriteThatCannotBeMadeReportsFailure)
{
    // The folder the file would go in is a plain file.
    std::ofstream(dir_ / "trevok") << "not a folder";
    EXPECT_FALSE(RegistrySet(RegistryHive::CurrentUser, kKey, "New User", Number(1)));
    EXPECT_FALSE(RegistryGet(RegistryHive::CurrentUser, kKey, "New User"));
}

} // namespace
