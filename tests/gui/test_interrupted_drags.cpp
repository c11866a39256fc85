// Drags whose release never comes back to the control: a message box opens or another window
// takes the mouse in the middle of them. Each ends as its release would, and leaves nothing
// held: the cursor shown, no drag mode, every later press served.
#include <gtest/gtest.h>

#include <QCursor>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
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
    void TearDown() override {
        while (QGuiApplication::overrideCursor() != nullptr)
            QGuiApplication::restoreOverrideCursor();
    }

    // Presses, moves and releases go through the window as real ones do, so that a window
    // blocked by a modal box drops them.
    QWindow* window() { return f.form->windowHandle(); }
    QPoint at(QPoint global) { return window()->mapFromGlobal(global); }
    void press(QWidget* control, QPoint local) {
        anchor_ = control->mapToGlobal(local);
        QCursor::setPos(anchor_);
        QTest::mousePress(window(), Qt::LeftButton, {}, at(anchor_));
    }
    void move_by(QPoint offset) {
        QCursor::setPos(anchor_ + offset);
        QTest::mouseMove(window(), at(anchor_ + offset));
    }
    void release() { QTest::mouseRelease(window(), Qt::LeftButton, {}, at(QCursor::pos())); }

    // A message box opens over the window, and the button is let go while it holds the mouse.
    void box_takes_the_release() {
        QMessageBox box(QMessageBox::Warning, "Warpkit", "?", QMessageBox::Ok, f.form.get());
        QTimer::singleShot(0, &box, [&] {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&box));
            release();
            box.done(0);
        });
        box.exec();
    }
    // Another window takes the activation and the mouse with it: the release goes there and
    // is never seen here.
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
    enum class Control { kKnob, kSpinner, kView };
    struct Case {
        const char* name;
        Control control;
        QPoint move;
        std::function<void()> interrupt;  // after the move
    };
    const auto box = [this] { box_takes_the_release(); };
    const auto other = [this] { other_window_takes_the_mouse(); };
    const Case cases[] = {
        {"knob, box", Control::kKnob, {70, 0}, box},
        {"knob, other window", Control::kKnob, {70, 0}, other},
        {"spinner, box", Control::kSpinner, {0, -5}, box},
        {"spinner, other window", Control::kSpinner, {0, -5}, other},
        {"view, box", Control::kView, {100, 0}, box},
        {"view, other window", Control::kView, {100, 0}, other},
        // As the user met it: a field holding "1.2." when the knob is dragged, so the blend's
        // refusal takes the mouse.
        {"knob, refusal of a field",
         Control::kKnob,
         {0, 0},
         [this] {
             field(2)->setText("1.2.");
             f.dialogs.while_message_shown = [this] { box_takes_the_release(); };
             move_by({70, 0});
             f.dialogs.while_message_shown = nullptr;
             field(2)->setText("0.0");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        set_keys(1, {0}, {0.0f});
        go_to_frame(0);
        f.state.modified = 0;
        f.state.yaw = 0.0f;
        f.form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(f.form.get()));
        f.dialogs.shown.clear();

        switch (c.control) {
            case Control::kKnob:
                press(f.form->FrameSlide, f.form->FrameSlide->rect().center());
                break;
            case Control::kSpinner:
                press(f.form->spinner_panels[1], f.form->spinner_panels[1]->rect().center());
                break;
            case Control::kView:
                press(f.form->view, QPoint(150, 150));
                break;
        }
        ASSERT_NE(f.state.drag_mode, 0);
        if (c.move != QPoint()) move_by(c.move);
        c.interrupt();

        EXPECT_EQ(f.state.drag_mode, 0);
        EXPECT_EQ(f.state.spinner_active, 0);
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_FALSE(f.form->Timer1->isActive());
        switch (c.control) {
            case Control::kKnob:  // the frame reached, and no dialog (none is scripted)
                EXPECT_EQ(f.state.current_frame, 10);
                EXPECT_EQ(f.form->FrameSlide->caption(), "10 / 100");
                break;
            case Control::kSpinner:  // the key on the frame takes the weight
                EXPECT_EQ(text(1), "1.0");
                EXPECT_EQ(f.state.slots[1].keys.weights[0], 1.0f);
                EXPECT_EQ(f.state.modified, 1);
                EXPECT_EQ(QCursor::pos(), anchor_);
                break;
            case Control::kView:
                EXPECT_FLOAT_EQ(f.state.yaw, -4.0f);
                EXPECT_EQ(QCursor::pos(), anchor_);
                break;
        }

        press(f.form->spinner_panels[2], f.form->spinner_panels[2]->rect().center());
        EXPECT_EQ(f.state.drag_mode, 1);
        EXPECT_EQ(f.state.spinner_active, 1);
        release();
        EXPECT_EQ(f.state.drag_mode, 0);
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    }
    EXPECT_TRUE(f.dialogs.all_answers_used());
}

}  // namespace
}  // namespace warpkit
