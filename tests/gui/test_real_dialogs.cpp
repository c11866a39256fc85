// The real dialogs behind the main window: after each, the main window's shortcuts work again,
// with and without a window manager; Qt's own texts follow the interface language; the save
// dialog offers the name it is given.
#include <gtest/gtest.h>
#include <sys/prctl.h>

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <functional>
#include <memory>
#include <thread>

#include "app/tform1.h"
#include "controls/form2.h"
#include "controls/form3.h"
#include "controls/qt_user_dialogs.h"
#include "support/qxm_writer.h"

namespace warpkit {
namespace {

// Openbox on the test's display while a test wants a window manager; it dies with the program.
void want_openbox(bool running) {
    static testing::TempFolder folder;
    static std::unique_ptr<QProcess> openbox;
    if (!running && openbox) {
        openbox->terminate();
        openbox->waitForFinished();
        openbox.reset();
    }
    if (!running || openbox) return;
    const QString ready = QString::fromStdString(folder.file("ready"));
    QFile::remove(ready);
    openbox = std::make_unique<QProcess>();
    openbox->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    // Openbox runs its start-up command once it manages the display.
    openbox->start("openbox", {"--sm-disable", "--startup", "touch " + ready});
    ASSERT_TRUE(openbox->waitForStarted()) << "openbox is missing (scripts/setup.sh installs it)";
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(ready); }, 10000));
}

// The program's three windows with the real dialogs behind them, the main window active.
struct RealWindows {
    RealWindows() {
        dialogs.ui_language = &state.UiLanguage;
        dialogs.attach(&form, &form2, &form3);
        form.show();
        form.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
    }
    EditorState state;
    QtUserDialogs dialogs;
    TForm1 form{state, dialogs, std::string()};
    TForm2 form2{&form};
    TForm3 form3{state, dialogs, &form};
};

// Lets `act` play the user once a modal dialog shows; a dialog left open is closed, so that a
// failing test cannot hang.
void when_modal_shows(const std::function<void(QDialog&)>& act) {
    QTimer::singleShot(0, [act] {
        QWidget* modal = nullptr;
        ASSERT_TRUE(QTest::qWaitFor([&] { return (modal = QApplication::activeModalWidget()); }));
        EXPECT_TRUE(QTest::qWaitForWindowExposed(modal));
        act(static_cast<QDialog&>(*modal));
        if (modal->isVisible()) {
            ADD_FAILURE() << "the dialog was left open";
            static_cast<QDialog*>(modal)->reject();
        }
    });
}

// Without a window manager and under openbox alike.
class DialogFocus : public ::testing::TestWithParam<bool> {
protected:
    static void TearDownTestSuite() { want_openbox(false); }
};

