#include "tests/setuphelper/HelperProcesses.h"

#include "tests/support/TestPaths.h"

namespace {

// Names of this test program's own, so that runs side by side never meet.
std::string UniqueName(const char* stem)
{
    static int serial = 0;
    return std::string(stem) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++serial);
}

}  // namespace

std::string HelperProgramPath()
{
    return TestModuleDirectory() + HelperProgramFileName();
}

const char* HelperProgramFileName()
{
    return "pellow_test_process.exe";
}

bool StartIdleHelper(TestProcess& process)
{
    const std::string readyName = UniqueName("PellowIdleReady");
    unique_handle ready(CreateEventA(nullptr, TRUE, FALSE, readyName.c_str()));
    return ready &&
           process.Start(Quoted(HelperProgramPath()) + " child none " +
                         std::to_string(GetCurrentProcessId()) + " " + readyName) &&
           WaitForSingleObject(ready.get(), 10000) == WAIT_OBJECT_0;
}

AnchorProcess::AnchorProcess(const std::vector<std::string>& children)
    : className_(UniqueName("PellowAnchor"))
{
    const std::string readyName = className_ + "-ready";
    ready_.reset(CreateEventA(nullptr, TRUE, FALSE, readyName.c_str()));
    std::string commandLine = Quoted(HelperProgramPath()) + " anchor " + className_ + " " + readyName;
    for (const std::string& child : children)
        commandLine += " " + Quoted(child);
    started_ = ready_ && process_.Start(commandLine);
}

bool AnchorProcess::WaitUntilReady()
{
    return started_ && WaitForSingleObject(ready_.get(), 20000) == WAIT_OBJECT_0;
}

bool AnchorProcess::Close()
{
    HWND window = FindWindowA(className_.c_str(), nullptr);
    return window && PostMessageA(window, WM_CLOSE, 0, 0) && process_.Wait(10000);
}
