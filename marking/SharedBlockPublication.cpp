#include "marking/SharedBlockPublication.h"

#include "common/AtlException.h"
#include "common/HookProtocol.h"
#include "common/SharedBlockView.h"
#include "programwide/LauncherState.h"
#include "security/SharedObjectDacl.h"

namespace {

SharedBlockView s_sharedBlock;

}  // namespace

bool CreateSharedBlock()
{
    if (!s_sharedBlock.Create(sizeof(HookSharedBlock), HOOK_SHARED_BLOCK_NAME))
        return false;
    // The protected browser runs with a restricted token: without this DACL
    // its hook procedures could not open the block, and with write access it
    // could point every later hand-off and report at a window of its own.
    // Set before the block holds the window, so that nothing it publishes is
    // ever writable by others.
    try {
        SetReadOnlySharedMappingDacl(s_sharedBlock.Mapping());
    } catch (const CAtlException&) {
        // The creator's default DACL still serves unrestricted programs.
    }
    return true;
}

void PublishSharedBlock(HWND mainWindow, HHOOK cbtHook)
{
    HookSharedBlock block = {BlockValueOf(mainWindow), BlockValueOf(cbtHook)};
    s_sharedBlock.Write(&block, sizeof block);
}

void PublishCbtHook(HHOOK cbtHook)
{
    PublishSharedBlock(g_launcher.mainWindow, cbtHook);
}

void CloseSharedBlock()
{
    s_sharedBlock.Close();
}
