// A clickable area of a skinned dialog: a region of the dialog's client area
// that reacts to the mouse. It is no window of its own; the dialog passes its
// mouse messages on and draws the pictures (if any) when it composes a paint.
#pragma once

#include "common/UniqueHandle.h"

#include <windows.h>
#include <commctrl.h>

enum HotSpotShape { HotSpotEllipse = 0, HotSpotRectangle = 1, HotSpotNoRegion = 2 };

class HotSpotButton {
public:
    HotSpotButton() noexcept = default;
    HotSpotButton(const HotSpotButton&) = delete;
    HotSpotButton& operator=(const HotSpotButton&) = delete;

    // The area covers (x, y) to (x + right - left, y + bottom - top). Shape
    // HotSpotNoRegion makes no region and fails; an unknown shape makes none
    // and succeeds (such a button never reacts).
    BOOL Create(HWND window, UINT commandId, int x, int y, int left, int top, int right, int bottom,
                int shape) noexcept;

    // Optional pictures, not owned: image 0 normal, image 1 hovered.
    void SetImages(HIMAGELIST images) noexcept { images_ = images; }

    void Draw(HDC dc) const noexcept;

    // LPARAM is a client point as the mouse messages carry it. MouseMove
    // returns whether the pointer is inside; ButtonDown whether it took the press.
    bool MouseMove(LPARAM point) noexcept;
    bool ButtonDown(LPARAM point) noexcept;
    void ButtonUp(LPARAM point) noexcept;

    bool Hovered() const noexcept { return hovered_; }
    bool Pressed() const noexcept { return pressed_; }
    HRGN Region() const noexcept { return region_.get(); }

private:
    bool Contains(LPARAM point) const noexcept;

    HWND window_ = nullptr;
    UINT commandId_ = 0;
    HIMAGELIST images_ = nullptr;
    int x_ = 0, y_ = 0, width_ = 0, height_ = 0;
    bool hovered_ = false;
    bool pressed_ = false;
    unique_hrgn region_;
};
