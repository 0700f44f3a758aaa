// A second thread for a test, joined before the test goes on. The runtime
// Quillet links has no std::thread (it would bring newer Windows imports).
#pragma once

#include <windows.h>

#include <functional>
#include <utility>

#include <gtest/gtest.h>

#include "common/UniqueHandle.h"

class TestThread {
public:
    explicit TestThread(std::function<void()> body) : body_(std::move(body))
    {
        thread_.reset(CreateThread(nullptr, 0, &TestThread::Run, this, 0, nullptr));
        if (!thread_)
            ADD_FAILURE() << "CreateThread failed: " << GetLastError();
    }
    ~TestThread() { Join(); }
    TestThread(const TestThread&) = delete;
    TestThread& operator=(const TestThread&) = delete;

    void Join()
    {
        if (thread_)
            WaitForSingleObject(thread_.get(), INFINITE);
        thread_.reset();
    }

private:
    static DWORD WINAPI Run(void* self)
    {
        static_cast<TestThread*>(self)->body_();
        return 0;
    }

    std::function<void()> body_;
    unique_handle thread_;
};
