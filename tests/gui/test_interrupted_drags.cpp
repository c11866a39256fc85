// Drags whose release never comes back: a message box opens or another window takes the mouse
// in the middle. Each ends as its release would, leaving the cursor shown, no drag mode, and
// the next press served.
#include <gtest/gtest.h>

#include <QCursor>
#include <QGuiApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWindow>
#include <functional>

#include "controls/push_panel.h"
#include "support/weight_fixture.h"
#include "view/gl_view.h"

namespace warpkit {
namespace {

class InterruptedDrag : public ::testing::Test, public testing::WeightFixture {
protected:
    // Through the window, as real events come, so that a window a modal box blocks drops them.
    QPoint at(QPoint global) { return f.form->windowHandle()->mapFromGlobal(global); }
    void press(QWidget* control) {
        // The preview's centre lies under the slot rows: it is pressed on its free left part.
        const bool view = control == f.form->view;
        anchor_ = control->mapToGlobal(view ? QPoint(150, 150) : control->rect().center());
        QCursor::setPos(anchor_);
        QTest::mousePress(f.form->windowHandle(), Qt::LeftButton, {}, at(anchor_));
    }
    void move_by(QPoint offset) {
        QCursor::setPos(anchor_ + offset);
        QTest::mouseMove(f.form->windowHandle(), at(anchor_ + offset));
    }
    void release() {
        QTest::mouseRelease(f.form->windowHandle(), Qt::LeftButton, {}, at(QCursor::pos()));
    }
    // A message box opens, and the button is let go while it holds the mouse.
    void box_takes_the_release() {
        QMessageBox box(QMessageBox::Warning, "Warpkit", "?", QMessageBox::Ok, f.form.get());
        QTimer::singleShot(0, &box, [&] {
            release();
            box.done(0);
        });
        box.exec();
    }
    // Another window takes the activation and the mouse: the release is never seen here.
    void other_window_takes_the_mouse() {
        QWidget other;
        other.setGeometry(20, 20, 120, 80);
        other.show();
        other.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&other));
    }

    QPoint anchor_;
};

TEST_F(InterruptedDrag, every_drag_ends_as_its_release_would_and_the_next_press_is_served) {
    const std::function<void()> box = [this] { box_takes_the_release(); };
    const std::function<void()> other = [this] { other_window_takes_the_mouse(); };
    // As the user met it: a field holding "1.2." while the knob is dragged, so the blend's
    // refusal takes the mouse.
    const std::function<void()> refusal = [this] {
        field(2)->setText("1.2.");
        f.dialogs.while_message_shown = [this] { box_takes_the_release(); };
        move_by({70, 0});
        f.dialogs.while_message_shown = nullptr;
        field(2)->setText("0.0");
    };
    // Knob: the frame reached, and no dialog (none is scripted). Spinner: the key takes the
    // weight. View: turned, the cursor back at the press point.
    const auto knob = [this] { EXPECT_EQ(f.state.current_frame, 10); };
    const auto spinner = [this] {
        EXPECT_EQ(f.state.slots[1].keys.weights[0], 1.0f);
        EXPECT_EQ(f.state.modified, 1);
        EXPECT_EQ(QCursor::pos(), anchor_);
    };
    const auto view = [this] {
        EXPECT_FLOAT_EQ(f.state.yaw, -4.0f);
        EXPECT_EQ(QCursor::pos(), anchor_);
    };
    struct Case {
        QWidget* control;
        QPoint move;
        std::function<void()> interrupt, expect;
    };
    const Case cases[] = {{f.form->FrameSlide, {70, 0}, box, knob},
                          {f.form->FrameSlide, {70, 0}, other, knob},
                          {f.form->FrameSlide, {}, refusal, knob},
                          {f.form->spinner_panels[1], {0, -5}, box, spinner},
                          {f.form->spinner_panels[1], {0, -5}, other, spinner},
                          {f.form->view, {100, 0}, box, view},
                          {f.form->view, {100, 0}, other, view}};
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        set_keys(1, {0}, {0.0f});
        go_to_frame(0);
        f.state.modified = 0;
        f.state.yaw = 0.0f;
        f.form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(f.form.get()));

        press(c.control);
        if (!c.move.isNull()) move_by(c.move);
        c.interrupt();
        EXPECT_EQ(f.state.drag_mode, 0);
        EXPECT_EQ(f.state.spinner_active, 0);
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_FALSE(f.form->Timer1->isActive());
        c.expect();

        press(f.form->spinner_panels[2]);
        EXPECT_EQ(f.state.spinner_active, 1);
        release();
    }
}

}  // namespace
}  // namespace warpkit
