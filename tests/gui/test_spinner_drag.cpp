// The weight spinners driven with real mouse events: steps by vertical offset, clamping, the
// hidden cursor pinned to the anchor, the pressed look and what the release does to keys.
#include <gtest/gtest.h>

#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include "app/spinner_drag.h"
#include "controls/push_panel.h"
#include "support/weight_fixture.h"

namespace warpkit {
namespace {

using testing::WeightFixture;

constexpr QPoint kCentre(DragSpinner::kWidth / 2, DragSpinner::kHeight / 2);
constexpr QPoint kImagePressed = DragSpinner::kImageRest + QPoint(1, 1);

class SpinnerDragTest : public ::testing::Test, public WeightFixture {
protected:
    void TearDown() override {
        // Leave no hidden cursor to the next test, whatever a failed check left behind.
        while (QGuiApplication::overrideCursor() != nullptr)
            QGuiApplication::restoreOverrideCursor();
    }

    DragSpinner* spinner(int n) { return f.form->spinner_panels[n]; }

    void press(int n, Qt::MouseButton button = Qt::LeftButton) {
        QCursor::setPos(spinner(n)->mapToGlobal(kCentre));
        QTest::mousePress(spinner(n), button, {}, kCentre);
    }
    // One mouse move with the cursor (dx, dy) away from the anchor; then the drag timer's
    // tick brings it back, as between any two moves of a real drag.
    void move(int n, int dx, int dy) {
        drift(n, dx, dy);
        f.form->timer_ivent();
    }
    // A move with no tick after it.
    void drift(int n, int dx, int dy) {
        QCursor::setPos(f.form->anchor + QPoint(dx, dy));
        QTest::mouseMove(spinner(n), kCentre + QPoint(dx, dy));
    }
    void release(int n, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseRelease(spinner(n), button, {}, kCentre);
    }

    ::testing::AssertionResult idle(int n) {
        if (QGuiApplication::overrideCursor() != nullptr)
            return ::testing::AssertionFailure() << "the cursor is still overridden";
        if (f.form->Timer1->isActive())
            return ::testing::AssertionFailure() << "the drag timer runs";
        if (f.state.drag_mode != 0 || f.state.spinner_active != 0)
            return ::testing::AssertionFailure() << "drag mode " << f.state.drag_mode
                                                 << ", spinner active " << f.state.spinner_active;
        if (spinner(n)->isLowered() || spinner(n)->image()->pos() != DragSpinner::kImageRest)
            return ::testing::AssertionFailure() << "spinner " << n << " still looks pressed";
        return ::testing::AssertionSuccess();
    }
};

TEST(SpinnerStep, changes_by_sign_and_tenths_of_the_offset_within_0_to_100) {
    struct Case {
        int value, dy, expected;
    };
    const Case cases[] = {
        {50, 0, 50},    {50, 1, 49},  {50, 9, 49},   {50, 10, 48},   {50, 25, 47},
        {50, -1, 51},   {50, -9, 51}, {50, -10, 52}, {50, -25, 53},  {98, -5, 99},
        {100, -5, 100}, {2, 25, 0},   {0, 1, 0},     {100, 300, 69}, {0, -300, 31},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(spinner_step(c.value, c.dy), c.expected) << c.value << " by " << c.dy;
    }
}

TEST_F(SpinnerDragTest, dragging_up_steps_the_weight_and_stops_at_100) {
    set_keys(1, {0}, {98.0f});
    go_to_frame(0);
    ASSERT_EQ(text(1), "98.0");

    press(1);
    const QPoint anchor = f.form->anchor;
    EXPECT_EQ(anchor, spinner(1)->mapToGlobal(kCentre));
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BlankCursor);
    EXPECT_TRUE(f.form->Timer1->isActive());
    EXPECT_EQ(f.form->Timer1->interval(), 10);
    EXPECT_EQ(f.state.drag_mode, 1);
    EXPECT_EQ(f.state.spinner_active, 1);
    EXPECT_EQ(f.form->spinners->active_spinner(), 1);
    EXPECT_TRUE(spinner(1)->isLowered());
    EXPECT_EQ(spinner(1)->image()->pos(), kImagePressed);

    const char* texts[] = {"99.0", "100.0", "100.0"};
    const int weights[] = {99, 100, 100};
    for (int i = 0; i < 3; ++i) {
        move(1, 0, -5);
        EXPECT_EQ(text(1), texts[i]);
        EXPECT_TRUE(shows(weights[i], 0, 0));
    }
    EXPECT_EQ(f.state.slots[1].keys.weights[0], 98.0f);  // keys wait for the release

