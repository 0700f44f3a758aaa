#include "tests/standin/StandinWindows.h"

#include "common/UniqueHandle.h"
#include "tests/standin/StandinResource.h"

namespace {

const char kFrameClass[] = "QuilletStandinFrame";
const char kBlankClass[] = "QuilletStandinBlank";

enum TimerId : UINT_PTR { kStayTimer = 1, kRecaptionTimer, kReiconTimer, kShowMainTimer };

struct StandinState {
    HINSTANCE instance = nullptr;
    StandinOptions options;
    std::string protection;
    bool denyOnly = false;
    HWND main = nullptr;
    HWND dialog = nullptr;
    int openWindows = 0;
    bool stayTimerSet = false;
    DWORD startTick = GetTickCount();
    HICON icons[2][2] = {};  // [changed][big]
};

StandinState g_state;

HICON LoadGlobe(int id, bool big)
{
    int cx = GetSystemMetrics(big ? SM_CXICON : SM_CXSMICON);
    int cy = GetSystemMetrics(big ? SM_CYICON : SM_CYSMICON);
    return (HICON)LoadImageA(g_state.instance, MAKEINTRESOURCEA(id), IMAGE_ICON, cx, cy, 0);
}

void SetIcons(HWND window, bool changed)
{
    SendMessageA(window, WM_SETICON, ICON_BIG, (LPARAM)g_state.icons[changed][1]);
    SendMessageA(window, WM_SETICON, ICON_SMALL, (LPARAM)g_state.icons[changed][0]);
}

// The stay counts from the process start, whichever window comes first.
void StartStayTimer(HWND window)
{
    if (!g_state.options.stayMs || g_state.stayTimerSet)
        return;
    DWORD elapsed = GetTickCount() - g_state.startTick;
    DWORD stay = *g_state.options.stayMs;
    SetTimer(window, kStayTimer, stay > elapsed ? stay - elapsed : 1, nullptr);
    g_state.stayTimerSet = true;
}

BOOL CALLBACK PostClose(HWND window, LPARAM)
{
    PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}

void CloseAllWindows()
{
    EnumThreadWindows(GetCurrentThreadId(), PostClose, 0);
}

INT_PTR CALLBACK OwnedDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        DestroyWindow(dialog);
        g_state.dialog = nullptr;
        return TRUE;
    }
    return FALSE;
}

HWND CreateFrame(const std::string& caption, int offset)
{
    DWORD style = WS_OVERLAPPEDWINDOW | (g_state.options.hidden ? 0 : WS_VISIBLE);
    return CreateWindowExA(0, kFrameClass, caption.c_str(), style, 60 + offset, 40 + offset,
                           680, 420, nullptr, nullptr, g_state.instance, nullptr);
}

void OpenMainFrame()
{
    const StandinOptions& options = g_state.options;
    g_state.main = CreateFrame(MainCaption(options), 0);
    if (!g_state.main)
        return;
    StartStayTimer(g_state.main);
    if (options.captionChangeMs)
        SetTimer(g_state.main, kRecaptionTimer, *options.captionChangeMs, nullptr);
    if (options.iconChangeMs)
        SetTimer(g_state.main, kReiconTimer, *options.iconChangeMs, nullptr);
    if (options.secondWindow)
        CreateFrame("Second Window - Stand-in Browser", 120);
    if (options.ownedDialog) {
        g_state.dialog = CreateDialogParamA(g_state.instance, MAKEINTRESOURCEA(IDD_STANDIN_OWNED),
                                            g_state.main, OwnedDialogProc, 0);
        if (g_state.dialog && !options.hidden)
            ShowWindow(g_state.dialog, SW_SHOWNORMAL);
    }
}

void Recaption(HWND window)
{
    std::string caption = g_state.options.newCaption;
    if (caption.empty()) {
        char current[512] = {};
        GetWindowTextA(window, current, sizeof(current));
        caption = std::string(current) + " (changed)";
    }
    SetWindowTextA(window, caption.c_str());
}

// Frame window --------------------------------------------------------------

BOOL OnFrameCreate(HWND window)
{
    ++g_state.openWindows;
    if (!g_state.options.classIconsOnly)
        SetIcons(window, false);
    return TRUE;
}