TEST_P(DialogFocus, after_each_dialog_every_shortcut_works_and_qt_texts_follow_the_language) {
    want_openbox(GetParam());
    RealWindows w;
    testing::TempFolder folder;
    const std::pair<QAction*, Qt::Key> shortcuts[] = {
        {w.form.OPEN1, Qt::Key_N},        {w.form.SAVEPROJECT1, Qt::Key_S},
        {w.form.LOADPROJECT1, Qt::Key_L}, {w.form.QUIT1, Qt::Key_Q},
        {w.form.xxx1, Qt::Key_D},         {w.form.zzz1, Qt::Key_C}};
    // Only whether a shortcut reaches its item is looked at, not the command behind it.
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (const auto& [action, key] : shortcuts) {
        QObject::disconnect(action, &QAction::triggered, nullptr, nullptr);
        spies.push_back(std::make_unique<QSignalSpy>(action, &QAction::triggered));
    }
    ObjectTable two;
    two.objects.resize(2);
    const auto click = [](const char* button) {
        return [button](QDialog& dialog) { dialog.findChild<QPushButton*>(button)->click(); };
    };
    const auto yes_reads = [](const char* yes) {
        return [yes](QDialog& dialog) {
            auto* box = qobject_cast<QMessageBox*>(&dialog);
            EXPECT_EQ(box->button(QMessageBox::Yes)->text(), yes);
            box->button(QMessageBox::Cancel)->click();
        };
    };
    const auto ask = [&] { w.dialogs.ask_save("?", "Warpkit"); };
    ListAnswer listed;
    const std::pair<std::function<void()>, std::function<void(QDialog&)>> dialogs[] = {
        {[&] { w.dialogs.choose_object(two, "?"); }, click("Button1")},
        {[&] { w.dialogs.frame_dialog(FrameDialogMode::kJump); }, click("Button2")},
        {ask, yes_reads("はい(&Y)")},
        {[&] {
             w.dialogs.save_file({"?", "*.twp", folder.path(), "twp", "face.twp", {}});
         },
         [&](QDialog& dialog) {  // in Japanese, offering the name in the folder
             EXPECT_EQ(dialog.findChild<QLabel*>("fileNameLabel")->text(), "ファイル名(&N):");
             EXPECT_EQ(dialog.findChild<QLineEdit*>("fileNameEdit")->text(), "face.twp");
             EXPECT_EQ(static_cast<QFileDialog&>(dialog).directory().path().toStdString(),
                       folder.path());
             dialog.reject();
         }},
        {[&] { w.dialogs.choose_colour(Rgb{}); },
         [](QDialog& dialog) {
             auto* buttons = dialog.findChild<QDialogButtonBox*>();
             EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), "キャンセル");
             dialog.reject();
         }},
        {[&] {
             listed = w.dialogs.ask_save_from_list("?", "Animation", {"blink", "talk"}, 1);
         },
         [](QDialog& dialog) {  // the item given chosen first; another one taken with No
             auto* list = dialog.findChild<QListWidget*>();
             EXPECT_EQ(list->currentRow(), 1);
             list->setCurrentRow(0);
             dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::No)->click();
         }},
        {[&] { w.form.EnglishClick(), ask(); }, yes_reads("&Yes")},
        {[&] { w.form.JapanClick(), ask(); }, yes_reads("はい(&Y)")}};
    for (size_t d = 0; d < std::size(dialogs); ++d) {
        SCOPED_TRACE(d);
        when_modal_shows(dialogs[d].second);
        dialogs[d].first();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&w.form, 2000));
        for (size_t i = 0; i < std::size(shortcuts); ++i) {
            QTest::keyClick(&w.form, shortcuts[i].second, Qt::ControlModifier);
            EXPECT_EQ(spies[i]->count(), static_cast<int>(d + 1)) << i;
        }
    }
    EXPECT_EQ(listed.answer, SaveAnswer::kNo);
    EXPECT_EQ(listed.item, 0u);
}

TEST(RealDialogs, a_question_with_a_list_answers_with_the_button_and_the_item_chosen) {
    RealWindows w;
    struct Case {
        const char* what;
        std::function<void(QDialog&, QListWidget&)> act;
        SaveAnswer answer;
        size_t item;
    };
    const Case cases[] = {
        {"yes",
         [](QDialog& dialog, QListWidget& list) {
             list.setCurrentRow(2);
             dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Yes)->click();
         },
         SaveAnswer::kYes, 2},
        {"double click",
         [](QDialog&, QListWidget& list) {
             // a double click as a mouse gives it: press, release, then the double click
             const QPoint at = list.visualItemRect(list.item(1)).center();
             QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
             QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
         },
         SaveAnswer::kYes, 1},
        {"escape", [](QDialog& dialog, QListWidget&) { QTest::keyClick(&dialog, Qt::Key_Escape); },
         SaveAnswer::kCancel, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        when_modal_shows([&](QDialog& dialog) {
            EXPECT_EQ(dialog.windowTitle(), "Animation");
            EXPECT_NE(dialog.findChild<QLabel*>(), nullptr);
            c.act(dialog, *dialog.findChild<QListWidget*>());
        });
        const ListAnswer listed =
            w.dialogs.ask_save_from_list("Which?", "Animation", {"a", "b", "c"}, 0);
        EXPECT_EQ(listed.answer, c.answer);
        EXPECT_EQ(listed.item, c.item);
    }
}

TEST(RealDialogs, progress_shows_after_half_a_second_and_its_cancel_stops_the_work) {
    RealWindows w;
    QElapsedTimer clock;
    when_modal_shows([&](QDialog& dialog) {
        EXPECT_GE(clock.elapsed(), 475);  // Qt's coarse timers may fire 5 % early
        EXPECT_TRUE(qobject_cast<QProgressDialog*>(&dialog) && dialog.isModal());
        EXPECT_EQ(dialog.windowTitle(), "Matching");
        dialog.findChild<QPushButton*>()->click();
    });
    constexpr int kSteps = 2000;  // 10 seconds unless cancelled
    int steps = 0;
    clock.start();
    EXPECT_FALSE(w.dialogs.run_with_progress(
        {"Matching", "Matching the vertex order", "Cancel"}, [&](const ProgressReport& report) {
            while (steps < kSteps && report(static_cast<double>(steps) / kSteps)) {
                ++steps;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }));
    EXPECT_LT(steps, kSteps);
}

INSTANTIATE_TEST_SUITE_P(WindowManager, DialogFocus, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? "openbox" : "none";
                         });

}  // namespace
}  // namespace warpkit
