// A takeover from a folder with blanks: the wrapped command, started as the
// shell starts it, runs the program in that folder and not a C:\Program.exe
// planted in front of the blank.
#include "associations/AssociationManager.h"
#include "tests/support/StandinReport.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestProcess.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Copies of the stand-in browser at two places, removed again at the end.
class PlantedPrograms {
public:
    PlantedPrograms()
        : folder_("C:\\Program Files\\Quillet Quoted " + std::to_string(GetCurrentProcessId())),
          program_(folder_ + "\\Quillet.exe")
    {
        CreateDirectoryA(folder_.c_str(), nullptr);
        ok_ = CopyFileA(StandinBrowserPath().c_str(), program_.c_str(), TRUE) &&
              CopyFileA(StandinBrowserPath().c_str(), kPlanted, TRUE);
    }
    ~PlantedPrograms()
    {
        DeleteFileA(kPlanted);
        DeleteFileA(program_.c_str());
        RemoveDirectoryA(folder_.c_str());
    }
    bool ok() const { return ok_; }
    const std::string& program() const { return program_; }

    static constexpr const char* kPlanted = "C:\\Program.exe";

private:
    std::string folder_;
    std::string program_;
    bool ok_ = false;
};

TEST(QuotedProgram, WrappedCommandStartsTheProgramNotOnePlantedBeforeTheBlank)
{
    if (GetFileAttributesA(PlantedPrograms::kPlanted) != INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << PlantedPrograms::kPlanted << " exists already; it is not this test's to replace";
    PlantedPrograms programs;
    ASSERT_TRUE(programs.ok()) << GetLastError();

    const std::string browser = StandinBrowserPath();
    std::string wrapped;
    ASSERT_TRUE(WrappedCommand(programs.program().c_str(), "\"" + browser + "\" -nohome %1", wrapped));
    TestFile report = TestFile::InTemp("assoc-quoted");
    wrapped.replace(wrapped.find("%1"), 2, "--report=" + report.path() + " --exit");

    TestProcess started;
    ASSERT_TRUE(started.Start(wrapped)) << GetLastError();
    EXPECT_EQ(0u, started.WaitOrKill(20000));
    StandinReport facts;
    ASSERT_TRUE(ReadStandinReport(report.path(), facts));
    ASSERT_FALSE(facts.arguments.empty());
    // C:\Program.exe would see "Files\Quillet" as its first argument.
    EXPECT_EQ(browser, facts.arguments[0]) << facts.commandLine;
    EXPECT_EQ("-nohome", facts.arguments.size() > 1 ? facts.arguments[1] : "");
}

} // namespace
