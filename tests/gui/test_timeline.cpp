#include <gtest/gtest.h>

#include <QAction>
#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <limits>
#include <memory>

#include "app/timeline_controller.h"
#include "base/texts.h"
#include "controls/form3.h"
#include "controls/push_panel.h"
#include "controls/qt_user_dialogs.h"
#include "support/form1_fixture.h"
#include "view/gl_view.h"

// Readable failures for the Qt values compared below.
void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
void PrintTo(const QPoint& p, std::ostream* out) {
    *out << '(' << p.x() << ", " << p.y() << ')';
}

namespace warpkit {
namespace {

using testing::Form1Fixture;
using testing::moved_grid;

constexpr int kKnobTop = 352;

class Timeline : public ::testing::Test {
protected:
    TForm1& form() { return *fx.form; }
    EditorState& state() { return fx.state; }

    // A 2 x 2 grid as source and the same grid 10 units higher as target 1, keyed 0 % at
    // frame 0 and 100 % at frame 100, so the weight at frame f is f %.
    void load_keyed_target() {
        fx.load_source(fx.write_object("source.qxm", testing::make_grid_object("grid", 2, 2)));
        fx.load_target(1, fx.write_object("target.qxm", moved_grid("up", 2, 2, 10.0f)));
        KeyTrack& keys = state().slots[1].keys;
        keys.frames = {0, 100};
        keys.weights = {0.0f, 100.0f};
    }

    QString read_out() { return form().FrameSlide->caption(); }
    int knob_left() { return form().FrameSlide->x(); }

    // The knob pressed with the cursor on its centre; moves are then measured from there.
    void press_knob(Qt::MouseButton button) {
        PushPanel* knob = form().FrameSlide;
        press_point_ = knob->mapToGlobal(knob->rect().center());
        QCursor::setPos(press_point_);
        QTest::mousePress(knob, button, {}, knob->rect().center());
    }
    void move_knob_by(int dx) {
        PushPanel* knob = form().FrameSlide;
        const QPoint to = press_point_ + QPoint(dx, 0);
        QCursor::setPos(to);
        QTest::mouseMove(knob, knob->mapFromGlobal(to));
    }
    void release_knob(Qt::MouseButton button) {
        PushPanel* knob = form().FrameSlide;
        QTest::mouseRelease(knob, button, {}, knob->mapFromGlobal(QCursor::pos()));
    }
    void click_panel(PushPanel* panel) {
        QTest::mousePress(panel, Qt::LeftButton);
        QTest::mouseRelease(panel, Qt::LeftButton);
    }
    // Jumps through the knob's dialog, as the user would.
    void jump_to(int frame) {
        fx.dialogs.frame_answers.push_back(
            [this, frame](FrameDialogMode) { state().current_frame = frame; });
        press_knob(Qt::LeftButton);
        release_knob(Qt::LeftButton);
    }

