#include "tests/setuphelper/PellowLibrary.h"
#include "tests/setuphelper/HelperProcesses.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string.h>

namespace {

const char canary = '\x5a';

// A caller's buffer: text room of 64 characters, all bytes set to the canary.
struct CallerBuffer {
    char bytes[64];
    CallerBuffer() { memset(bytes, canary, sizeof(bytes)); }
    // Bytes from FIRST on that still hold the canary.
    bool UntouchedFrom(size_t first) const
    {
        for (size_t i = first; i < sizeof(bytes); ++i) {
            if (bytes[i] != canary)
                return false;
        }
        return true;
    }
};

// One call of the installer's sequence and what it must give.
struct CaptionCall {
    bool first;             // GetFirstCaption, else GetNextCaption
    DWORD size;             // *size passed in
    BOOL result;
    DWORD sizeAfter;        // *size afterwards
    const char* text;       // delivered text, or nullptr for none
};

void Run(const std::string& className, const CaptionCall& call)
{
    const PellowLibrary& pellow = Pellow();
    auto query = call.first ? pellow.getFirstCaption : pellow.getNextCaption;
    CallerBuffer buffer;
    DWORD size = call.size;
    BOOL result = query(className.c_str(), buffer.bytes, &size);
    EXPECT_EQ(call.result, result);
    EXPECT_EQ(call.sizeAfter, size);
    if (!call.text) {
        EXPECT_TRUE(buffer.UntouchedFrom(0)) << "a sizing or failed call wrote to the buffer";
        return;
    }
    EXPECT_STRCASEEQ(call.text, buffer.bytes);
    // The first *size bytes cleared, a NUL after the text, nothing else.
    const size_t end = std::max<size_t>(call.size, strlen(call.text) + 1);
    for (size_t i = strlen(call.text); i < end; ++i)
        EXPECT_EQ('\0', buffer.bytes[i]) << "byte " << i;
    EXPECT_TRUE(buffer.UntouchedFrom(end)) << "wrote past the text or *size";
}

void RunSequence(const std::string& className, const std::vector<CaptionCall>& calls)
{
    for (size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE("call " + std::to_string(i));
        Run(className, calls[i]);
    }
}

class CaptionQueries : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Pellow().getFirstCaption);
        ASSERT_TRUE(Pellow().getNextCaption);
    }
};

TEST_F(CaptionQueries, ClassWithoutWindowGivesFalseTwiceAndTouchesNothing)
{
    const std::string none = "PellowNoSuchWindowClass";
    RunSequence(none, {
        {true, 0, FALSE, 0, nullptr},
        {false, 0, FALSE, 0, nullptr},
        {true, 20, FALSE, 20, nullptr},
        {false, 20, FALSE, 20, nullptr},
    });
}

TEST_F(CaptionQueries, CaptionsComeFirstThenFileNamesOfWindowlessChildren)
{
    // The owned child has a hidden main window and a visible owned popup:
    // neither is a main window, so it is named by its file.
    AnchorProcess anchor({"window:Hello world", "owned", "none"});
    ASSERT_TRUE(anchor.WaitUntilReady());
    const DWORD nameLength = (DWORD)strlen(HelperProgramFileName());
    const char* name = HelperProgramFileName();
    RunSequence(anchor.className(), {
        {true, 0, TRUE, 11, nullptr},
        {false, 11, TRUE, 11, "Hello world"},
        {false, 0, TRUE, nameLength, nullptr},
        {false, nameLength, TRUE, nameLength, name},
        {false, 0, TRUE, nameLength, nullptr},
        {false, nameLength, TRUE, nameLength, name},
        {false, 0, FALSE, 0, nullptr},
        {false, 5, FALSE, 5, nullptr},
    });

    // A new query starts over; a short *size cuts the caption and still
    // takes it from the list, and a longer one leaves the rest cleared.
    RunSequence(anchor.className(), {
        {true, 5, TRUE, 5, "Hello"},
        {false, 40, TRUE, 40, name},
        {false, 40, TRUE, 40, name},
        {false, 40, FALSE, 40, nullptr},
    });
}

TEST_F(CaptionQueries, QueryEndsWhenTheAnchorWindowCloses)
{
    AnchorProcess anchor({"window:Left behind", "none"});
    ASSERT_TRUE(anchor.WaitUntilReady());
    RunSequence(anchor.className(), {{true, 0, TRUE, 11, nullptr}});
    ASSERT_TRUE(anchor.Close());
    RunSequence(anchor.className(), {{false, 0, FALSE, 0, nullptr}, {false, 10, FALSE, 10, nullptr}});

    // Another window of the same class is not the anchor of the query.
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = anchor.className().c_str();
    ASSERT_TRUE(RegisterClassA(&windowClass));
    HWND other = CreateWindowExA(0, windowClass.lpszClassName, "Other", WS_OVERLAPPEDWINDOW, 0, 0,
                                 100, 100, nullptr, nullptr, windowClass.hInstance, nullptr);
    ASSERT_TRUE(other);
    RunSequence(anchor.className(), {{false, 10, FALSE, 10, nullptr}});
    DestroyWindow(other);
    UnregisterClassA(windowClass.lpszClassName, windowClass.hInstance);
}

TEST_F(CaptionQueries, WindowWithoutChildProcessesGivesFalse)
{
    // The test program's own window: its process has started no program.
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "PellowChildlessAnchor";
    ASSERT_TRUE(RegisterClassA(&windowClass));
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "Childless",
                                  WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100, nullptr,
                                  nullptr, windowClass.hInstance, nullptr);
    ASSERT_TRUE(window);
    RunSequence(windowClass.lpszClassName, {{true, 0, FALSE, 0, nullptr}, {false, 0, FALSE, 0, nullptr}});
    DestroyWindow(window);
    UnregisterClassA(windowClass.lpszClassName, windowClass.hInstance);
}

}  // namespace
