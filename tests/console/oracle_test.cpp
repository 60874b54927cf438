// ReadFloat and FormatFloat against an independent Python model: float32
// step by step for the reader, exact fractions with floor for the format.
#include "console_fixture.h"

#include <bit>
#include <cstdio>

namespace console_test {
namespace {

std::string RunPython(const std::filesystem::path& script, const std::filesystem::path& input)
{
    const std::string command = "python3 " + script.string() + " < " + input.string();
    std::string output;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[512];
        while (fgets(buf, sizeof buf, p))
            output += buf;
        pclose(p);
    }
    return output;
}

const char* const kOracle = R"PY(
import struct, sys, math
from fractions import Fraction
f32 = lambda x: struct.unpack('<f', struct.pack('<f', x))[0]
for line in sys.stdin.read().split('\n'):
    if not line:
        continue
    kind, arg = line.split(' ', 1)
    if kind == 'R':
        # digits, optional '.', fraction digits: each step rounded to float32
        s = arg.lstrip(' ')
        neg = s.startswith('-')
        if neg:
            s = s[1:].lstrip(' ')
        v = 0.0
        i = 0
        while i < len(s) and s[i].isdigit():
            v = f32(f32(v * 10.0) + int(s[i])); i += 1
        if i < len(s) and s[i] == '.':
            i += 1
            div = 10.0
            while i < len(s) and s[i].isdigit():
                v = f32(v + f32(int(s[i]) / div)); div = f32(div * 10.0); i += 1
        print(struct.pack('<f', -v if neg else v).hex())
    else:
        v = struct.unpack('<f', bytes.fromhex(arg))[0]
        if math.isnan(v): print('NaN'); continue
        if math.isinf(v): print('-inf' if v < 0 else 'inf'); continue
        x = abs(Fraction(v))
        whole = math.floor(x)
        tt = math.floor((x - whole) * 10000)
        text = str(whole)
        if tt:
            text += '.' + ('%04d' % tt).rstrip('0')
        if v < 0 and text != '0':
            text = '-' + text
        print(text)
)PY";

TEST_F(ConsoleTest, ReadFloatAndFormatFloatMatchTheModel)
{
    std::vector<std::string> numbers = {"0", "1", "2.5", "-2.5", "0.1", "3.14159", "123456789", "16777217",
                                        "0.000001", "99.99999", "- 7.25", "1.00000001", "4294967296.5"};
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    for (int i = 0; i < 150; ++i)
        numbers.push_back(std::to_string(next() % 100000) + "." + std::to_string(next() % 1000000));
    std::vector<float> values = {0.0f, 1.0f, -1.5f, 0.1f, 3.0001f, 1e-5f, 123456.789f, 1e20f, -3e38f,
                                 std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()};
    for (int i = 0; i < 150; ++i)
        values.push_back(std::bit_cast<float>(next() % 0x4f000000u) * ((i & 1) ? -1.0f : 1.0f));

    std::string input, expected;
    for (const std::string& n : numbers) {
        input += "R " + n + "\n";
        TextConsole::SetLine(n.c_str());
        char hex[16];
        const uint32_t bits = std::bit_cast<uint32_t>(TextConsole::ReadFloat(0.0f));
        std::snprintf(hex, sizeof hex, "%02x%02x%02x%02x", bits & 0xff, bits >> 8 & 0xff, bits >> 16 & 0xff, bits >> 24);
        expected += std::string(hex) + "\n";
    }
    for (float v : values) {
        const uint32_t bits = std::bit_cast<uint32_t>(v);
        char hex[16];
        std::snprintf(hex, sizeof hex, "%02x%02x%02x%02x", bits & 0xff, bits >> 8 & 0xff, bits >> 16 & 0xff, bits >> 24);
        input += std::string("F ") + hex + "\n";
        expected += FormatFloat(v) + "\n";
    }
    Write("oracle.py", kOracle);
    Write("input.txt", input);
    const std::string got = RunPython(root_ / "oracle.py", root_ / "input.txt");
    EXPECT_EQ(got, expected);
}

} // namespace
} // namespace console_test
