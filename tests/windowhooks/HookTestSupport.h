// Shared pieces of the hook and tracker tests: a program whose windows are
// watched from outside (HookTarget.exe), a window that records the hook
// reports posted to it, and message pumps with a deadline.
#pragma once

#include <windows.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "common/HookProtocol.h"
#include "tests/support/TestPaths.h"

// Dispatches this thread's messages until DONE() holds or TIMEOUT ms pass.
template <typename Done>
bool PumpUntil(Done done, DWORD timeout = 5000)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (done())
            return true;
        if (GetTickCount() - start >= timeout)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

// The whole content of the file at PATH; empty when it cannot be read.
// Opened with every sharing mode: the program that writes it may still run.
inline std::string ReadWholeFile(const std::string& path)
{
    std::string text;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return text;
    text.resize(GetFileSize(file, nullptr));
    DWORD read = 0;
    ReadFile(file, &text[0], static_cast<DWORD>(text.size()), &read, nullptr);
    text.resize(read);
    CloseHandle(file);
    return text;
}

// Starts COMMANDLINE (FLAGS for CreateProcessA); the process handle or null.
inline HANDLE StartProgram(std::string commandLine, DWORD flags = 0)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                        &startup, &info))
        return nullptr;
    CloseHandle(info.hThread);
    return info.hProcess;
}

inline void PumpFor(DWORD milliseconds)
{
    PumpUntil([] { return false; }, milliseconds);
}

struct HookReport {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const HookReport& other) const
    {
        return message == other.message && wParam == other.wParam && lParam == other.lParam;
    }
};

inline std::ostream& operator<<(std::ostream& out, const HookReport& report)
{
    return out << "{msg " << std::hex << report.message << ", wParam " << report.wParam
               << ", lParam " << report.lParam << std::dec << "}";
}

// A hidden top-level window in the role of Quillet's main window: records
// every "WM_CREATE_WND_MSG" and "WM_GET_MSG_WND_MSG" posted to it.
class ReportReceiver {
public:
    ReportReceiver() : ids_(RegisterHookMessages())
    {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = Proc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "HookReportReceiver";
        RegisterClassA(&windowClass);
        window_ = CreateWindowExA(0, windowClass.lpszClassName, "receiver", WS_OVERLAPPEDWINDOW,
                                  4096, 0, 0, 0, nullptr, nullptr, windowClass.hInstance, nullptr);
        SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~ReportReceiver() { DestroyWindow(window_); }
    ReportReceiver(const ReportReceiver&) = delete;
    ReportReceiver& operator=(const ReportReceiver&) = delete;

    HWND Window() const { return window_; }
    const HookMessageIds& Ids() const { return ids_; }
    std::vector<HookReport>& Reports() { return reports_; }

    // The reports about windows of PROCESSID ("WM_CREATE_WND_MSG" only).
    std::vector<HWND> CreatedWindowsOf(DWORD processId) const
    {
        std::vector<HWND> windows;
        for (const HookReport& report : reports_)
            if (report.message == ids_.createWindow && static_cast<DWORD>(report.lParam) == processId)
                windows.push_back(reinterpret_cast<HWND>(report.wParam));
        return windows;
    }

    bool HasEvent(WPARAM event, HWND window) const
    {
        for (const HookReport& report : reports_)
            if (report == HookReport{ids_.windowEvent, event, reinterpret_cast<LPARAM>(window)})
                return true;
        return false;
    }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto self = reinterpret_cast<ReportReceiver*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self && (message == self->ids_.createWindow || message == self->ids_.windowEvent)) {
            self->reports_.push_back({message, wParam, lParam});
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    HookMessageIds ids_;
    HWND window_ = nullptr;
    std::vector<HookReport> reports_;
};

// HookTarget.exe running with the windows asked for; ended when the owner
// goes if it is still running.
class HookTarget {
public:
    explicit HookTarget(const std::vector<std::string>& kinds)
    {
        std::string eventName = "HookTargetReady_" + std::to_string(GetCurrentProcessId()) + "_" +
                                std::to_string(++Serial());
        reportPath_ = TempFilePath(("hooktarget" + std::to_string(Serial())).c_str());
        HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
        std::string commandLine = "\"" + TestModuleDirectory() + "HookTarget.exe\" " + eventName +
                                  " \"" + reportPath_ + "\"";
        for (const std::string& kind : kinds)
            commandLine += " " + kind;
        process_ = StartProgram(commandLine, CREATE_NO_WINDOW);
        if (process_) {
            HANDLE waits[] = {ready, process_};
            if (WaitForMultipleObjects(2, waits, FALSE, 10000) == WAIT_OBJECT_0)
                ReadReport();
        }
        CloseHandle(ready);
    }
    ~HookTarget()
    {
        if (process_) {
            if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT)
                TerminateProcess(process_, 99);
            CloseHandle(process_);
        }
        DeleteFileA(reportPath_.c_str());
    }
    HookTarget(const HookTarget&) = delete;
    HookTarget& operator=(const HookTarget&) = delete;

