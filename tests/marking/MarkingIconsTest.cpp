#include "tests/marking/MarkingFixture.h"

#include "common/AtlException.h"
#include "common/IconComposer.h"

#include <algorithm>

namespace {

const DWORD kBlue = 0x000000FF, kRed = 0x00FF0000, kYellow = 0x00FFFF00;

bool IconAlive(HICON icon)
{
    ICONINFO info;
    if (!GetIconInfo(icon, &info))
        return false;
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return true;
}

// A window whose thread does nothing until RELEASE is set.
struct HungThread {
    HWND window = nullptr;
    HANDLE ready = nullptr;
    HANDLE release = nullptr;

    static DWORD WINAPI Run(void* parameter)
    {
        HungThread* state = (HungThread*)parameter;
        state->window = CreateWindowExA(0, "STATIC", "Hung", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr,
                                        nullptr, nullptr);
        SetEvent(state->ready);
        WaitForSingleObject(state->release, 10000);  // no messages meanwhile
        DestroyWindow(state->window);
        return 0;
    }
};

// Counts, by icon, the calls of DestroyIcon that go through this program's
// import table (the tracker's among them), and passes them on.
class DestroyIconCounter {
public:
    DestroyIconCounter() : slot_(FindImport())
    {
        Calls().clear();
        if (slot_)
            Patch(reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&Counting)));
    }
    ~DestroyIconCounter()
    {
        if (slot_)
            Patch(Real());
    }
    DestroyIconCounter(const DestroyIconCounter&) = delete;
    DestroyIconCounter& operator=(const DestroyIconCounter&) = delete;

    bool Active() const { return slot_ != nullptr; }
    static int Count(HICON icon) { return (int)std::count(Calls().begin(), Calls().end(), icon); }

private:
    static FARPROC Real() { return GetProcAddress(GetModuleHandleA("user32.dll"), "DestroyIcon"); }
    static std::vector<HICON>& Calls()
    {
        static std::vector<HICON> calls;
        return calls;
    }
    static BOOL WINAPI Counting(HICON icon)
    {
        Calls().push_back(icon);
        return reinterpret_cast<BOOL(WINAPI*)(HICON)>(reinterpret_cast<void (*)()>(Real()))(icon);
    }
    static FARPROC* FindImport()
    {
        BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
        auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
             imports.VirtualAddress && entry->Name; ++entry)
            for (auto* thunk = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk); thunk->u1.Function;
                 ++thunk)
                if (thunk->u1.Function == reinterpret_cast<ULONG_PTR>(Real()))
                    return reinterpret_cast<FARPROC*>(&thunk->u1.Function);
        return nullptr;
    }
    void Patch(FARPROC function)
    {
        DWORD old = 0;
        VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &old);
        *slot_ = function;
        VirtualProtect(slot_, sizeof *slot_, old, &old);
    }

    FARPROC* slot_;
};

size_t CountRecords(const std::vector<std::string>& records, const std::string& record)
{
    return (size_t)std::count(records.begin(), records.end(), record);
}

}  // namespace

using MarkingIcons = MarkingFixture;

TEST_F(MarkingIcons, BothIconsAreReplacedByCompositionsWithTheBadge)
{
    unique_hicon big(MakeSolidIcon(32, kBlue));
    unique_hicon small(MakeSolidIcon(16, kRed));
    HWND window = CreateWindowWithIcons(big.get(), small.get());
    ASSERT_TRUE(window && big && small);
    size_t index = Track(window);

    MarkIcons(window, index);

    HICON newBig = WindowIcon(window, ICON_BIG), newSmall = WindowIcon(window, ICON_SMALL);
    EXPECT_NE(big.get(), newBig);
    EXPECT_NE(small.get(), newSmall);
    EXPECT_NE(newBig, newSmall);
    EXPECT_EQ(newBig, g_tracker.bigIcons[index]);
    EXPECT_EQ(newSmall, g_tracker.smallIcons[index]);
    EXPECT_EQ(0, BadgeMismatches(newBig, big.get(), g_launcher.overlayBigIcon));
    EXPECT_EQ(0, BadgeMismatches(newSmall, small.get(), g_launcher.overlaySmallIcon));
    // The window's own icons stay the browser's: marking never destroys them.
    EXPECT_TRUE(IconAlive(big.get()));
    EXPECT_TRUE(IconAlive(small.get()));

    const std::vector<std::string> expected = {BeginRecord(window, index), "MODIFY BIG ICON", "MODIFY SMALL ICON"};
    EXPECT_EQ(expected, LogRecords());
}

