#include "ui/HyperLink.h"
#include "ui/HyperLinkText.h"

#include "tests/ui/OffScreenCanvas.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/resource.h"

#include <commctrl.h>

namespace {

const char kTarget[] = "http://www.orvane.com/quillet/";
constexpr int kLinkId = 1039;

// A parent window with one static control that a HyperLink is attached to.
class HyperLinkTest : public testing::Test {
protected:
    HWND MakeStatic(const char* text, DWORD style = SS_LEFT)
    {
        control_ = CreateWindowExA(0, "STATIC", text, WS_CHILD | WS_VISIBLE | style, 10, 10, 300, 40,
                                   parent_.get(), reinterpret_cast<HMENU>(kLinkId), GetModuleHandleA(nullptr),
                                   nullptr);
        return control_;
    }
    void Attach(DWORD extendedStyle, const char* target = kTarget)
    {
        link_.SetHyperLink(target);
        link_.SetExtendedStyle(extendedStyle);
        ASSERT_TRUE(link_.SubclassWindow(control_));
    }
    void Click(int x, int y)
    {
        SendMessageA(control_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        SendMessageA(control_, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    }
    RecordedMessage CommandReport() const
    {
        return {parent_.get(), WM_COMMAND, MAKEWPARAM(kLinkId, 0), reinterpret_cast<LPARAM>(control_)};
    }
    RecordedMessage NotifyReport() const
    {
        return {control_, WM_NOTIFY, static_cast<WPARAM>(NM_CLICK), kLinkId};
    }
    void TearDown() override { link_.Reset(); }

    RecordingWindow parent_;
    HWND control_ = nullptr;
    HyperLink link_;
};

TEST(HyperLinkColourTest, ParsesThreeNumbersSeparatedByCommas)
{
    const COLORREF kUnchanged = RGB(1, 2, 3);
    struct { const char* text; bool parsed; COLORREF colour; } cases[] = {
        {"0,0,255", true, RGB(0, 0, 255)},
        {"128,0,128", true, RGB(128, 0, 128)},
        {"300,256,1", true, RGB(44, 0, 1)},      // each number is cut to 8 bits
        {"10,20,30,40", true, RGB(10, 20, 30)},
        {"12,34", false, kUnchanged},
        {"12,34,", false, kUnchanged},
        {"12;34;56", false, kUnchanged},
        {",1,2", false, kUnchanged},
        {"", false, kUnchanged},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        COLORREF colour = kUnchanged;
        EXPECT_EQ(c.parsed, HyperLink::ParseColour(c.text, colour));
        EXPECT_EQ(c.colour, colour);
    }
}

// The browser's own anchor colours, as the user set them, replace the
// built-in ones; a malformed value leaves its colour alone.
TEST_F(HyperLinkTest, TakesTheBrowsersAnchorColours)
{
    const char kKey[] = "Software\\Microsoft\\Internet Explorer\\Settings";
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &key, &disposition));
    struct Saved { const char* name; std::string value; bool existed; } saved[] = {
        {"Anchor Color", "", false}, {"Anchor Color Visited", "", false}};
    for (auto& s : saved) {
        char value[64] = {};
        DWORD size = sizeof value;
        s.existed = RegQueryValueExA(key, s.name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS;
        s.value = value;
    }
    RegSetValueExA(key, "Anchor Color", 0, REG_SZ, reinterpret_cast<const BYTE*>("0,128,0"), 8);
    RegSetValueExA(key, "Anchor Color Visited", 0, REG_SZ, reinterpret_cast<const BYTE*>("12,34,"), 7);

    MakeStatic("notice");
    Attach(HyperLink::CommandButton);
    EXPECT_EQ(RGB(0, 128, 0), link_.LinkColour());
    EXPECT_EQ(HyperLink::kVisitedColour, link_.VisitedColour());

    for (auto& s : saved) {
        if (s.existed)
            RegSetValueExA(key, s.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(s.value.c_str()), s.value.size() + 1);
        else
            RegDeleteValueA(key, s.name);
    }
    RegCloseKey(key);
    if (disposition == REG_CREATED_NEW_KEY)
        RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
}

// Clicks, Enter and Space report in command mode as WM_COMMAND and in
// notification mode as NM_CLICK; other characters do nothing.
TEST_F(HyperLinkTest, ReportsClicksEnterAndSpaceInBothModes)
{
    MakeStatic("notice");
    struct { const char* name; DWORD style; } modes[] = {
        {"command", HyperLink::CommandButton},
        {"notification", HyperLink::CommandButton | HyperLink::NotifyButton},
    };
    for (const auto& mode : modes) {
        SCOPED_TRACE(mode.name);
        Attach(mode.style);
        parent_.messages.clear();
        const RECT label = link_.LabelRect();
        Click(label.left + 2, label.top + 2);
        SendMessageA(control_, WM_CHAR, VK_RETURN, 0);
        SendMessageA(control_, WM_CHAR, VK_SPACE, 0);
        SendMessageA(control_, WM_CHAR, 'a', 0);
        RecordedMessage report = mode.style & HyperLink::NotifyButton ? NotifyReport() : CommandReport();
        EXPECT_EQ(std::vector<RecordedMessage>(3, report), parent_.messages);
        EXPECT_EQ(DLGC_WANTCHARS, SendMessageA(control_, WM_GETDLGCODE, 0, 0));
        EXPECT_EQ(nullptr, GetCapture());
        link_.Reset();
    }
}

TEST_F(HyperLinkTest, AttachingMakesTheStaticNotifyAndAddsTheTooltip)
{
    MakeStatic("notice");
    WNDPROC original = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(control_, GWLP_WNDPROC));
    Attach(HyperLink::CommandButton);
    EXPECT_TRUE(GetWindowLongA(control_, GWL_STYLE) & SS_NOTIFY);
    ASSERT_NE(nullptr, link_.Tooltip());
    char className[32] = {};
    GetClassNameA(link_.Tooltip(), className, sizeof className);
    EXPECT_STREQ(TOOLTIPS_CLASSA, className);
    EXPECT_EQ(1, SendMessageA(link_.Tooltip(), TTM_GETTOOLCOUNT, 0, 0));
    char tip[128] = {};
    TOOLINFOA tool = {};
    tool.cbSize = TTTOOLINFOA_V1_SIZE;
    tool.hwnd = control_;
    tool.uId = 1;
    tool.lpszText = tip;
    SendMessageA(link_.Tooltip(), TTM_GETTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
    EXPECT_STREQ(kTarget, tip);
    EXPECT_STREQ("notice", link_.Label());

    EXPECT_EQ(control_, link_.UnsubclassWindow(false));
    EXPECT_EQ(original, reinterpret_cast<WNDPROC>(GetWindowLongPtrA(control_, GWLP_WNDPROC)));
}

// Somebody else subclassed the control after the link: only a forced
// detach takes the link's procedure out of the chain.
TEST_F(HyperLinkTest, UnforcedDetachLeavesAForeignProcedure)
{
    MakeStatic("notice");
    Attach(HyperLink::CommandButton);
    LONG_PTR linkProcedure = GetWindowLongPtrA(control_, GWLP_WNDPROC);
    SetWindowLongPtrA(control_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcA));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(nullptr, link_.UnsubclassWindow(false));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(&DefWindowProcA), GetWindowLongPtrA(control_, GWLP_WNDPROC));
    EXPECT_EQ(control_, link_.UnsubclassWindow(true));
    EXPECT_NE(linkProcedure, GetWindowLongPtrA(control_, GWLP_WNDPROC));
}

