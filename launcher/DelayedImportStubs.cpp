// The stand-ins for the functions of Quillet's delay-loaded DLLs (the list
// in cmake/delayed/): each fails the way its function reports a failure.
// Every stand-in is checked against the function's own declaration, so
// that a caller pops the same arguments from either.
#include "launcher/DelayLoadFailure.h"
#include "launcher/DelayedImportStubs.h"

#include <commctrl.h>
#include <psapi.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <userenv.h>

namespace {

int WINAPI FailedAddMasked(HIMAGELIST, HBITMAP, COLORREF) { FailDelayedCall(); return -1; }
HIMAGELIST WINAPI FailedCreate(int, int, UINT, int, int) { FailDelayedCall(); return nullptr; }
BOOL WINAPI FailedDestroy(HIMAGELIST) { FailDelayedCall(); return FALSE; }
BOOL WINAPI FailedDraw(HIMAGELIST, int, HDC, int, int, UINT) { FailDelayedCall(); return FALSE; }
BOOL WINAPI FailedDrawEx(HIMAGELIST, int, HDC, int, int, int, int, COLORREF, COLORREF, UINT)
{
    FailDelayedCall();
    return FALSE;
}
HICON WINAPI FailedGetIcon(HIMAGELIST, int, UINT) { FailDelayedCall(); return nullptr; }
int WINAPI FailedGetImageCount(HIMAGELIST) { FailDelayedCall(); return 0; }
HIMAGELIST WINAPI FailedMerge(HIMAGELIST, int, HIMAGELIST, int, int, int) { FailDelayedCall(); return nullptr; }
int WINAPI FailedReplaceIcon(HIMAGELIST, int, HICON) { FailDelayedCall(); return -1; }
void WINAPI FailedInitCommonControls() { FailDelayedCall(); }

UINT WINAPI FailedExtractIconEx(LPCSTR, int, HICON*, HICON*, UINT) { FailDelayedCall(); return 0; }
HINSTANCE WINAPI FailedShellExecute(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT)
{
    FailDelayedCall();
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(SE_ERR_DLLNOTFOUND));
}

// Cannot fail: without the library, the whole path is the file name.
LPSTR WINAPI FailedPathFindFileName(LPCSTR path) { return const_cast<LPSTR>(path); }
DWORD WINAPI FailedCopyKey(HKEY, LPCSTR, HKEY, DWORD) { return ERROR_MOD_NOT_FOUND; }
DWORD WINAPI FailedDeleteKey(HKEY, LPCSTR) { return ERROR_MOD_NOT_FOUND; }
DWORD WINAPI FailedDeleteValue(HKEY, LPCSTR, LPCSTR) { return ERROR_MOD_NOT_FOUND; }

DWORD WINAPI FailedModuleFileNameEx(HANDLE, HMODULE, LPSTR, DWORD) { FailDelayedCall(); return 0; }

BOOL WINAPI FailedCreateEnvironmentBlock(LPVOID*, HANDLE, BOOL) { FailDelayedCall(); return FALSE; }
BOOL WINAPI FailedDestroyEnvironmentBlock(LPVOID) { FailDelayedCall(); return FALSE; }
BOOL WINAPI FailedLoadUserProfile(HANDLE, LPPROFILEINFOA) { FailDelayedCall(); return FALSE; }
BOOL WINAPI FailedUnloadUserProfile(HANDLE, HANDLE) { FailDelayedCall(); return FALSE; }

} // namespace

const DelayedImportTable kDelayedImports[] = {
    {"comctl32.dll",
     {DELAY_STUB(ImageList_AddMasked, FailedAddMasked), DELAY_STUB(ImageList_Create, FailedCreate),
      DELAY_STUB(ImageList_Destroy, FailedDestroy), DELAY_STUB(ImageList_Draw, FailedDraw),
      DELAY_STUB(ImageList_DrawEx, FailedDrawEx), DELAY_STUB(ImageList_GetIcon, FailedGetIcon),
      DELAY_STUB(ImageList_GetImageCount, FailedGetImageCount), DELAY_STUB(ImageList_Merge, FailedMerge),
      DELAY_STUB(ImageList_ReplaceIcon, FailedReplaceIcon),
      DELAY_STUB(InitCommonControls, FailedInitCommonControls)}},
    {"shell32.dll",
     {DELAY_STUB(ExtractIconExA, FailedExtractIconEx), DELAY_STUB(ShellExecuteA, FailedShellExecute)}},
    {"shlwapi.dll",
     {DELAY_STUB(PathFindFileNameA, FailedPathFindFileName), DELAY_STUB(SHCopyKeyA, FailedCopyKey),
      DELAY_STUB(SHDeleteKeyA, FailedDeleteKey), DELAY_STUB(SHDeleteEmptyKeyA, FailedDeleteKey),
      DELAY_STUB(SHDeleteValueA, FailedDeleteValue)}},
    {"psapi.dll", {DELAY_STUB(GetModuleFileNameExA, FailedModuleFileNameEx)}},
    {"userenv.dll",
     {DELAY_STUB(CreateEnvironmentBlock, FailedCreateEnvironmentBlock),
      DELAY_STUB(DestroyEnvironmentBlock, FailedDestroyEnvironmentBlock),
      DELAY_STUB(LoadUserProfileA, FailedLoadUserProfile),
      DELAY_STUB(UnloadUserProfile, FailedUnloadUserProfile)}},
};

const size_t kDelayedImportCount = sizeof kDelayedImports / sizeof kDelayedImports[0];
