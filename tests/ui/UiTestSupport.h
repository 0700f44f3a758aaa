// Helpers of the user-interface tests: a settings key of the test's own, a
// window that records what it receives, a driver that acts on modal dialogs
// from a thread timer, and screenshots of the screen as PNG files.
#pragma once

#include "programwide/LauncherState.h"
#include "tests/support/RecordedMessage.h"

#include <windows.h>
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include <vector>

// Every test gets a product caption, and so a settings key, of its own; the
// product key is removed before and after.
class UiSettingsTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    static std::string MainKey();
    // The stored DWORD, or MISSING when the value does not exist.
    static DWORD StoredSetting(const char* name, DWORD missing = 0xDEADBEEF);
    static void StoreSetting(const char* name, DWORD value);

private:
    std::string savedCaption_;
};

// A top-level window of its own class that records WM_COMMAND, WM_NOTIFY
// (code only, in wParam) and WM_USER + 1, and paints nothing.
class RecordingWindow {
public:
    RecordingWindow(int width = 400, int height = 300);
    ~RecordingWindow();
    HWND get() const { return window_; }
    std::vector<RecordedMessage> messages;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window_ = nullptr;
};

// Acts on the dialogs of this thread while a modal loop runs. Each step
// waits until a visible dialog with its title exists and DELAY has passed
// since then, acts on it and hands over to the next step.
struct DialogStep {
    std::string title;
    DWORD delay;
    std::function<void(HWND dialog)> action;
};

class DialogDriver {
public:
    explicit DialogDriver(std::vector<DialogStep> steps, DWORD timeout = 20000);
    ~DialogDriver();

    // Shows TEMPLATE modally (owner OWNER) with the steps running; the result
    // of DialogBoxParamA.
    INT_PTR Run(UINT templateId, DLGPROC procedure, HWND owner = nullptr);

    // Dialogs with TITLE that appear at any time get ACTION once each.
    void Always(const std::string& title, std::function<void(HWND dialog)> action);

    bool TimedOut() const { return timedOut_; }
    size_t StepsDone() const { return next_; }
    // Titles of the dialogs seen, in the order they first appeared.
    std::vector<std::string> seen;

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
    void Tick();

    std::vector<DialogStep> steps_;
    std::vector<std::pair<std::string, std::function<void(HWND)>>> always_;
    std::vector<HWND> handled_;
    std::vector<HWND> known_;
    size_t next_ = 0;
    DWORD stepSeen_ = 0;
    DWORD started_ = 0;
    DWORD timeout_;
    bool timedOut_ = false;
    UINT_PTR timer_ = 0;
};

// The visible dialogs (class "#32770") of this thread with TITLE.
HWND FindThreadDialog(const std::string& title);

// Text of a message box (its static control 0xFFFF).
std::string MessageBoxText(HWND box);

// Posts a left click (press and release) at a client point of WINDOW.
void PostClick(HWND window, int x, int y);

// Writes the screen area of WINDOW (its frame included) as
// <tests>\screenshots\NAME.png; true on success.
bool SaveWindowShot(HWND window, const char* name);

// Pumps this thread's messages for MS milliseconds.
void PumpFor(DWORD ms);
