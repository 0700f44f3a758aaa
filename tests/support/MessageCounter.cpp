#include "tests/support/MessageCounter.h"

namespace {

const char counterClass[] = "QuilletTestMessageCounter";

}  // namespace

MessageCounter::MessageCounter(UINT message) : message_(message)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = counterClass;
    // A second counter alive at the same time finds the class registered.
    RegisterClassA(&windowClass);
    window_ = CreateWindowExA(0, counterClass, "counter", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50,
                              nullptr, nullptr, windowClass.hInstance, this);
}

MessageCounter::~MessageCounter()
{
    closing_ = true;
    DestroyWindow(window_);
    // Fails while another counter's window still uses the class; its own
    // destructor unregisters it then.
    UnregisterClassA(counterClass, GetModuleHandleA(nullptr));
}

int MessageCounter::Received()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
    return count_;
}

LRESULT CALLBACK MessageCounter::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        CREATESTRUCTA* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    MessageCounter* self = reinterpret_cast<MessageCounter*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self && message == self->message_ && !self->closing_)
        ++self->count_;
    return DefWindowProcA(window, message, wParam, lParam);
}
