// What static initialisation left in this process, as any start of Quillet
// has it before WinMain: Spirel bound, the hook mapping and its event, and
// the shared-object DACL on them and on the shared block.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/HookProtocol.h"
#include "common/SharedBlockView.h"
#include "marking/SharedBlockPublication.h"
#include "marking/SpirelBinding.h"
#include "tests/support/RestrictedImpersonation.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestThread.h"

#include <atomic>

namespace {

// The object's DACL in SDDL, read back from the system.
std::string DaclText(HANDLE object)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                        nullptr, &descriptor) != ERROR_SUCCESS)
        return "(unreadable)";
    char* text = nullptr;
    std::string result = "(unconvertible)";
    if (ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1,
                                                             DACL_SECURITY_INFORMATION, &text, nullptr)) {
        result = text;
        LocalFree(text);
    }
    LocalFree(descriptor);
    return result;
}

TEST(SpirelBinding, StaticInitialisationBindsTheLibraryAndMakesTheHookObjects)
{
    // The copy beside the program, whatever the current folder and the path.
    ASSERT_NE(nullptr, g_spirel.Module());
    char path[MAX_PATH] = {};
    GetModuleFileNameA(g_spirel.Module(), path, MAX_PATH);
    EXPECT_EQ(TestModuleDirectory() + "Spirel.dll", path);
    EXPECT_NE(0u, g_hookMessages.createWindow);
    EXPECT_EQ(RegisterWindowMessageA("WM_GET_MSG_WND_MSG"), g_hookMessages.windowEvent);
    EXPECT_EQ(RegisterWindowMessageA("WM_HOOK_EXIT_MSG"), g_hookMessages.hookExit);

    const HookMapping& mapping = g_spirel.Mapping();
    ASSERT_TRUE(mapping.Mapping());
    ASSERT_TRUE(mapping.View());
    MEMORY_BASIC_INFORMATION region = {};
    ASSERT_TRUE(VirtualQuery(mapping.View(), &region, sizeof region));
    EXPECT_GE(region.RegionSize, (SIZE_T)HookMapping::kSize);
    EXPECT_EQ(0u, *static_cast<const DWORD*>(mapping.View()));
    ASSERT_TRUE(mapping.Event());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mapping.Event(), 0));

    // Restricted browsers open them by name.
    HANDLE byName = OpenEventW(SYNCHRONIZE, FALSE, L"EventMappingClassObject_Ver1_add");
    EXPECT_TRUE(byName);
    CloseHandle(byName);
    EXPECT_EQ("D:(A;OICI;GA;;;AU)", DaclText(mapping.Mapping()));
    EXPECT_EQ("D:(A;OICI;GA;;;AU)", DaclText(mapping.Event()));
}