    Form1Fixture fx;
    QPoint press_point_;
};

TEST_F(Timeline, read_out_and_knob_follow_the_frame) {
    EXPECT_EQ(read_out(), "0 / 100");
    EXPECT_EQ(form().FrameSlide->geometry(), QRect(4, kKnobTop, 103, 14));

    jump_to(50);
    EXPECT_EQ(read_out(), "50 / 100");
    EXPECT_EQ(knob_left(), 354);
    jump_to(70);  // 70 / 100 * 700 in double is 489.99...
    EXPECT_EQ(knob_left(), 494);

    jump_to(100);
    EXPECT_EQ(read_out(), "100 / 100");
    EXPECT_EQ(knob_left(), 704);

    jump_to(0);
    click_panel(form().Last);
    EXPECT_EQ(state().current_frame, 100);
    EXPECT_EQ(read_out(), "100 / 100");
    EXPECT_EQ(knob_left(), 704);
    EXPECT_EQ(form().FrameSlide->y(), kKnobTop);

    click_panel(form().First);
    EXPECT_EQ(read_out(), "0 / 100");
    EXPECT_EQ(knob_left(), 4);
    EXPECT_TRUE(fx.dialogs.all_answers_used());
}

TEST_F(Timeline, left_drag_scrubs_from_the_press_point_and_clamps) {
    load_keyed_target();
    jump_to(10);
    fx.dialogs.shown.clear();

    press_knob(Qt::LeftButton);
    EXPECT_EQ(state().drag_mode, 1);
    move_knob_by(70);
    EXPECT_EQ(state().current_frame, 20);
    EXPECT_EQ(read_out(), "20 / 100");
    EXPECT_EQ(knob_left(), 144);
    // Frame mode ran: the target's field shows its weight at frame 20 and the shape follows.
    EXPECT_EQ(form().weight_fields[1]->text(), "20.0");
    EXPECT_FLOAT_EQ(state().mesh.displayed[0].z, 2.0f);

    move_knob_by(700);
    EXPECT_EQ(state().current_frame, 100);
    EXPECT_EQ(knob_left(), 704);
    EXPECT_EQ(form().weight_fields[1]->text(), "100.0");

    // Far beyond the screen's edge the pointer stops there; the frame still ends at 0.
    move_knob_by(-2000);
    EXPECT_EQ(state().current_frame, 0);
    EXPECT_EQ(read_out(), "0 / 100");
    EXPECT_EQ(knob_left(), 4);

    // A drag is no click: its release opens no dialog.
    release_knob(Qt::LeftButton);
    EXPECT_EQ(state().drag_mode, 0);
    EXPECT_TRUE(fx.dialogs.shown.empty()) << fx.dialogs.kinds();
    EXPECT_EQ(state().current_frame, 0);
}

TEST_F(Timeline, right_drag_does_not_scrub_and_its_release_asks_for_the_maximum) {
    jump_to(10);
    int drag_mode_in_dialog = -1;
    fx.dialogs.frame_answers.push_back([&](FrameDialogMode mode) {
        EXPECT_EQ(mode, FrameDialogMode::kMaximum);
        drag_mode_in_dialog = state().drag_mode;
        state().max_frame = 250;
    });

    press_knob(Qt::RightButton);
    move_knob_by(70);
    EXPECT_EQ(state().current_frame, 10);
    EXPECT_EQ(read_out(), "10 / 100");
    release_knob(Qt::RightButton);

    EXPECT_EQ(fx.dialogs.last().kind, "frame_dialog");
    EXPECT_EQ(fx.dialogs.last().text, "maximum");
    // The dialog learns its mode from the drag mode, so that is reset only afterwards.
    EXPECT_EQ(drag_mode_in_dialog, 2);
    EXPECT_EQ(state().drag_mode, 0);
    EXPECT_EQ(state().max_frame, 250);
    EXPECT_EQ(read_out(), "10 / 250");
    EXPECT_EQ(knob_left(), 4 + 28);
    EXPECT_TRUE(fx.dialogs.all_answers_used());
}

TEST_F(Timeline, left_click_jumps_through_the_dialog_and_runs_frame_mode) {
    load_keyed_target();
    fx.dialogs.shown.clear();
    fx.dialogs.frame_answers.push_back([&](FrameDialogMode mode) {
        EXPECT_EQ(mode, FrameDialogMode::kJump);
        EXPECT_EQ(state().drag_mode, 1);
        state().current_frame = 30;
    });

    press_knob(Qt::LeftButton);
    release_knob(Qt::LeftButton);

    EXPECT_EQ(fx.dialogs.kinds(), "frame_dialog");
    EXPECT_EQ(fx.dialogs.last().text, "jump");
    EXPECT_EQ(state().drag_mode, 0);
    EXPECT_EQ(read_out(), "30 / 100");
    EXPECT_EQ(knob_left(), 214);
    EXPECT_EQ(form().weight_fields[1]->text(), "30.0");
    EXPECT_EQ(form().key_buttons[1]->text(), texts::kMakeKey);
    EXPECT_FLOAT_EQ(state().mesh.displayed[0].z, 3.0f);
}

TEST_F(Timeline, cancelled_dialog_still_brings_the_timeline_in_line) {
    load_keyed_target();
    jump_to(40);
    // The dialog leaves everything as it was; the clamp and the frame mode run all the same,
    // so a field the user had changed shows the keyed weight again.
    form().weight_fields[1]->setText("77");
    fx.dialogs.frame_answers.push_back([](FrameDialogMode) {});
    press_knob(Qt::RightButton);
    release_knob(Qt::RightButton);
    EXPECT_EQ(state().max_frame, 100);
    EXPECT_EQ(read_out(), "40 / 100");
    EXPECT_EQ(form().weight_fields[1]->text(), "40.0");
}

TEST_F(Timeline, lowering_the_maximum_below_frame_and_keys_clamps_the_frame_and_keeps_the_keys) {
    load_keyed_target();
    jump_to(80);
    fx.dialogs.frame_answers.push_back([&](FrameDialogMode) { state().max_frame = 50; });
    press_knob(Qt::RightButton);
    release_knob(Qt::RightButton);

    EXPECT_EQ(state().max_frame, 50);
    EXPECT_EQ(state().current_frame, 50);
    EXPECT_EQ(read_out(), "50 / 50");
    EXPECT_EQ(knob_left(), 704);
    const KeyTrack& keys = state().slots[1].keys;
    EXPECT_EQ(keys.frames, (std::vector<int32_t>{0, 100}));
    EXPECT_EQ(keys.weights, (std::vector<float>{0.0f, 100.0f}));
    // Frame 50 still interpolates towards the key at 100, now beyond the timeline.
    EXPECT_EQ(form().weight_fields[1]->text(), "50.0");

    // Playback now wraps at the new maximum.
    click_panel(form().Fore);
    form().timeline->Time_go();
    EXPECT_EQ(state().current_frame, 0);
    click_panel(form().Fore);
}

TEST_F(Timeline, forward_playback_wraps_at_the_maximum_and_backward_at_zero) {
    click_panel(form().Last);
    click_panel(form().Fore);
    EXPECT_TRUE(form().Timer2->isActive());
    EXPECT_EQ(form().Timer2->interval(), 1);
    form().timeline->Time_go();
    EXPECT_EQ(state().current_frame, 0);
    EXPECT_EQ(read_out(), "0 / 100");
    EXPECT_EQ(knob_left(), 4);
    form().timeline->Time_go();
    EXPECT_EQ(state().current_frame, 1);
    click_panel(form().Fore);  // stop
    EXPECT_FALSE(form().Timer2->isActive());

    click_panel(form().First);
    click_panel(form().Back);
    EXPECT_TRUE(form().Timer2->isActive());
    form().timeline->Time_go();
    EXPECT_EQ(state().current_frame, 100);
    EXPECT_EQ(read_out(), "100 / 100");
    EXPECT_EQ(knob_left(), 704);
    form().timeline->Time_go();
    EXPECT_EQ(state().current_frame, 99);
    click_panel(form().Back);
    EXPECT_FALSE(form().Timer2->isActive());
    EXPECT_EQ(state().playing_backward, 0);

    // At the largest maximum the step past it wraps all the same.
    state().max_frame = std::numeric_limits<int32_t>::max();
    click_panel(form().Last);
    click_panel(form().Fore);
    form().timeline->Time_go();
    EXPECT_EQ(state().current_frame, 0);
    click_panel(form().Fore);
}

TEST_F(Timeline, playback_runs_on_its_timer_and_blends_each_frame) {
    load_keyed_target();
    click_panel(form().Fore);
    ASSERT_TRUE(QTest::qWaitFor([&] { return state().current_frame >= 5; }, 3000));
    click_panel(form().Fore);
    const int frame = state().current_frame;
    EXPECT_EQ(read_out(), QString("%1 / 100").arg(frame));
    EXPECT_EQ(form().weight_fields[1]->text(), QString("%1.0").arg(frame));
    EXPECT_FLOAT_EQ(state().mesh.displayed[0].z, frame * 0.1f);
    // Stopped means stopped.
    QTest::qWait(20);
    EXPECT_EQ(state().current_frame, frame);
}

TEST_F(Timeline, back_during_forward_playback_reverses_with_one_press) {
    click_panel(form().Fore);
    EXPECT_EQ(state().playing_forward, 1);
    EXPECT_FALSE(form().ForeImageA->isVisible());
    EXPECT_TRUE(form().ForeImageB->isVisible());
    EXPECT_TRUE(form().BackImageA->isVisible());
    EXPECT_FALSE(form().BackImageB->isVisible());

    click_panel(form().Back);
    EXPECT_EQ(state().playing_forward, 0);
    EXPECT_EQ(state().playing_backward, 1);
    EXPECT_TRUE(form().Timer2->isActive());
    EXPECT_TRUE(form().ForeImageA->isVisible());
    EXPECT_FALSE(form().ForeImageB->isVisible());
    EXPECT_FALSE(form().BackImageA->isVisible());
    EXPECT_TRUE(form().BackImageB->isVisible());
    form().timeline->Time_go();
    EXPECT_EQ(state().current_frame, 100);

    // And back again with one press of Fore.
    click_panel(form().Fore);
    EXPECT_EQ(state().playing_forward, 1);
    EXPECT_EQ(state().playing_backward, 0);
    EXPECT_TRUE(form().BackImageA->isVisible());
    EXPECT_FALSE(form().BackImageB->isVisible());
    EXPECT_TRUE(form().ForeImageB->isVisible());

    click_panel(form().Fore);
    EXPECT_EQ(state().playing_forward, 0);
    EXPECT_FALSE(form().Timer2->isActive());
    EXPECT_TRUE(form().ForeImageA->isVisible());
    EXPECT_FALSE(form().ForeImageB->isVisible());
}

TEST_F(Timeline, first_and_last_during_playback_jump_and_playback_goes_on) {
    click_panel(form().Fore);
    ASSERT_TRUE(QTest::qWaitFor([&] { return state().current_frame >= 3; }, 3000));

    QTest::mousePress(form().First, Qt::LeftButton);
    EXPECT_EQ(state().current_frame, 0);
    EXPECT_EQ(read_out(), "0 / 100");
    EXPECT_EQ(knob_left(), 4);
    QTest::mouseRelease(form().First, Qt::LeftButton);
    EXPECT_EQ(state().playing_forward, 1);
    EXPECT_TRUE(form().Timer2->isActive());
    form().timeline->Time_go();
    EXPECT_EQ(state().current_frame, 1);

    click_panel(form().Last);
    EXPECT_EQ(state().playing_forward, 1);
    form().timeline->Time_go();
    EXPECT_EQ(state().current_frame, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return state().current_frame >= 2; }, 3000));
    click_panel(form().Fore);
}

