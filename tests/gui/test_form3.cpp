#include <gtest/gtest.h>

#include <QCursor>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <functional>
#include <memory>

#include "base/editor_state.h"
#include "base/texts.h"
#include "controls/form3.h"
#include "support/scripted_dialogs.h"

// Readable failures for the Qt values compared below.
void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
void PrintTo(const QPoint& p, std::ostream* out) {
    *out << '(' << p.x() << ", " << p.y() << ')';
}

namespace warpkit {
namespace {

class Form3Test : public ::testing::Test {
protected:
    void SetUp() override {
        state.UiLanguage = 0;  // English unless a test says otherwise
        main_window.setGeometry(100, 80, 500, 400);
        main_window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&main_window));
        form = std::make_unique<TForm3>(state, messages, &main_window);
    }

    template <typename T>
    T* child(const char* name) {
        T* found = form->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QLineEdit* edit() { return child<QLineEdit>("Edit1"); }
    QPushButton* ok() { return child<QPushButton>("Button1"); }
    QPushButton* cancel() { return child<QPushButton>("Button2"); }
    QFrame* spinner() { return child<QFrame>("Panel4"); }

    // Shows the dialog modally and runs `steps` once it is the active window. A watchdog closes
    // a dialog that the steps left open, so a failing step cannot hang the program.
    void run_modal(FrameDialogMode mode, const std::function<void()>& steps) {
        bool ran = false;
        QTimer::singleShot(0, form.get(), [&] {
            ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
            steps();
            ran = true;
        });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, form.get(), [&] {
            ADD_FAILURE() << "the dialog was still open";
            form->done(0);
        });
        watchdog.start(5000);
        form->run(mode);
        EXPECT_TRUE(ran);
        EXPECT_FALSE(form->isVisible());
    }

