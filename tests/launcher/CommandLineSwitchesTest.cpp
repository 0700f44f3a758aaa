#include "launcher/CommandLineSwitches.h"

#include <gtest/gtest.h>
#include <string>

namespace {

struct SwitchCase {
    const char* commandLine;
    bool install, uninstall, embedding, noSplash, noCaption;
    const char* remaining;
    bool userOnly = false;
};

const SwitchCase kCases[] = {
    {"-INSTALL", true, false, false, false, false, "-INSTALL"},
    {"-install", true, false, false, false, false, "-install"},
    {"x -InStAlL y", true, false, false, false, false, "x -InStAlL y"},
    {"-INSTALLED", false, false, false, false, false, "-INSTALLED"},
    {"-INSTALL\t", false, false, false, false, false, "-INSTALL\t"},   // only a blank ends a switch
    {"-UNINSTALL", false, true, false, false, false, "-UNINSTALL"},
    {"-uninstall -install", true, true, false, false, false, "-uninstall -install"},
    {"-UNINSTALL -UserOnly", false, true, false, false, false, "-UNINSTALL -UserOnly", true},
    {"-UNINSTALL -USERONLYX", false, true, false, false, false, "-UNINSTALL -USERONLYX", false},
    {"\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" -Embedding", false, false, true, false, false,
     "\"C:\\Program Files\\Internet Explorer\\iexplore.exe\" -Embedding"},
    {"-nosplash http://a.example/", false, false, false, true, false, "http://a.example/"},
    {"http://a.example/ -NoSplash", false, false, false, true, false, "http://a.example/ "},
    {"\"a b\" -NOSPLASH \"c d\"", false, false, false, true, false, "\"a b\" \"c d\""},
    {"-NOSPLASHES x", false, false, false, false, false, "-NOSPLASHES x"},
    {"-NOSPLASH -NOSPLASH x", false, false, false, true, false, "-NOSPLASH x"},
    {"-NOCAPTION -NOSPLASH x", false, false, false, true, true, "x"},
    {"a-nocaption b", false, false, false, false, true, "ab"},
    {"x -NOCAPTION", false, false, false, false, true, "x "},
    {"", false, false, false, false, false, ""},
    {"     ", false, false, false, false, false, "     "},
    {"\"unbalanced -NOSPLASH quote", false, false, false, true, false, "\"unbalanced quote"},
};

} // namespace

TEST(CommandLineSwitches, MatchedWithoutCaseAndCutAtTheirPositions)
{
    for (const SwitchCase& c : kCases) {
        SCOPED_TRACE(c.commandLine);
        std::string commandLine = c.commandLine;
        CommandLineSwitches switches = TakeSwitches(commandLine);
        EXPECT_EQ(c.install, switches.install);
        EXPECT_EQ(c.uninstall, switches.uninstall);
        EXPECT_EQ(c.embedding, switches.embedding);
        EXPECT_EQ(c.noSplash, switches.noSplash);
        EXPECT_EQ(c.noCaption, switches.noCaption);
        EXPECT_EQ(c.userOnly, switches.userOnly);
        EXPECT_EQ(c.remaining, commandLine);
    }
}

TEST(CommandLineSwitches, LongestCommandLineIsHandledWhole)
{
    // 32,767 characters, the most a Windows command line holds, with the
    // switch at the very end where only the appended blank completes it.
    std::string commandLine(32767 - 10, 'a');
    commandLine += " -NOSPLASH";
    ASSERT_EQ(32767u, commandLine.size());
    CommandLineSwitches switches = TakeSwitches(commandLine);
    EXPECT_TRUE(switches.noSplash);
    EXPECT_EQ(std::string(32767 - 10, 'a') + " ", commandLine);

    std::string quotes(32767, '"');
    switches = TakeSwitches(quotes);
    EXPECT_FALSE(switches.noSplash || switches.install || switches.embedding);
    EXPECT_EQ(std::string(32767, '"'), quotes);
}
