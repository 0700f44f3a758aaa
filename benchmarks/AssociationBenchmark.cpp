// What "-INSTALL" and "-UNINSTALL" cost, and how much of it is the flushes
// that keep the save area's records on disk before the changes they undo
// (and the given-back classes on disk before their records go). Each round
// runs Quillet's own two actions in this process on a private registry (the
// test bench's sandbox, with Internet Explorer's classes as Windows XP
// installs them), and reads the time spent in the flushes from the
// association code. Figures are medians over the rounds. Run inside
// tools/wine-session. Under Wine both hives are one file (user.reg) and a
// flush costs little; on Windows each flush writes a hive file.

#include "associations/RegistryChangeCount.h"
#include "launcher/InstallActions.h"
#include "programwide/LauncherState.h"
#include "tests/associations/RegistrySandbox.h"
#include "tests/support/TestPaths.h"

#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const int kRounds = 25;

double Milliseconds(LONGLONG ticks)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

struct Timing {
    std::vector<double> total;
    std::vector<double> flushes;
};

// One action: its whole time and the part of it spent flushing.
bool Time(int (*action)(), int want, Timing& timing)
{
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    LONGLONG flushed = RegistryFlushTicks();
    QueryPerformanceCounter(&start);
    int result = action();
    QueryPerformanceCounter(&end);
    timing.total.push_back(Milliseconds(end.QuadPart - start.QuadPart));
    timing.flushes.push_back(Milliseconds(RegistryFlushTicks() - flushed));
    return result == want;
}

void Print(const char* name, const Timing& timing)
{
    double total = Median(timing.total);
    double flushes = Median(timing.flushes);
    std::printf("%-12s %9.2f ms %9.2f ms %9.2f ms %7.1f %%\n", name, total, total - flushes, flushes,
                total > 0 ? 100.0 * flushes / total : 0.0);
}

} // namespace

int main()
{
    RegistrySandbox sandbox;
    if (!sandbox.ok()) {
        std::fprintf(stderr, "association benchmark: the private registry could not be made\n");
        return 1;
    }
    WriteBrowserClasses(HKEY_LOCAL_MACHINE);
    std::string folder = TempFilePath("assoc-bench");
    CreateDirectoryA(folder.c_str(), nullptr);
    std::snprintf(g_launcher.modulePath, sizeof g_launcher.modulePath, "%s\\Quillet.exe", folder.c_str());
    std::snprintf(g_launcher.productCaption, sizeof g_launcher.productCaption, "AssociationBenchmark");

    Timing install;
    Timing uninstall;
    bool ok = true;
    for (int round = 0; round < kRounds && ok; ++round)
        ok = Time(InstallAction, kInstallDone, install) &&
             Time([] { return UninstallAction(); }, kUninstallRestored, uninstall);
    DeleteFileA((folder + "\\ErrorBrowser.log").c_str());
    RemoveDirectoryA(folder.c_str());
    if (!ok) {
        std::fprintf(stderr, "association benchmark: an action failed\n");
        return 1;
    }
    std::printf("association actions, median of %d rounds\n", kRounds);
    std::printf("%-12s %12s %12s %12s %9s\n", "action", "total", "no flushes", "flushes", "share");
    Print("-INSTALL", install);
    Print("-UNINSTALL", uninstall);
    return 0;
}
