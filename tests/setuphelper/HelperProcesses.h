// Processes of pellow_test_process.exe for the tests: an idle one that lives
// until its owner goes, and an anchor whose window's process has started
// children of the kinds asked for. The owners end what they started.
#pragma once

#include "common/UniqueHandle.h"
#include "tests/support/TestProcess.h"

#include <string>
#include <vector>

// Path and file name of the helper program next to the test program.
std::string HelperProgramPath();
const char* HelperProgramFileName();

// "child none": a process without windows; false if it did not get ready.
bool StartIdleHelper(TestProcess& process);

// An anchor window of a class of its own; CHILDREN are "window:CAPTION",
// "owned" or "none" (see the helper program). The children end with it.
class AnchorProcess {
public:
    explicit AnchorProcess(const std::vector<std::string>& children);

    // Waits until the anchor's window and all its children are in place.
    bool WaitUntilReady();
    // Closes the anchor window and waits for its process to end.
    bool Close();

    const std::string& className() const { return className_; }

private:
    std::string className_;
    unique_handle ready_;
    TestProcess process_;
    bool started_ = false;
};
