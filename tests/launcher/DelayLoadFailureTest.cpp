#include "launcher/DelayLoadFailure.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestPaths.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

// DLL and function names of the delay-import libraries the build made for
// Quillet.exe (BUILD\delayed\NAME.def, decorations removed on x86_64).
std::vector<std::pair<std::string, std::string>> DelayedFunctions()
{
    std::vector<std::pair<std::string, std::string>> functions;
    const std::string folder = TestModuleDirectory() + "..\\delayed\\";
    WIN32_FIND_DATAA found = {};
    HANDLE search = FindFirstFileA((folder + "*.def").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return functions;
    do {
        std::string text, word, dll;
        ReadFileText(folder + found.cFileName, text);
        std::istringstream words(text);
        bool exports = false;
        while (words >> word) {
            if (word == "LIBRARY" && words >> dll)
                continue;
            if (word == "EXPORTS")
                exports = true;
            else if (exports)
                functions.emplace_back(dll, word.substr(0, word.find('@')));
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return functions;
}

template <typename F>
F StubAs(FARPROC stub)
{
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(stub));
}

// What the delay-load helper does for a DLL that LoadLibrary did not find.
DelayLoadInfo MissingLibrary(const char* dll, const char* function)
{
    DelayLoadInfo info = {};
    info.cb = sizeof info;
    info.szDll = dll;
    info.dlp.fImportByName = TRUE;
    info.dlp.szProcName = function;
    info.dwLastError = ERROR_MOD_NOT_FOUND;
    info.hmodCur = reinterpret_cast<HMODULE>(OnDelayLoadFailure(dliFailLoadLib, &info));
    return info;
}

} // namespace

TEST(DelayLoadFailure, EveryDelayedFunctionHasAStub)
{
    auto functions = DelayedFunctions();
    // Five libraries, more than twenty functions: an empty list proves nothing.
    ASSERT_GT(functions.size(), 20u);
    for (const auto& function : functions) {
        SCOPED_TRACE(function.first + "!" + function.second);
        EXPECT_NE(nullptr, FindDelayedImportStub(function.first.c_str(), function.second.c_str()));
    }
    EXPECT_EQ(nullptr, FindDelayedImportStub("comctl32.dll", "ImageList_Copy"));
    EXPECT_EQ(nullptr, FindDelayedImportStub("kernel32.dll", "ImageList_Create"));
}

TEST(DelayLoadFailure, AMissingLibraryMakesEachCallFail)
{
    DelayLoadInfo info = MissingLibrary("COMCTL32.dll", "ImageList_Create");
    // The helper keeps the program's own module, which exports nothing.
    ASSERT_EQ(GetModuleHandleA(nullptr), info.hmodCur);
    EXPECT_EQ(nullptr, GetProcAddress(info.hmodCur, "ImageList_Create"));
    info.dwLastError = GetLastError();

    auto create = StubAs<decltype(&ImageList_Create)>(OnDelayLoadFailure(dliFailGetProc, &info));
    ASSERT_NE(nullptr, create);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, create(16, 16, ILC_COLOR, 1, 1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());

    info = MissingLibrary("shell32.dll", "ShellExecuteA");
    auto execute = StubAs<decltype(&ShellExecuteA)>(OnDelayLoadFailure(dliFailGetProc, &info));
    ASSERT_NE(nullptr, execute);
    EXPECT_LE(reinterpret_cast<INT_PTR>(execute(nullptr, "open", "http://x.example/", nullptr, nullptr, 1)), 32);

    info = MissingLibrary("shlwapi.dll", "SHCopyKeyA");
    auto copyKey = StubAs<decltype(&SHCopyKeyA)>(OnDelayLoadFailure(dliFailGetProc, &info));
    ASSERT_NE(nullptr, copyKey);
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), copyKey(HKEY_CURRENT_USER, "Software", HKEY_CURRENT_USER, 0));
}

TEST(DelayLoadFailure, AMissingFunctionOfAPresentLibraryReportsItself)
{
    DelayLoadInfo info = {};
    info.cb = sizeof info;
    info.szDll = "comctl32.dll";
    info.hmodCur = GetModuleHandleA("kernel32.dll");
    info.dlp.fImportByName = TRUE;
    info.dlp.szProcName = "ImageList_Destroy";
    info.dwLastError = ERROR_PROC_NOT_FOUND;
    auto destroy = StubAs<decltype(&ImageList_Destroy)>(OnDelayLoadFailure(dliFailGetProc, &info));
    ASSERT_NE(nullptr, destroy);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(destroy(nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());

    // Without a stub, and for imports by ordinal, the helper's exception stays.
    info.dlp.szProcName = "ImageList_Copy";
    EXPECT_EQ(nullptr, OnDelayLoadFailure(dliFailGetProc, &info));
    info.dlp.fImportByName = FALSE;
    info.dlp.dwOrdinal = 17;
    EXPECT_EQ(nullptr, OnDelayLoadFailure(dliFailGetProc, &info));
}
