#include "tests/setuphelper/PellowLibrary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#ifdef __i386__
// MeasureCalleePop(function, arguments, count, result): pushes COUNT 32-bit
// ARGUMENTS (the first one last, as a call does), calls FUNCTION, stores its
// EAX in *RESULT and returns how many bytes the callee took off the stack.
extern "C" DWORD __cdecl MeasureCalleePop(const void* function, const DWORD* arguments,
                                          DWORD count, DWORD* result);
__asm__(
    ".text\n"
    ".globl _MeasureCalleePop\n"
    "_MeasureCalleePop:\n"
    "    pushl %ebp\n"
    "    movl  %esp, %ebp\n"
    "    pushl %esi\n"
    "    pushl %edi\n"
    "    movl  12(%ebp), %esi\n"
    "    movl  16(%ebp), %ecx\n"
    "    movl  %esp, %edi\n"          // the stack pointer before the arguments
    "1:  testl %ecx, %ecx\n"
    "    jz    2f\n"
    "    pushl -4(%esi,%ecx,4)\n"
    "    decl  %ecx\n"
    "    jmp   1b\n"
    "2:  call  *8(%ebp)\n"
    "    movl  20(%ebp), %ecx\n"
    "    movl  %eax, (%ecx)\n"
    "    movl  %esp, %eax\n"          // popped = esp - (edi - 4 * count)
    "    subl  %edi, %eax\n"
    "    movl  16(%ebp), %edx\n"
    "    leal  (%eax,%edx,4), %eax\n"
    "    movl  %edi, %esp\n"
    "    popl  %edi\n"
    "    popl  %esi\n"
    "    popl  %ebp\n"
    "    ret\n");
#endif

namespace {

template <typename T>
const T* At(HMODULE module, DWORD rva)
{
    return (const T*)((const BYTE*)module + rva);
}

const IMAGE_DATA_DIRECTORY& Directory(HMODULE module, int index)
{
    const IMAGE_DOS_HEADER* dos = (const IMAGE_DOS_HEADER*)module;
    return At<IMAGE_NT_HEADERS>(module, dos->e_lfanew)->OptionalHeader.DataDirectory[index];
}

std::vector<std::string> ExportedNames(HMODULE module)
{
    const IMAGE_DATA_DIRECTORY& directory = Directory(module, IMAGE_DIRECTORY_ENTRY_EXPORT);
    std::vector<std::string> names;
    if (!directory.VirtualAddress)
        return names;
    const IMAGE_EXPORT_DIRECTORY* exports = At<IMAGE_EXPORT_DIRECTORY>(module, directory.VirtualAddress);
    const DWORD* nameRvas = At<DWORD>(module, exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        names.push_back(At<char>(module, nameRvas[i]));
    EXPECT_EQ(exports->NumberOfNames, exports->NumberOfFunctions) << "exports without a name";
    return names;
}

std::vector<std::string> ImportedLibraries(HMODULE module)
{
    const IMAGE_DATA_DIRECTORY& directory = Directory(module, IMAGE_DIRECTORY_ENTRY_IMPORT);
    std::vector<std::string> names;
    const IMAGE_IMPORT_DESCRIPTOR* import = At<IMAGE_IMPORT_DESCRIPTOR>(module, directory.VirtualAddress);
    for (; directory.VirtualAddress && import->Name; ++import) {
        std::string name = At<char>(module, import->Name);
        CharUpperA(&name[0]);
        names.push_back(name);
    }
    return names;
}

TEST(PellowExports, ExactlyTheFiveNamesUndecorated)
{
    HMODULE module = Pellow().module;
    ASSERT_TRUE(module) << "Pellow.dll not found by name";
    std::vector<std::string> names = ExportedNames(module);
    std::vector<std::string> expected = {"CreateIconM", "GetFileDescription", "GetFirstCaption",
                                         "GetNextCaption", "IsCloseModule"};
    EXPECT_EQ(expected, names);  // the export table keeps its names sorted
}

TEST(PellowExports, OnlyWindowsSystemLibrariesAreImported)
{
    const std::vector<std::string> system = {
        "KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "COMCTL32.DLL", "SHELL32.DLL", "SHLWAPI.DLL",
        "PSAPI.DLL", "VERSION.DLL", "ADVAPI32.DLL", "MSVCRT.DLL"};
    ASSERT_TRUE(Pellow().module);
    std::vector<std::string> imported = ImportedLibraries(Pellow().module);
    EXPECT_FALSE(imported.empty());
    for (const std::string& name : imported) {
        EXPECT_NE(system.end(), std::find(system.begin(), system.end(), name))
            << name << " is no Windows system library";
    }
}

#ifdef __i386__
// x86 only: 64-bit Windows has one calling convention.
TEST(PellowExports, EveryExportRemovesItsOwnArguments)
{
    const PellowLibrary& pellow = Pellow();
    ASSERT_TRUE(pellow.module);
    char buffer[16] = {};
    DWORD size = 0;
    LONG signedSize = 0;
    const char* none = "PellowNoSuchThing";
    struct {
        const char* name;
        const void* function;
        std::vector<DWORD> arguments;
    } cases[] = {
        {"GetFirstCaption", (const void*)pellow.getFirstCaption,
         {(DWORD)none, (DWORD)buffer, (DWORD)&size}},
        {"GetNextCaption", (const void*)pellow.getNextCaption,
         {(DWORD)none, (DWORD)buffer, (DWORD)&size}},
        {"IsCloseModule", (const void*)pellow.isCloseModule, {(DWORD)none, 0}},
        {"GetFileDescription", (const void*)pellow.getFileDescription,
         {(DWORD)none, (DWORD)buffer, (DWORD)&signedSize}},
        {"CreateIconM", (const void*)pellow.createIconM, {(DWORD)none, (DWORD)none, (DWORD)none, 0}},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.name);
        ASSERT_TRUE(item.function);
        DWORD result = 0xdeadbeef;
        DWORD popped = MeasureCalleePop(item.function, item.arguments.data(),
                                        (DWORD)item.arguments.size(), &result);
        EXPECT_EQ(4 * item.arguments.size(), popped);
        EXPECT_EQ(0u, result & 0xff) << "nothing to find, yet it reported success";
    }
}

#endif

}  // namespace
