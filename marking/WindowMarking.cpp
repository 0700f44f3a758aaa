#include "marking/WindowMarking.h"

#include "common/AtlException.h"
#include "common/IconComposer.h"
#include "common/UniqueHandle.h"
#include "marking/WindowTracker.h"
#include "programwide/DiagnosticLog.h"
#include "programwide/LauncherState.h"
#include "ui/resource.h"

#include <commctrl.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <new>
#include <string>

namespace {

// The mark is read and written wide so that it survives any ANSI code page
// of the browser's caption.
std::wstring LoadMarkText()
{
    WCHAR buffer[256];
    int length = LoadStringW(g_launcher.instance, IDS_SAFE_MARK, buffer, 256);
    return std::wstring(buffer, length > 0 ? length : 0);
}

// The caption as the window holds it now, or false when the window is gone.
bool ReadCaption(HWND window, std::wstring* caption)
{
    if (!IsWindow(window))
        return false;
    int length = GetWindowTextLengthA(window);  // never shorter than the wide length
    caption->assign((size_t)length + 1, L'\0');
    if (!IsWindow(window))
        return false;
    int read = GetWindowTextW(window, &(*caption)[0], length + 1);
    caption->resize(read > 0 ? read : 0);
    return true;
}

// The browser's windows belong to another process. A message sent to them
// blocks this thread until the browser answers, and a plain SendMessage would
// meanwhile run whatever other threads send this one (a hand-off's launch, a
// report): a handler that changes the tracker while the marking of an entry is
// half done. So the marking's messages take nothing in while they wait, and a
// hung browser holds Quillet up a few seconds at most.
const UINT kMarkingSendFlags = SMTO_BLOCK | SMTO_ABORTIFHUNG;
const UINT kMarkingSendLimit = 5000;

void SetWindowIcon(HWND window, WPARAM type, HICON icon)
{
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(window, WM_SETICON, type, (LPARAM)icon, kMarkingSendFlags, kMarkingSendLimit, &ignored);
}

void ExtendCaption(HWND window)
{
    std::wstring mark = LoadMarkText();
    std::wstring caption;
    if (!ReadCaption(window, &caption))
        return;
    // An empty mark is found everywhere, so a missing string changes nothing.
    if (caption.find(mark) != std::wstring::npos)
        return;
    std::wstring marked = mark + caption;
    if (IsWindow(window))
        SendMessageTimeoutW(window, WM_SETTEXT, 0, (LPARAM)marked.c_str(), kMarkingSendFlags, kMarkingSendLimit,
                            nullptr);
}

std::vector<HICON>& IconSlots(WPARAM type)
{
    return type == ICON_BIG ? g_tracker.bigIcons : g_tracker.smallIcons;
}

WPARAM OtherSize(WPARAM type)
{
    return type == ICON_BIG ? ICON_SMALL : ICON_BIG;
}

// Sets COMPOSED as the window's icon of TYPE (and of the other size when the
// window has none of its own) and records it; an icon that could not be set
// because the window went away is destroyed.
void SetComposedIcon(HWND window, size_t index, HICON composed, WPARAM type, bool otherMissing)
{
    if (IsWindow(window)) {
        SetWindowIcon(window, type, composed);
        if (IsWindow(window) && index < IconSlots(type).size()) {
            IconSlots(type)[index] = composed;
            if (otherMissing) {
                SetWindowIcon(window, OtherSize(type), composed);
                IconSlots(OtherSize(type))[index] = composed;
            }
            return;
        }
    }
    DestroyIcon(composed);
}

void MarkIconSize(HWND window, size_t index, HICON icon, WPARAM type, bool otherMissing)
{
    HICON overlay = type == ICON_BIG ? g_launcher.overlayBigIcon : g_launcher.overlaySmallIcon;
    HICON composed = ComposeOverlayIcon(icon, overlay, nullptr);
    hookLog.WriteRaw(type == ICON_BIG ? "MODIFY BIG ICON" : "MODIFY SMALL ICON");
    if (composed)
        SetComposedIcon(window, index, composed, type, otherMissing);
}

// A replaced composition is destroyed only once neither slot holds it: a
// window that had a single icon carries the same composition in both sizes,
// and destroying it while the other size still shows it would leave the
// window and the tracker with a dead handle.
void ReleaseReplacedIcon(HICON replaced, size_t index)
{
    if (replaced && replaced != g_tracker.bigIcons[index] && replaced != g_tracker.smallIcons[index])
        DestroyIcon(replaced);
}

[[noreturn]] void ThrowOutOfMemory()
{
    throw CAtlException(E_OUTOFMEMORY);
}

}  // namespace

void PrepareIconMarking()
{
    // The first call of the delay-loaded library loads it; a library that
    // cannot be loaded fails here as quietly as it would in the marking.
    InitCommonControls();
}

void MarkCaption(HWND window)
{
    if (g_launcher.noCaption)
        return;
    try {
        ExtendCaption(window);
    } catch (const std::bad_alloc&) {
        ThrowOutOfMemory();
    }
}

void OnCaptionEvent(HWND window)
{
    if (!IsWindow(window))
        return;
    for (size_t i = 0; i < g_tracker.hookIds.size(); ++i) {
        if (g_tracker.hookIds[i].hWnd == window)
            MarkCaption(window);
    }
}

void MarkIcons(HWND window, size_t index)
{
    if (!IsWindow(window))
        return;
    hookLog.WriteFormat("MODIFY ICON BEGIN\t\tHWND(0x%.08X) \t\tNum(%d)", (unsigned)(UINT_PTR)window, (int)index);
    HICON small = QueryWindowIcon(window, ICON_SMALL);
    HICON big = QueryWindowIcon(window, ICON_BIG);
    unique_hicon extractedBig, extractedSmall;
    if (!small && !big) {
        ExtractProcessIcons(window, &big, &small, 0);
        extractedBig.reset(big);
        extractedSmall.reset(small);
    }
    if (index >= g_tracker.bigIcons.size() || index >= g_tracker.smallIcons.size())
        throw CAtlException(E_INVALIDARG);
    const HICON storedBig = g_tracker.bigIcons[index];
    const HICON storedSmall = g_tracker.smallIcons[index];

    if (big && big != storedBig)
        MarkIconSize(window, index, big, ICON_BIG, !small);
    if (small && small != storedSmall)
        MarkIconSize(window, index, small, ICON_SMALL, !big);
    if (index < g_tracker.bigIcons.size()) {
        ReleaseReplacedIcon(storedBig, index);
        if (storedSmall != storedBig)
            ReleaseReplacedIcon(storedSmall, index);
    }
}

void OnIconEvent(HWND window)
{
    for (size_t i = 0; i < g_tracker.hookIds.size(); ++i) {
        if (g_tracker.hookIds[i].hWnd == window)
            MarkIcons(window, i);
    }
}

HICON QueryWindowIcon(HWND window, WPARAM type)
{
    if (!IsWindow(window))
        return nullptr;
    DWORD_PTR icon = 0;
    if (!SendMessageTimeoutA(window, WM_GETICON, type, 0, kMarkingSendFlags, 1000, &icon))
        return nullptr;
    return (HICON)icon;
}

UINT ExtractProcessIcons(HWND window, HICON* bigIcon, HICON* smallIcon, int iconIndex)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    MODULEENTRY32 module = {};
    module.dwSize = sizeof module;
    {
        unique_file snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId));
        if (!snapshot || !Module32First(snapshot.get(), &module))
            return 0;
    }
    return ExtractIconExA(module.szExePath, iconIndex, bigIcon, smallIcon, 1);
}