    // Enters the field by a click, replaces its text by typing.
    void type_into_field(const char* text) {
        QTest::mouseClick(edit(), Qt::LeftButton);
        ASSERT_TRUE(edit()->hasFocus());
        QTest::keyClick(edit(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit(), Qt::Key_Backspace);
        QTest::keyClicks(edit(), text);
        ASSERT_EQ(edit()->text(), text);
    }

    // Takes the focus out of the field, as a click elsewhere would.
    void leave_field() {
        QTest::keyClick(edit(), Qt::Key_Tab);
        ASSERT_FALSE(edit()->hasFocus());
    }

    // Presses the spinner, makes `steps` vertical moves of `dy` pixels each from the anchor
    // (the pointer is put back on the anchor between moves, as the drag timer does), releases.
    void drag_spinner(int dy, int steps) {
        const QPoint centre = spinner()->rect().center();
        const QPoint anchor = spinner()->mapToGlobal(centre);
        QCursor::setPos(anchor);
        QTest::mousePress(spinner(), Qt::LeftButton, {}, centre);
        ASSERT_TRUE(form->spinning());
        for (int i = 0; i < steps; ++i) {
            QCursor::setPos(anchor + QPoint(0, dy));
            QTest::mouseMove(spinner(), centre + QPoint(0, dy));
            QCursor::setPos(anchor);
        }
        QTest::mouseRelease(spinner(), Qt::LeftButton, {}, centre);
        EXPECT_FALSE(form->spinning());
    }

    EditorState state;
    warpkit::testing::ScriptedDialogs messages;
    QWidget main_window;
    std::unique_ptr<TForm3> form;  // destroyed before the main window that parents it
};

TEST_F(Form3Test, tab_order_is_cancel_ok_field_and_the_picture_passes_presses_on) {
    EXPECT_EQ(cancel()->nextInFocusChain(), ok());
    EXPECT_EQ(ok()->nextInFocusChain()->nextInFocusChain(), edit());  // via GroupBox1
    EXPECT_EQ(edit()->parentWidget(), child<QGroupBox>("GroupBox1"));
    EXPECT_TRUE(child<QLabel>("Image4")->testAttribute(Qt::WA_TransparentForMouseEvents));
}

TEST_F(Form3Test, captions_follow_mode_and_language) {
    struct Row {
        FrameDialogMode mode;
        int32_t language;
        const char* caption;
        const char* group;
    };
    const Row rows[] = {
        {FrameDialogMode::kMaximum, 1, "最大フレーム数の設定", "最大フレーム数を設定します。"},
        {FrameDialogMode::kMaximum, 0, "Max Frame Count", "Set Max Frame Count."},
        {FrameDialogMode::kJump, 1, "指定フレームへジャンプ", "ジャンプするフレームを設定します。"},
        {FrameDialogMode::kJump, 2, "Go to Selected Frame", "Set Jamp Frame Count"}};
    state.max_frame = 120;
    state.current_frame = 30;
    for (const Row& row : rows) {
        state.UiLanguage = row.language;
        run_modal(row.mode, [&] {
            EXPECT_EQ(form->windowTitle(), QString::fromUtf8(row.caption));
            EXPECT_EQ(child<QGroupBox>("GroupBox1")->title(), QString::fromUtf8(row.group));
            EXPECT_EQ(edit()->text(), row.mode == FrameDialogMode::kMaximum ? "120" : "30");
            QTest::mouseClick(cancel(), Qt::LeftButton);
        });
    }
}

TEST_F(Form3Test, is_placed_below_and_right_of_the_main_window) {
    run_modal(FrameDialogMode::kJump, [&] {
        EXPECT_EQ(form->frameGeometry().topLeft(),
                  main_window.frameGeometry().topLeft() + QPoint(32, 32));
        QTest::mouseClick(cancel(), Qt::LeftButton);
    });
    main_window.move(300, 200);
    QTest::qWait(50);
    run_modal(FrameDialogMode::kMaximum, [&] {
        EXPECT_EQ(form->frameGeometry().topLeft(),
                  main_window.frameGeometry().topLeft() + QPoint(32, 32));
        QTest::mouseClick(cancel(), Qt::LeftButton);
    });
}

TEST_F(Form3Test, typed_maximum_is_taken_by_ok) {
    run_modal(FrameDialogMode::kMaximum, [&] {
        EXPECT_EQ(edit()->text(), "100");
        type_into_field("250");
        QTest::mouseClick(ok(), Qt::LeftButton);
    });
    EXPECT_EQ(state.max_frame, 250);
    EXPECT_EQ(state.current_frame, 0);
    EXPECT_EQ(state.modified, 1);
    EXPECT_TRUE(messages.shown.empty());

    // OK on an unchanged maximum leaves the project unmodified.
    state.modified = 0;
    run_modal(FrameDialogMode::kMaximum, [&] { QTest::mouseClick(ok(), Qt::LeftButton); });
    EXPECT_EQ(state.max_frame, 250);
    EXPECT_EQ(state.modified, 0);
}

TEST_F(Form3Test, jump_beyond_the_maximum_is_held_at_the_maximum_on_leaving_the_field) {
    struct Row {
        const char* typed;
        const char* left;
    };
    const Row rows[] = {{"150", "100"}, {"99", "99"}, {"101", "100"}, {"100.5", "100"}};
    state.current_frame = 30;
    for (const Row& row : rows) {
        run_modal(FrameDialogMode::kJump, [&] {
            EXPECT_EQ(edit()->text(), "30");
            type_into_field(row.typed);
            leave_field();
            EXPECT_EQ(edit()->text(), row.left) << row.typed;
            QTest::mouseClick(cancel(), Qt::LeftButton);
        });
    }
    EXPECT_EQ(state.current_frame, 30);
}

TEST_F(Form3Test, ok_jumps_after_the_field_is_checked) {
    state.current_frame = 30;
    run_modal(FrameDialogMode::kJump, [&] {
        type_into_field("150");
        // The click takes the focus first, so the field is held at 100 before OK reads it.
        QTest::mouseClick(ok(), Qt::LeftButton);
    });
    EXPECT_EQ(state.current_frame, 100);
    EXPECT_EQ(state.max_frame, 100);
    EXPECT_EQ(state.modified, 0);
}

TEST_F(Form3Test, leaving_the_field_restores_a_text_with_other_characters) {
    run_modal(FrameDialogMode::kMaximum, [&] {
        type_into_field("2x5");
        leave_field();
        EXPECT_EQ(edit()->text(), "100");
        // A text of digits and points is left as typed.
        type_into_field("1.2.3");
        leave_field();
        EXPECT_EQ(edit()->text(), "1.2.3");
        QTest::mouseClick(cancel(), Qt::LeftButton);
    });
}

TEST_F(Form3Test, cancel_changes_nothing) {
    state.current_frame = 20;
    for (FrameDialogMode mode : {FrameDialogMode::kMaximum, FrameDialogMode::kJump}) {
        run_modal(mode, [&] {
            type_into_field("50");
            QTest::mouseClick(cancel(), Qt::LeftButton);
        });
    }
    EXPECT_EQ(state.max_frame, 100);
    EXPECT_EQ(state.current_frame, 20);
    EXPECT_EQ(state.modified, 0);
}

TEST_F(Form3Test, ok_refuses_what_is_not_a_whole_number_and_stays_open) {
    struct Row {
        FrameDialogMode mode;
        const char* typed;
        const char* message;
    };
    const Row rows[] = {
        {FrameDialogMode::kMaximum, "12.5", "\"12.5\" is not a whole number."},
        {FrameDialogMode::kJump, "12.5", "\"12.5\" is not a whole number."},
        {FrameDialogMode::kMaximum, "", "\"\" is not a whole number."},
        {FrameDialogMode::kMaximum, "3000000000", "\"3000000000\" is not a whole number."},
        {FrameDialogMode::kMaximum, "0", "The maximum frame count must be at least 1."}};
    for (const Row& row : rows) {
        messages.shown.clear();
        run_modal(row.mode, [&] {
            type_into_field(row.typed);
            QTest::mouseClick(ok(), Qt::LeftButton);
            EXPECT_TRUE(form->isVisible()) << row.typed;
            ASSERT_EQ(messages.kinds(), "warn") << row.typed;
            EXPECT_EQ(messages.last().text, row.message);
            EXPECT_EQ(messages.last().title, "Invalid number");
            QTest::mouseClick(cancel(), Qt::LeftButton);
        });
        EXPECT_EQ(state.max_frame, 100);
        EXPECT_EQ(state.current_frame, 0);
        EXPECT_EQ(state.modified, 0);
    }
}

TEST_F(Form3Test, spinner_steps_by_one_per_move_and_stops_at_the_maximum_in_jump_mode) {
    state.current_frame = 95;
    run_modal(FrameDialogMode::kJump, [&] {
        drag_spinner(-4, 3);
        EXPECT_EQ(edit()->text(), "98");
        drag_spinner(-1, 20);
        EXPECT_EQ(edit()->text(), "100");
        drag_spinner(7, 2);
        EXPECT_EQ(edit()->text(), "98");
        QTest::mouseClick(cancel(), Qt::LeftButton);
    });
    EXPECT_EQ(state.current_frame, 95);
}

TEST_F(Form3Test, spinner_stops_at_zero_in_jump_mode_and_one_in_maximum_mode) {
    state.current_frame = 3;
    run_modal(FrameDialogMode::kJump, [&] {
        drag_spinner(5, 10);
        EXPECT_EQ(edit()->text(), "0");
        QTest::mouseClick(cancel(), Qt::LeftButton);
    });
    state.max_frame = 4;
    run_modal(FrameDialogMode::kMaximum, [&] {
        drag_spinner(5, 10);
        EXPECT_EQ(edit()->text(), "1");
        // Upward it is not limited by the present maximum.
        drag_spinner(-5, 10);
        EXPECT_EQ(edit()->text(), "11");
        QTest::mouseClick(ok(), Qt::LeftButton);
    });
    EXPECT_EQ(state.max_frame, 11);
}

TEST_F(Form3Test, spinner_hides_and_anchors_the_cursor_and_shows_the_pressed_look) {
    run_modal(FrameDialogMode::kMaximum, [&] {
        auto* image = child<QLabel>("Image4");
        const QPoint centre = spinner()->rect().center();
        const QPoint anchor = spinner()->mapToGlobal(centre);
        QCursor::setPos(anchor);
        QTest::mousePress(spinner(), Qt::RightButton, {}, centre);
        EXPECT_FALSE(form->spinning());  // the right button does not spin
        QTest::mouseRelease(spinner(), Qt::RightButton, {}, centre);

        QTest::mousePress(spinner(), Qt::LeftButton, {}, centre);
        ASSERT_TRUE(form->spinning());
        ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BlankCursor);
        EXPECT_EQ(spinner()->frameShadow(), QFrame::Sunken);
        EXPECT_EQ(image->pos(), QPoint(1, 2));
        EXPECT_TRUE(child<QTimer>("Timer1")->isActive());
        EXPECT_EQ(child<QTimer>("Timer1")->interval(), 10);

        // The drag timer pulls the pointer back to the press point.
        QCursor::setPos(anchor + QPoint(0, 40));
        for (int waited = 0; waited < 1000 && QCursor::pos() != anchor; waited += 10) {
            QTest::qWait(10);
        }
        EXPECT_EQ(QCursor::pos(), anchor);
        // A second button during the drag does not hide the cursor twice.
        QTest::mousePress(spinner(), Qt::MiddleButton, {}, centre);
        QTest::mouseRelease(spinner(), Qt::MiddleButton, {}, centre);

        QTest::mouseRelease(spinner(), Qt::LeftButton, {}, centre);
        EXPECT_FALSE(form->spinning());
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(spinner()->frameShadow(), QFrame::Raised);
        EXPECT_EQ(image->pos(), QPoint(0, 1));
        EXPECT_FALSE(child<QTimer>("Timer1")->isActive());
        QTest::mouseClick(cancel(), Qt::LeftButton);
    });
}