TEST_F(MarkingIcons, RepeatedIconReportsComposeNothingNew)
{
    unique_hicon big(MakeSolidIcon(32, kBlue));
    unique_hicon small(MakeSolidIcon(16, kRed));
    HWND window = CreateWindowWithIcons(big.get(), small.get());
    ASSERT_TRUE(window && big && small);
    size_t index = Track(window);
    MarkIcons(window, index);
    HICON markedBig = WindowIcon(window, ICON_BIG), markedSmall = WindowIcon(window, ICON_SMALL);

    for (int i = 0; i < 3; ++i)
        OnIconEvent(window);

    EXPECT_EQ(markedBig, WindowIcon(window, ICON_BIG));
    EXPECT_EQ(markedSmall, WindowIcon(window, ICON_SMALL));
    EXPECT_EQ(markedBig, g_tracker.bigIcons[index]);
    EXPECT_EQ(markedSmall, g_tracker.smallIcons[index]);
    EXPECT_TRUE(IconAlive(markedBig));
    EXPECT_TRUE(IconAlive(markedSmall));
    const std::vector<std::string> records = LogRecords();
    EXPECT_EQ(6u, records.size());
    EXPECT_EQ(4u, CountRecords(records, BeginRecord(window, index)));
    EXPECT_EQ(1u, CountRecords(records, "MODIFY BIG ICON"));
    EXPECT_EQ(1u, CountRecords(records, "MODIFY SMALL ICON"));
}

TEST_F(MarkingIcons, WindowWithOnlyABigIconGetsOneCompositionForBothSizes)
{
    unique_hicon big(MakeSolidIcon(32, kBlue));
    HWND window = CreateWindowWithIcons(big.get(), nullptr);
    ASSERT_TRUE(window && big);
    size_t index = Track(window);

    MarkIcons(window, index);

    HICON composed = WindowIcon(window, ICON_BIG);
    EXPECT_NE(big.get(), composed);
    EXPECT_EQ(composed, WindowIcon(window, ICON_SMALL));
    EXPECT_EQ(composed, g_tracker.bigIcons[index]);
    EXPECT_EQ(composed, g_tracker.smallIcons[index]);
    EXPECT_EQ(0, BadgeMismatches(composed, big.get(), g_launcher.overlayBigIcon));

    // The browser then sets a big icon of its own: the composition still
    // shown as the small icon must survive the new big one.
    unique_hicon newBig(MakeSolidIcon(32, kYellow));
    SendMessageA(window, WM_SETICON, ICON_BIG, (LPARAM)newBig.get());
    OnIconEvent(window);
    HICON recomposed = WindowIcon(window, ICON_BIG);
    EXPECT_NE(composed, recomposed);
    EXPECT_EQ(recomposed, g_tracker.bigIcons[index]);
    EXPECT_EQ(composed, WindowIcon(window, ICON_SMALL));
    EXPECT_EQ(composed, g_tracker.smallIcons[index]);
    EXPECT_TRUE(IconAlive(composed));
    EXPECT_EQ(0, BadgeMismatches(recomposed, newBig.get(), g_launcher.overlayBigIcon));
}

