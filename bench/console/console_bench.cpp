// Script lines through the dispatcher (beside an embedded Tcl interpreter
// calling as many C commands), the readers beside the C library's number
// parsers, and FormatFloat beside snprintf.
#include "console/console.h"
#include "console/named_values.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#ifdef CONSOLE_BENCH_TCL
#include <tcl.h>
#endif

namespace {

constexpr int kLines = 100000;

std::vector<std::string> ScriptLines()
{
    std::vector<std::string> lines;
    lines.reserve(kLines);
    for (int i = 0; i < kLines; ++i) {
        switch (i % 3) {
        case 0: lines.push_back("SET res " + std::to_string(i % 7)); break;
        case 1: lines.push_back("IF res = 3 SET friendly 1"); break;
        default: lines.push_back("TEXT line " + std::to_string(i)); break;
        }
    }
    return lines;
}

void BM_ConsoleScriptLines(benchmark::State& state)
{
    TextConsole::Create();
    const auto lines = ScriptLines();
    for (auto _ : state) {
        for (const std::string& line : lines)
            CommandScript::QueueLine(line.c_str());
        CommandScript::RunAll();
    }
    state.SetItemsProcessed(state.iterations() * kLines);
    TextConsole::Shutdown();
}
BENCHMARK(BM_ConsoleScriptLines)->Unit(benchmark::kMillisecond);

#ifdef CONSOLE_BENCH_TCL
// The same three commands as C commands of a Tcl interpreter.
float g_res = 0, g_friendly = 0;
std::string g_last;

int TclSet(ClientData, Tcl_Interp*, int objc, Tcl_Obj* const objv[])
{
    if (objc == 3) {
        double v = 0;
        Tcl_GetDoubleFromObj(nullptr, objv[2], &v);
        (std::string(Tcl_GetString(objv[1])) == "res" ? g_res : g_friendly) = float(v);
    }
    return TCL_OK;
}

int TclIf(ClientData, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[])
{
    if (objc >= 4 && std::string(Tcl_GetString(objv[2])) == "=") {
        double v = 0;
        Tcl_GetDoubleFromObj(nullptr, objv[3], &v);
        if (g_res == float(v) && objc > 4)
            return Tcl_EvalObjv(interp, objc - 4, objv + 4, 0);
    }
    return TCL_OK;
}

int TclText(ClientData, Tcl_Interp*, int objc, Tcl_Obj* const objv[])
{
    g_last.clear();
    for (int i = 1; i < objc; ++i)
        g_last += Tcl_GetString(objv[i]);
    return TCL_OK;
}

void BM_TclEvalLines(benchmark::State& state)
{
    Tcl_Interp* interp = Tcl_CreateInterp();
    Tcl_CreateObjCommand(interp, "SET", TclSet, nullptr, nullptr);
    Tcl_CreateObjCommand(interp, "IF", TclIf, nullptr, nullptr);
    Tcl_CreateObjCommand(interp, "TEXT", TclText, nullptr, nullptr);
    const auto lines = ScriptLines();
    for (auto _ : state)
        for (const std::string& line : lines)
            Tcl_Eval(interp, line.c_str());
    state.SetItemsProcessed(state.iterations() * kLines);
    Tcl_DeleteInterp(interp);
}
BENCHMARK(BM_TclEvalLines)->Unit(benchmark::kMillisecond);
#endif

const char* const kNumbers[] = {"0", "7", "42.5", "-3.25", "123456", "0.0625", "-99.5", "1000000"};

void BM_ReadFloat(benchmark::State& state)
{
    for (auto _ : state)
        for (const char* n : kNumbers) {
            TextConsole::SetLine(n);
            benchmark::DoNotOptimize(TextConsole::ReadFloat(0.0f));
        }
}
BENCHMARK(BM_ReadFloat);

void BM_Strtof(benchmark::State& state)
{
    for (auto _ : state)
        for (const char* n : kNumbers)
            benchmark::DoNotOptimize(std::strtof(n, nullptr));
}
BENCHMARK(BM_Strtof);

void BM_ReadInt(benchmark::State& state)
{
    for (auto _ : state)
        for (const char* n : kNumbers) {
            TextConsole::SetLine(n);
            benchmark::DoNotOptimize(TextConsole::ReadInt(0));
        }
}
BENCHMARK(BM_ReadInt);

void BM_Strtol(benchmark::State& state)
{
    for (auto _ : state)
        for (const char* n : kNumbers)
            benchmark::DoNotOptimize(std::strtol(n, nullptr, 10));
}
BENCHMARK(BM_Strtol);

const float kValues[] = {0.0f, 1.0f, 2.5f, -3.125f, 12345.678f, 0.0001f, -7.75f, 1e6f};

void BM_FormatFloat(benchmark::State& state)
{
    for (auto _ : state)
        for (float v : kValues)
            benchmark::DoNotOptimize(FormatFloat(v));
}
BENCHMARK(BM_FormatFloat);

void BM_Snprintf(benchmark::State& state)
{
    char buffer[64];
    for (auto _ : state)
        for (float v : kValues) {
            std::snprintf(buffer, sizeof buffer, "%.4g", double(v));
            benchmark::DoNotOptimize(buffer);
        }
}
BENCHMARK(BM_Snprintf);

} // namespace
