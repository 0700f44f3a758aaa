#include "tests/setuphelper/PellowLibrary.h"
#include "tests/setuphelper/HelperProcesses.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestPaths.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

const char canary = '\x5a';

class FileDescription : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Pellow().getFileDescription); }

    // Calls the export with *size = SIZE on a canary-filled buffer.
    int Call(const std::string& file, LONG& size)
    {
        memset(buffer, canary, sizeof(buffer));
        SetLastError(0xdeadbeef);
        return Pellow().getFileDescription(file.c_str(), buffer, &size);
    }

    bool UntouchedFrom(size_t first) const
    {
        for (size_t i = first; i < sizeof(buffer); ++i) {
            if (buffer[i] != canary)
                return false;
        }
        return true;
    }

    char buffer[128];
};

TEST_F(FileDescription, SizeThenTextOfTheProjectsBinaries)
{
    struct {
        const char* binary;
        const char* description;
    } cases[] = {
        {"Pellow.dll", "Pellow - setup helper of Quillet"},
        {"Spirel.dll", "Spirel - window hooks of Quillet"},
        {"Quillet.exe", "Quillet - opens Internet links in a protected browser"},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.binary);
        const std::string file = BuiltBinary(item.binary);
        const LONG length = (LONG)strlen(item.description);

        LONG size = 0;
        EXPECT_EQ(1, Call(file, size));
        EXPECT_EQ(length, size);
        EXPECT_TRUE(UntouchedFrom(0));

        // The documented second call: *size as reported, one byte more room.
        EXPECT_EQ(1, Call(file, size));
        EXPECT_EQ(length, size);
        EXPECT_STREQ(item.description, buffer);
        EXPECT_TRUE(UntouchedFrom(length + 1));
    }
}

TEST_F(FileDescription, ShortBufferGetsTheTextCutNeverMore)
{
    const std::string file = BuiltBinary("Pellow.dll");
    for (LONG room : {1, 6, 31}) {
        SCOPED_TRACE(room);
        LONG size = room;
        EXPECT_EQ(1, Call(file, size));
        EXPECT_EQ(room, size);
        EXPECT_EQ(0, strncmp(buffer, "Pellow - setup helper of Quillet", room));
        EXPECT_EQ('\0', buffer[room]);
        EXPECT_TRUE(UntouchedFrom(room + 1)) << "wrote past the caller's buffer";
    }
}

TEST_F(FileDescription, FilesWithoutADescriptionLeaveEverythingAlone)
{
    TestFile textFile = TestFile::InTemp("pellow-no-version");
    ASSERT_TRUE(WriteFileText(textFile.path(), "no version here"));

    const std::string cases[] = {
        HelperProgramPath(),  // version information without a FileDescription
        textFile.path(),    // no version resource at all
        TestModuleDirectory() + "PellowNoSuchFile.dll",
    };
    for (const std::string& file : cases) {
        SCOPED_TRACE(file);
        for (LONG room : {0, 40}) {
            LONG size = room;
            EXPECT_EQ(0, Call(file, size));
            EXPECT_EQ(room, size);
            EXPECT_TRUE(UntouchedFrom(0));
        }
    }
}

TEST_F(FileDescription, NegativeSizeIsRefused)
{
    LONG size = -1;
    EXPECT_EQ(0, Call(BuiltBinary("Pellow.dll"), size));
    EXPECT_EQ((DWORD)ERROR_INVALID_PARAMETER, GetLastError());
    EXPECT_EQ(-1, size);
    EXPECT_TRUE(UntouchedFrom(0));
}

}  // namespace
