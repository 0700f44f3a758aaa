// The link control's window plumbing: attaching to and detaching from the
// static, its procedure, the mouse, keys, cursor and tooltip, and the click.
#include "ui/HyperLink.h"

#include "ui/HyperLinkText.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>
#undef SubclassWindow

namespace {

const char kLinkProperty[] = "Quillet.HyperLink";
const UINT_PTR kToolId = 1;

bool IsTextStaticType(DWORD style)
{
    BYTE type = LOBYTE(LOWORD(style));
    return !((type >= 3 && type <= 9) || (type >= 13 && type <= 15));
}

} // namespace

HyperLink::HyperLink() noexcept = default;

HyperLink::~HyperLink()
{
    if (state_ & OwnsLinkFont)
        DeleteObject(linkFont_);
}

BOOL HyperLink::SetHyperLink(const char* target) noexcept
{
    if (!CopyLinkText(target_, target))
        return FALSE;
    if (label_.empty())
        ComputeLabelRect();
    if (tooltip_) {
        SendMessageA(tooltip_, TTM_ACTIVATE, TRUE, 0);
        UpdateTooltip();
    }
    return TRUE;
}

BOOL HyperLink::SetLabel(const char* text) noexcept
{
    if (!CopyLinkText(label_, text))
        return FALSE;
    ComputeLabelRect();
    if (control_)
        SetWindowTextA(control_, label_.c_str());
    return TRUE;
}

BOOL HyperLink::SubclassWindow(HWND control) noexcept
{
    if (!IsWindow(control) || control_)
        return FALSE;
    if (!SetPropA(control, kLinkProperty, this))
        return FALSE;
    control_ = control;
    previous_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HyperLink::Procedure)));
    Init();
    return TRUE;
}

HWND HyperLink::UnsubclassWindow(bool force) noexcept
{
    if (!control_)
        return nullptr;
    WNDPROC current = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(control_, GWLP_WNDPROC));
    if (!force && current != &HyperLink::Procedure)
        return nullptr;
    SetWindowLongPtrA(control_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
    RemovePropA(control_, kLinkProperty);
    HWND control = control_;
    control_ = nullptr;
    previous_ = &DefWindowProcA;
    return control;
}

void HyperLink::Reset() noexcept
{
    UnsubclassWindow(false);
    control_ = nullptr;
    previous_ = &DefWindowProcA;
    if (tooltip_)
        DestroyWindow(tooltip_);
    tooltip_ = nullptr;
    if (state_ & OwnsLinkFont)
        DeleteObject(linkFont_);
    linkFont_ = nullptr;
    normalFont_ = nullptr;
    label_.clear();
    target_.clear();
    linkColour_ = kLinkColour;
    visitedColour_ = kVisitedColour;
    labelRect_ = RECT{};
    extendedStyle_ = 0;
    state_ = PaintLabel;
}

// --- Set-up ------------------------------------------------------------------

void HyperLink::Init() noexcept
{
    ClassifyControl();
    handCursor_ = LoadCursorA(nullptr, IDC_HAND);
    if (state_ & PaintLabel)
        CreateLinkFont();
    CreateTooltip();
    if (label_.empty()) {
        char text[512] = {};
        if (GetWindowTextA(control_, text, sizeof text) > 0)
            SetLabel(text);
    }
    ComputeLabelRect();
    if (!target_.empty() || (extendedStyle_ & CommandButton)) {
        SendMessageA(tooltip_, TTM_ACTIVATE, TRUE, 0);
        TOOLINFOA tool = {};
        tool.cbSize = TTTOOLINFOA_V1_SIZE;
        tool.hwnd = control_;
        tool.uId = kToolId;
        tool.rect = labelRect_;
        tool.lpszText = const_cast<char*>(target_.c_str());
        SendMessageA(tooltip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    } else if (!label_.empty()) {
        SetHyperLink(label_.c_str());
    }
    if (state_ & PaintLabel)
        ReadAnchorColours();
}

void HyperLink::ClassifyControl() noexcept
{
    char className[8] = {};
    GetClassNameA(control_, className, sizeof className);
    if (lstrcmpiA(className, "static") != 0)
        return;
    DWORD style = GetWindowLongA(control_, GWL_STYLE);
    SetWindowLongA(control_, GWL_STYLE, style | SS_NOTIFY);
    if (!IsTextStaticType(style))
        state_ &= ~PaintLabel;
}


void HyperLink::CreateTooltip() noexcept
{
    InitCommonControls();
    tooltip_ = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, 0, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, control_, nullptr,
                               reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(control_, GWLP_HINSTANCE)),
                               nullptr);
}