TEST_F(Timeline, without_a_source_the_frame_moves_and_nothing_is_blended) {
    click_panel(form().Fore);
    ASSERT_TRUE(QTest::qWaitFor([&] { return state().current_frame >= 3; }, 3000));
    click_panel(form().Fore);
    jump_to(10);
    press_knob(Qt::LeftButton);
    move_knob_by(70);
    release_knob(Qt::LeftButton);
    EXPECT_EQ(state().current_frame, 20);
    EXPECT_EQ(read_out(), "20 / 100");
    EXPECT_TRUE(state().mesh.displayed.empty());
    EXPECT_EQ(fx.dialogs.kinds(), "frame_dialog");

    const QImage picture = form().view->grabFramebuffer();
    for (int y = 0; y < picture.height(); y += 3) {
        for (int x = 0; x < picture.width(); x += 3) {
            ASSERT_EQ(picture.pixel(x, y) & 0xffffffu, 0u) << x << "," << y;
        }
    }
}

TEST_F(Timeline, pressed_look_of_the_push_panels_is_undone_on_release) {
    struct Case {
        PushPanel* panel;
        QLabel* picture;  // moves with the press; nullptr where only the bevel changes
        QPoint rest;
    };
    const Case cases[] = {{form().First, form().FirstImage, {41, 1}},
                          {form().Last, form().LastImage, {41, 0}},
                          {form().Back, nullptr, {}},
                          {form().Fore, nullptr, {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.panel->objectName().toStdString());
        EXPECT_FALSE(c.panel->isLowered());
        if (c.picture) {
            EXPECT_EQ(c.picture->pos(), c.rest);
        }
        QTest::mousePress(c.panel, Qt::LeftButton);
        EXPECT_TRUE(c.panel->isLowered());
        if (c.picture) {
            EXPECT_EQ(c.picture->pos(), c.rest + QPoint(1, 1));
        }
        QTest::mouseRelease(c.panel, Qt::LeftButton);
        EXPECT_FALSE(c.panel->isLowered());
        if (c.picture) {
            EXPECT_EQ(c.picture->pos(), c.rest);
        }
    }
    // Back started playback and Fore turned it round; the bevels alone showed the presses.
    EXPECT_EQ(state().playing_forward, 1);
    click_panel(form().Fore);
    EXPECT_FALSE(form().Timer2->isActive());
    EXPECT_EQ(form().BackImageA->pos(), QPoint(41, 0));
    EXPECT_EQ(form().ForeImageA->pos(), QPoint(41, 0));
    EXPECT_EQ(form().BackImageB->pos(), QPoint(41, 1));
    EXPECT_EQ(form().ForeImageB->pos(), QPoint(41, 1));
}

TEST_F(Timeline, playback_leaves_other_events_and_timers_served) {
    load_keyed_target();
    click_panel(form().Fore);
    ASSERT_TRUE(form().Timer2->isActive());

    bool posted_served = false;
    QMetaObject::invokeMethod(
        &form(), [&] { posted_served = true; }, Qt::QueuedConnection);
    int frame_at_stop = -1;
    bool fired = false;
    QTimer::singleShot(50, &form(), [&] {
        fired = true;
        // Through the window, as a real press arrives: found under the pointer, then grabbed.
        QWindow* window = form().windowHandle();
        const QPoint on_fore =
            window->mapFromGlobal(form().Fore->mapToGlobal(form().Fore->rect().center()));
        QTest::mousePress(window, Qt::LeftButton, {}, on_fore);
        QTest::mouseRelease(window, Qt::LeftButton, {}, on_fore);
        frame_at_stop = state().current_frame;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return fired; }, 3000));
    EXPECT_TRUE(posted_served);
    EXPECT_EQ(state().playing_forward, 0);
    EXPECT_FALSE(form().Timer2->isActive());
    EXPECT_GT(frame_at_stop, 0);
    QTest::qWait(20);
    EXPECT_EQ(state().current_frame, frame_at_stop);
}

