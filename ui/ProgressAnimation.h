// A bitmap revealed from left to right over a given time, driven by a timer
// of the dialog that shows it. When the time is up it sends
// WM_USER + 1 to the dialog on every tick until the dialog stops it.
#pragma once

#include "common/UniqueHandle.h"

#include <windows.h>
#include <commctrl.h>

constexpr UINT WM_PROGRESS_DONE = WM_USER + 1;

class ProgressAnimation {
public:
    using Clock = DWORD(WINAPI*)();

    ProgressAnimation() noexcept = default;
    ProgressAnimation(const ProgressAnimation&) = delete;
    ProgressAnimation& operator=(const ProgressAnimation&) = delete;

    // Starts the timer at once (1 ms). FALSE only when no image list can be
    // made; Running() tells whether the timer was started.
    BOOL Start(HWND window, int x, int y, HBITMAP bitmap, UINT_PTR timerId, DWORD duration,
               COLORREF maskColour) noexcept;
    void Draw(HDC dc) const noexcept;
    void Pause(bool paused) noexcept { paused_ = paused; }
    void Tick() noexcept;
    void Stop() noexcept;

    // Time source of Start and Tick: GetTickCount unless a test replaces it.
    void SetClock(Clock clock) noexcept { clock_ = clock; }

    double ShownWidth() const noexcept { return shownWidth_; }
    DWORD Elapsed() const noexcept { return elapsed_; }
    bool Paused() const noexcept { return paused_; }
    bool Running() const noexcept { return running_; }
    UINT_PTR TimerId() const noexcept { return timerId_; }

private:
    HWND window_ = nullptr;
    UINT_PTR timerId_ = 0;
    DWORD duration_ = 0;
    unique_himagelist images_;
    int bitmapWidth_ = 0;
    int bitmapHeight_ = 0;
    double shownWidth_ = 1.0;
    DWORD elapsed_ = 0;
    DWORD lastTick_ = 0;
    int x_ = 0, y_ = 0;
    bool paused_ = false;
    bool running_ = false;
    Clock clock_ = &GetTickCount;
};
