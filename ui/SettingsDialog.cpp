// The settings dialog: bypass keys and the startup dialog's time, on a white
// face with a thin black outline; each opening also checks the web-link
// associations.
#include "ui/Dialogs.h"

#include "programwide/LauncherState.h"
#include "programwide/SettingsStore.h"
#include "ui/WebLink.h"
#include "ui/resource.h"

namespace {

void FillBand(HDC dc, int left, int top, int right, int bottom, HBRUSH brush)
{
    RECT band = {left, top, right, bottom};
    FillRect(dc, &band, brush);
}

// Draws over the frame the system drew: white bands of the frame's width and
// a one-pixel black outline.
void PaintFrame(HWND dialog)
{
    RECT window = {};
    GetWindowRect(dialog, &window);
    int w = window.right - window.left, h = window.bottom - window.top;
    bool thick = (GetWindowLongA(dialog, GWL_STYLE) & WS_THICKFRAME) != 0;
    int fx = GetSystemMetrics(thick ? SM_CXFRAME : SM_CXDLGFRAME);
    int fy = GetSystemMetrics(thick ? SM_CYFRAME : SM_CYDLGFRAME);
    HDC dc = GetWindowDC(dialog);
    HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    FillBand(dc, 0, 0, w, fy, white);
    FillBand(dc, 0, h - fy, w, h, white);
    FillBand(dc, 0, 0, fx, h, white);
    FillBand(dc, w - fx, 0, w, h, white);
    FillBand(dc, 0, 0, w, 1, black);
    FillBand(dc, 0, h - 1, w, h, black);
    FillBand(dc, 0, 0, 1, h, black);
    FillBand(dc, w - 1, 0, w, h, black);
    ReleaseDC(dialog, dc);
}

BOOL OnInitDialog(HWND dialog)
{
    // SWP_NOZORDER keeps the z-order: the call only shows the dialog.
    SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_SHOWWINDOW);
    InitSettingsDialog(dialog);
    AttachWebLink(dialog);
    RECT window = {};
    GetWindowRect(dialog, &window);
    SetWindowRgn(dialog, CreateRectRgn(0, 0, window.right - window.left, window.bottom - window.top), TRUE);
    return FALSE;
}

void OnCommand(HWND dialog, WPARAM wParam, LPARAM lParam)
{
    if (IsWebLinkClick(dialog, wParam, lParam)) {
        g_launcher.commandLine = g_webLink.Target();
        g_webLink.Reset();
        EndDialog(dialog, 0);
        return;
    }
    switch (LOWORD(wParam)) {
    case IDOK:
        if (SaveSettingsDialog(dialog)) {
            g_webLink.Reset();
            EndDialog(dialog, 1);
        }
        break;
    case IDCANCEL:
        g_webLink.Reset();
        EndDialog(dialog, 2);
        break;
    case IDC_SHOW_STARTUP:
        EnableWindow(GetDlgItem(dialog, IDC_STARTUP_SECONDS),
                     IsDlgButtonChecked(dialog, IDC_SHOW_STARTUP) == BST_CHECKED);
        break;
    }
}

} // namespace

bool SaveSettingsDialog(HWND dialog)
{
    DWORD key = ((IsDlgButtonChecked(dialog, IDC_KEY_SHIFT) == BST_CHECKED ? 0x10 : 0) << 16) +
                ((IsDlgButtonChecked(dialog, IDC_KEY_CTRL) == BST_CHECKED ? 0x11 : 0) << 8) +
                (IsDlgButtonChecked(dialog, IDC_KEY_ALT) == BST_CHECKED ? 0x12 : 0);
    WriteSetting("Key", key);
    char digits[3] = {};
    GetWindowTextA(GetDlgItem(dialog, IDC_STARTUP_SECONDS), digits, sizeof digits);
    DWORD seconds = 0;
    for (const char* c = digits; *c >= '0' && *c <= '9'; ++c)
        seconds = seconds * 10 + (*c - '0');
    WriteSetting("WhileShow", seconds);
    WriteSetting("RunShow", IsDlgButtonChecked(dialog, IDC_SHOW_STARTUP) == BST_CHECKED ? 5 : 0);
    return true;
}

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog);
    case WM_NCPAINT:
        DefWindowProcA(dialog, message, wParam, lParam);
        PaintFrame(dialog);
        return TRUE;
    case WM_CTLCOLORDLG:
        return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
    case WM_CTLCOLORSTATIC:
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
    case WM_COMMAND:
        OnCommand(dialog, wParam, lParam);
        return FALSE;
    }
    return FALSE;
}
