// A bitmap in the screen's format, selected into a memory DC: drawing that a
// test reads back pixel by pixel, with nothing on the screen in between.
#pragma once

#include "common/UniqueHandle.h"

#include <windows.h>
#include <optional>

class OffScreenCanvas {
public:
    OffScreenCanvas(int width, int height)
    {
        unique_window_dc screen(nullptr);
        memory_.reset(CreateCompatibleDC(screen.get()));
        bitmap_.reset(CreateCompatibleBitmap(screen.get(), width, height));
        selected_.emplace(memory_.get(), bitmap_.get());
    }
    OffScreenCanvas(const OffScreenCanvas&) = delete;
    OffScreenCanvas& operator=(const OffScreenCanvas&) = delete;

    HDC get() const { return memory_.get(); }

private:
    unique_hdc memory_;
    unique_hbitmap bitmap_;
    std::optional<select_object_scope> selected_;
};