TEST(SpirelBinding, TheSharedBlockIsEightBytesOpenToRestrictedProcesses)
{
    ASSERT_TRUE(CreateSharedBlock());
    PublishSharedBlock(reinterpret_cast<HWND>(0x11223344), reinterpret_cast<HHOOK>(0x55667788));

    HANDLE mapping = OpenFileMappingA(READ_CONTROL | FILE_MAP_READ, FALSE, HOOK_SHARED_BLOCK_NAME);
    ASSERT_TRUE(mapping);
    EXPECT_EQ("D:(A;;CCDCLCSWRPSDRCWDWO;;;SY)(A;;CCDCLCSWRPSDRCWDWO;;;BA)(A;;CCLCRC;;;AU)", DaclText(mapping));
    const BYTE* view = static_cast<const BYTE*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    ASSERT_TRUE(view);
    // Little-endian fields in this order, nothing before them.
    const BYTE expected[8] = {0x44, 0x33, 0x22, 0x11, 0x88, 0x77, 0x66, 0x55};
    EXPECT_EQ(0, memcmp(expected, view, sizeof expected));
    UnmapViewOfFile(view);
    CloseHandle(mapping);

    {
        // The browser may read the block, never rewrite where reports go.
        RestrictedImpersonation browser;
        ASSERT_TRUE(browser.Active());
        SetLastError(0xdeadbeef);
        HANDLE writable = OpenFileMappingA(FILE_MAP_WRITE, FALSE, HOOK_SHARED_BLOCK_NAME);
        EXPECT_EQ(nullptr, writable);
        EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
        CloseHandle(writable);
        HANDLE dacl = OpenFileMappingA(WRITE_DAC, FALSE, HOOK_SHARED_BLOCK_NAME);
        EXPECT_EQ(nullptr, dacl);
        CloseHandle(dacl);
        SharedBlockView hooked;
        EXPECT_TRUE(hooked.OpenReadOnly(sizeof(HookSharedBlock), HOOK_SHARED_BLOCK_NAME));
    }

    // A reader copies the whole block; a view of no mapping reads nothing.
    HookSharedBlock read = {0xdeadbeef, 0xdeadbeef};
    SharedBlockView reader;
    ASSERT_TRUE(reader.OpenReadOnly(sizeof read, HOOK_SHARED_BLOCK_NAME));
    reader.Read(&read, sizeof read);
    EXPECT_EQ(0x11223344u, read.mainWindow);
    EXPECT_EQ(0x55667788u, read.cbtHook);
    reader.Close();
    CloseSharedBlock();
    HookSharedBlock untouched = {0xdeadbeef, 0xdeadbeef};
    reader.Read(&untouched, sizeof untouched);
    EXPECT_EQ(0xdeadbeefu, untouched.mainWindow);
    EXPECT_FALSE(reader.OpenReadOnly(sizeof read, HOOK_SHARED_BLOCK_NAME));
}

// The first instance rewrites the block while hook procedures in other
// processes read it: the block is read whole, never one field of one
// publication beside the other field of another.
TEST(SpirelBinding, ReadersNeverSeeHalfABlock)
{
    SharedBlockView block, reader;
    ASSERT_TRUE(block.Create(sizeof(HookSharedBlock), HOOK_SHARED_BLOCK_NAME));
    ASSERT_TRUE(reader.OpenReadOnly(sizeof(HookSharedBlock), HOOK_SHARED_BLOCK_NAME));
    std::atomic<bool> done(false);
    std::atomic<unsigned> writes(0);
    static const HookSharedBlock values[2] = {{0x00000000, 0xFFFFFFFF}, {0xFFFFFFFF, 0x00000000}};
    TestThread writer([&] {
        for (unsigned i = 0; !done; ++i) {
            block.Write(&values[i & 1], sizeof values[0]);
            writes = i + 1;
        }
    });
    while (writes < 1000)
        Sleep(0);
    // The reader goes on until it has also seen the writer change the block
    // many times: on a busy machine the writer may get no processor for a
    // while.
    const unsigned kReadsWanted = 5000000, kChangesWanted = 10000;
    const DWORD kLimitMs = 30000;
    unsigned torn = 0, changes = 0;
    DWORD last = values[0].mainWindow;
    DWORD start = GetTickCount();
    for (unsigned reads = 0; torn == 0 && (reads < kReadsWanted || changes < kChangesWanted) &&
                             GetTickCount() - start < kLimitMs;
         ++reads) {
        HookSharedBlock read = {0x12345678, 0x12345678};
        reader.Read(&read, sizeof read);
        bool whole = (read.mainWindow == values[0].mainWindow && read.cbtHook == values[0].cbtHook) ||
                     (read.mainWindow == values[1].mainWindow && read.cbtHook == values[1].cbtHook);
        if (!whole)
            ++torn;
        changes += read.mainWindow != last;
        last = read.mainWindow;
    }
    done = true;
    writer.Join();
    EXPECT_EQ(0u, torn);
    EXPECT_GE(changes, kChangesWanted) << "the reader did not see the writer's work";
}

}  // namespace
