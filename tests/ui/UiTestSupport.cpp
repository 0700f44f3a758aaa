#include "tests/ui/UiTestSupport.h"

#include "tests/support/TestPaths.h"

#include <shlwapi.h>
#include <algorithm>
#include <cstdio>
#include <cstring>

// --- Settings ------------------------------------------------------------------

void UiSettingsTest::SetUp()
{
    static int counter = 0;
    savedCaption_ = g_launcher.productCaption;
    wsprintfA(g_launcher.productCaption, "QuilletUiTest-%lu-%d", GetCurrentProcessId(), ++counter);
    SHDeleteKeyA(HKEY_CURRENT_USER, (std::string("SOFTWARE\\Orvane\\") + g_launcher.productCaption).c_str());
    g_launcher.runRestricted = 1;
    g_launcher.commandLine = "unchanged";
}

void UiSettingsTest::TearDown()
{
    SHDeleteKeyA(HKEY_CURRENT_USER, (std::string("SOFTWARE\\Orvane\\") + g_launcher.productCaption).c_str());
    lstrcpynA(g_launcher.productCaption, savedCaption_.c_str(), sizeof g_launcher.productCaption);
}

std::string UiSettingsTest::MainKey()
{
    return std::string("SOFTWARE\\Orvane\\") + g_launcher.productCaption + "\\Main";
}

DWORD UiSettingsTest::StoredSetting(const char* name, DWORD missing)
{
    DWORD value = missing, type = 0, size = sizeof value;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, MainKey().c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return missing;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != 4)
        value = missing;
    RegCloseKey(key);
    return value;
}

void UiSettingsTest::StoreSetting(const char* name, DWORD value)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, MainKey().c_str(), 0, nullptr, 0, KEY_WRITE,
                                             nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4));
    RegCloseKey(key);
}

// --- Recording window ------------------------------------------------------------

RecordingWindow::RecordingWindow(int width, int height)
{
    static ATOM atom = 0;
    if (!atom) {
        WNDCLASSA type = {};
        type.lpfnWndProc = &RecordingWindow::Procedure;
        type.hInstance = GetModuleHandleA(nullptr);
        type.lpszClassName = "QuilletUiTestRecorder";
        type.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        type.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        atom = RegisterClassA(&type);
    }
    window_ = CreateWindowExA(0, "QuilletUiTestRecorder", "recorder", WS_POPUP | WS_VISIBLE, 20, 20, width,
                              height, nullptr, nullptr, GetModuleHandleA(nullptr), this);
}

RecordingWindow::~RecordingWindow()
{
    if (window_)
        DestroyWindow(window_);
}

LRESULT CALLBACK RecordingWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE)
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
    auto* self = reinterpret_cast<RecordingWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self && (message == WM_COMMAND || message == WM_USER + 1))
        self->messages.push_back({window, message, wParam, lParam});
    if (self && message == WM_NOTIFY) {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        self->messages.push_back({header->hwndFrom, message, static_cast<WPARAM>(header->code),
                                  static_cast<LPARAM>(header->idFrom)});
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// --- Dialog driver -----------------------------------------------------------------

namespace {

DialogDriver* g_driver = nullptr;

struct DialogSearch {
    std::string title;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<DialogSearch*>(parameter);
    char className[16] = {}, title[256] = {};
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, title, sizeof title);
    if (lstrcmpA(className, "#32770") == 0 && IsWindowVisible(window) && search->title == title) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CollectDialogs(HWND window, LPARAM parameter)
{
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, "#32770") == 0 && IsWindowVisible(window))
        reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(window);
    return TRUE;
}

} // namespace

HWND FindThreadDialog(const std::string& title)
{
    DialogSearch search = {title, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string MessageBoxText(HWND box)
{
    char text[1024] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    return text;
}

DialogDriver::DialogDriver(std::vector<DialogStep> steps, DWORD timeout) : steps_(std::move(steps)), timeout_(timeout)
{
}

DialogDriver::~DialogDriver()
{
    if (timer_)
        KillTimer(nullptr, timer_);
    if (g_driver == this)
        g_driver = nullptr;
}

void DialogDriver::Always(const std::string& title, std::function<void(HWND)> action)
{
    always_.emplace_back(title, std::move(action));
}

INT_PTR DialogDriver::Run(UINT templateId, DLGPROC procedure, HWND owner)
{
    g_driver = this;
    started_ = GetTickCount();
    timer_ = SetTimer(nullptr, 0, 10, &DialogDriver::OnTimer);
    INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), owner, procedure, 0);
    KillTimer(nullptr, timer_);
    timer_ = 0;
    g_driver = nullptr;
    return result;
}

void CALLBACK DialogDriver::OnTimer(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_driver)
        g_driver->Tick();
}