// Without markup the label rectangle is the text's extent in the link font,
// placed as the static's alignment says.
TEST_F(HyperLinkTest, LabelRectangleFollowsTheAlignment)
{
    struct { const char* name; DWORD style; } cases[] = {
        {"left", SS_LEFT}, {"centre", SS_CENTER}, {"right", SS_RIGHT}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MakeStatic("notice", c.style);
        Attach(HyperLink::CommandButton);
        HDC dc = GetDC(control_);
        SIZE text = {};
        HGDIOBJ old = SelectObject(dc, link_.LinkFont());
        GetTextExtentPoint32A(dc, "notice", 6, &text);
        SelectObject(dc, old);
        ReleaseDC(control_, dc);
        const RECT label = link_.LabelRect();
        int expectedLeft = c.style == SS_LEFT ? 0 : c.style == SS_CENTER ? (300 - text.cx) / 2 : 300 - text.cx;
        EXPECT_EQ(expectedLeft, label.left);
        EXPECT_EQ(expectedLeft + text.cx, label.right);
        EXPECT_EQ(0, label.top);
        link_.Reset();
        DestroyWindow(control_);
    }
}

// "<A>" ... "</A>": only the marked part is the link. It starts where the
// plain text before it ends and is as wide as the marked text in the link
// font; clicks on the plain text do nothing.
TEST_F(HyperLinkTest, MarkupMakesOnlyTheMarkedPartTheLink)
{
    MakeStatic("Read the <a>notice</A> now");
    Attach(HyperLink::CommandButton | HyperLink::UseMarkup);
    HDC dc = GetDC(control_);
    SIZE before = {}, marked = {};
    HGDIOBJ old = SelectObject(dc, link_.NormalFont());
    GetTextExtentPoint32A(dc, "Read the ", 9, &before);
    SelectObject(dc, link_.LinkFont());
    GetTextExtentPoint32A(dc, "notice", 6, &marked);
    SelectObject(dc, old);
    ReleaseDC(control_, dc);
    const RECT label = link_.LabelRect();
    EXPECT_EQ(before.cx, label.left);
    EXPECT_EQ(before.cx + marked.cx, label.right);

    Click(2, 2);
    Click(label.right + 4, label.top + 2);
    EXPECT_TRUE(parent_.messages.empty());
    Click(label.left + 2, label.top + 2);
    EXPECT_EQ(std::vector<RecordedMessage>{CommandReport()}, parent_.messages);
}

