// What Quillet adds to a click on a link, measured in interleaved rounds;
// every round times, one after the other:
//   (a) an empty windowed program, start to end: the floor of any start;
//       the same program loading one DLL gives that import's cost;
//   (b) the stand-in browser started directly, until its window is visible;
//   (c) Quillet started with the stand-in's command line, until the browser's
//       first window is tracked (the tracker's "HOOK NEW" record in
//       HookWnd.log);
//   (d) a second Quillet started while (c)'s instance still runs, until the
//       first instance has tracked the browser it started for the hand-off
//       (the log's second "HOOK NEW");
//   (c), (d) once more with "Log" 0, as users run Quillet, each until the
//       browser's window is visible, the end point of (b);
//   (p) the peer: the bare restricted launcher (bench_restricted_launcher),
//       the same token and check without a window, hooks or lock, until the
//       browser's window is visible;
//   (d') (d) once more, half a second after the first browser's window,
//       when the first instance and that browser are done with each other;
//   (p') the peer in (d)'s place: started the moment another peer's
//       browser window is visible, while that browser still starts up;
// and the pieces between: Quillet without a launch (-UNINSTALL with nothing
// installed), and the restricted start made from a running process.
// Figures are medians over the rounds; the machine may be shared, so a
// single round says little. Beside the two ratios to a process start, the
// same ratios less the steps that are Wine's own (each measured alone in the
// empty program) show how much of a start is still Quillet's. The ratios to
// the peer are the medians of each round's own ratio: only such paired
// figures stay steady on a busy machine. Run inside tools/wine-session;
// --baseline=PATH (a Windows path) times an older Quillet.exe in the same
// rounds.

#include "common/UniqueHandle.h"
#include "security/ProtectedTokenCheck.h"
#include "security/RestrictedLauncher.h"
#include "tests/launcher/QuilletCopy.h"
#include "tests/support/StandinReport.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestProcess.h"
#include "tests/support/TestWindows.h"

#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

const int kRounds = 15;
const DWORD kLimitMs = 20000;
const double kGoal = 1.5;
const double kPeerGoal = 1.1;
// How long the settled hand-off waits after the first browser's window.
const DWORD kSettleMs = 500;

// Each start opens its own link, so that its window is told from the others
// by its caption alone.
const char kDirectLink[] = "http://bench.example/";
const char kFirstLink[] = "http://bench.example/c";
const char kHandOffLink[] = "http://bench.example/d";
const char kPeerLink[] = "http://bench.example/p";
const char kPeerSecondLink[] = "http://bench.example/q";

// Quillet's imports besides KERNEL32 and the C runtime, in the order a
// start loads them; each one is timed on top of the empty program.
const char* const kImports[] = {"user32.dll",  "gdi32.dll",   "advapi32.dll", "comctl32.dll",
                                "shell32.dll", "shlwapi.dll", "psapi.dll",    "userenv.dll"};

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
    double window = -1;   // ms until the end point: the window visible, or tracked
};

// Where a start through Quillet is taken as done: its "HOOK NEW" record in
// HookWnd.log (with "Log" 1), or the browser's window visible.
enum class EndPoint { Tracked, Visible };

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

int CountTracked(const std::string& log)
{
    std::string text;
    if (!ReadFileText(log, text))
        return 0;
    int count = 0;
    for (size_t at = text.find("HOOK NEW"); at != std::string::npos; at = text.find("HOOK NEW", at + 1))
        ++count;
    return count;
}

// The stand-in's main window for LINK exists and is visible.
bool LinkWindowVisible(const std::string& link)
{
    HWND window = FindWindowA(nullptr, (link + " - Stand-in Browser").c_str());
    return window && IsWindowVisible(window);
}

// Start to end of COMMAND, or -1 when it failed or did not end in time.
double TimeRun(const std::string& command)
{
    TestProcess process;
    double start = Now();
    if (!process.Start(command))
        return -1;
    DWORD exitCode = process.WaitOrKill(kLimitMs);
    double elapsed = Now() - start;
    return exitCode == 0 || exitCode == 1 ? elapsed : -1;
}

Timing TimeDirectStart(const std::string& report)
{
    DeleteFileA(report.c_str());
    TestProcess browser;
    Timing timing;
    double start = Now();
    if (!browser.Start(StandinCommand(report, "--stay=300", kDirectLink)))
        return timing;
    timing.report = TimeUntil(start, [&] { return Exists(report); });
    timing.window = TimeUntil(start, [&] { return FindCaptionedWindow(browser.Id()) != nullptr; });
    browser.WaitOrKill(kLimitMs);
    return timing;
}