    bool Started() const { return processId_ != 0 && !windows_.empty(); }
    DWORD ProcessId() const { return processId_; }
    HANDLE Process() const { return process_; }
    const std::string& ProgramPath() const { return path_; }
    // The Nth window (from 0) made in the order of the kinds.
    HWND Window(size_t n) const { return n < windows_.size() ? windows_[n] : nullptr; }

    // Closes the first window (and so the program); its exit code, or
    // STILL_ACTIVE when it did not end within TIMEOUT ms.
    DWORD CloseAndWait(DWORD timeout = 10000)
    {
        PostMessageA(Window(0), WM_CLOSE, 0, 0);
        return WaitForExit(timeout);
    }
    DWORD WaitForExit(DWORD timeout)
    {
        PumpUntil([this] { return WaitForSingleObject(process_, 0) == WAIT_OBJECT_0; }, timeout);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process_, &code);
        return code;
    }

private:
    static int& Serial()
    {
        static int serial = 0;
        return serial;
    }
    void ReadReport()
    {
        std::ifstream in(reportPath_);
        std::string word;
        while (in >> word) {
            if (word == "pid") {
                in >> processId_;
            } else if (word == "path") {
                std::getline(in >> std::ws, path_);
            } else {
                unsigned long handle = 0;
                in >> std::hex >> handle >> std::dec;
                windows_.push_back(reinterpret_cast<HWND>(static_cast<UINT_PTR>(handle)));
            }
        }
    }

    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
    std::string path_;
    std::string reportPath_;
    std::vector<HWND> windows_;
};

// Spirel.dll loaded into this process, with typed access to its exports.
class SpirelLibrary {
public:
    SpirelLibrary() : module_(LoadLibraryA(BuiltBinary("Spirel.dll").c_str())) {}
    ~SpirelLibrary()
    {
        if (module_)
            FreeLibrary(module_);
    }
    SpirelLibrary(const SpirelLibrary&) = delete;
    SpirelLibrary& operator=(const SpirelLibrary&) = delete;

    HMODULE Module() const { return module_; }
    template <typename Function>
    Function Export(const char* name) const
    {
        return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module_, name)));
    }

private:
    HMODULE module_;
};

// Answers the dialog boxes (message boxes included) this thread opens, with
// IDOK, and keeps what each said: "caption: text".
class DialogAnswerer {
public:
    DialogAnswerer()
    {
        Seen().clear();
        Owners().clear();
        hook_ = SetWindowsHookExA(WH_CBT, Answer, nullptr, GetCurrentThreadId());
    }
    ~DialogAnswerer() { UnhookWindowsHookEx(hook_); }
    DialogAnswerer(const DialogAnswerer&) = delete;
    DialogAnswerer& operator=(const DialogAnswerer&) = delete;

    static std::vector<std::string>& Seen()
    {
        static std::vector<std::string> seen;
        return seen;
    }
    static std::vector<HWND>& Owners()
    {
        static std::vector<HWND> owners;
        return owners;
    }

private:
    static LRESULT CALLBACK Answer(int code, WPARAM wParam, LPARAM lParam)
    {
        HWND box = reinterpret_cast<HWND>(wParam);
        char className[16] = "";
        if (code == HCBT_ACTIVATE && GetClassNameA(box, className, sizeof className) &&
            !lstrcmpA(className, "#32770")) {
            char text[2048] = "", caption[256] = "";
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);   // a message box's text
            GetWindowTextA(box, caption, sizeof caption);
            Seen().push_back(std::string(caption) + ": " + text);
            Owners().push_back(GetWindow(box, GW_OWNER));
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    HHOOK hook_;
};

typedef int(__cdecl* HookWindowRetFunction)(HWND, HHOOK*, void*);
typedef int(__cdecl* HookCbtFunction)(HWND, HHOOK*, HOOKPROC);
typedef BOOL(__cdecl* UnHookWindowFunction)(HWND, HHOOK);
