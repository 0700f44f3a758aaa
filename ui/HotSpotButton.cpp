#include "ui/HotSpotButton.h"

#include <windowsx.h>

BOOL HotSpotButton::Create(HWND window, UINT commandId, int x, int y, int left, int top, int right,
                           int bottom, int shape) noexcept
{
    window_ = window;
    commandId_ = commandId;
    x_ = x;
    y_ = y;
    width_ = right - left;
    height_ = bottom - top;
    hovered_ = false;
    pressed_ = false;
    switch (shape) {
    case HotSpotEllipse:
        region_.reset(CreateEllipticRgn(x_, y_, x_ + width_, y_ + height_));
        return region_.is_valid();
    case HotSpotRectangle:
        region_.reset(CreateRectRgn(x_, y_, x_ + width_, y_ + height_));
        return region_.is_valid();
    case HotSpotNoRegion:
        region_.reset();
        return FALSE;
    default:
        region_.reset();
        return TRUE;
    }
}

void HotSpotButton::Draw(HDC dc) const noexcept
{
    if (!images_)
        return;
    int index = hovered_ && ImageList_GetImageCount(images_) > 1 ? 1 : 0;
    ImageList_DrawEx(images_, index, dc, x_, y_, width_, height_, CLR_NONE, CLR_NONE, ILD_TRANSPARENT);
}

bool HotSpotButton::Contains(LPARAM point) const noexcept
{
    return region_ && PtInRegion(region_.get(), GET_X_LPARAM(point), GET_Y_LPARAM(point));
}

bool HotSpotButton::MouseMove(LPARAM point) noexcept
{
    bool inside = Contains(point);
    if (inside)
        SetCursor(LoadCursorA(nullptr, IDC_HAND));
    if (inside != hovered_) {
        hovered_ = inside;
        InvalidateRgn(window_, region_.get(), FALSE);
    }
    return hovered_;
}

bool HotSpotButton::ButtonDown(LPARAM point) noexcept
{
    if (!Contains(point))
        return false;
    pressed_ = true;
    return true;
}

void HotSpotButton::ButtonUp(LPARAM point) noexcept
{
    bool click = pressed_ && Contains(point);
    pressed_ = false;
    if (click)
        SendMessageA(window_, WM_COMMAND, commandId_, 0);
}
