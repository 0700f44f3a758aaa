#include "common/UniqueHandle.h"
#include "launcher/ProductCaption.h"
#include "tests/support/TestPaths.h"

#include <windows.h>
#include <gtest/gtest.h>
#include <cstring>
#include <string>

TEST(ProductCaption, ComesFromTheStringTable)
{
    char caption[100];
    std::memset(caption, 'x', sizeof caption);
    LoadProductCaption(GetModuleHandleA(nullptr), "C:\\any\\Other.exe", caption, sizeof caption);
    EXPECT_STREQ("Quillet", caption);
}

TEST(ProductCaption, FallsBackToTheFileNameUpToItsFirstDot)
{
    // A module whose resources have no string 134.
    unique_hmodule noStrings(LoadLibraryExA(BuiltBinary("Spirel.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(noStrings);
    char probe[8] = {};
    ASSERT_EQ(0, LoadStringA(noStrings.get(), 134, probe, sizeof probe));

    const std::string longName(150, 'n');
    const struct { std::string path; std::string expected; } cases[] = {
        {"C:\\Program Files\\Quillet\\Quillet.exe", "Quillet"},
        {"C:\\Tools.v2\\My.Tool.exe", "My"},
        {"C:\\Tools\\NoDot", "NoDot"},
        {"Bare.exe", "Bare"},
        {"C:\\Tools\\.hidden", ""},
        {"C:\\Tools\\" + longName + ".exe", std::string(99, 'n')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        struct {
            char caption[100];
            char after[8];
        } guarded;
        std::memset(&guarded, 0x5A, sizeof guarded);
        LoadProductCaption(noStrings.get(), c.path.c_str(), guarded.caption, sizeof guarded.caption);
        EXPECT_EQ(c.expected, guarded.caption);
        for (char byte : guarded.after)
            EXPECT_EQ(0x5A, byte);
    }
}
