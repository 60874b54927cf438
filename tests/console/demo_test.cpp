#include "console_fixture.h"

#include "app/app_state.h"
#include "app/demo.h"

#include <cstdio>

namespace console_test {
namespace {

void PutU32(std::string& s, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s += char(v >> (8 * i));
}

std::string DemoBytes(const std::string& a, const std::string& b, uint32_t count, size_t eventBytes)
{
    std::string s;
    PutU32(s, uint32_t(a.size()));
    s += a;
    PutU32(s, uint32_t(b.size()));
    s += b;
    PutU32(s, count);
    s += std::string(eventBytes, '\0');
    return s;
}

struct DamagedCase {
    const char* what;
    std::string bytes;
};

TEST_F(ConsoleTest, DamagedDemosLeaveTheBuffersAsTheyWere)
{
    const std::string name(std::string("lvl.tvs") + '\0');
    const std::vector<DamagedCase> cases = {
        {"count above 20000", DemoBytes(name, name, 20001, 20001u * 28)},
        {"name over 260 bytes", DemoBytes(std::string(300, 'n') + '\0', name, 0, 0)},
        {"name without its NUL", DemoBytes("lvl.tvs", name, 0, 0)},
        {"one byte short", DemoBytes(name, name, 2, 2 * 28 - 1)},
        {"one byte over", DemoBytes(name, name, 2, 2 * 28 + 1)},
        {"empty file", ""},
    };
    Demo::Buffers& b = Demo::Global();
    for (const DamagedCase& c : cases) {
        b.levelScript = "keep.tvs";
        b.commandFile = "keep.tcs";
        b.count = 3;
        b.times[0] = 7.0f;
        Write("bad.dem", c.bytes);
        SetAppState(AppState::Playing);
        EXPECT_FALSE(Demo::LoadFile((root_ / "bad.dem").c_str())) << c.what;
        EXPECT_EQ(b.count, 3u) << c.what;
        EXPECT_EQ(b.levelScript, "keep.tvs") << c.what;
        EXPECT_EQ(b.times[0], 7.0f) << c.what;
        EXPECT_EQ(CurrentAppState(), AppState::Playing) << c.what;
        EXPECT_NE(Last().find("Demo not loaded"), std::string::npos) << c.what;
    }
}

struct StateCase {
    AppState before;
    const char* line;
    AppState after;
};

TEST_F(ConsoleTest, RecordAndPlaybackFollowTheGameState)
{
    Write("zero.dem", DemoBytes(std::string("a") + '\0', std::string("b") + '\0', 0, 0));
    const StateCase cases[] = {
        {AppState::Playing, "RECORD", AppState::Recording},  {AppState::Playback, "RECORD", AppState::Playback},
        {AppState::LevelStarted, "PLAYBACK", AppState::Playback}, {AppState::MainMenu, "PLAYBACK", AppState::MainMenu},
        {AppState::MainMenu, "LOAD zero.dem", AppState::MainMenu}, {AppState::Playing, "LOAD ZERO.DEM", AppState::Playback},
    };
    for (const StateCase& c : cases) {
        SetAppState(c.before);
        Typed(c.line);
        EXPECT_EQ(CurrentAppState(), c.after) << c.line;
    }
    EXPECT_EQ(Demo::Global().count, 0u);
    EXPECT_EQ(Demo::Global().levelScript, "a");
    SetAppState(AppState::None);
}

// The demo file as an independent struct reader and writer sees it.
TEST_F(ConsoleTest, SavedDemoMatchesAStructReader)
{
    Demo::Buffers& b = Demo::Global();
    b.levelScript = "levels\\one.tvs";
    b.commandFile = "";
    b.count = 2;
    b.events[0] = InputEvent{256, 30, 0x00100020, -120, 30, 1};
    b.events[1] = InputEvent{513, 0, 7, 0, 0, 0x100};
    b.times[0] = 0.25f;
    b.times[1] = 3.5f;
    Typed("SAVE check.dem");
    const std::string script = R"PY(
import struct, sys
d = open(sys.argv[1], 'rb').read()
o = 0
names = []
for _ in range(2):
    (l,) = struct.unpack_from('<I', d, o); o += 4
    names.append(d[o:o + l]); o += l
(n,) = struct.unpack_from('<I', d, o); o += 4
ev = [struct.unpack_from('<IIIiII', d, o + 24 * i) for i in range(n)]
o += 24 * n
t = struct.unpack_from('<%df' % n, d, o); o += 4 * n
assert o == len(d)
out = struct.pack('<I', len(names[0])) + names[0] + struct.pack('<I', len(names[1])) + names[1]
out += struct.pack('<I', n) + b''.join(struct.pack('<IIIiII', *e) for e in ev) + struct.pack('<%df' % n, *t)
assert out == d
print(names[0][:-1].decode(), len(names[1]), n, ev[0][2], ev[0][3], ev[1][5], t[0], t[1])
)PY";
    Write("reader.py", script);
    const std::string command = "python3 " + (root_ / "reader.py").string() + " " + (root_ / "check.dem").string();
    std::string output;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p))
            output += buf;
        pclose(p);
    }
    EXPECT_EQ(output, "levels\\one.tvs 1 2 1048608 -120 256 0.25 3.5\n");
}

} // namespace
} // namespace console_test
