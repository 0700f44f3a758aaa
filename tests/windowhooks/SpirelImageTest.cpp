// Spirel.dll as Windows loads it into every program on the desktop: its
// file, export and import tables, and the calling conventions of the
// exports, read from the built file and measured on the stack.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "tests/support/TestPaths.h"
#include "tests/windowhooks/HookTestSupport.h"

namespace {

class PeImage {
public:
    explicit PeImage(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    size_t FileSize() const { return bytes_.size(); }

    const IMAGE_NT_HEADERS* Headers() const
    {
        if (bytes_.size() < sizeof(IMAGE_DOS_HEADER))
            return nullptr;
        auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes_.data());
        if (dos->e_magic != IMAGE_DOS_SIGNATURE ||
            dos->e_lfanew + sizeof(IMAGE_NT_HEADERS) > bytes_.size())
            return nullptr;
        auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(bytes_.data() + dos->e_lfanew);
        return nt->Signature == IMAGE_NT_SIGNATURE ? nt : nullptr;
    }

    // The file bytes at relative virtual address RVA, or null.
    const char* At(DWORD rva) const
    {
        const IMAGE_NT_HEADERS* nt = Headers();
        const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
            DWORD size = std::max(section->Misc.VirtualSize, section->SizeOfRawData);
            if (rva >= section->VirtualAddress && rva < section->VirtualAddress + size) {
                DWORD offset = section->PointerToRawData + (rva - section->VirtualAddress);
                return offset < bytes_.size() ? bytes_.data() + offset : nullptr;
            }
        }
        return nullptr;
    }

    std::vector<std::string> ExportNames() const
    {
        std::vector<std::string> names;
        const IMAGE_DATA_DIRECTORY& entry =
            Headers()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
        auto directory = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(At(entry.VirtualAddress));
        if (!entry.VirtualAddress || !directory)
            return names;
        auto nameRvas = reinterpret_cast<const DWORD*>(At(directory->AddressOfNames));
        for (DWORD i = 0; nameRvas && i < directory->NumberOfNames; ++i)
            names.push_back(At(nameRvas[i]));
        return names;
    }

    std::vector<std::string> ImportedLibraries() const
    {
        std::vector<std::string> names;
        const IMAGE_DATA_DIRECTORY& entry =
            Headers()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        auto descriptor = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(At(entry.VirtualAddress));
        for (; entry.VirtualAddress && descriptor && descriptor->Name; ++descriptor)
            names.push_back(At(descriptor->Name));
        return names;
    }

private:
    std::vector<char> bytes_;
};

#ifdef __i386__
// Calls FUNCTION with three 32-bit arguments and returns how many of their
// 12 bytes the callee took off the stack: 12 for a standard-call function,
// 0 for a C function (whose caller removes them).
int CalleePoppedBytes(const void* function, DWORD first, DWORD second, DWORD third)
{
    DWORD arguments[3] = {first, second, third};
    int left;
    __asm__ volatile(
        "mov %%esp, %%esi\n\t"
        "pushl 8(%%ebx)\n\t"
        "pushl 4(%%ebx)\n\t"
        "pushl (%%ebx)\n\t"
        "call *%%edi\n\t"
        "mov %%esi, %%eax\n\t"
        "sub %%esp, %%eax\n\t"
        "mov %%esi, %%esp\n\t"
        : "=a"(left)
        : "b"(arguments), "D"(function)
        : "ecx", "edx", "esi", "memory", "cc");
    return 12 - left;
}
#endif

}  // namespace

