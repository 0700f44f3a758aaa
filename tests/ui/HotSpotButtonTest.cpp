#include "ui/HotSpotButton.h"

#include "tests/ui/UiTestSupport.h"

namespace {

TEST(HotSpotButtonTest, ShapeGivesTheRegion)
{
    RecordingWindow window;
    struct { int shape; BOOL result; bool region; bool centre; bool corner; } cases[] = {
        {HotSpotEllipse, TRUE, true, true, false},
        {HotSpotRectangle, TRUE, true, true, true},
        {HotSpotNoRegion, FALSE, false, false, false},
        {7, TRUE, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shape);
        HotSpotButton button;
        EXPECT_EQ(c.result, button.Create(window.get(), 1, 18, 32, 0, 0, 104, 104, c.shape));
        EXPECT_EQ(c.region, button.Region() != nullptr);
        EXPECT_EQ(c.centre, button.MouseMove(MAKELPARAM(70, 84)));
        EXPECT_EQ(c.corner, button.MouseMove(MAKELPARAM(19, 33)));
        if (c.region) {
            RECT box = {};
            GetRgnBox(button.Region(), &box);
            EXPECT_EQ(18, box.left);
            EXPECT_EQ(32, box.top);
            // An elliptic region may stop a pixel short of the right and bottom edges.
            EXPECT_NEAR(122, box.right, 1);
            EXPECT_NEAR(136, box.bottom, 1);
        }
    }
}

// Only a release inside after a press inside is a click, and it is sent once.
TEST(HotSpotButtonTest, ClickNeedsPressAndReleaseInside)
{
    const LPARAM inside = MAKELPARAM(70, 84), outside = MAKELPARAM(300, 84);
    struct Action { bool down; LPARAM point; };
    struct { const char* name; std::vector<Action> actions; int commands; } cases[] = {
        {"press and release inside", {{true, inside}, {false, inside}}, 1},
        {"release outside", {{true, inside}, {false, outside}}, 0},
        {"press outside", {{true, outside}, {false, inside}}, 0},
        {"release alone", {{false, inside}}, 0},
        {"second release", {{true, inside}, {false, inside}, {false, inside}}, 1},
        {"release outside, then inside", {{true, inside}, {false, outside}, {false, inside}}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingWindow window;
        HotSpotButton button;
        ASSERT_TRUE(button.Create(window.get(), 1046, 18, 32, 0, 0, 104, 104, HotSpotEllipse));
        for (const auto& action : c.actions) {
            if (action.down)
                EXPECT_EQ(action.point == inside, button.ButtonDown(action.point));
            else
                button.ButtonUp(action.point);
        }
        EXPECT_FALSE(button.Pressed());
        std::vector<RecordedMessage> expected(c.commands, RecordedMessage{window.get(), WM_COMMAND, 1046, 0});
        EXPECT_EQ(expected, window.messages);
    }
}

// Entering and leaving invalidate the area once each, and inside the
// pointer becomes the hand.
TEST(HotSpotButtonTest, HoverChangeInvalidatesTheArea)
{
    RecordingWindow window;
    HotSpotButton button;
    ASSERT_TRUE(button.Create(window.get(), 1, 18, 148, 0, 0, 104, 104, HotSpotEllipse));
    ValidateRect(window.get(), nullptr);
    EXPECT_TRUE(button.MouseMove(MAKELPARAM(70, 200)));
    EXPECT_EQ(LoadCursorA(nullptr, IDC_HAND), GetCursor());
    RECT update = {};
    ASSERT_TRUE(GetUpdateRect(window.get(), &update, FALSE));
    EXPECT_EQ(18, update.left);
    EXPECT_EQ(148, update.top);
    EXPECT_NEAR(122, update.right, 1);
    EXPECT_NEAR(252, update.bottom, 1);

    ValidateRect(window.get(), nullptr);
    EXPECT_TRUE(button.MouseMove(MAKELPARAM(71, 201)));
    EXPECT_FALSE(GetUpdateRect(window.get(), &update, FALSE));

    EXPECT_FALSE(button.MouseMove(MAKELPARAM(300, 10)));
    EXPECT_TRUE(GetUpdateRect(window.get(), &update, FALSE));
}

} // namespace