// A window with one icon carries one composition in both slots: however
// its entry goes, the composition is destroyed once.
TEST_F(MarkingIcons, ACompositionInBothSlotsIsDestroyedOnce)
{
    static const struct {
        const char* name;
        void (*remove)(HWND window);
    } cases[] = {
        {"the window reports its end", [](HWND window) {
             DestroyWindow(window);
             OnWindowDestroyed(window);
         }},
        {"the instance shuts down", [](HWND) { UnhookAll(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        unique_hicon big(MakeSolidIcon(32, kBlue));
        HWND window = CreateWindowWithIcons(big.get(), nullptr);
        ASSERT_TRUE(window && big);
        size_t index = Track(window);
        MarkIcons(window, index);
        HICON composed = g_tracker.bigIcons[index];
        ASSERT_NE(nullptr, composed);
        ASSERT_EQ(composed, g_tracker.smallIcons[index]);
        DestroyIconCounter counter;
        ASSERT_TRUE(counter.Active());
        c.remove(window);
        EXPECT_TRUE(g_tracker.hookIds.empty());
        EXPECT_EQ(1, DestroyIconCounter::Count(composed));
    }
}

TEST_F(MarkingIcons, NewBrowserIconReplacesTheCompositionAndTheOldOneIsDestroyed)
{
    unique_hicon big(MakeSolidIcon(32, kBlue));
    unique_hicon small(MakeSolidIcon(16, kRed));
    unique_hicon otherSmall(MakeSolidIcon(16, kYellow));
    HWND window = CreateWindowWithIcons(big.get(), small.get());
    ASSERT_TRUE(window && big && small && otherSmall);
    size_t index = Track(window);
    MarkIcons(window, index);
    HICON firstBig = g_tracker.bigIcons[index], firstSmall = g_tracker.smallIcons[index];

    SendMessageA(window, WM_SETICON, ICON_SMALL, (LPARAM)otherSmall.get());
    OnIconEvent(window);

    HICON secondSmall = WindowIcon(window, ICON_SMALL);
    EXPECT_NE(firstSmall, secondSmall);
    EXPECT_EQ(secondSmall, g_tracker.smallIcons[index]);
    EXPECT_FALSE(IconAlive(firstSmall));
    EXPECT_EQ(firstBig, WindowIcon(window, ICON_BIG));
    EXPECT_EQ(firstBig, g_tracker.bigIcons[index]);
    EXPECT_TRUE(IconAlive(firstBig));
    EXPECT_EQ(0, BadgeMismatches(secondSmall, otherSmall.get(), g_launcher.overlaySmallIcon));
}

// A monochrome icon cannot be composed on a 32-bit screen: it stays as the
// browser set it, and the slot keeps a composition that is still alive, so
// that removing the entry later destroys a live icon and nothing else.
TEST_F(MarkingIcons, IconThatCannotBeComposedStaysUnmarked)
{
    if (ScreenBitsPerPixel() != 32)
        GTEST_SKIP() << "needs a 32-bit screen";
    unique_hicon big(MakeSolidIcon(32, kBlue));
    unique_hicon monochrome(MakeMonochromeTestIcon(32, 32));
    HWND window = CreateWindowWithIcons(big.get(), nullptr);
    ASSERT_TRUE(window && big && monochrome);
    size_t index = Track(window);
    MarkIcons(window, index);
    HICON composed = g_tracker.bigIcons[index];
    ASSERT_TRUE(composed);

    SendMessageA(window, WM_SETICON, ICON_BIG, (LPARAM)monochrome.get());
    OnIconEvent(window);

    EXPECT_EQ(monochrome.get(), WindowIcon(window, ICON_BIG));
    EXPECT_EQ(composed, g_tracker.bigIcons[index]);
    EXPECT_TRUE(IconAlive(composed));
    const std::vector<std::string> records = LogRecords();
    EXPECT_EQ(2u, CountRecords(records, "MODIFY BIG ICON"));
}

TEST_F(MarkingIcons, WindowWithoutIconsGetsTheExecutablesFirstIconAndTheExtractedOnesGo)
{
    HWND window = CreateTestWindow("News");
    ASSERT_TRUE(window);
    size_t index = Track(window);
    ASSERT_EQ(nullptr, QueryWindowIcon(window, ICON_BIG));
    ASSERT_EQ(nullptr, QueryWindowIcon(window, ICON_SMALL));
    // Rounds of one composition settle what the system caches on first use.
    {
        HICON big = nullptr, small = nullptr;
        ASSERT_GE(ExtractProcessIcons(window, &big, &small, 0), 1u);
        ASSERT_TRUE(big && small);
        DestroyIcon(ComposeOverlayIcon(big, g_launcher.overlayBigIcon, nullptr));
        DestroyIcon(big);
        DestroyIcon(small);
    }
    const GuiObjectCounts before = CountGuiObjects();

    MarkIcons(window, index);

    HICON composedBig = WindowIcon(window, ICON_BIG), composedSmall = WindowIcon(window, ICON_SMALL);
    ASSERT_TRUE(composedBig && composedSmall);
    EXPECT_EQ(composedBig, g_tracker.bigIcons[index]);
    EXPECT_EQ(composedSmall, g_tracker.smallIcons[index]);
    // Two compositions stay; the two extracted icons are gone again.
    EXPECT_EQ(before.user + 2, CountGuiObjects().user);

    char path[MAX_PATH];
    ASSERT_TRUE(GetModuleFileNameA(nullptr, path, MAX_PATH));
    HICON big = nullptr, small = nullptr;
    ASSERT_EQ(2u, ExtractIconExA(path, 0, &big, &small, 1));
    unique_hicon firstBig(big), firstSmall(small);
    EXPECT_EQ(0, BadgeMismatches(composedBig, firstBig.get(), g_launcher.overlayBigIcon));
    EXPECT_EQ(0, BadgeMismatches(composedSmall, firstSmall.get(), g_launcher.overlaySmallIcon));
}

TEST_F(MarkingIcons, GoneWindowsAndBadIndexesChangeNothing)
{
    HWND window = CreateTestWindow("News");
    ASSERT_TRUE(window);
    unique_hicon big(MakeSolidIcon(32, kBlue));
    SendMessageA(window, WM_SETICON, ICON_BIG, (LPARAM)big.get());
    size_t index = Track(window);

    // An index beyond the lists is the program's invalid-argument error.
    try {
        MarkIcons(window, index + 1);
        ADD_FAILURE() << "no exception";
    } catch (const CAtlException& error) {
        EXPECT_EQ(E_INVALIDARG, error.m_hr);
    }
    EXPECT_EQ(big.get(), WindowIcon(window, ICON_BIG));

    ASSERT_TRUE(DestroyWindow(window));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, QueryWindowIcon(window, ICON_BIG));
    MarkIcons(window, index);
    OnIconEvent(window);
    EXPECT_EQ(nullptr, g_tracker.bigIcons[index]);
    EXPECT_EQ(nullptr, g_tracker.smallIcons[index]);
    EXPECT_EQ(std::vector<std::string>{BeginRecord(window, index + 1)}, LogRecords());
}

// A window whose thread does not answer: WM_GETICON gives up after a second
// at most and the icon counts as missing.
TEST_F(MarkingIcons, HungWindowAnswersNoIcon)
{
    unique_handle ready(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    unique_handle release(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(ready && release);
    HungThread hung;
    hung.ready = ready.get();
    hung.release = release.get();
    unique_handle worker(CreateThread(nullptr, 0, HungThread::Run, &hung, 0, nullptr));
    ASSERT_TRUE(worker);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready.get(), 5000));
    ASSERT_TRUE(hung.window);

    DWORD start = GetTickCount();
    EXPECT_EQ(nullptr, QueryWindowIcon(hung.window, ICON_BIG));
    EXPECT_LT(GetTickCount() - start, 3000u);

    SetEvent(release.get());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(worker.get(), 5000));
}

TEST_F(MarkingIcons, HundredIconChangesLeaveNoGdiOrUserObjectsBehind)
{
    unique_hicon icons[2] = {unique_hicon(MakeSolidIcon(32, kBlue)), unique_hicon(MakeSolidIcon(32, kYellow))};
    unique_hicon smallIcons[2] = {unique_hicon(MakeSolidIcon(16, kRed)), unique_hicon(MakeSolidIcon(16, kBlue))};
    HWND window = CreateTestWindow("News");
    ASSERT_TRUE(window);
    size_t index = Track(window);
    auto change = [&](int round) {
        SendMessageA(window, WM_SETICON, ICON_BIG, (LPARAM)icons[round % 2].get());
        SendMessageA(window, WM_SETICON, ICON_SMALL, (LPARAM)smallIcons[round % 2].get());
        OnIconEvent(window);
    };
    change(0);
    change(1);
    const GuiObjectCounts before = CountGuiObjects();
    for (int round = 0; round < 100; ++round)
        change(round);
    const GuiObjectCounts after = CountGuiObjects();
    EXPECT_EQ(before.gdi, after.gdi);
    EXPECT_EQ(before.user, after.user);
    EXPECT_TRUE(IconAlive(g_tracker.bigIcons[index]));
    EXPECT_TRUE(IconAlive(g_tracker.smallIcons[index]));
}