// The real frame dialog behind the real dialogs object, once, end to end.
TEST(TimelineWithRealDialog, changed_maximum_marks_the_project_modified) {
    EditorState state;
    QtUserDialogs dialogs;
    dialogs.ui_language = &state.UiLanguage;
    TForm1 form(state, dialogs, std::string());
    TForm3 form3(state, dialogs, &form);
    dialogs.attach(&form, nullptr, &form3);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    state.UiLanguage = 0;

    bool typed = false;
    QTimer::singleShot(0, &form3, [&] {
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form3));
        EXPECT_EQ(form3.windowTitle(), "Max Frame Count");
        auto* field = form3.findChild<QLineEdit*>("Edit1");
        ASSERT_NE(field, nullptr);
        EXPECT_EQ(field->text(), "100");
        QTest::mouseClick(field, Qt::LeftButton);
        field->selectAll();
        QTest::keyClicks(field, "250");
        QTest::mouseClick(form3.findChild<QPushButton*>("Button1"), Qt::LeftButton);
        typed = true;
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &form3, [&] {
        ADD_FAILURE() << "the frame dialog was still open";
        form3.done(0);
    });
    watchdog.start(5000);

    PushPanel* knob = form.FrameSlide;
    QCursor::setPos(knob->mapToGlobal(knob->rect().center()));
    QTest::mousePress(knob, Qt::RightButton);
    QTest::mouseRelease(knob, Qt::RightButton);  // returns once the dialog has closed

    EXPECT_TRUE(typed);
    EXPECT_FALSE(form3.isVisible());
    EXPECT_EQ(state.max_frame, 250);
    EXPECT_EQ(state.modified, 1);
    EXPECT_EQ(state.drag_mode, 0);
    EXPECT_EQ(knob->caption(), "0 / 250");
}

