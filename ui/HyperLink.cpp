#include "ui/HyperLink.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>
#undef SubclassWindow

#include <new>

namespace {

const char kLinkProperty[] = "Quillet.HyperLink";
const char kBrowserSettingsKey[] = "Software\\Microsoft\\Internet Explorer\\Settings";
const UINT_PTR kToolId = 1;

bool IsTextStaticType(DWORD style)
{
    BYTE type = LOBYTE(LOWORD(style));
    return !((type >= 3 && type <= 9) || (type >= 13 && type <= 15));
}

// Skips blanks, then reads one decimal number; false when no digit follows.
bool ReadNumber(const char*& text, unsigned& number)
{
    while (*text == ' ')
        ++text;
    if (*text < '0' || *text > '9')
        return false;
    number = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        number = number * 10 + (*text - '0');
    return true;
}

bool ReadNumberThenComma(const char*& text, unsigned& number)
{
    if (!ReadNumber(text, number) || *text != ',')
        return false;
    ++text;
    return true;
}

// Copies TEXT (null: empty); a copy that finds no memory leaves the field empty.
bool CopyText(std::string& field, const char* text) noexcept
{
    try {
        field = text ? text : "";
        return true;
    } catch (const std::bad_alloc&) {
        field.clear();
        return false;
    }
}

} // namespace

LinkMarkup SplitLinkMarkup(const std::string& label)
{
    LinkMarkup parts;
    size_t open = std::string::npos;
    for (size_t i = 0; i + 3 <= label.size(); ++i) {
        if (CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, label.c_str() + i, 3, "<A>", 3) == CSTR_EQUAL) {
            open = i;
            break;
        }
    }
    if (open == std::string::npos) {
        parts.before = label;
        return parts;
    }
    parts.before = label.substr(0, open);
    size_t start = open + 3;
    size_t close = std::string::npos;
    for (size_t i = start; i + 4 <= label.size(); ++i) {
        if (CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, label.c_str() + i, 4, "</A>", 4) == CSTR_EQUAL) {
            close = i;
            break;
        }
    }
    parts.link = label.substr(start, close == std::string::npos ? std::string::npos : close - start);
    if (close != std::string::npos)
        parts.after = label.substr(close + 4);
    return parts;
}

HyperLink::HyperLink() noexcept = default;

HyperLink::~HyperLink()
{
    if (state_ & OwnsLinkFont)
        DeleteObject(linkFont_);
}

bool HyperLink::ParseColour(const char* text, COLORREF& colour) noexcept
{
    unsigned red = 0, green = 0, blue = 0;
    if (!ReadNumberThenComma(text, red) || !ReadNumberThenComma(text, green) || !ReadNumber(text, blue))
        return false;
    colour = RGB(red & 0xFF, green & 0xFF, blue & 0xFF);
    return true;
}