void HyperLink::UpdateTooltip() noexcept
{
    TOOLINFOA tool = {};
    tool.cbSize = TTTOOLINFOA_V1_SIZE;
    tool.hwnd = control_;
    tool.uId = kToolId;
    tool.lpszText = const_cast<char*>(target_.c_str());
    tool.rect = labelRect_;
    // A label that became the target has had no tool yet.
    if (SendMessageA(tooltip_, TTM_GETTOOLCOUNT, 0, 0) == 0) {
        SendMessageA(tooltip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
        return;
    }
    SendMessageA(tooltip_, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageA(tooltip_, TTM_NEWTOOLRECTA, 0, reinterpret_cast<LPARAM>(&tool));
}

// --- Clicks ----------------------------------------------------------------------

BOOL HyperLink::Navigate() noexcept
{
    HWND parent = GetParent(control_);
    int id = GetDlgCtrlID(control_);
    if ((extendedStyle_ & CommandButton) && (extendedStyle_ & NotifyButton)) {
        NMHDR header = {control_, static_cast<UINT_PTR>(id), static_cast<UINT>(NM_CLICK)};
        SendMessageA(parent, WM_NOTIFY, id, reinterpret_cast<LPARAM>(&header));
        return TRUE;
    }
    if (extendedStyle_ & CommandButton) {
        SendMessageA(parent, WM_COMMAND, MAKEWPARAM(id, 0), reinterpret_cast<LPARAM>(control_));
        return TRUE;
    }
    HINSTANCE result = ShellExecuteA(nullptr, "open", target_.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(result) <= 32)
        return FALSE;
    state_ |= Visited;
    Repaint(false);
    return TRUE;
}

bool HyperLink::Active() const noexcept
{
    return !target_.empty() || (extendedStyle_ & CommandButton);
}

bool HyperLink::OverLabel(LPARAM point) const noexcept
{
    POINT at = {GET_X_LPARAM(point), GET_Y_LPARAM(point)};
    return PtInRect(&labelRect_, at) != FALSE;
}

// --- The control's procedure -----------------------------------------------------------

LRESULT CALLBACK HyperLink::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* link = static_cast<HyperLink*>(GetPropA(window, kLinkProperty));
    if (!link || link->control_ != window)
        return DefWindowProcA(window, message, wParam, lParam);
    return link->Dispatch(message, wParam, lParam);
}

LRESULT HyperLink::CallPrevious(UINT message, WPARAM wParam, LPARAM lParam)
{
    return CallWindowProcA(previous_, control_, message, wParam, lParam);
}

void HyperLink::RelayToTooltip(UINT message, WPARAM wParam, LPARAM lParam)
{
    // The tooltip sees the mouse only through the control it belongs to.
    if (message < WM_MOUSEFIRST || message > 0x20D || !tooltip_ || (extendedStyle_ & NoTooltipRelay))
        return;
    MSG relayed = {control_, message, wParam, lParam, static_cast<DWORD>(GetMessageTime()), {}};
    SendMessageA(tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
}

void HyperLink::OnDestroy()
{
    if (tooltip_)
        DestroyWindow(tooltip_);
    tooltip_ = nullptr;
}

LRESULT HyperLink::OnNcDestroy(UINT message, WPARAM wParam, LPARAM lParam)
{
    // The control goes: give it its own procedure back for its last message.
    WNDPROC previous = previous_;
    HWND control = control_;
    UnsubclassWindow(true);
    return CallWindowProcA(previous, control, message, wParam, lParam);
}

void HyperLink::OnFocusChange()
{
    if (state_ & PaintLabel)
        Repaint(false);
}

void HyperLink::OnChar(WPARAM key)
{
    if (key == VK_RETURN || key == VK_SPACE)
        Navigate();
}

LRESULT HyperLink::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    RelayToTooltip(message, wParam, lParam);
    switch (message) {
    case WM_CREATE:
        Init();
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return CallPrevious(message, wParam, lParam);
    case WM_NCDESTROY:
        return OnNcDestroy(message, wParam, lParam);
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        OnFocusChange();
        return 0;
    case WM_ENABLE:
        Repaint(true);
        return 0;
    case WM_PAINT:
        OnPaint(nullptr);
        return 0;
    case WM_PRINTCLIENT:
        OnPaint(reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SETCURSOR:
        return OnSetCursor();
    case WM_SETFONT:
        OnSetFont(reinterpret_cast<HFONT>(wParam), LOWORD(lParam) != 0);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(normalFont_);
    case WM_GETDLGCODE:
        return DLGC_WANTCHARS;
    case WM_CHAR:
        OnChar(wParam);
        return 0;
    case WM_UPDATEUISTATE:
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove(lParam);
        return 0;
    case WM_LBUTTONDOWN:
        OnLButtonDown(lParam);
        return 0;
    case WM_LBUTTONUP:
        OnLButtonUp(lParam);
        return 0;
    case WM_MOUSELEAVE:
        OnMouseLeave();
        return 0;
    }
    return CallPrevious(message, wParam, lParam);
}


LRESULT HyperLink::OnSetCursor()
{
    POINT cursor = {};
    GetCursorPos(&cursor);
    ScreenToClient(control_, &cursor);
    if (PtInRect(&labelRect_, cursor) && Active())
        return TRUE;
    return CallPrevious(WM_SETCURSOR, reinterpret_cast<WPARAM>(control_), 0);
}

void HyperLink::OnSetFont(HFONT font, bool redraw)
{
    normalFont_ = font;
    if (redraw)
        Repaint(false);
}

void HyperLink::OnMouseMove(LPARAM point)
{
    if (OverLabel(point) && Active()) {
        SetCursor(handCursor_);
        if ((extendedStyle_ & UnderlineHover) && !(state_ & MouseOver)) {
            state_ |= MouseOver;
            InvalidateRect(control_, &labelRect_, TRUE);
            TRACKMOUSEEVENT track = {sizeof track, TME_LEAVE, control_, 0};
            TrackMouseEvent(&track);
        }
        return;
    }
    if ((extendedStyle_ & UnderlineHover) && (state_ & MouseOver)) {
        state_ &= ~MouseOver;
        InvalidateRect(control_, &labelRect_, TRUE);
    }
}

void HyperLink::OnLButtonDown(LPARAM point)
{
    if (!OverLabel(point))
        return;
    SetFocus(control_);
    SetCapture(control_);
}

// A click is a press and a release on the link; a release that comes from
// a press elsewhere is no click.
void HyperLink::OnLButtonUp(LPARAM point)
{
    if (GetCapture() != control_)
        return;
    ReleaseCapture();
    if (OverLabel(point))
        Navigate();
}

void HyperLink::OnMouseLeave()
{
    if ((extendedStyle_ & UnderlineHover) && (state_ & MouseOver)) {
        state_ &= ~MouseOver;
        InvalidateRect(control_, &labelRect_, TRUE);
    }
}
