// GoogleTest's own threading, for the runtime Quillet ships with.
//
// Quillet links the compilers' Windows-threads runtime, whose standard
// library has no std::mutex: the posix-threads one brings Windows XP and
// Vista imports into every file it is linked into. GoogleTest synchronises
// through its own Windows primitives except in Notification, which it lets
// an embedder provide; this one is a manual-reset event.
#pragma once

#include <windows.h>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
public:
    Notification() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { CloseHandle(event_); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { SetEvent(event_); }
    void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

private:
    HANDLE event_;
};

}  // namespace internal
}  // namespace testing
