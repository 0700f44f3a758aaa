#include "ui/ProgressAnimation.h"

#include "tests/ui/OffScreenCanvas.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/resource.h"

namespace {

DWORD g_now = 0;
DWORD WINAPI FakeClock() { return g_now; }

class ProgressAnimationTest : public testing::Test {
protected:
    void SetUp() override
    {
        g_now = 100000;
        strip_.reset(LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_STARTUP_STRIP)));
        ASSERT_TRUE(strip_);
        animation_.SetClock(&FakeClock);
    }
    void TearDown() override { animation_.Stop(); }

    void StartAt(DWORD duration)
    {
        ASSERT_TRUE(animation_.Start(window_.get(), 17, 296, strip_.get(), 7, duration, RGB(255, 255, 255)));
        ValidateRect(window_.get(), nullptr);
    }
    void TickAt(DWORD offset)
    {
        g_now = 100000 + offset;
        animation_.Tick();
    }
    std::vector<RecordedMessage> Done(int count)
    {
        return std::vector<RecordedMessage>(count, RecordedMessage{window_.get(), WM_USER + 1, 0, 0});
    }

    RecordingWindow window_{482, 362};
    unique_hbitmap strip_;
    ProgressAnimation animation_;
};

// 5 s over the 445 pixels of the strip: 89 pixels a second from the initial
// 1, full after 5 s, and the end reported from the first tick after the
// elapsed time has passed 5000 ms, then on every tick until stopped.
TEST_F(ProgressAnimationTest, RevealsEvenlyAndReportsTheEndOnEveryLaterTick)
{
    StartAt(5000);
    struct { DWORD at; double shown; DWORD elapsed; int ends; } ticks[] = {
        {1000, 90.0, 1000, 0},  {2000, 179.0, 2000, 0}, {3000, 268.0, 3000, 0}, {4000, 357.0, 4000, 0},
        {5000, 445.0, 5000, 0}, {6000, 445.0, 6000, 0}, {7000, 445.0, 6000, 1}, {8000, 445.0, 6000, 2},
    };
    for (const auto& tick : ticks) {
        SCOPED_TRACE(tick.at);
        TickAt(tick.at);
        EXPECT_DOUBLE_EQ(tick.shown, animation_.ShownWidth());
        EXPECT_EQ(tick.elapsed, animation_.Elapsed());
        EXPECT_EQ(Done(tick.ends), window_.messages);
    }
}

TEST_F(ProgressAnimationTest, TicksWithinOneClockStepChangeNothing)
{
    StartAt(5000);
    TickAt(1000);
    ValidateRect(window_.get(), nullptr);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        TickAt(1000);
        EXPECT_DOUBLE_EQ(90.0, animation_.ShownWidth());
        EXPECT_EQ(1000u, animation_.Elapsed());
        RECT update = {-1, -1, -1, -1};
        EXPECT_FALSE(GetUpdateRect(window_.get(), &update, FALSE));
    }
    EXPECT_TRUE(window_.messages.empty());
}

// Time that passes while paused is not counted: three paused seconds put the
// end three seconds later (from 7 s to 10 s).
TEST_F(ProgressAnimationTest, PausedTimeDelaysTheEnd)
{
    StartAt(5000);
    TickAt(1000);
    animation_.Pause(true);
    for (DWORD at : {2000u, 3000u, 4000u})
        TickAt(at);
    EXPECT_DOUBLE_EQ(90.0, animation_.ShownWidth());
    EXPECT_EQ(1000u, animation_.Elapsed());
    animation_.Pause(false);
    for (DWORD at = 5000; at <= 9000; at += 1000)
        TickAt(at);
    EXPECT_TRUE(window_.messages.empty());
    TickAt(10000);
    EXPECT_EQ(Done(1), window_.messages);
}

TEST_F(ProgressAnimationTest, InvalidatesOnlyTheRevealedPart)
{
    StartAt(5000);
    TickAt(1000);
    RECT update = {};
    ASSERT_TRUE(GetUpdateRect(window_.get(), &update, FALSE));
    EXPECT_EQ(17, update.left);
    EXPECT_EQ(296, update.top);
    EXPECT_EQ(17 + 90, update.right);
    EXPECT_EQ(296 + 16, update.bottom);
}

// No duration: the first tick fills the strip, the second reports the end.
TEST_F(ProgressAnimationTest, ZeroDurationEndsOnTheSecondTick)
{
    StartAt(0);
    TickAt(15);
    EXPECT_DOUBLE_EQ(445.0, animation_.ShownWidth());
    EXPECT_TRUE(window_.messages.empty());
    TickAt(31);
    EXPECT_EQ(Done(1), window_.messages);
}

TEST_F(ProgressAnimationTest, TimerRunsFromStartUntilStop)
{
    StartAt(5000);
    MSG message = {};
    DWORD start = GetTickCount();
    bool timer = false;
    while (!timer && GetTickCount() - start < 2000)
        timer = PeekMessageA(&message, window_.get(), WM_TIMER, WM_TIMER, PM_REMOVE) && message.wParam == 7;
    EXPECT_TRUE(timer);
    animation_.Stop();
    Sleep(50);
    EXPECT_FALSE(PeekMessageA(&message, window_.get(), WM_TIMER, WM_TIMER, PM_REMOVE));
}

// Only the revealed left part is drawn, and the strip's white corners stay
// transparent.
TEST_F(ProgressAnimationTest, DrawsTheRevealedPartOnly)
{
    StartAt(5000);
    TickAt(1000);
    OffScreenCanvas canvas(482, 362);
    RECT all = {0, 0, 482, 362};
    unique_hbrush fill(CreateSolidBrush(RGB(10, 20, 30)));
    FillRect(canvas.get(), &all, fill.get());
    // Read back: a 16-bit screen rounds the colour.
    const COLORREF kBackground = GetPixel(canvas.get(), 0, 0);
    animation_.Draw(canvas.get());
    EXPECT_NE(kBackground, GetPixel(canvas.get(), 17 + 45, 296 + 8));
    EXPECT_NE(kBackground, GetPixel(canvas.get(), 17 + 89, 296 + 8));
    EXPECT_EQ(kBackground, GetPixel(canvas.get(), 17 + 90, 296 + 8));
    EXPECT_EQ(kBackground, GetPixel(canvas.get(), 17, 296));   // rounded corner
}

} // namespace
