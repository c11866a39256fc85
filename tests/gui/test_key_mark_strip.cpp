// The key marks as the user sees them: a picture of the strip below the track, taken after
// keys, the maximum or the edited field changed, and the tooltip over a tick.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolTip>
#include <functional>
#include <vector>

#include "controls/key_mark_strip.h"
#include "controls/push_panel.h"
#include "support/form1_fixture.h"

namespace warpkit {
namespace {

using testing::Form1Fixture;
using testing::moved_grid;

TEST(KeyMarkStrip, shows_a_tick_under_the_knob_for_every_keyed_frame) {
    enum Arrow { kNone, kGrey, kRed };
    struct Case {
        const char* name;
        int32_t max_frame;
        std::vector<int32_t> keys1, keys2;
        int focused;  // weight field with the focus, 0 for none
        std::vector<int> grey, red;
        Arrow arrow;
    };
    const Case cases[] = {
        {"keys of two targets", 100, {0, 50}, {0, 100}, 0, {4, 354, 704}, {}, kNone},
        {"the edited target's in red", 100, {0, 50}, {0, 100}, 2, {354}, {4, 704}, kNone},
        {"keys past the maximum", 40, {0, 20, 60}, {0}, 2, {354}, {4}, kGrey},
        {"the edited target's past the maximum", 40, {0, 20, 60}, {0}, 1, {}, {4, 354}, kRed},
        {"the longest timeline", 2147483647, {0, 2147483647}, {0}, 0, {4, 704}, {}, kNone},
        {"a key made by its button", 100, {0}, {0}, -2, {4, 179}, {}, kNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Form1Fixture f;
        f.load_source(f.write_object("s.qxm", testing::make_grid_object("s", 2, 2)));
        f.load_target(1, f.write_object("a.qxm", moved_grid("a", 2, 2, 1.0f)));
        f.load_target(2, f.write_object("b.qxm", moved_grid("b", 2, 2, 2.0f)));
        f.state.slots[1].keys = {c.keys1, std::vector<float>(c.keys1.size(), 10.0f)};
        f.state.slots[2].keys = {c.keys2, std::vector<float>(c.keys2.size(), 20.0f)};
        f.form->refresh_key_marks();  // the keys were set behind the window's back
        // The maximum as the frame dialog sets it, which redraws the marks.
        f.dialogs.frame_answers.push_back(
            [&](FrameDialogMode) { f.state.max_frame = c.max_frame; });
        QTest::mouseClick(f.form->FrameSlide, Qt::RightButton);
        f.form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(f.form.get()));
        if (c.focused > 0) f.form->weight_fields[c.focused]->setFocus();
        if (c.focused < 0) {  // at frame 25, a key of that target
            f.state.current_frame = 25;
            f.form->scroll_go(0, 0);
            QTest::mouseClick(f.form->key_buttons[-c.focused], Qt::LeftButton);
        }

        const QRect strip = f.form->KeyMarks->geometry().translated(f.form->client->pos());
        const QImage picture = f.form->grab(strip).toImage();
        const auto is = [&](int x, int y, const QColor& colour) {
            return picture.pixelColor(x, y) == colour;
        };
        const QColor grey = KeyMarkStrip::tick_colour(), red = KeyMarkStrip::current_colour();
        // Dark on the window's face: far darker than the strip where no tick is.
        EXPECT_GT(picture.pixelColor(790, 4).lightness() - grey.lightness(), 150);
        // A dark tick found by its left column: 2 pixels wide and 6 tall (rows 1..6) from
        // there; a red one 4 wide from one pixel further left, and the strip's full 9 tall.
        const auto block = [&](int left, int top, int width, int height, const QColor& colour) {
            for (int x = left; x < left + width; ++x)
                for (int y = top; y < top + height; ++y)
                    if (!is(x, y, colour)) return false;
            return !is(left - 1, top, colour) && !is(left + width, top, colour);
        };
        ASSERT_EQ(9, picture.height());
        std::vector<int> grey_at, red_at;
        for (int x = 1; x <= 705; ++x) {  // the arrow lies further right
            if (block(x, 1, 2, 6, grey) && !is(x, 0, grey) && !is(x, 7, grey)) grey_at.push_back(x);
            if (block(x - 1, 0, 4, 9, red)) red_at.push_back(x);
        }
        EXPECT_EQ(c.grey, grey_at);
        EXPECT_EQ(c.red, red_at);
        EXPECT_EQ(c.arrow == kGrey, is(710, 3, grey));
        EXPECT_EQ(c.arrow == kRed, is(710, 3, red));
    }
}

TEST(KeyMarkStrip, a_tick_tells_its_frames_and_targets_in_the_windows_language) {
    struct Case {
        const char* name;
        int32_t language, max_frame;
        int hover_x;
        const char* tip;  // empty: no tick there
    };
    const Case cases[] = {
        {"two targets, English", 0, 100, 355,
         "Keys at frame 50:\nTarget Object 1: a\nTarget Object 2: b"},
        {"two targets, Japanese", 1, 100, 353,
         "フレーム 50 のキー：\nTarget Object 1: a\nTarget Object 2: b"},
        {"one target", 2, 100, 705, "Keys at frame 100:\nTarget Object 2: b"},
        {"many frames in one pixel", 0, 2147483647, 4,
         "Keys at frames 0 to 1000:\nTarget Object 1: a\nTarget Object 2: b"},
        {"beside a tick", 0, 100, 357, ""},
        {"between ticks", 0, 100, 200, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Form1Fixture f;
        f.load_source(f.write_object("s.qxm", testing::make_grid_object("s", 2, 2)));
        f.load_target(1, f.write_object("a.qxm", moved_grid("a", 2, 2, 1.0f)));
        f.load_target(2, f.write_object("b.qxm", moved_grid("b", 2, 2, 2.0f)));
        f.state.UiLanguage = c.language;
        f.state.max_frame = c.max_frame;
        f.state.slots[1].keys = {{0, 50, 1000}, {1.0f, 2.0f, 3.0f}};
        f.state.slots[2].keys = {{0, 50, 100}, {1.0f, 2.0f, 3.0f}};
        f.form->refresh_key_marks();

        KeyMarkStrip* strip = f.form->KeyMarks;
        EXPECT_EQ(*c.tip != 0, strip->tick_at(c.hover_x) != nullptr);
        if (*c.tip == 0) continue;
        const QPoint at(c.hover_x, 3);
        QHelpEvent help(QEvent::ToolTip, at, strip->mapToGlobal(at));
        QApplication::sendEvent(strip, &help);
        EXPECT_EQ(QString::fromUtf8(c.tip), QToolTip::text());
    }
}

}  // namespace
}  // namespace warpkit
