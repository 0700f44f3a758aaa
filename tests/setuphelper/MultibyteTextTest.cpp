#include "setuphelper/MultibyteText.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

struct TextCase {
    const char* text;
    const char* upper;
    const char* needle;    // searched in UPPER
    bool found;
};

// 0x83 0x41 and 0x83 0x61 are single characters of code page 932 whose
// trail bytes look like 'A' and 'a'; in code page 1252 0x83 is a character
// of its own and 0xE9 is a lower-case letter with an upper-case partner.
const TextCase japanese[] = {
    {"\x83\x61x.dll", "\x83\x61X.DLL", "X.DLL", true},
    {"\x83\x41.dll", "\x83\x41.DLL", "A.DLL", false},  // only at a trail byte
    {"c:\\\x83\x41\\lib.dll", "C:\\\x83\x41\\LIB.DLL", "LIB.DLL", true},
    {"a\x83\x41.dll", "A\x83\x41.DLL", "\x83\x41.DLL", true},
};
const TextCase western[] = {
    {"\x83\x61x.dll", "\x83\x41X.DLL", "AX.DLL", true},
    {"\x83\x41.dll", "\x83\x41.DLL", "A.DLL", true},
    {"caf\xe9.dll", "CAF\xc9.DLL", "\xc9.DLL", true},
    {"lib.dll", "LIB.DLL", "MYLIB.DLL", false},
};

// Runs in the ANSI code page of the test program's locale: 1252 normally,
// 932 in the run with a Japanese locale (see CMakeLists.txt).
TEST(MultibyteText, UpperCaseAndSearchFollowTheCodePagesCharacters)
{
    const UINT codePage = GetACP();
    if (codePage != 932 && codePage != 1252)
        GTEST_SKIP() << "no cases for code page " << codePage;
    const auto& cases = codePage == 932 ? japanese : western;
    for (const TextCase& item : cases) {
        SCOPED_TRACE(item.upper);
        std::string upper = UpperCaseAnsi(item.text);
        EXPECT_EQ(item.upper, upper);
        EXPECT_EQ(item.found, ContainsAnsi(upper.c_str(), item.needle));
    }
}

}  // namespace
