// Quillet.exe as the user meets it: a first start launches the stand-in
// browser protected and stays, a second start hands its link over and ends,
// the first instance tracks both browsers' windows and ends by itself once
// they are closed. What it did is read back from its hook log.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "common/HookProtocol.h"
#include "common/SharedBlockView.h"
#include "common/UniqueHandle.h"
#include "tests/launcher/QuilletCopy.h"
#include "tests/support/TestPaths.h"
#include "tests/windowhooks/HookTestSupport.h"

namespace {

HANDLE Start(const std::string& program, const std::string& arguments)
{
    return StartProgram("\"" + program + "\" " + arguments);
}

size_t Occurrences(const std::string& text, const std::string& word)
{
    size_t count = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++count;
    return count;
}

// Waits up to TIMEOUT ms for WORD to occur COUNT times in the log.
bool WaitForLog(const std::string& path, const std::string& word, size_t count, DWORD timeout)
{
    DWORD start = GetTickCount();
    while (Occurrences(ReadWholeFile(path), word) < count) {
        if (GetTickCount() - start > timeout)
            return false;
        Sleep(50);
    }
    return true;
}

DWORD ExitCodeAfter(HANDLE process, DWORD timeout)
{
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process, timeout) == WAIT_OBJECT_0)
        GetExitCodeProcess(process, &code);
    else
        TerminateProcess(process, 0xDEAD);
    return code;
}

TEST(SingleInstanceBrowser, SecondStartHandsOverAndTheFirstEndsAfterTheBrowsersClose)
{
    ProductSettings settings;
    settings.Set("Log", 1);
    QuilletCopy copy;
    std::string log = copy.Folder() + "HookWnd.log";
    std::string browser = "\"" + StandinBrowserPath() + "\"";

    unique_handle first(Start(copy.Program(), "-NOSPLASH " + browser + " --stay=6000 http://example.invalid/one"));
    ASSERT_TRUE(first);
    ASSERT_TRUE(WaitForLog(log, "HOOK NEW ", 1, 20000)) << ReadWholeFile(log);

    unique_handle second(Start(copy.Program(), "-NOSPLASH " + browser + " --stay=3000 http://example.invalid/two"));
    ASSERT_TRUE(second);
    EXPECT_EQ(0u, ExitCodeAfter(second.get(), 20000));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(first.get(), 0)) << "the first instance ended with the hand-off";

    EXPECT_EQ(0u, ExitCodeAfter(first.get(), 30000));
    std::string text = ReadWholeFile(log);
    SCOPED_TRACE(text);
    EXPECT_EQ(1u, Occurrences(text, ":__NEW SESSION________________>"));
    // Each browser's window comes from its launch; the CBT hook that the first
    // launch installed reported the second browser's window as it was made
    // (not added: no window of that process was tracked yet).
    EXPECT_EQ(2u, Occurrences(text, "HOOK NEW "));
    EXPECT_LE(1u, Occurrences(text, "__ NEW WND __"));
    EXPECT_EQ(0u, Occurrences(text, "ADD HOOK "));
    EXPECT_EQ(2u, Occurrences(text, "REMOVE END PROGRAMM ") + Occurrences(text, "REMOVE KILLED"));
    EXPECT_EQ(1u, Occurrences(text, "UnHookWnd(NULL, gHookCBT) -> BOOL rez = 1; ERROR rez = 0"));
    EXPECT_EQ(0u, Occurrences(text, "gHookCBT NULL"));

    SharedBlockView block;
    EXPECT_FALSE(block.OpenReadOnly(sizeof(HookSharedBlock), HOOK_SHARED_BLOCK_NAME));
}

}  // namespace