// The real frame dialog behind the scripted one: its refusals are recorded, not shown.
TEST_F(Timeline, the_dialog_refuses_a_maximum_of_zero) {
    TForm3 form3(state(), fx.dialogs, &form());
    state().UiLanguage = 0;
    fx.dialogs.frame_answers.push_back([&](FrameDialogMode mode) {
        QTimer::singleShot(0, &form3, [&] {
            ASSERT_TRUE(QTest::qWaitForWindowActive(&form3));
            auto* field = form3.findChild<QLineEdit*>("Edit1");
            QTest::mouseClick(field, Qt::LeftButton);
            field->selectAll();
            QTest::keyClicks(field, "0");
            QTest::mouseClick(form3.findChild<QPushButton*>("Button1"), Qt::LeftButton);
            EXPECT_TRUE(form3.isVisible());
            EXPECT_EQ(fx.dialogs.last().kind, "warn");
            QTest::mouseClick(form3.findChild<QPushButton*>("Button2"), Qt::LeftButton);
        });
        form3.run(mode);
    });
    press_knob(Qt::RightButton);
    release_knob(Qt::RightButton);
    EXPECT_FALSE(form3.isVisible());
    EXPECT_EQ(state().max_frame, 100);
    EXPECT_EQ(state().modified, 0);
    EXPECT_EQ(read_out(), "0 / 100");
}

