// The key marks as the user sees them: a picture of the strip below the track, taken after
// keys, the maximum or the edited field changed.
#include <gtest/gtest.h>

#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
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
        std::vector<int> grey_at, red_at;
        for (int x = 1; x <= 705; ++x) {  // the arrow lies further right
            if (is(x, 2, grey)) grey_at.push_back(x);
            // A red tick is three pixels wide and taller than a grey one; its middle is the mark.
            if (is(x - 1, 6, red) && is(x, 6, red) && is(x + 1, 6, red)) red_at.push_back(x);
        }
        EXPECT_EQ(c.grey, grey_at);
        EXPECT_EQ(c.red, red_at);
        EXPECT_EQ(c.arrow == kGrey, is(710, 3, grey));
        EXPECT_EQ(c.arrow == kRed, is(710, 3, red));
    }
}

}  // namespace
}  // namespace warpkit
