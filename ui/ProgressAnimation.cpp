#include "ui/ProgressAnimation.h"

BOOL ProgressAnimation::Start(HWND window, int x, int y, HBITMAP bitmap, UINT_PTR timerId,
                              DWORD duration, COLORREF maskColour) noexcept
{
    window_ = window;
    x_ = x;
    y_ = y;
    timerId_ = timerId;
    duration_ = duration;
    shownWidth_ = 1.0;
    elapsed_ = 0;
    paused_ = false;
    running_ = false;
    BITMAP info = {};
    GetObjectA(bitmap, sizeof info, &info);
    bitmapWidth_ = info.bmWidth;
    bitmapHeight_ = info.bmHeight;
    images_.reset(ImageList_Create(bitmapWidth_, bitmapHeight_, ILC_COLORDDB | ILC_MASK, 1, 1));
    if (!images_)
        return FALSE;
    if (ImageList_AddMasked(images_.get(), bitmap, maskColour) != -1) {
        lastTick_ = clock_();
        // Timer id 0 is the strip's own: SetTimer may answer 0 for it, so
        // only the last error tells a failure.
        SetLastError(ERROR_SUCCESS);
        running_ = SetTimer(window_, timerId_, 1, nullptr) != 0 || GetLastError() == ERROR_SUCCESS;
    }
    return TRUE;
}

void ProgressAnimation::Draw(HDC dc) const noexcept
{
    ImageList_DrawEx(images_.get(), 0, dc, x_, y_, static_cast<int>(shownWidth_), bitmapHeight_,
                     CLR_NONE, CLR_NONE, ILD_TRANSPARENT);
}

void ProgressAnimation::Tick() noexcept
{
    DWORD now = clock_();
    if (now == lastTick_)
        return;
    DWORD delta = now - lastTick_;
    lastTick_ = now;
    // A duration of 0 makes the step infinite: the strip is full at once and
    // the next tick reports the end.
    double step = bitmapWidth_ * 0.01 / (duration_ * 0.01 / delta);
    if (paused_)
        return;
    if (duration_ < elapsed_) {
        SendMessageA(window_, WM_PROGRESS_DONE, 0, 0);
        return;
    }
    elapsed_ += delta;
    shownWidth_ += step;
    if (!(shownWidth_ <= bitmapWidth_))
        shownWidth_ = bitmapWidth_;
    RECT revealed = {x_, y_, x_ + static_cast<int>(shownWidth_), y_ + bitmapHeight_};
    InvalidateRect(window_, &revealed, FALSE);
}

void ProgressAnimation::Stop() noexcept
{
    images_.reset();
    KillTimer(window_, timerId_);
    running_ = false;
}