// Starts QUILLET for the stand-in with LINK and times it until END: the log
// holds TRACKED "HOOK NEW" records, or LINK's window is visible; PROCESS
// keeps running.
Timing TimeQuilletStart(const QuilletCopy& quillet, TestProcess& process, const std::string& report,
                        const char* stay, const char* link, EndPoint end, int tracked)
{
    DeleteFileA(report.c_str());
    const std::string log = quillet.Folder() + "HookWnd.log";
    Timing timing;
    double start = Now();
    if (!process.Start(Quoted(quillet.Program()) + " -NOSPLASH " + StandinCommand(report, stay, link)))
        return timing;
    timing.report = TimeUntil(start, [&] { return Exists(report); });
    timing.window = TimeUntil(start, [&] {
        return end == EndPoint::Tracked ? CountTracked(log) >= tracked : LinkWindowVisible(link);
    });
    return timing;
}

// (c) and (d) of one round: the first instance, then, SETTLE ms after the
// end point, a hand-off to it while its browser window is still open.
void TimeProtectedStarts(const QuilletCopy& quillet, const std::string& report, EndPoint end, DWORD settle,
                         Timing& first, Timing& handOff)
{
    DeleteFileA((quillet.Folder() + "HookWnd.log").c_str());
    TestProcess firstInstance, secondInstance;
    first = TimeQuilletStart(quillet, firstInstance, report, "--stay=2500", kFirstLink, end, 1);
    Sleep(settle);
    if (first.window >= 0)
        handOff = TimeQuilletStart(quillet, secondInstance, report, "--stay=300", kHandOffLink, end, 2);
    secondInstance.WaitOrKill(kLimitMs);
    firstInstance.WaitOrKill(kLimitMs);
}

// Starts the bare restricted launcher for the stand-in with LINK and times
// it until LINK's window is visible; PEER keeps running.
Timing TimePeerStart(TestProcess& peer, const std::string& report, const char* stay, const char* link)
{
    DeleteFileA(report.c_str());
    Timing timing;
    double start = Now();
    if (!peer.Start(Quoted(TestModuleDirectory() + "bench_restricted_launcher.exe") + " " +
                    StandinCommand(report, stay, link)))
        return timing;
    timing.report = TimeUntil(start, [&] { return Exists(report); });
    timing.window = TimeUntil(start, [&] { return LinkWindowVisible(link); });
    return timing;
}

// (p) alone; then the peer in (d)'s place: started the moment another
// peer's browser window is visible, while that browser still starts up, as
// a second click through the peer would be. A launcher that failed voids
// its figure.
void TimePeerStarts(const std::string& report, Timing& alone, Timing& second)
{
    TestProcess peer;
    alone = TimePeerStart(peer, report, "--stay=300", kPeerLink);
    if (peer.WaitOrKill(kLimitMs) != 0)
        alone.window = -1;
    TestProcess leading, next;
    if (TimePeerStart(leading, report, "--stay=2500", kPeerLink).window >= 0)
        second = TimePeerStart(next, report, "--stay=300", kPeerSecondLink);
    if (next.WaitOrKill(kLimitMs) != 0)
        second.window = -1;
    leading.WaitOrKill(kLimitMs);
}