TEST(SpirelImage, SmallWithExactlySixExportsAndOnlyKernelAndUserImports)
{
    PeImage image(BuiltBinary("Spirel.dll"));
    ASSERT_NE(nullptr, image.Headers()) << BuiltBinary("Spirel.dll");
    EXPECT_LT(image.FileSize(), 16u * 1024u);
    EXPECT_TRUE(image.Headers()->FileHeader.Characteristics & IMAGE_FILE_DLL);
    // The library is of the program's own kind: PE32 beside a 32-bit
    // Quillet, PE32+ beside a 64-bit one.
    EXPECT_EQ(IMAGE_NT_OPTIONAL_HDR_MAGIC, image.Headers()->OptionalHeader.Magic);

    std::vector<std::string> exports = image.ExportNames();
    std::sort(exports.begin(), exports.end());
    std::vector<std::string> expected = {"GetHookMessageCBT", "GetProcRet", "HookCBT", "HookWindowRet",
                                         "UnHookWindow", "_GetHookMessageFILTER@12"};
    EXPECT_EQ(expected, exports);

    std::set<std::string> imports;
    for (std::string name : image.ImportedLibraries()) {
        std::transform(name.begin(), name.end(), name.begin(), ::toupper);
        imports.insert(name);
    }
    EXPECT_EQ((std::set<std::string>{"KERNEL32.DLL", "USER32.DLL"}), imports);
}

#ifdef __i386__
// x86 only: 64-bit Windows has one calling convention.
TEST(SpirelImage, InstallersAreCdeclAndHookProceduresStdcall)
{
    SpirelLibrary spirel;
    ASSERT_TRUE(spirel.Module());
    HHOOK slot = nullptr;
    struct Case {
        const char* name;
        DWORD first, second, third;
        int popped;
    } cases[] = {
        {"UnHookWindow", 0, 0, 0, 0},
        // A null procedure: the CBT hook cannot be installed.
        {"HookCBT", 0, (DWORD)(UINT_PTR)&slot, 0, 0},
        // A negative code is only passed on.
        {"GetProcRet", (DWORD)-1, 0, 0, 12},
        {"GetHookMessageCBT", HCBT_SYSCOMMAND, SC_CLOSE, 0, 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const void* function = reinterpret_cast<const void*>(GetProcAddress(spirel.Module(), c.name));
        ASSERT_NE(nullptr, function);
        EXPECT_EQ(c.popped, CalleePoppedBytes(function, c.first, c.second, c.third));
    }
    EXPECT_EQ(nullptr, slot);
    EXPECT_NE(nullptr, GetProcAddress(spirel.Module(), "_GetHookMessageFILTER@12"));
}
#endif

TEST(SpirelImage, HookWindowRetIsCdeclAndReplacesTheHookInItsSlot)
{
    SpirelLibrary spirel;
    auto hookWindowRet = spirel.Export<HookWindowRetFunction>("HookWindowRet");
    ASSERT_TRUE(hookWindowRet);
    HWND window = CreateWindowExA(0, "STATIC", "target", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, nullptr,
                                  nullptr, nullptr, nullptr);
    ASSERT_TRUE(window);

    HHOOK slot = nullptr;
#ifdef __i386__
    EXPECT_EQ(0, CalleePoppedBytes(reinterpret_cast<const void*>(hookWindowRet), (DWORD)(UINT_PTR)window,
                                   (DWORD)(UINT_PTR)&slot, 0xdeadbeef));
#else
    EXPECT_EQ(1, hookWindowRet(window, &slot, nullptr));
#endif
    HHOOK first = slot;
    ASSERT_NE(nullptr, first);

    EXPECT_EQ(1, hookWindowRet(window, &slot, nullptr));
    ASSERT_NE(nullptr, slot);
    EXPECT_NE(first, slot);
    // The first hook was removed before the second was installed.
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(UnhookWindowsHookEx(first));
    EXPECT_TRUE(UnhookWindowsHookEx(slot));
    DestroyWindow(window);
}

TEST(SpirelImage, UnHookWindowOfNoHookCallsNothing)
{
    SpirelLibrary spirel;
    auto unHookWindow = spirel.Export<UnHookWindowFunction>("UnHookWindow");
    ASSERT_TRUE(unHookWindow);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(unHookWindow(reinterpret_cast<HWND>(0x1234), nullptr));
    EXPECT_EQ(0xdeadbeefu, GetLastError());
}

TEST(SpirelImage, HookCbtWithoutProcedureInstallsNothing)
{
    SpirelLibrary spirel;
    auto hookCbt = spirel.Export<HookCbtFunction>("HookCBT");
    ASSERT_TRUE(hookCbt);
    HHOOK slot = reinterpret_cast<HHOOK>(0);
    EXPECT_EQ(0, hookCbt(nullptr, &slot, nullptr));
    EXPECT_EQ(nullptr, slot);
}
