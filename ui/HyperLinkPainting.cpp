// The link control's face: its fonts and colours, the rectangle the label
// takes (the part that answers the mouse) and the painting itself.
#include "ui/HyperLink.h"

#include "ui/HyperLinkText.h"

namespace {

const char kBrowserSettingsKey[] = "Software\\Microsoft\\Internet Explorer\\Settings";

} // namespace

// --- Fonts and colours -------------------------------------------------------------

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
