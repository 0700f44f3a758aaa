#include "tests/setuphelper/PellowLibrary.h"
#include "tests/setuphelper/HelperProcesses.h"
#include "tests/support/MessageCounter.h"

#include <gtest/gtest.h>

namespace {

struct ModuleCase {
    std::string name;
    DWORD timeLimit;
    BOOL result;
};

// Runs each case and checks the result, whether the wait ran out its
// limit, and whether windows were nudged meanwhile.
void RunCases(const std::vector<ModuleCase>& cases, bool expectBroadcasts)
{
    for (const ModuleCase& item : cases) {
        SCOPED_TRACE(item.name + ", limit " + std::to_string(item.timeLimit));
        // Counts the WM_QUEUESYNC notifications broadcast while "IsCloseModule" waits.
        MessageCounter counter(WM_QUEUESYNC);
        ASSERT_TRUE(counter.Window());
        DWORD start = GetTickCount();
        BOOL result = Pellow().isCloseModule(item.name.c_str(), item.timeLimit);
        DWORD elapsed = GetTickCount() - start;
        EXPECT_EQ(item.result, result);
        if (item.result) {
            EXPECT_LT(elapsed, item.timeLimit) << "returned TRUE only after the limit";
        } else {
            EXPECT_GE(elapsed, item.timeLimit) << "gave up before the limit";
        }
        if (expectBroadcasts && !item.result) {
            EXPECT_GT(counter.Received(), 0);
        } else {
            EXPECT_EQ(0, counter.Received());
        }
    }
}

class ModuleWait : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Pellow().isCloseModule); }
};

TEST_F(ModuleWait, ModuleNoProcessHasLoadedIsReportedAtOnce)
{
    RunCases({
        {"PellowNoSuchModule.dll", 30000, TRUE},
        {"C:\\Program Files\\Nowhere\\PellowNoSuchModule.dll", 30000, TRUE},
        // A time limit of 0 has run out before the first look.
        {"PellowNoSuchModule.dll", 0, FALSE},
    }, false);
}

TEST_F(ModuleWait, ModuleOfALiveProcessIsWaitedForUntilTheLimit)
{
    TestProcess holder;
    ASSERT_TRUE(StartIdleHelper(holder));
    const std::string name = HelperProgramFileName();
    std::string upper = name;
    CharUpperA(&upper[0]);
    RunCases({
        {name, 300, FALSE},
        {upper, 300, FALSE},
        {HelperProgramPath(), 300, FALSE},
        // The loaded module's name must occur in the name asked for, not
        // the other way round.
        {name.substr(7), 30000, TRUE},
    }, true);

    holder.Kill();
    ASSERT_FALSE(holder.Running());
    // Helpers of earlier tests may still be on their way out: the wait
    // covers them.
    EXPECT_TRUE(Pellow().isCloseModule(HelperProgramPath().c_str(), 30000));
}

TEST_F(ModuleWait, ModulesOfTheCallingProcessCount)
{
    char path[MAX_PATH] = {};
    ASSERT_TRUE(GetModuleFileNameA(nullptr, path, MAX_PATH));
    RunCases({{path, 200, FALSE}, {"KERNEL32.DLL", 200, FALSE}}, true);
}

}  // namespace