void DialogDriver::Tick()
{
    std::vector<HWND> dialogs;
    EnumThreadWindows(GetCurrentThreadId(), CollectDialogs, reinterpret_cast<LPARAM>(&dialogs));
    for (HWND dialog : dialogs) {
        if (std::find(known_.begin(), known_.end(), dialog) != known_.end())
            continue;
        known_.push_back(dialog);
        char title[256] = {};
        GetWindowTextA(dialog, title, sizeof title);
        seen.push_back(title);
    }
    for (auto& [title, action] : always_) {
        HWND dialog = FindThreadDialog(title);
        if (dialog && std::find(handled_.begin(), handled_.end(), dialog) == handled_.end()) {
            handled_.push_back(dialog);
            action(dialog);
            return;
        }
    }
    if (GetTickCount() - started_ > timeout_) {
        // Nothing must hang the run: end every dialog of this thread.
        timedOut_ = true;
        for (HWND dialog : dialogs)
            EndDialog(dialog, -2);
        return;
    }
    if (next_ >= steps_.size())
        return;
    HWND dialog = FindThreadDialog(steps_[next_].title);
    if (!dialog) {
        stepSeen_ = 0;
        return;
    }
    if (!stepSeen_)
        stepSeen_ = GetTickCount();
    if (GetTickCount() - stepSeen_ < steps_[next_].delay)
        return;
    auto action = steps_[next_].action;
    ++next_;
    stepSeen_ = 0;
    action(dialog);
}

void PostClick(HWND window, int x, int y)
{
    PostMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    PostMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

void PumpFor(DWORD ms)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(5);
    }
}

// --- Screenshots -------------------------------------------------------------------

namespace {

unsigned long Crc32(const unsigned char* data, size_t size, unsigned long crc = 0)
{
    static unsigned long table[256];
    if (!table[1]) {
        for (unsigned long n = 0; n < 256; ++n) {
            unsigned long c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320UL ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
    }
    crc = ~crc & 0xFFFFFFFFUL;
    for (size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc & 0xFFFFFFFFUL;
}

void PutBig32(std::string& out, unsigned long value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

void PutChunk(std::string& out, const char* type, const std::string& data)
{
    PutBig32(out, data.size());
    std::string body = std::string(type, 4) + data;
    out += body;
    PutBig32(out, Crc32(reinterpret_cast<const unsigned char*>(body.data()), body.size()));
}

// zlib stream of stored (uncompressed) deflate blocks.
std::string StoredZlib(const std::string& raw)
{
    std::string out("\x78\x01", 2);
    size_t at = 0;
    do {
        size_t length = std::min<size_t>(65535, raw.size() - at);
        bool last = at + length == raw.size();
        out += static_cast<char>(last ? 1 : 0);
        out += static_cast<char>(length & 0xFF);
        out += static_cast<char>(length >> 8);
        out += static_cast<char>(~length & 0xFF);
        out += static_cast<char>((~length >> 8) & 0xFF);
        out.append(raw, at, length);
        at += length;
    } while (at < raw.size());
    unsigned long a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    PutBig32(out, (b << 16) | a);
    return out;
}

bool WritePng(const std::string& path, int width, int height, const std::vector<unsigned char>& bgra)
{
    std::string raw;
    raw.reserve((width * 3 + 1) * height);
    for (int y = 0; y < height; ++y) {
        raw += '\0';
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = &bgra[(y * width + x) * 4];
            raw += static_cast<char>(p[2]);
            raw += static_cast<char>(p[1]);
            raw += static_cast<char>(p[0]);
        }
    }
    std::string png("\x89PNG\r\n\x1a\n", 8), header;
    PutBig32(header, width);
    PutBig32(header, height);
    header += std::string("\x08\x02\x00\x00\x00", 5);
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", StoredZlib(raw));
    PutChunk(png, "IEND", "");
    FILE* file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool written = fwrite(png.data(), 1, png.size(), file) == png.size();
    return fclose(file) == 0 && written;
}

} // namespace

bool SaveWindowShot(HWND window, const char* name)
{
    RECT area = {};
    GetWindowRect(window, &area);
    InflateRect(&area, 8, 8);
    int width = area.right - area.left, height = area.bottom - area.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP shot = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, shot);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    GdiFlush();
    std::vector<unsigned char> pixels(static_cast<unsigned char*>(bits),
                                      static_cast<unsigned char*>(bits) + width * height * 4);
    SelectObject(memory, previous);
    DeleteObject(shot);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    std::string folder = TestModuleDirectory() + "screenshots";
    CreateDirectoryA(folder.c_str(), nullptr);
    return WritePng(folder + "\\" + name + ".png", width, height, pixels);
}
