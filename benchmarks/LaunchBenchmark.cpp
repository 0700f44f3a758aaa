// How much Quillet adds to the start of the browser: alternating pairs of
// (a) the stand-in browser started directly, until its window is visible, and
// (b) Quillet started with the stand-in's command line, until the browser's
// first window is tracked (the tracker's "HOOK NEW" record in HookWnd.log).
// Both also time the moment the browser's report exists, which splits the
// time into process start (with the token work for Quillet) and the rest.
// Run inside tools/wine-session (BUILD/bin/launch_benchmark.exe); prints
// every pair, the medians and ratios.

#include "security/RestrictedLauncher.h"
#include "tests/launcher/QuilletCopy.h"
#include "tests/support/StandinReport.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestProcess.h"
#include "tests/support/TestWindows.h"

#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const int kPairs = 12;
const DWORD kLimitMs = 20000;

double Now()
{
    static LARGE_INTEGER frequency = {};
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Timing {
    double report = -1;   // ms until the browser's report exists
    double window = -1;   // ms until the window is visible (a) or tracked (b)
};

// Polls CONDITION about every millisecond; the elapsed ms since START, or -1.
template <typename Condition>
double TimeUntil(double start, Condition condition)
{
    while (Now() - start < kLimitMs) {
        if (condition())
            return Now() - start;
        Sleep(1);
    }
    return -1;
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

Timing TimeDirectStart(const std::string& report)
{
    DeleteFileA(report.c_str());
    TestProcess browser;
    Timing timing;
    double start = Now();
    if (!browser.Start(StandinCommand(report, "--stay=300", "http://bench.example/")))
        return timing;
    timing.report = TimeUntil(start, [&] { return Exists(report); });
    timing.window = TimeUntil(start, [&] { return FindCaptionedWindow(browser.Id()) != nullptr; });
    browser.WaitOrKill(kLimitMs);
    return timing;
}

Timing TimeQuilletStart(const QuilletCopy& quillet, const std::string& report)
{
    DeleteFileA(report.c_str());
    const std::string log = quillet.Folder() + "HookWnd.log";
    DeleteFileA(log.c_str());
    TestProcess process;
    Timing timing;
    double start = Now();
    if (!process.Start(Quoted(quillet.Program()) + " -NOSPLASH " +
                       StandinCommand(report, "--stay=300", "http://bench.example/")))
        return timing;
    timing.report = TimeUntil(start, [&] { return Exists(report); });
    timing.window = TimeUntil(start, [&] {
        std::string text;
        return ReadFileText(log, text) && text.find("HOOK NEW") != std::string::npos;
    });
    process.WaitOrKill(kLimitMs);
    return timing;
}

// Quillet's own process cost: start to end of a run that does no launch.
double TimeQuilletAlone(const QuilletCopy& quillet)
{
    TestProcess process;
    double start = Now();
    if (!process.Start(Quoted(quillet.Program()) + " -UNINSTALL"))
        return -1;
    process.WaitOrKill(kLimitMs);
    return Now() - start;
}

// The restricted start itself, from this process: until the report exists.
double TimeRestrictedStart(const std::string& report)
{
    DeleteFileA(report.c_str());
    std::string command = StandinCommand(report, "--exit");
    std::vector<char> writable(command.begin(), command.end());
    writable.push_back('\0');
    char status[256] = {};
    DWORD threadId = 0;
    HANDLE process = nullptr, thread = nullptr;
    double start = Now();
    if (RunRestricted(nullptr, writable.data(), status, sizeof status, &threadId, &process, &thread) != 0)
        return -1;
    ResumeThread(thread);  // started suspended, for the token check
    double elapsed = TimeUntil(start, [&] { return Exists(report); });
    WaitForSingleObject(process, kLimitMs);
    CloseHandle(process);
    CloseHandle(thread);
    return elapsed;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main()
{
    ProductSettings settings;
    settings.Set("RunShow", 0);
    settings.Set("Log", 1);
    settings.Set("Key", 0);
    QuilletCopy quillet;
    TestFile report = TestFile::InTemp("bench-report");

    std::vector<double> directReport, directWindow, quilletReport, quilletTracked, alone, restricted;
    std::printf("pair  direct: report  window   quillet: report  tracked   (ms)\n");
    for (int pair = 0; pair < kPairs; ++pair) {
        Timing direct = TimeDirectStart(report.path());
        Timing protectedStart = TimeQuilletStart(quillet, report.path());
        std::printf("%4d  %14.1f %7.1f  %15.1f %8.1f\n", pair + 1, direct.report, direct.window,
                    protectedStart.report, protectedStart.window);
        alone.push_back(TimeQuilletAlone(quillet));
        restricted.push_back(TimeRestrictedStart(report.path()));
        if (direct.window < 0 || protectedStart.window < 0)
            continue;
        directReport.push_back(direct.report);
        directWindow.push_back(direct.window);
        quilletReport.push_back(protectedStart.report);
        quilletTracked.push_back(protectedStart.window);
    }
    if (directWindow.empty()) {
        std::printf("no pair completed\n");
        return 1;
    }
    double direct = Median(directWindow), tracked = Median(quilletTracked);
    std::printf("\nmedians over %u pairs:\n", static_cast<unsigned>(directWindow.size()));
    std::printf("  browser process running: direct %.1f ms, through Quillet %.1f ms\n", Median(directReport),
                Median(quilletReport));
    std::printf("  window: direct visible %.1f ms, through Quillet tracked %.1f ms\n", direct, tracked);
    std::printf("  where the time goes: Quillet.exe alone (start to end, no launch) %.1f ms;\n"
                "  restricted start of the browser from a running process, until it runs %.1f ms\n",
                Median(alone), Median(restricted));
    std::printf("  ratio tracked / visible: %.2f (goal: at most 1.25)\n", tracked / direct);
    return 0;
}
