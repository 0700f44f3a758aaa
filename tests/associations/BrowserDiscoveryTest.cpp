#include "associations/BrowserDiscovery.h"
#include "associations/EnvironmentReferences.h"
#include "tests/associations/RegistrySandbox.h"

#include <gtest/gtest.h>

namespace {

const char kSetupKey[] = "SOFTWARE\\Microsoft\\IE Setup\\Setup";

// Variables of the test's own, removed again at the end.
class TestVariables {
public:
    TestVariables()
    {
        SetEnvironmentVariableA("QTEST_FOLDER", "C:\\Program Files");
        SetEnvironmentVariableA("QTEST_SUB", "Internet Explorer");
        SetEnvironmentVariableA("QTEST_LONG", std::string(3000, 'L').c_str());
        SetEnvironmentVariableA("QTEST_UNSET", nullptr);
    }
    ~TestVariables()
    {
        for (const char* name : {"QTEST_FOLDER", "QTEST_SUB", "QTEST_LONG"})
            SetEnvironmentVariableA(name, nullptr);
    }
};

class BrowserDiscovery : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sandbox.ok()); }
    RegistrySandbox sandbox;
    TestVariables variables;
};

TEST_F(BrowserDiscovery, SetupPathIsExpandedFromLeftToRight)
{
    struct { const char* stored; DWORD type; std::string path; } cases[] = {
        {"%QTEST_FOLDER%\\Internet Explorer", REG_EXPAND_SZ, "C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE"},
        {"D:\\Browsers\\IE", REG_SZ, "D:\\Browsers\\IE\\IEXPLORE.EXE"},
        {"D:\\Browsers\\IE\\", REG_SZ, "D:\\Browsers\\IE\\\\IEXPLORE.EXE"},
        {"[%QTEST_FOLDER%]\\%QTEST_SUB%.x", REG_SZ, "[C:\\Program Files]\\Internet Explorer.x\\IEXPLORE.EXE"},
        {"D:\\100%\\IE", REG_SZ, "D:\\100\\IE\\IEXPLORE.EXE"},
        {"%", REG_SZ, "\\IEXPLORE.EXE"},
        {"%QTEST_UNSET%\\IE", REG_SZ, "%QTEST_UNSET%\\IE\\IEXPLORE.EXE"},
        {"%%\\IE", REG_SZ, "%%\\IE\\IEXPLORE.EXE"},
        {"X:\\%QTEST_LONG%", REG_SZ, "X:\\" + std::string(3000, 'L') + "\\IEXPLORE.EXE"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        PutValue(HKEY_LOCAL_MACHINE, kSetupKey, "Path", c.stored, c.type);
        std::string path = "sentinel";
        EXPECT_TRUE(LocateBrowserFromSetup(path));
        EXPECT_EQ(c.path, path);
    }
}

TEST_F(BrowserDiscovery, SetupWithoutPathLeavesTheOutputAlone)
{
    std::string path = "sentinel";
    EXPECT_FALSE(LocateBrowserFromSetup(path));
    PutValue(HKEY_LOCAL_MACHINE, kSetupKey, "Other", "x");
    EXPECT_FALSE(LocateBrowserFromSetup(path));
    EXPECT_EQ("sentinel", path);
}

TEST_F(BrowserDiscovery, ExpansionOfAValueLongerThanAnyFixedBuffer)
{
    const std::string huge(20000, 'h');
    ASSERT_TRUE(SetEnvironmentVariableA("QTEST_HUGE", huge.c_str()));
    std::string value;
    EXPECT_TRUE(ReadEnvironmentVariable("QTEST_HUGE", value));
    EXPECT_EQ(huge, value);
    EXPECT_EQ("<" + huge + ">", ExpandEnvironmentReferences("<%QTEST_HUGE%>"));
    SetEnvironmentVariableA("QTEST_HUGE", nullptr);
    value = "sentinel";
    EXPECT_FALSE(ReadEnvironmentVariable("QTEST_HUGE", value));
    EXPECT_EQ("sentinel", value);
}

TEST_F(BrowserDiscovery, SavedBrowserCommandPrefersThePerUserSaveKey)
{
    const char kSave[] = "SOFTWARE\\Orvane\\DiscoveryTest\\Save";
    std::string command = "sentinel";
    EXPECT_FALSE(ReadSavedBrowserCommand("DiscoveryTest", command));
    EXPECT_EQ("", command);

    PutValue(HKEY_LOCAL_MACHINE, kSave, nullptr, "machine.exe");
    command = "sentinel";
    EXPECT_TRUE(ReadSavedBrowserCommand("DiscoveryTest", command));
    EXPECT_EQ("machine.exe", command);

    // A per-user key without a command, or with an empty one, has none to give.
    PutValue(HKEY_CURRENT_USER, kSave, "Check_Associations", "yes");
    command = "sentinel";
    EXPECT_TRUE(ReadSavedBrowserCommand("DiscoveryTest", command));
    EXPECT_EQ("machine.exe", command);
    PutValue(HKEY_LOCAL_MACHINE, kSave, nullptr, "");
    command = "sentinel";
    EXPECT_FALSE(ReadSavedBrowserCommand("DiscoveryTest", command)) << "an empty command is none";
    EXPECT_EQ("", command);

    PutValue(HKEY_CURRENT_USER, kSave, nullptr, kBrowserServer);
    EXPECT_TRUE(ReadSavedBrowserCommand("DiscoveryTest", command));
    EXPECT_EQ(kBrowserServer, command);
    EXPECT_FALSE(ReadSavedBrowserCommand("OtherProduct", command));
    EXPECT_EQ("", command);
}

} // namespace