// Dialogs whose warning waits for the user the way a modal message box does: timers and
// other events are served meanwhile.
class WaitingWarnDialogs : public testing::ScriptedDialogs {
public:
    void warn(const std::string& text, const std::string& title) override {
        ScriptedDialogs::warn(text, title);
        QEventLoop loop;
        QTimer::singleShot(30, &loop, &QEventLoop::quit);
        loop.exec();
    }
};

TEST(TimelineRefusedBlend, playback_stops_when_a_weight_field_cannot_be_read) {
    testing::TempFolder folder;
    EditorState state;
    WaitingWarnDialogs dialogs;
    TForm1 form(state, dialogs, std::string());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    testing::QxmFileSpec source;
    source.objects.push_back(testing::make_grid_object("grid", 2, 2));
    source.colours = testing::make_palette(1);
    testing::QxmFileSpec target = source;
    target.objects[0] = moved_grid("up", 2, 2, 1.0f);
    dialogs.file_answers = {testing::write_qxm(folder.file("s.qxm"), source),
                            testing::write_qxm(folder.file("t.qxm"), target)};
    dialogs.object_answers = {0, 0};
    form.slots_->SourceLoad();
    form.slots_->TargetLoad(1);
    ASSERT_TRUE(state.target_loaded(1));

    // Cleared by the user, who then presses play with the field still holding the focus.
    form.weight_fields[1]->setText("");
    dialogs.shown.clear();
    QTest::mousePress(form.Fore, Qt::LeftButton);
    QTest::mouseRelease(form.Fore, Qt::LeftButton);
    QTest::qWait(200);

    // One question, not one per tick: the user could never reach the stop button otherwise.
    EXPECT_EQ(dialogs.kinds(), "warn");
    EXPECT_EQ(state.playing_forward, 0);
    EXPECT_FALSE(form.Timer2->isActive());
    EXPECT_TRUE(form.ForeImageA->isVisible());
    EXPECT_FALSE(form.ForeImageB->isVisible());
    EXPECT_EQ(state.current_frame, 1);
}

// Paced playback, its clock in the test's hands: the frame is the time since playback began
// (or the rate changed, or the frame was moved) times the rate, and frames are skipped when a
// tick comes late.
TEST_F(Timeline, playback_at_a_chosen_rate_follows_the_clock_not_the_ticks) {
    load_keyed_target();
    int64_t now = 0;
    form().timeline->clock = [&now] { return now; };
    form().Play24->trigger();
    click_panel(form().Fore);
    form().Timer2->stop();  // the ticks come from the test alone
    struct Step {
        const char* name;
        int64_t ms;
        std::function<void()> then;
        int32_t frame;
    };
    const Step steps[] = {
        {"at the start", 0, nullptr, 0},
        {"before the first frame is due", 41, nullptr, 0},
        {"the first frame", 42, nullptr, 1},
        {"a second", 1000, nullptr, 24},
        {"a late tick skips frames", 3000, nullptr, 72},
        {"60 a second from where 24 left off", 3000, [this] { form().Play60->trigger(); }, 72},
        {"past the last frame it loops", 3500, nullptr, (72 + 30) % 101},
        {"a jump starts the count again", 3500, [this] { click_panel(form().First); }, 0},
        {"from the frame jumped to", 4000, nullptr, 30},
        {"as fast as possible, a frame a tick", 4000, [this] { form().PlayMax->trigger(); }, 31},
        {"whatever the clock says", 4000, nullptr, 32},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        now = step.ms * 1000000;
        if (step.then) step.then();
        form().timeline->Time_go();
        EXPECT_EQ(step.frame, state().current_frame);
        EXPECT_EQ(QString("%1.0").arg(step.frame), form().weight_fields[1]->text());
    }
    EXPECT_EQ(0, state().playback_rate);
}

}  // namespace
}  // namespace warpkit
