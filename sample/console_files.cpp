// Command files and demos for the console: waits, a long line, CRLF line
// ends, a BATCH chain and comments; a recorded demo on the training level
// and one without events.
#include "sample/generator.h"

#include "app/demo.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace sample {
namespace {

bool WriteFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) {
        std::fprintf(stderr, "sample_gen: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

bool WriteDemo(const std::filesystem::path& path, const Demo::File& file)
{
    const auto bytes = Demo::Serialize(file);
    return WriteFile(path, std::string(bytes.begin(), bytes.end()));
}

bool WriteConsoleFiles(const Context& ctx)
{
    const auto scripts = ctx.out / "scripts";
    std::filesystem::create_directories(scripts / "console");
    const std::string longText = "TEXT " + std::string(295, 'L');
    bool ok = WriteFile(scripts / "console" / "waits.tcs",
                        "// The training welcome, two seconds apart\n"
                        "TEXT 0\nWAIT 2\nTEXT 1\nREAL WAIT OR CLICK 10\nTEXT 4\n");
    ok = ok && WriteFile(scripts / "console" / "crlf.tcs", "REM written with CR LF line ends\r\nTOKEN crlf\r\nINC crlf\r\n");
    ok = ok && WriteFile(scripts / "console" / "long_line.tcs", longText + "\n");
    ok = ok && WriteFile(scripts / "console" / "chain1.tcs", "TOKEN chain\nINC chain\nBATCH Console\\Chain2.tcs\n");
    ok = ok && WriteFile(scripts / "console" / "chain2.tcs",
                         "INC chain\nIF chain = 2 TEXT 5\n@ECHO\nBATCH console\\chain3.TCS\n");
    ok = ok && WriteFile(scripts / "console" / "chain3.tcs", "INC chain\nLIST TOKENS\n");
    // A scene staged with the camera, light and effect commands.
    ok = ok && WriteFile(scripts / "console" / "staging.tcs",
                         "SUNANGLE 60\nSUNANGLE2 120\nSUNBRIGHTNESS 1 0.9 0.8\nAMBIENT 0.2 0.2 0.25\n"
                         "WATER 1 -20 2 -20 20 2 20 0 ON\nRAY 0 0 0\nRAY COLOUR 1 1 0.5\nRING 0 0 0 12 1 6\n"
                         "BASIN 4 0 4 10 1 3\nELECTRICITY 0 0 0 5 0 0 10\nLASER FENCE 0 0 5 5 0 5\n"
                         "LIGHTNING ON\nCORONA 2 -2 2\nSPARKS 1 0 1\nRAIN ON\nRAIN OFF\n"
                         "ADD LIGHT 0 -3 0 1 0.5 0\nADD BLINKING LIGHT 3 -3 0 1 0 0 0 0 1 2\n"
                         "SET CAMERA POS 0 0 0\nSET CAMERA ORI 0 600 1024\nSET DISTANCE 30\nSAVE CAMERA\n"
                         "SET REQUIRED POSDIST 10 0 10 40 1\nROTATE CAMERA 5 2\nGET CAMERA\nRESTORE CAMERA\n"
                         "CAMERA TRACK 0 0 0 5 -5 0 10 -5 10 15 0 15 0.5\nBORDERS 0.1 1\nVISION OFF\n"
                         "CD PLAY LOOPING 2 3 0\nCD SET VOLUME 70000\nFADE TO BLACK 2 5\nFADE FROM BLACK 3\n"
                         "BORDERS OFF\nLIGHTNING OFF\n");

    Demo::File demo;
    demo.levelScript = "training_level.tvs";
    demo.commandFile = "training_level.tcs";
    // A few keys and clicks over four seconds of game time.
    const InputEvent events[] = {
        {256, 30, 0, 0, 30, 0}, {257, 30, 0, 0, 30, 0}, {512, 0, 320 | 240u << 16, 0, 0, 0},
        {513, 0, 320 | 240u << 16, 0, 0, 0x100}, {514, 0, 320 | 240u << 16, 0, 0, 0},
    };
    float t = 0.5f;
    for (const InputEvent& e : events) {
        demo.events.push_back(e);
        demo.times.push_back(t);
        t += 0.75f;
    }
    ok = ok && WriteDemo(ctx.out / "tvdemo0.dem", demo);
    Demo::File empty{"training_level.tvs", "training_level.tcs", {}, {}};
    return ok && WriteDemo(ctx.out / "empty.dem", empty);
}

const StepRegistration kConsoleFiles(40, "console files", WriteConsoleFiles);

} // namespace
} // namespace sample