BOOL HyperLink::SetHyperLink(const char* target) noexcept
{
    if (!CopyText(target_, target))
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
    if (!CopyText(label_, text))
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

void HyperLink::CreateLinkFont() noexcept
{
    normalFont_ = reinterpret_cast<HFONT>(SendMessageA(GetParent(control_), WM_GETFONT, 0, 0));
    if (!normalFont_)
        normalFont_ = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    if (linkFont_)
        return;
    LOGFONTA font = {};
    GetObjectA(normalFont_, sizeof font, &font);
    if ((extendedStyle_ & UseMarkup) && (extendedStyle_ & MarkupBold))
        font.lfWeight = FW_BOLD;
    else if (!(extendedStyle_ & NotUnderlined))
        font.lfUnderline = TRUE;
    linkFont_ = CreateFontIndirectA(&font);
    if (linkFont_)
        state_ |= OwnsLinkFont;
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

// The browser keeps its link colours as text, "R,G,B". Only reading is
// needed, so a key the user may not change still gives its colours.
void HyperLink::ReadAnchorColours() noexcept
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kBrowserSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    unique_hkey owner(key);
    struct { const char* name; COLORREF* colour; } values[] = {
        {"Anchor Color", &linkColour_}, {"Anchor Color Visited", &visitedColour_}};
    for (auto& value : values) {
        char text[13] = {};
        DWORD size = 12;
        if (RegQueryValueExA(key, value.name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) == ERROR_SUCCESS)
            ParseColour(text, *value.colour);
    }
}

// --- Label rectangle -----------------------------------------------------------

UINT HyperLink::TextAlignment() const noexcept
{
    DWORD type = GetWindowLongA(control_, GWL_STYLE) & SS_TYPEMASK;
    return type == SS_CENTER ? DT_CENTER : type == SS_RIGHT ? DT_RIGHT : DT_LEFT;
}

void HyperLink::ComputeLabelRect() noexcept
{
    if (!control_)
        return;
    RECT client = {};
    GetClientRect(control_, &client);
    if (!(state_ & PaintLabel)) {
        labelRect_ = client;     // a picture is clickable all over
        return;
    }
    unique_window_dc dc(control_);
    RECT rect = client;
    if (extendedStyle_ & UseMarkup) {
        ComputeMarkupRect(dc.get(), rect);
    } else {
        UINT align = TextAlignment();
        select_object_scope font(dc.get(), linkFont_ ? linkFont_ : normalFont_);
        DrawTextA(dc.get(), ShownText().c_str(), -1, &rect, DT_CALCRECT | DT_NOPREFIX | align);
        int width = rect.right - rect.left;
        if (align == DT_CENTER)
            OffsetRect(&rect, (client.right - client.left - width) / 2 - rect.left, 0);
        else if (align == DT_RIGHT)
            OffsetRect(&rect, client.right - width - rect.left, 0);
    }
    labelRect_ = rect;
}

void HyperLink::ComputeMarkupRect(HDC dc, RECT& rect) noexcept
{
    LinkMarkup parts = SplitLinkMarkup(label_);
    RECT before = rect;
    {
        select_object_scope font(dc, normalFont_);
        DrawTextA(dc, parts.before.c_str(), -1, &before, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    }
    if (parts.before.empty())
        before.right = rect.left;
    RECT link = {before.right, rect.top, rect.right, rect.bottom};
    select_object_scope font(dc, linkFont_ ? linkFont_ : normalFont_);
    DrawTextA(dc, parts.link.c_str(), -1, &link, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    rect = link;
}

// --- Painting --------------------------------------------------------------------

HFONT HyperLink::CurrentLinkFont() const noexcept
{
    if (!linkFont_ || ((extendedStyle_ & UnderlineHover) && !(state_ & MouseOver)))
        return normalFont_;
    return linkFont_;
}

COLORREF HyperLink::CurrentLinkColour() const noexcept
{
    if (!IsWindowEnabled(control_))
        return GetSysColor(COLOR_GRAYTEXT);
    return (state_ & Visited) ? visitedColour_ : linkColour_;
}

void HyperLink::Paint(HDC dc, POINT origin) noexcept
{
    RECT client = {};
    GetClientRect(control_, &client);
    OffsetRect(&client, origin.x, origin.y);
    HBRUSH brush = reinterpret_cast<HBRUSH>(
        SendMessageA(GetParent(control_), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(control_)));
    if (brush)
        FillRect(dc, &client, brush);
    SetBkMode(dc, TRANSPARENT);
    RECT label = labelRect_;
    OffsetRect(&label, origin.x, origin.y);
    if (extendedStyle_ & UseMarkup)
        DrawMarkupLabel(dc, client, origin);
    else
        DrawPlainLabel(dc, label);
    if (GetFocus() == control_)
        DrawFocusRect(dc, &label);
}

void HyperLink::DrawPlainLabel(HDC dc, const RECT& rect) noexcept
{
    UINT align = TextAlignment();
    COLORREF previous = SetTextColor(dc, CurrentLinkColour());
    select_object_scope font(dc, CurrentLinkFont());
    RECT box = rect;
    DrawTextA(dc, ShownText().c_str(), -1, &box, DT_NOPREFIX | align);
    SetTextColor(dc, previous);
}

// The plain parts keep the text colour the parent chose for the static.
void HyperLink::DrawMarkupLabel(HDC dc, const RECT& client, POINT origin) noexcept
{
    LinkMarkup parts = SplitLinkMarkup(label_);
    RECT link = labelRect_;
    OffsetRect(&link, origin.x, origin.y);
    {
        select_object_scope font(dc, normalFont_);
        RECT before = client;
        DrawTextA(dc, parts.before.c_str(), -1, &before, DT_WORDBREAK | DT_NOPREFIX);
        RECT after = {link.right, link.top, client.right, client.bottom};
        DrawTextA(dc, parts.after.c_str(), -1, &after, DT_WORDBREAK | DT_NOPREFIX);
    }
    COLORREF previous = SetTextColor(dc, CurrentLinkColour());
    select_object_scope font(dc, CurrentLinkFont());
    DrawTextA(dc, parts.link.c_str(), -1, &link, DT_WORDBREAK | DT_NOPREFIX);
    SetTextColor(dc, previous);
}

void HyperLink::PaintLink(HDC dc) noexcept
{
    if (!control_ || !(state_ & PaintLabel) || !IsWindowVisible(control_))
        return;
    RECT place = {};
    GetWindowRect(control_, &place);
    MapWindowPoints(nullptr, GetParent(control_), reinterpret_cast<POINT*>(&place), 2);
    Paint(dc, POINT{place.left, place.top});
}

void HyperLink::Repaint(bool now) noexcept
{
    InvalidateRect(control_, nullptr, TRUE);
    if (now)
        UpdateWindow(control_);
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

void HyperLink::OnPaint(HDC given)
{
    if (!(state_ & PaintLabel)) {
        if (given)
            CallPrevious(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(given), PRF_CLIENT);
        else
            CallPrevious(WM_PAINT, 0, 0);
        return;
    }
    if (given) {
        Paint(given, POINT{0, 0});
        return;
    }
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(control_, &paint);
    Paint(dc, POINT{0, 0});
    EndPaint(control_, &paint);
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
