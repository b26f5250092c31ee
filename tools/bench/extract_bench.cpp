// One timed payload extraction, as the wizard's install step runs it: ExtractInstaller from the
// installer file into a folder, with the uninstaller files, and a progress callback that pumps
// messages as the wizard does. Prints one line of key=value pairs for tools/bench/extract_bench.py.
//
//   bench_extract INSTALLER TARGET     extract and report
//   bench_extract --idle               report the memory of the idle program (the baseline)
#include <cstdio>
#include <string>

#include "CommonInstaller.h"
#include "KWCommonLib.h"
#include "SysUtils.h"
#include "WinApi.h"

#include <psapi.h>
#include <shellapi.h>

namespace {

void PrintMemory() {
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc))
        std::printf(" peak_working_set=%llu", (unsigned long long)pmc.PeakWorkingSetSize);
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc == 2 && std::wstring(argv[1]) == L"--idle") {
        std::printf("idle=1");
        PrintMemory();
        std::printf("\n");
        return 0;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_extract INSTALLER TARGET | --idle\n");
        return 2;
    }
    int32_t events = 0;
    double last = -1;
    TProgressPump pump;   // as the wizard keeps its window alive
    const TzpProgress progress = [&](TObject*, double AProgress, const std::wstring&, bool&) {
        ++events;
        last = AProgress;
        pump.Step((int64_t)AProgress);
    };
    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);
    const bool ok = ExtractInstaller(argv[1], argv[2], true, progress);
    QueryPerformanceCounter(&t1);
    std::printf("ok=%d extract_ms=%.1f progress_events=%d last_progress=%.1f", ok ? 1 : 0,
                (double)(t1.QuadPart - t0.QuadPart) * 1000.0 / (double)freq.QuadPart, events, last);
    PrintMemory();
    std::printf("\n");
    return ok ? 0 : 1;
}