void OnFramePaint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT area;
    GetClientRect(window, &area);
    InflateRect(&area, -12, -12);
    std::string headline = window != g_state.main ? "Second window of the stand-in browser"
                           : g_state.denyOnly     ? "Administrators group: deny-only"
                                                  : "Administrators group: ENABLED or absent";
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, window == g_state.main && !g_state.denyOnly ? RGB(190, 0, 0) : RGB(0, 110, 0));
    unique_hfont font(CreateFontA(-22, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial"));
    {
        select_object_scope select(dc, font.get());
        area.top += DrawTextA(dc, headline.c_str(), -1, &area, DT_WORDBREAK) + 10;
    }
    SetTextColor(dc, RGB(0, 0, 0));
    DrawTextA(dc, g_state.protection.c_str(), -1, &area, DT_WORDBREAK);
    EndPaint(window, &paint);
}

void OnFrameTimer(HWND window, UINT_PTR id)
{
    KillTimer(window, id);
    if (id == kStayTimer)
        CloseAllWindows();
    else if (id == kRecaptionTimer)
        Recaption(window);
    else if (id == kReiconTimer)
        SetIcons(window, true);
}

void OnFrameDestroy()
{
    if (--g_state.openWindows == 0)
        PostQuitMessage((int)g_state.options.exitCode);
}

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return OnFrameCreate(window) ? 0 : -1;
    case WM_PAINT:
        OnFramePaint(window);
        return 0;
    case WM_TIMER:
        OnFrameTimer(window, wParam);
        return 0;
    case WM_DESTROY:
        OnFrameDestroy();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Caption-less window shown before the main frame ----------------------------

void OnBlankTimer(HWND window, UINT_PTR id)
{
    KillTimer(window, id);
    if (id == kStayTimer)
        CloseAllWindows();
    else if (id == kShowMainTimer)
        OpenMainFrame();
}

LRESULT CALLBACK BlankProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        ++g_state.openWindows;
        return 0;
    case WM_TIMER:
        OnBlankTimer(window, wParam);
        return 0;
    case WM_DESTROY:
        OnFrameDestroy();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool OpenBlankWindow()
{
    DWORD style = WS_POPUP | WS_BORDER | (g_state.options.hidden ? 0 : WS_VISIBLE);
    HWND blank = CreateWindowExA(0, kBlankClass, "", style, 200, 200, 320, 160, nullptr, nullptr,
                                 g_state.instance, nullptr);
    if (!blank)
        return false;
    StartStayTimer(blank);
    SetTimer(blank, kShowMainTimer, *g_state.options.blankFirstMs, nullptr);
    return true;
}

}  // namespace

bool RegisterStandinClasses(HINSTANCE instance)
{
    g_state.instance = instance;
    for (int changed = 0; changed < 2; ++changed)
        for (int big = 0; big < 2; ++big)
            g_state.icons[changed][big] =
                LoadGlobe(changed ? IDI_STANDIN_GLOBE_CHANGED : IDI_STANDIN_GLOBE, big);

    WNDCLASSEXA frame = {};
    frame.cbSize = sizeof(frame);
    frame.lpfnWndProc = FrameProc;
    frame.hInstance = instance;
    frame.hIcon = g_state.icons[0][1];
    frame.hIconSm = g_state.icons[0][0];
    frame.hCursor = LoadCursor(nullptr, IDC_ARROW);
    frame.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    frame.lpszClassName = kFrameClass;
    WNDCLASSEXA blank = frame;
    blank.lpfnWndProc = BlankProc;
    blank.hbrBackground = (HBRUSH)(COLOR_APPWORKSPACE + 1);
    blank.lpszClassName = kBlankClass;
    return RegisterClassExA(&frame) && RegisterClassExA(&blank);
}

bool OpenStandinWindows(const StandinOptions& options, const std::string& protection, bool denyOnly)
{
    g_state.options = options;
    g_state.protection = protection;
    g_state.denyOnly = denyOnly;
    if (options.delayMs)
        Sleep(options.delayMs);
    if (options.blankFirstMs)
        return OpenBlankWindow();
    OpenMainFrame();
    return g_state.main != nullptr;
}

int RunStandinLoop()
{
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (IsWindow(g_state.dialog) && IsDialogMessageA(g_state.dialog, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return (int)message.wParam;
}