    release(1);
    EXPECT_TRUE(idle(1));
    EXPECT_EQ(QCursor::pos(), anchor);
    EXPECT_EQ(f.form->spinners->active_spinner(), 0);
    EXPECT_EQ(f.state.slots[1].keys.weights[0], 100.0f);
    EXPECT_EQ(f.state.modified, 1);
    EXPECT_TRUE(f.dialogs.shown.empty());
}

TEST_F(SpinnerDragTest, dragging_down_loses_more_per_ten_pixels_and_stops_at_0) {
    set_keys(2, {0}, {50.0f});
    go_to_frame(10);  // no key of target 2 here
    ASSERT_EQ(text(2), "50.0");

    press(2, Qt::RightButton);  // any button drags
    move(2, 0, 25);
    EXPECT_EQ(text(2), "47.0");
    EXPECT_TRUE(shows(0, 47, 0));
    move(2, 0, 25);
    EXPECT_EQ(text(2), "44.0");
    for (int i = 0; i < 20; ++i) move(2, 0, 25);
    EXPECT_EQ(text(2), "0.0");
    EXPECT_EQ(f.state.spinner_value, 0);
    EXPECT_TRUE(shows(0, 0, 0));
    release(2, Qt::RightButton);

    // No key on this frame: the track and the modified flag stay, the weight stays shown.
    EXPECT_TRUE(idle(2));
    EXPECT_EQ(f.state.slots[2].keys.frames, std::vector<int32_t>{0});
    EXPECT_EQ(f.state.slots[2].keys.weights, std::vector<float>{50.0f});
    EXPECT_EQ(f.state.modified, 0);
    EXPECT_EQ(text(2), "0.0");
    EXPECT_TRUE(shows(0, 0, 0));
}

TEST_F(SpinnerDragTest, the_first_move_rewrites_the_field_as_a_whole_percent_even_sideways) {
    set_keys(3, {0}, {12.5f});
    go_to_frame(0);
    ASSERT_EQ(text(3), "12.5");
    press(3);
    move(3, 30, 0);
    EXPECT_EQ(text(3), "12.0");
    EXPECT_TRUE(shows(0, 0, 12));
    release(3);
    EXPECT_EQ(f.state.slots[3].keys.weights[0], 12.0f);
}

TEST_F(SpinnerDragTest, a_drag_keeps_the_field_change_reaction_quiet) {
    // A key above 100 (from a project) shows unchanged in the field being edited; a field
    // reaction would cap it.
    set_keys(2, {0}, {150.0f});
    go_to_frame(0);
    enter(2);
    ASSERT_EQ(text(2), "150.0");

    press(1);
    move(1, 0, -5);
    EXPECT_EQ(text(1), "1.0");
    EXPECT_EQ(text(2), "150.0");
    EXPECT_TRUE(shows(1, 150, 0));
    release(1);
    EXPECT_TRUE(field(2)->hasFocus());  // the spinner never takes the focus

    // Once the drag is over, a change reaches the edited field again.
    field(1)->setText("7.0");
    EXPECT_EQ(text(2), "100");
}

TEST_F(SpinnerDragTest, a_press_and_release_without_moving_gives_the_key_the_field_value) {
    set_keys(1, {0, 10}, {0.0f, 20.0f});
    go_to_frame(10);
    field(1)->setText("37.5");
    f.state.modified = 0;

    press(1);
    release(1);
    EXPECT_TRUE(idle(1));
    EXPECT_EQ(text(1), "37.5");
    EXPECT_EQ(f.state.slots[1].keys.weights, (std::vector<float>{0.0f, 37.5f}));
    EXPECT_EQ(f.state.modified, 1);
}

TEST_F(SpinnerDragTest, the_cursor_comes_back_to_the_press_point_however_far_it_went) {
    press(1);
    const QPoint anchor = f.form->anchor;
    drift(1, 0, 300);
    drift(1, -200, 400);
    EXPECT_NE(QCursor::pos(), anchor);
    EXPECT_EQ(text(1), "0.0");
    release(1);
    EXPECT_EQ(QCursor::pos(), anchor);
    EXPECT_TRUE(idle(1));
}

TEST_F(SpinnerDragTest, the_drag_timer_pulls_the_cursor_back_only_while_a_spinner_is_held) {
    press(2);
    const QPoint anchor = f.form->anchor;
    QCursor::setPos(anchor + QPoint(40, 60));
    EXPECT_TRUE(QTest::qWaitFor([&] { return QCursor::pos() == anchor; }, 2000));
    release(2);

    QCursor::setPos(anchor + QPoint(40, 60));
    QTest::qWait(50);
    EXPECT_EQ(QCursor::pos(), anchor + QPoint(40, 60));
}

TEST_F(SpinnerDragTest, a_spinner_without_a_target_does_not_react) {
    f.dialogs.confirm_answers.push_back(true);
    QTest::mouseClick(f.form->kill_buttons[3], Qt::LeftButton);
    ASSERT_FALSE(f.state.target_loaded(3));
    EXPECT_EQ(text(3), "0");
    f.dialogs.shown.clear();

    for (int n : {3, 5}) {
        SCOPED_TRACE(n);
        ASSERT_FALSE(spinner(n)->isEnabled());
        press(n);
        EXPECT_TRUE(idle(n));
        drift(n, 0, -30);
        release(n);
        EXPECT_TRUE(idle(n));
        EXPECT_EQ(text(n), "0");
    }
    EXPECT_TRUE(f.dialogs.shown.empty());
}

TEST_F(SpinnerDragTest, no_drag_runs_while_another_field_holds_no_number) {
    // Left like this after typing: every blend would stop here with a message box.
    field(2)->setText("1.2.3");
    press(1);
    EXPECT_EQ(warnings(), std::vector<std::string>{refusal_of("1.2.3")});
    EXPECT_TRUE(idle(1));
    release(1);

    // A text going bad while the mouse is held ends the drag before the message shows.
    field(2)->setText("0.0");
    f.dialogs.shown.clear();
    press(1);
    const QPoint anchor = f.form->anchor;
    ASSERT_EQ(f.state.drag_mode, 1);
    field(2)->setText("4.5.6");
    drift(1, 0, -30);
    EXPECT_TRUE(idle(1));
    EXPECT_EQ(QCursor::pos(), anchor);
    EXPECT_EQ(warnings(), std::vector<std::string>{refusal_of("4.5.6")});
    EXPECT_EQ(text(1), "4.0");
    drift(1, 0, -30);
    release(1);
    EXPECT_EQ(text(1), "4.0");
    EXPECT_EQ(warnings().size(), 1u);
}

}  // namespace
}  // namespace warpkit
