#include "ui/Dialogs.h"

#include "ui/WebLink.h"
#include "ui/resource.h"

namespace {

// The box is placed relative to its owner; the main window is hidden far
// off the screen, so the box is centred on the screen instead.
void CentreOnScreenWhenOwnerHidden(HWND dialog)
{
    HWND owner = GetWindow(dialog, GW_OWNER);
    if (owner && IsWindowVisible(owner))
        return;
    RECT box = {}, work = {};
    GetWindowRect(dialog, &box);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    int x = work.left + (work.right - work.left - (box.right - box.left)) / 2;
    int y = work.top + (work.bottom - work.top - (box.bottom - box.top)) / 2;
    SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        SendMessageA(dialog, WM_SETICON, ICON_BIG,
                     reinterpret_cast<LPARAM>(LoadIconA(UiModule(), MAKEINTRESOURCEA(IDI_PROGRAM))));
        CentreOnScreenWhenOwnerHidden(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}