BOOL CALLBACK FindVisibleCaptioned(HWND window, LPARAM found)
{
    if (!IsWindowVisible(window) || GetWindowTextLengthA(window) == 0)
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// The restricted start itself, made from this process as the launch flow
// makes it: until the report exists, and until the window is visible.
Timing TimeRestrictedStart(const std::string& report)
{
    DeleteFileA(report.c_str());
    std::string command = StandinCommand(report, "--stay=300", kDirectLink);
    std::vector<char> writable(command.begin(), command.end());
    writable.push_back('\0');
    char status[256] = {};
    DWORD threadId = 0;
    HANDLE process = nullptr, thread = nullptr;
    Timing timing;
    double start = Now();
    if (RunRestricted(nullptr, writable.data(), status, sizeof status, &threadId, &process, &thread) != 0)
        return timing;
    unique_handle processOwner(process), threadOwner(thread);
    ProtectedTokenVerdict verdict;
    if (!ResumeIfProtected(process, thread, verdict))
        return timing;
    timing.report = TimeUntil(start, [&] { return Exists(report); });
    timing.window = TimeUntil(start, [&] {
        HWND found = nullptr;
        EnumThreadWindows(threadId, FindVisibleCaptioned, reinterpret_cast<LPARAM>(&found));
        return found != nullptr;
    });
    WaitForSingleObject(process, kLimitMs);
    return timing;
}

double Median(std::vector<double> values)
{
    values.erase(std::remove(values.begin(), values.end(), -1.0), values.end());
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Every series of the run, by name, one value per round (-1: failed).
typedef std::map<std::string, std::vector<double>> Series;

// (c) and (d) of QUILLET until END, into the series named PREFIX + "c" and
// so on.
void TimeQuillet(const QuilletCopy& quillet, const std::string& report, const std::string& prefix, EndPoint end,
                 Series& series, DWORD settle = 0)
{
    Timing first, handOff;
    TimeProtectedStarts(quillet, report, end, settle, first, handOff);
    series[prefix + "c report"].push_back(first.report);
    series[prefix + "c"].push_back(first.window);
    series[prefix + "d report"].push_back(handOff.report);
    series[prefix + "d"].push_back(handOff.window);
}

// The round's own ratio of what a start adds to a direct start, X to the
// peer's; -1 when one of them failed.
double RatioToPeer(double x, double b, double peer)
{
    return x < 0 || b < 0 || peer < 0 || peer <= b ? -1 : (x - b) / (peer - b);
}

// The round's ratios to the peer of the build whose series begin with PREFIX.
void AddRatiosToPeer(Series& series, const std::string& prefix)
{
    double b = series["b"].back(), peer = series["peer"].back(), peerSecond = series["peer d"].back();
    series[prefix + "c/peer"].push_back(RatioToPeer(series[prefix + "visible c"].back(), b, peer));
    series[prefix + "d/peer"].push_back(RatioToPeer(series[prefix + "visible d"].back(), b, peer));
    series[prefix + "d/peer d"].push_back(RatioToPeer(series[prefix + "visible d"].back(), b, peerSecond));
    if (prefix.empty())
        series["settled d/peer"].push_back(RatioToPeer(series["settled visible d"].back(), b, peer));
}

// The series of the visible end point, as users run Quillet ("Log" 0), of
// this build and the baseline, and the peer's, with each build's ratios.
void TimeAgainstPeer(const QuilletCopy& quillet, const QuilletCopy* baseline, ProductSettings& settings,
                     const std::string& report, Series& series)
{
    settings.Set("Log", 0);
    TimeQuillet(quillet, report, "visible ", EndPoint::Visible, series);
    if (baseline)
        TimeQuillet(*baseline, report, "baseline visible ", EndPoint::Visible, series);
    // The hand-off alone, once the first browser and the instance's work on
    // it are done: what is left of (d) is then the hand-off's own.
    TimeQuillet(quillet, report, "settled visible ", EndPoint::Visible, series, kSettleMs);
    settings.Set("Log", 1);
    Timing peer, peerSecond;
    TimePeerStarts(report, peer, peerSecond);
    series["peer report"].push_back(peer.report);
    series["peer"].push_back(peer.window);
    series["peer d"].push_back(peerSecond.window);
    AddRatiosToPeer(series, "");
    if (baseline)
        AddRatiosToPeer(series, "baseline ");
}

void RunRound(const QuilletCopy& quillet, const QuilletCopy* baseline, ProductSettings& settings,
              const std::string& report, Series& series)
{
    const std::string empty = Quoted(TestModuleDirectory() + "bench_empty.exe");
    double floor = TimeRun(empty);
    series["a"].push_back(floor);
    for (const char* dll : kImports) {
        double loaded = TimeRun(empty + " " + dll);
        series[dll].push_back(loaded < 0 || floor < 0 ? -1 : loaded - floor);
    }
    double window = TimeRun(empty + " window");
    double user = TimeRun(empty + " user32.dll");
    series["window"].push_back(window < 0 || user < 0 ? -1 : window - user);
    Timing direct = TimeDirectStart(report);
    series["b report"].push_back(direct.report);
    series["b"].push_back(direct.window);
    TimeQuillet(quillet, report, "", EndPoint::Tracked, series);
    if (baseline)
        TimeQuillet(*baseline, report, "baseline ", EndPoint::Tracked, series);
    TimeAgainstPeer(quillet, baseline, settings, report, series);
    series["alone"].push_back(TimeRun(Quoted(quillet.Program()) + " -UNINSTALL"));
    Timing restricted = TimeRestrictedStart(report);
    series["restricted report"].push_back(restricted.report);
    series["restricted"].push_back(restricted.window);
    std::printf("%5d %7.1f %7.1f %7.1f %7.1f %7.1f %7.1f %7.1f %7.1f %7.1f %7.1f %7.1f\n",
                static_cast<int>(series["a"].size()), floor, direct.report, direct.window,
                series["c report"].back(), series["c"].back(), series["d report"].back(), series["d"].back(),
                series["visible c"].back(), series["visible d"].back(), series["peer"].back(),
                series["peer d"].back());
}

void PrintBreakdown(Series& series)
{
    double a = Median(series["a"]);
    std::printf("\nwhere the time goes (medians over %d interleaved rounds, ms):\n", kRounds);
    std::printf("  process start: the empty program, start to end          %7.1f\n", a);
    std::printf("  one import loaded by the empty program, on top of that:\n");
    for (const char* dll : kImports)
        std::printf("    %-14s %7.1f\n", dll, Median(series[dll]));
    std::printf("  a process's first window (hidden), on top of user32.dll  %7.1f\n", Median(series["window"]));
    std::printf("  Quillet without a launch (-UNINSTALL), start to end      %7.1f\n", Median(series["alone"]));
    double restricted = Median(series["restricted report"]), direct = Median(series["b report"]);
    std::printf("  restricted start from a running process, until it runs   %7.1f\n", restricted);
    std::printf("    of which token work (less a direct start, %5.1f)        %7.1f\n", direct, restricted - direct);
    // The restricted browser's own time from its report to its window, the
    // part of (c) and (d) that is the browser's and not Quillet's.
    double ownWindow = Median(series["restricted"]) - restricted;
    std::printf("  restricted browser, from running to its window visible   %7.1f\n", ownWindow);
    double c = Median(series["c"]), cReport = Median(series["c report"]);
    std::printf("  (c): Quillet until the browser runs, less direct         %7.1f\n", cReport - direct);
    std::printf("  (c): window found and tracked, beyond the browser's own  %7.1f\n", c - cReport - ownWindow);
    double d = Median(series["d"]), dReport = Median(series["d report"]);
    std::printf("  (d): hand-off until the browser runs, less direct        %7.1f\n", dReport - direct);
    std::printf("  (d): window found and tracked, beyond the browser's own  %7.1f\n", d - dReport - ownWindow);
}

// Steps whose cost is Wine's own and which no program with a window avoids
// there, each measured alone in the empty program. The first instance pays
// them all once per start: USER32 (a direct start's browser pays it too,
// but it is not in a), the display set-up of a process's first window, and
// the user environment DLL that the restricted start needs. A hand-off start
// pays only USER32 itself; the first instance that runs its launch has the
// others loaded already.
void PrintWithoutWineSetUp(Series& series, double c, double d)
{
    double a = Median(series["a"]), b = Median(series["b"]);
    double user = Median(series["user32.dll"]), window = Median(series["window"]);
    double environment = Median(series["userenv.dll"]);
    double first = user + window + environment;
    std::printf("  the same, less Wine's own set-up measured alone (ms):\n");
    std::printf("    (c - b - first window %.1f) / a = %.2f\n", window, (c - b - window) / a);
    std::printf("    (c - b - user32 %.1f - first window - userenv %.1f) / a = %.2f\n", user, environment,
                (c - b - first) / a);
    std::printf("    (d - b - user32) / a = %.2f\n", (d - b - user) / a);
}

void PrintResult(Series& series, const std::string& prefix, const char* title)
{
    double a = Median(series["a"]), b = Median(series["b"]);
    double c = Median(series[prefix + "c"]), d = Median(series[prefix + "d"]);
    std::printf("\n%s\n", title);
    std::printf("(a) empty program start      %7.1f ms\n", a);
    std::printf("(b) direct browser start     %7.1f ms (window visible)\n", b);
    std::printf("(c) start through Quillet    %7.1f ms (window tracked)\n", c);
    std::printf("(d) hand-off start           %7.1f ms (window tracked by the first instance)\n", d);
    std::printf("(c - b) / a = %.2f   (goal: at most %.1f)\n", (c - b) / a, kGoal);
    std::printf("(d - b) / a = %.2f   (goal: at most %.1f)\n", (d - b) / a, kGoal);
    PrintWithoutWineSetUp(series, c, d);
}

// One step of what a start through Quillet adds to a direct start, with its
// share of the whole.
void PrintStep(const char* step, double ms, double added)
{
    std::printf("    %-58s %7.1f  %5.1f%%\n", step, ms, added > 0 ? 100.0 * ms / added : 0.0);
}

// Where X (the first instance's start, or the hand-off) of the build whose
// series begin with PREFIX spends what it adds to a direct start, beside
// what the peer spends on the same road.
void PrintStepsAgainstPeer(Series& series, const std::string& prefix, const char* title, const std::string& x)
{
    double b = Median(series["b"]), bReport = Median(series["b report"]);
    double peerReport = Median(series["peer report"]);
    const std::string name = prefix + "visible " + x;
    double xWindow = Median(series[name]), xReport = Median(series[name + " report"]);
    double added = xWindow - b;
    std::printf("  %s adds %.1f ms to a direct start:\n", title, added);
    PrintStep("until the browser runs, as far as the peer's start", peerReport - bReport, added);
    PrintStep("until the browser runs, beyond the peer's start", xReport - peerReport, added);
    PrintStep("from running to its window visible, beyond a direct start", (xWindow - xReport) - (b - bReport),
              added);
}

// The yardstick a user would compare Quillet with: the peer makes the same
// token and runs the same check, and does nothing else.
void PrintAgainstPeer(Series& series, const std::string& prefix, const char* title)
{
    double b = Median(series["b"]), peer = Median(series["peer"]);
    std::printf("\n%s against the bare restricted launcher, every start until the browser's window is "
                "visible, \"Log\" 0:\n", title);
    std::printf("(b) direct browser start     %7.1f ms\n", b);
    std::printf("(p) bare restricted launcher %7.1f ms\n", peer);
    std::printf("(c) start through Quillet    %7.1f ms\n", Median(series[prefix + "visible c"]));
    std::printf("(d) hand-off start           %7.1f ms\n", Median(series[prefix + "visible d"]));
    std::printf("  the peer until the browser runs, less the restricted start from a running process\n"
                "  (the peer's own process start and imports)                %7.1f\n",
                Median(series["peer report"]) - Median(series["restricted report"]));
    PrintStepsAgainstPeer(series, prefix, "(c)", "c");
    // The step no order within the start-up removes: the main window comes
    // before the launch, and a process's first window sets up the display.
    PrintStep("  of which a process's first window, measured alone", Median(series["window"]),
              Median(series[prefix + "visible c"]) - b);
    PrintStepsAgainstPeer(series, prefix, "(d)", "d");
    std::printf("(c - b) / (p - b) = %.2f   (median of the rounds' own ratios; goal: at most %.1f)\n",
                Median(series[prefix + "c/peer"]), kPeerGoal);
    std::printf("(d - b) / (p - b) = %.2f   (median of the rounds' own ratios; goal: at most %.1f)\n",
                Median(series[prefix + "d/peer"]), kPeerGoal);
    std::printf("(d - b) / (p' - b) = %.2f  (p' %.1f ms: the peer started as (d) is, the moment another\n"
                "                            peer's browser window is visible; the same median)\n",
                Median(series[prefix + "d/peer d"]), Median(series["peer d"]));
    if (prefix.empty())
        std::printf("(d' - b) / (p - b) = %.2f  (d' %.1f ms: the hand-off %lu ms after the first browser's "
                    "window; the same median)\n",
                    Median(series["settled d/peer"]), Median(series["settled visible d"]),
                    static_cast<unsigned long>(kSettleMs));
}

} // namespace

// With --baseline=PATH, another Quillet.exe (an older build) is timed in the
// same rounds, (c) and (d) beside this build's, for a comparison that the
// machine's load cannot tilt.
int main(int argc, char** argv)
{
    const std::string option = "--baseline=";
    std::string baselineProgram;
    if (argc > 1 && std::string(argv[1]).compare(0, option.size(), option) == 0)
        baselineProgram = argv[1] + option.size();
    ProductSettings settings;
    settings.Set("RunShow", 0);
    settings.Set("Log", 1);
    settings.Set("Key", 0);
    QuilletCopy quillet, baseline;
    if (!baselineProgram.empty() && !CopyFileA(baselineProgram.c_str(), baseline.Program().c_str(), FALSE)) {
        std::printf("cannot copy the baseline %s\n", baselineProgram.c_str());
        return 1;
    }
    TestFile report = TestFile::InTemp("bench-report");

    Series series;
    std::printf("round       a  b: run  window  c: run tracked  d: run tracked  c: shown  d: shown  peer  peer'   (ms)\n");
    for (int round = 0; round < kRounds; ++round)
        RunRound(quillet, baselineProgram.empty() ? nullptr : &baseline, settings, report.path(), series);
    if (Median(series["b"]) < 0 || Median(series["c"]) < 0 || Median(series["d"]) < 0) {
        std::printf("a start did not complete in any round\n");
        return 1;
    }
    PrintBreakdown(series);
    if (!baselineProgram.empty())
        PrintResult(series, "baseline ", ("baseline " + baselineProgram + ", same rounds:").c_str());
    PrintResult(series, "", "this build:");
    if (!baselineProgram.empty())
        PrintAgainstPeer(series, "baseline ", ("baseline " + baselineProgram + ",").c_str());
    PrintAgainstPeer(series, "", "this build,");
    return 0;
}