TEST_F(Form3Test, spinner_refuses_a_field_that_is_not_a_number) {
    run_modal(FrameDialogMode::kJump, [&] {
        type_into_field("1.2.3");
        const QPoint centre = spinner()->rect().center();
        QCursor::setPos(spinner()->mapToGlobal(centre));
        QTest::mousePress(spinner(), Qt::LeftButton, {}, centre);
        EXPECT_FALSE(form->spinning());
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(spinner()->frameShadow(), QFrame::Raised);
        ASSERT_EQ(messages.kinds(), "warn");
        EXPECT_EQ(messages.last().text, "\"1.2.3\" is not a number.");
        QTest::mouseMove(spinner(), centre + QPoint(0, -5));
        QTest::mouseRelease(spinner(), Qt::LeftButton, {}, centre);
        EXPECT_EQ(edit()->text(), "1.2.3");
        QTest::mouseClick(cancel(), Qt::LeftButton);
    });
}

TEST_F(Form3Test, closing_during_a_drag_ends_it) {
    run_modal(FrameDialogMode::kMaximum, [&] {
        const QPoint centre = spinner()->rect().center();
        QCursor::setPos(spinner()->mapToGlobal(centre));
        QTest::mousePress(spinner(), Qt::LeftButton, {}, centre);
        ASSERT_TRUE(form->spinning());
        QTest::keyClick(form.get(), Qt::Key_Escape);
    });
    EXPECT_FALSE(form->spinning());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(state.max_frame, 100);
    QTest::mouseRelease(spinner(), Qt::LeftButton);
}

TEST_F(Form3Test, a_message_box_taking_the_release_ends_the_drag) {
    run_modal(FrameDialogMode::kMaximum, [&] {
        // Through the dialog's window, as real presses come, so that the box blocks the release.
        QWindow* window = form->windowHandle();
        const QPoint at = window->mapFromGlobal(spinner()->mapToGlobal(spinner()->rect().center()));
        QCursor::setPos(window->mapToGlobal(at));
        for (int press = 1; press <= 2; ++press) {  // the second press is served as the first
            QTest::mousePress(window, Qt::LeftButton, {}, at);
            ASSERT_TRUE(form->spinning());
            QMessageBox box(QMessageBox::Warning, "Warpkit", "?", QMessageBox::Ok, form.get());
            QTimer::singleShot(0, &box, [&] {
                QTest::mouseRelease(window, Qt::LeftButton, {}, at);
                box.done(0);
            });
            box.exec();
            EXPECT_FALSE(form->spinning());
            EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        }
        QTest::mouseClick(cancel(), Qt::LeftButton);
    });
}

}  // namespace
}  // namespace warpkit