// Painted with markup, the link colour appears only inside the marked part.
TEST_F(HyperLinkTest, MarkupPaintsOnlyTheMarkedPartInTheLinkColour)
{
    MakeStatic("Plain <A>LINK</A> plain");
    Attach(HyperLink::CommandButton | HyperLink::UseMarkup);
    OffScreenCanvas canvas(300, 40);
    RECT all = {0, 0, 300, 40};
    FillRect(canvas.get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SendMessageA(control_, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.get()), PRF_CLIENT);
    const RECT label = link_.LabelRect();
    int linkPixels = 0, strayLinkPixels = 0, darkPlainPixels = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 300; ++x) {
            COLORREF pixel = GetPixel(canvas.get(), x, y);
            bool inLink = x >= label.left && x < label.right && y >= label.top && y < label.bottom;
            bool blueish = GetBValue(pixel) > 128 && GetRValue(pixel) < 100 && GetGValue(pixel) < 100;
            if (blueish)
                (inLink ? linkPixels : strayLinkPixels)++;
            if (!inLink && x < label.left && GetBValue(pixel) < 100)
                ++darkPlainPixels;
        }
    }
    EXPECT_GT(linkPixels, 10);
    EXPECT_EQ(0, strayLinkPixels);
    EXPECT_GT(darkPlainPixels, 10);
}

// A picture static keeps its own painting but is clickable all over.
TEST_F(HyperLinkTest, PictureStaticNavigatesButIsNotPaintedAsText)
{
    MakeStatic("", SS_BITMAP);
    unique_hbitmap picture(LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_SETTINGS_MAKER_MARK)));
    SendMessageA(control_, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture.get()));
    Attach(HyperLink::CommandButton);
    EXPECT_FALSE(link_.State() & HyperLink::PaintLabel);
    EXPECT_EQ(nullptr, link_.LinkFont());

    OffScreenCanvas canvas(62, 18);
    unique_hdc source;
    {
        unique_window_dc screen(nullptr);
        source.reset(CreateCompatibleDC(screen.get()));
    }
    SendMessageA(control_, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.get()), PRF_CLIENT);
    // The picture can be in one DC only: the static's own painting comes first.
    select_object_scope original(source.get(), picture.get());
    int same = 0;
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 62; ++x)
            same += GetPixel(canvas.get(), x, y) == GetPixel(source.get(), x, y);
    EXPECT_EQ(62 * 18, same);

    Click(30, 9);
    EXPECT_EQ(std::vector<RecordedMessage>{CommandReport()}, parent_.messages);
}

// Without command mode the shell opens the target; a target it cannot open
// gives FALSE and leaves the link unvisited.
TEST_F(HyperLinkTest, FailedShellOpenIsNotVisited)
{
    MakeStatic("notice");
    Attach(0, "C:\\no such folder\\no such file.quillet-test");
    EXPECT_FALSE(link_.Navigate());
    EXPECT_FALSE(link_.State() & HyperLink::Visited);
    EXPECT_TRUE(parent_.messages.empty());
}

TEST(LinkMarkupTest, SplitsAtTheFirstOpeningAndTheNextClosingTag)
{
    struct { const char* label; const char* before; const char* link; const char* after; } cases[] = {
        {"a <A>b</A> c", "a ", "b", " c"},
        {"<a>b</a>", "", "b", ""},
        {"a <A>b c", "a ", "b c", ""},
        {"a <A>b</A> <A>c</A>", "a ", "b", " <A>c</A>"},
        {"no tag", "no tag", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        LinkMarkup parts = SplitLinkMarkup(c.label);
        EXPECT_EQ(c.before, parts.before);
        EXPECT_EQ(c.link, parts.link);
        EXPECT_EQ(c.after, parts.after);
    }
}

} // namespace
