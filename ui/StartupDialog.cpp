// The skinned startup dialog: a face painted from bitmaps into an off-screen
// DC, two round picture buttons and a countdown strip that picks the
// protected start by itself when its time is up.
#include "ui/Dialogs.h"

#include "programwide/FormatText.h"
#include "programwide/LauncherState.h"
#include "programwide/SettingsStore.h"
#include "ui/HotSpotButton.h"
#include "ui/ProgressAnimation.h"
#include "ui/WebLink.h"
#include "ui/resource.h"

#include <commctrl.h>
#include <windowsx.h>

UINT g_startupStripBitmap = IDB_STARTUP_STRIP;

namespace {

constexpr COLORREF kFaceMask = RGB(0, 1, 0);
constexpr COLORREF kStripMask = RGB(255, 255, 255);
constexpr UINT_PTR kStripTimer = 0;
constexpr int kButtonSize = 104;
// Where the faces leave room for the web link, in pixels.
constexpr RECT kLinkPlace = {262, 336, 262 + 126, 336 + 13};
// SC_MOVE with HTCLIENT in its low bits: the system moves the window with the mouse.
constexpr WPARAM kMoveWithMouse = 0xF011;

// One startup dialog at a time: the state lives as long as the process.
struct StartupFace {
    SIZE size = {};
    unique_hdc memory;
    unique_hbitmap compose;
    HGDIOBJ savedBitmap = nullptr;
    unique_himagelist faces;
    int hover = 0;
    HotSpotButton protectedButton;
    HotSpotButton unprotectedButton;
    ProgressAnimation strip;
};

StartupFace g_face;

void LoadFaces(HWND dialog)
{
    static const UINT kFaceIds[] = {IDB_STARTUP_FACE, IDB_STARTUP_FACE_SAFE, IDB_STARTUP_FACE_UNSAFE};
    unique_hbitmap first(LoadBitmapA(UiModule(), MAKEINTRESOURCEA(IDB_STARTUP_FACE)));
    BITMAP info = {};
    GetObjectA(first.get(), sizeof info, &info);
    g_face.size = SIZE{info.bmWidth, info.bmHeight};

    unique_window_dc window(dialog);
    g_face.memory.reset(CreateCompatibleDC(window.get()));
    g_face.compose.reset(CreateCompatibleBitmap(window.get(), g_face.size.cx, g_face.size.cy));
    g_face.savedBitmap = SelectObject(g_face.memory.get(), g_face.compose.get());

    g_face.faces.reset(ImageList_Create(g_face.size.cx, g_face.size.cy, ILC_COLORDDB | ILC_MASK, 3, 1));
    for (UINT id : kFaceIds) {
        unique_hbitmap face(LoadBitmapA(UiModule(), MAKEINTRESOURCEA(id)));
        ImageList_AddMasked(g_face.faces.get(), face.get(), kFaceMask);
    }
    g_face.hover = 0;
    ImageList_DrawEx(g_face.faces.get(), 0, g_face.memory.get(), 0, 0, g_face.size.cx, g_face.size.cy,
                     CLR_NONE, CLR_NONE, ILD_TRANSPARENT);
}

void StartStrip(HWND dialog)
{
    DWORD seconds = 0;
    ReadSetting("WhileShow", seconds);
    unique_hbitmap strip(LoadBitmapA(UiModule(), MAKEINTRESOURCEA(g_startupStripBitmap)));
    // Without a running strip nothing would ever end the countdown: it ends
    // at once, with the protected choice.
    if (!g_face.strip.Start(dialog, 17, 296, strip.get(), kStripTimer, seconds * 1000, kStripMask) ||
        !g_face.strip.Running())
        PostMessageA(dialog, WM_PROGRESS_DONE, 0, 0);
}

void Compose(HWND dialog)
{
    HDC memory = g_face.memory.get();
    ImageList_DrawEx(g_face.faces.get(), g_face.hover, memory, 0, 0, g_face.size.cx, g_face.size.cy,
                     CLR_NONE, CLR_NONE, ILD_TRANSPARENT);
    g_face.unprotectedButton.Draw(memory);
    g_face.protectedButton.Draw(memory);
    g_face.strip.Draw(memory);
    g_webLink.PaintLink(memory);
    unique_window_dc window(dialog);
    BitBlt(window.get(), 0, 0, g_face.size.cx, g_face.size.cy, memory, 0, 0, SRCCOPY);
}

void EndStartupDialog(HWND dialog, INT_PTR result)
{
    g_webLink.Reset();
    EndDialog(dialog, result);
}

// The faces are drawn to the pixel while the template is laid out in dialog
// units, which follow the font: the window takes the face's size, and the
// link its place on the face, whatever the font measures.
void FitToFace(HWND dialog)
{
    RECT frame = {0, 0, g_face.size.cx, g_face.size.cy};
    AdjustWindowRectEx(&frame, GetWindowLongA(dialog, GWL_STYLE), FALSE, GetWindowLongA(dialog, GWL_EXSTYLE));
    int width = frame.right - frame.left, height = frame.bottom - frame.top;
    RECT work = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    SetWindowPos(dialog, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void PlaceLink(HWND dialog)
{
    MoveWindow(GetDlgItem(dialog, IDC_WEB_LINK), kLinkPlace.left, kLinkPlace.top,
               kLinkPlace.right - kLinkPlace.left, kLinkPlace.bottom - kLinkPlace.top, FALSE);
}

BOOL OnInitDialog(HWND dialog)
{
    PlaceLink(dialog);
    AttachWebLink(dialog);
    SetWindowTextA(dialog, LoadResourceString(IDS_STARTUP_TITLE).c_str());
    LoadFaces(dialog);
    FitToFace(dialog);
    StartStrip(dialog);
    g_face.protectedButton.Create(dialog, IDOK, 18, 32, 0, 0, kButtonSize, kButtonSize, HotSpotEllipse);
    g_face.unprotectedButton.Create(dialog, IDC_UNPROTECTED_BUTTON, 18, 148, 0, 0, kButtonSize, kButtonSize,
                                    HotSpotEllipse);
    return TRUE;
}

BOOL OnEraseBackground(HWND dialog)
{
    RECT client = {};
    GetClientRect(dialog, &client);
    FillRect(g_face.memory.get(), &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    Compose(dialog);
    return TRUE;
}

// A dialog that is not in the foreground gets no moves through its capture
// once the pointer has left it, and no deactivation either: only the
// system's mouse-leave report tells it.
void TrackMouseLeave(HWND dialog)
{
    if (GetForegroundWindow() == dialog)
        return;
    TRACKMOUSEEVENT leave = {sizeof leave, TME_LEAVE, dialog, 0};
    TrackMouseEvent(&leave);
}

// The countdown stands still while the pointer rests on either button; the
// capture tells the dialog when the pointer leaves it.
void OnMouseMove(HWND dialog, LPARAM point)
{
    bool overProtected = g_face.protectedButton.MouseMove(point);
    bool overUnprotected = g_face.unprotectedButton.MouseMove(point);
    g_face.hover = overProtected ? 1 : overUnprotected ? 2 : 0;
    g_face.strip.Pause(g_face.hover != 0);
    if (g_face.hover != 0) {
        SetCapture(dialog);
        TrackMouseLeave(dialog);
    } else if (GetCapture() == dialog) {
        ReleaseCapture();
    }
}

// The pointer no longer rests on a button as far as the dialog can tell:
// another window took the capture or the activation, or the pointer left
// the dialog while it was in the background. The countdown goes on,
// or the dialog, which has no taskbar button, could wait for ever.
void EndHover(HWND dialog)
{
    if (g_face.hover == 0 && !g_face.strip.Paused())
        return;
    const LPARAM nowhere = MAKELPARAM(-1, -1);
    g_face.protectedButton.MouseMove(nowhere);
    g_face.unprotectedButton.MouseMove(nowhere);
    g_face.hover = 0;
    g_face.strip.Pause(false);
    InvalidateRect(dialog, nullptr, FALSE);
    if (GetCapture() == dialog)
        ReleaseCapture();
}

void OnCaptureChanged(HWND dialog, HWND newCapture)
{
    if (newCapture != dialog)
        EndHover(dialog);
}

void OnActivate(HWND dialog, WPARAM state)
{
    if (LOWORD(state) == WA_INACTIVE)
        EndHover(dialog);
}

void OnLButtonDown(HWND dialog, LPARAM point)
{
    if (g_face.unprotectedButton.ButtonDown(point) || g_face.protectedButton.ButtonDown(point))
        return;
    if (GetCapture() == dialog)
        ReleaseCapture();
    SendMessageA(dialog, WM_SYSCOMMAND, kMoveWithMouse, 0);
}

void OnLButtonUp(LPARAM point)
{
    g_face.unprotectedButton.ButtonUp(point);
    g_face.protectedButton.ButtonUp(point);
}

void OnCommand(HWND dialog, WPARAM wParam, LPARAM lParam)
{
    if (IsWebLinkClick(dialog, wParam, lParam)) {
        SaveStartupChoices(dialog);
        KillTimer(dialog, kStripTimer);
        g_launcher.commandLine = g_webLink.Target();
        EndStartupDialog(dialog, 0);
        return;
    }
    switch (LOWORD(wParam)) {
    case IDOK:
        SaveStartupChoices(dialog);
        EndStartupDialog(dialog, 1);
        break;
    case IDCANCEL:
        EndStartupDialog(dialog, 2);
        break;
    case IDC_UNPROTECTED_BUTTON:
        g_launcher.runRestricted = 0;
        SaveStartupChoices(dialog);
        EndStartupDialog(dialog, 1);
        break;
    }
}

INT_PTR OnCtlColorStatic(HDC dc, HWND control)
{
    if (GetDlgCtrlID(control) != IDC_WEB_LINK)
        return FALSE;
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
}

void OnDestroy()
{
    g_face.strip.Stop();
    if (g_face.memory)
        SelectObject(g_face.memory.get(), g_face.savedBitmap);
    g_face.compose.reset();
    g_face.memory.reset();
    g_face.faces.reset();
    // The time-out ends the dialog without a reset: the link must not stay
    // attached to a control that goes with the dialog.
    g_webLink.Reset();
}

} // namespace

void SaveStartupChoices(HWND dialog)
{
    if (IsDlgButtonChecked(dialog, IDC_DONT_SHOW) == BST_CHECKED)
        WriteSetting("RunShow", 0);
    WriteSetting("While", IsDlgButtonChecked(dialog, IDC_AUTOSTART) == BST_CHECKED ? 0 : 1);
}

INT_PTR CALLBACK StartupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog);
    case WM_PAINT:
        Compose(dialog);
        return FALSE;
    case WM_ERASEBKGND:
        return OnEraseBackground(dialog);
    case WM_MOUSEMOVE:
        OnMouseMove(dialog, lParam);
        return TRUE;
    case WM_CAPTURECHANGED:
        OnCaptureChanged(dialog, reinterpret_cast<HWND>(lParam));
        return TRUE;
    case WM_MOUSELEAVE:
        EndHover(dialog);
        return TRUE;
    case WM_ACTIVATE:
        OnActivate(dialog, wParam);
        return FALSE;
    case WM_LBUTTONDOWN:
        OnLButtonDown(dialog, lParam);
        return TRUE;
    case WM_LBUTTONUP:
        OnLButtonUp(lParam);
        return TRUE;
    case WM_COMMAND:
        OnCommand(dialog, wParam, lParam);
        return TRUE;
    case WM_TIMER:
        if (wParam == g_face.strip.TimerId())
            g_face.strip.Tick();
        return TRUE;
    case WM_PROGRESS_DONE:
        EndDialog(dialog, 1);
        return TRUE;
    case WM_CTLCOLORSTATIC:
        return OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_DESTROY:
        OnDestroy();
        return FALSE;
    }
    return FALSE;
}
