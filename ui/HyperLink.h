// Turns a static control of a dialog into a web link: link colours and an
// underlined font, the hand cursor and a tooltip over the link text, and on a
// click, Enter or Space either the shell opens the target or the parent hears
// of the click (command or notification mode).
#pragma once

#include "common/UniqueHandle.h"

#include <windows.h>
#include <string>

// <windowsx.h> has a macro of this name; the member must not meet it.
#undef SubclassWindow

class HyperLink {
public:
    // Extended style bits, chosen by the user of the control.
    enum : DWORD {
        NotUnderlined = 0x01,   // link font not underlined
        UnderlineHover = 0x02,  // link font only while the mouse is over the link
        CommandButton = 0x04,   // report the click instead of opening the target
        NotifyButton = 0x08,    // with CommandButton: WM_NOTIFY instead of WM_COMMAND
        UseMarkup = 0x10,       // only the "<A>" ... "</A>" part of the label is the link
        MarkupBold = 0x20,      // with UseMarkup: bold link font instead of underlined
        NoTooltipRelay = 0x40,
    };

    // State bits.
    enum : BYTE { PaintLabel = 0x01, Visited = 0x02, MouseOver = 0x04, OwnsLinkFont = 0x08 };

    static constexpr COLORREF kLinkColour = RGB(0, 0, 255);
    static constexpr COLORREF kVisitedColour = RGB(128, 0, 128);

    HyperLink() noexcept;
    ~HyperLink();
    HyperLink(const HyperLink&) = delete;
    HyperLink& operator=(const HyperLink&) = delete;

    BOOL SetHyperLink(const char* target) noexcept;
    BOOL SetLabel(const char* text) noexcept;
    BOOL SubclassWindow(HWND control) noexcept;
    // Puts the control's own procedure back; unless FORCE, only when the
    // link's procedure is still installed. The control, or 0.
    HWND UnsubclassWindow(bool force) noexcept;
    // Detaches and returns to the initial state (target, label, fonts, colours).
    void Reset() noexcept;

    BOOL Navigate() noexcept;
    // Draws the link into DC, whose origin is the parent's client area (for
    // dialogs that compose their own face off screen).
    void PaintLink(HDC dc) noexcept;

    DWORD ExtendedStyle() const noexcept { return extendedStyle_; }
    void SetExtendedStyle(DWORD style) noexcept { extendedStyle_ = style; }
    BYTE State() const noexcept { return state_; }
    const char* Target() const noexcept { return target_.c_str(); }
    const char* Label() const noexcept { return label_.c_str(); }
    HWND Control() const noexcept { return control_; }
    HWND Tooltip() const noexcept { return tooltip_; }
    COLORREF LinkColour() const noexcept { return linkColour_; }
    COLORREF VisitedColour() const noexcept { return visitedColour_; }
    const RECT& LabelRect() const noexcept { return labelRect_; }
    HFONT LinkFont() const noexcept { return linkFont_; }
    HFONT NormalFont() const noexcept { return normalFont_; }

    // Parses "R,G,B" as the browser stores its anchor colours; false leaves COLOUR.
    static bool ParseColour(const char* text, COLORREF& colour) noexcept;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT CallPrevious(UINT message, WPARAM wParam, LPARAM lParam);

    void Init() noexcept;
    void ClassifyControl() noexcept;
    void CreateLinkFont() noexcept;
    void CreateTooltip() noexcept;
    void ReadAnchorColours() noexcept;
    void ComputeLabelRect() noexcept;
    UINT TextAlignment() const noexcept;
    void ComputeMarkupRect(HDC dc, RECT& rect) noexcept;
    void UpdateTooltip() noexcept;

    void Paint(HDC dc, POINT origin) noexcept;
    void DrawPlainLabel(HDC dc, const RECT& rect) noexcept;
    void DrawMarkupLabel(HDC dc, const RECT& client, POINT origin) noexcept;
    HFONT CurrentLinkFont() const noexcept;
    COLORREF CurrentLinkColour() const noexcept;
    const std::string& ShownText() const noexcept { return label_.empty() ? target_ : label_; }
    bool OverLabel(LPARAM point) const noexcept;
    bool Active() const noexcept;
    void Repaint(bool now) noexcept;

    void RelayToTooltip(UINT message, WPARAM wParam, LPARAM lParam);
    void OnDestroy();
    LRESULT OnNcDestroy(UINT message, WPARAM wParam, LPARAM lParam);
    void OnFocusChange();
    void OnChar(WPARAM key);
    void OnPaint(HDC given);
    LRESULT OnSetCursor();
    void OnMouseMove(LPARAM point);
    void OnLButtonDown(LPARAM point);
    void OnLButtonUp(LPARAM point);
    void OnMouseLeave();
    void OnSetFont(HFONT font, bool redraw);

    HWND control_ = nullptr;
    WNDPROC previous_ = &DefWindowProcA;
    std::string label_;
    std::string target_;
    HCURSOR handCursor_ = nullptr;
    HFONT linkFont_ = nullptr;
    HFONT normalFont_ = nullptr;
    HWND tooltip_ = nullptr;
    COLORREF linkColour_ = kLinkColour;
    COLORREF visitedColour_ = kVisitedColour;
    RECT labelRect_ = {};
    DWORD extendedStyle_ = 0;
    BYTE state_ = PaintLabel;
};
