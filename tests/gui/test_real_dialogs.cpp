// The real dialogs behind the main window, driven as a user would: Qt's own texts in the
// interface language, the save dialog's offered name, and the main window getting the
// activation and its shortcuts back after every dialog, with and without a window manager.
#include <gtest/gtest.h>
#include <sys/prctl.h>

#include <QAction>
#include <QApplication>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <functional>
#include <memory>

#include "app/qt_user_dialogs.h"
#include "app/tform1.h"
#include "model/form2.h"
#include "morph/form3.h"
#include "support/qxm_writer.h"

namespace warpkit {
namespace {

// Openbox on the test's display while a test wants a window manager; it is stopped when a test
// wants none, at exit, and with this program should it die.
class Openbox {
public:
    static void want(bool running) {
        static Openbox instance;
        if (running && !instance.process_) instance.start();
        if (!running && instance.process_) instance.stop();
    }
    ~Openbox() {
        if (process_) stop();
    }

private:
    void start() {
        // Openbox runs its start-up command once it manages the display.
        const QString ready = QString::fromStdString(folder_.file("ready"));
        process_ = std::make_unique<QProcess>();
        process_->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        process_->start("openbox", {"--sm-disable", "--startup", "touch " + ready});
        ASSERT_TRUE(process_->waitForStarted(5000))
            << "openbox did not start (Debian package openbox, installed by scripts/setup.sh)";
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(ready); }, 10000))
            << "openbox did not come up";
    }
    void stop() {
        process_->terminate();
        process_->waitForFinished(5000);
        process_.reset();
    }

    testing::TempFolder folder_;
    std::unique_ptr<QProcess> process_;
};

// The program's three windows with the real dialogs behind them.
struct RealWindows {
    RealWindows() {
        dialogs.ui_language = &state.UiLanguage;
        dialogs.attach(&form, &form2, &form3);
        form.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
        form.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
    }

    EditorState state;
    QtUserDialogs dialogs;
    TForm1 form{state, dialogs, std::string()};
    TForm2 form2{&form};
    TForm3 form3{state, dialogs, &form};
};

// Lets `act` play the user once a modal dialog shows; should it leave the dialog open, the
// dialog is closed so that a failing test cannot hang.
void when_modal_shows(const std::function<void(QWidget&)>& act) {
    QTimer::singleShot(0, [act] {
        QWidget* modal = nullptr;
        EXPECT_TRUE(QTest::qWaitFor([&] { return (modal = QApplication::activeModalWidget()); }));
        if (modal == nullptr) return;
        EXPECT_TRUE(QTest::qWaitForWindowExposed(modal));
        act(*modal);
        if (modal->isVisible()) {
            ADD_FAILURE() << "the dialog was left open";
            static_cast<QDialog*>(modal)->reject();
        }
    });
}

template <typename T>
T* find_in(QWidget& dialog, const char* name = nullptr) {
    T* found = name != nullptr ? dialog.findChild<T*>(name) : qobject_cast<T*>(&dialog);
    EXPECT_NE(found, nullptr) << (name != nullptr ? name : "the dialog");
    return found;
}

class RealDialogs : public ::testing::Test {
protected:
    void SetUp() override { Openbox::want(false); }
};

TEST_F(RealDialogs, qt_texts_speak_the_interface_language_and_the_forms_buttons_do_not_change) {
    RealWindows w;
    struct Case {
        const char* language;
        std::function<void()> choose;
        QString yes, cancel, file_name_label;
    };
    const Case cases[] = {
        {"Japanese at start", [] {}, "はい(&Y)", "キャンセル", "ファイル名(&N):"},
        {"English", [&] { w.form.EnglishClick(); }, "&Yes", "Cancel", "File &name:"},
        {"Japanese again", [&] { w.form.JapanClick(); }, "はい(&Y)", "キャンセル",
         "ファイル名(&N):"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language);
        c.choose();
        when_modal_shows([&](QWidget& dialog) {
            auto* box = find_in<QMessageBox>(dialog);
            EXPECT_EQ(box->button(QMessageBox::Yes)->text(), c.yes);
            EXPECT_EQ(box->button(QMessageBox::Cancel)->text(), c.cancel);
            box->button(QMessageBox::Cancel)->click();
        });
        EXPECT_EQ(w.dialogs.ask_save("?", "Warpkit"), SaveAnswer::kCancel);

        when_modal_shows([&](QWidget& dialog) {
            EXPECT_EQ(find_in<QLabel>(dialog, "fileNameLabel")->text(), c.file_name_label);
            find_in<QFileDialog>(dialog)->reject();
        });
        EXPECT_FALSE(w.dialogs.save_file(FileDialogRequest{"Warpkit", "*.twp", "/", "twp", ""}));

        when_modal_shows([&](QWidget& dialog) {
            auto* buttons = find_in<QDialogButtonBox>(dialog, "");
            EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), c.cancel);
            find_in<QColorDialog>(dialog)->reject();
        });
        EXPECT_FALSE(w.dialogs.choose_colour(Rgb{}));

        when_modal_shows([&](QWidget& dialog) {
            EXPECT_EQ(find_in<QPushButton>(dialog, "Button1")->text(), "OK");
            EXPECT_EQ(find_in<QPushButton>(dialog, "Button2")->text(), "Cancel");
            find_in<QPushButton>(dialog, "Button2")->click();
        });
        w.dialogs.frame_dialog(FrameDialogMode::kMaximum);
    }
}

TEST_F(RealDialogs, the_save_dialog_offers_the_given_name_in_the_given_folder) {
    RealWindows w;
    testing::TempFolder folder;
    QString offered;
    when_modal_shows([&](QWidget& dialog) {
        auto* file_dialog = find_in<QFileDialog>(dialog);
        EXPECT_EQ(file_dialog->directory().absolutePath().toStdString(), folder.path());
        QLineEdit* name = find_in<QLineEdit>(dialog, "fileNameEdit");
        offered = name->text();
        QTest::keyClick(name, Qt::Key_Return);
    });
    const std::optional<std::string> chosen = w.dialogs.save_file(
        FileDialogRequest{"Warpkit", "*.twp", folder.path(), "twp", "face.twp"});
    EXPECT_EQ(offered, "face.twp");
    EXPECT_EQ(chosen, folder.file("face.twp"));
}

// Without a window manager and under openbox alike.
class DialogFocus : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { Openbox::want(GetParam()); }
};

TEST_P(DialogFocus, the_main_window_takes_every_shortcut_again_after_each_dialog) {
    RealWindows w;
    if (GetParam()) {  // the window is managed: it has a frame
        EXPECT_TRUE(QTest::qWaitFor([&] { return w.form.frameGeometry() != w.form.geometry(); }));
    }
    struct Shortcut {
        QAction* action;
        Qt::Key key;
    };
    const Shortcut shortcuts[] = {
        {w.form.OPEN1, Qt::Key_N},        {w.form.SAVEPROJECT1, Qt::Key_S},
        {w.form.LOADPROJECT1, Qt::Key_L}, {w.form.QUIT1, Qt::Key_Q},
        {w.form.xxx1, Qt::Key_D},         {w.form.zzz1, Qt::Key_C}};
    // Only whether a shortcut reaches its item is looked at here, not the command behind it.
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (const Shortcut& s : shortcuts) {
        QObject::disconnect(s.action, &QAction::triggered, nullptr, nullptr);
        spies.push_back(std::make_unique<QSignalSpy>(s.action, &QAction::triggered));
    }
    const auto click = [](const char* button) {
        return [button](QWidget& dialog) { find_in<QPushButton>(dialog, button)->click(); };
    };
    const auto reject = [](QWidget& dialog) { static_cast<QDialog&>(dialog).reject(); };
    struct Dialog {
        const char* name;
        std::function<void()> open;
        std::function<void(QWidget&)> close;
    };
    ObjectTable two;
    two.objects.resize(2);
    const Dialog dialogs[] = {
        {"object selection", [&] { w.dialogs.choose_object(two, "?"); }, click("Button1")},
        {"frame dialog", [&] { w.dialogs.frame_dialog(FrameDialogMode::kJump); }, click("Button2")},
        {"message", [&] { w.dialogs.warn("!", "Warpkit"); },
         [](QWidget& box) { find_in<QMessageBox>(box)->button(QMessageBox::Ok)->click(); }},
        {"file dialog",
         [&] {
             w.dialogs.open_file(FileDialogRequest{"?", "*.twp", "/", "", ""});
         },
         reject},
        {"colour chooser", [&] { w.dialogs.choose_colour(Rgb{}); }, reject},
    };
    for (const Dialog& d : dialogs) {
        SCOPED_TRACE(d.name);
        when_modal_shows(d.close);
        d.open();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&w.form, 2000));
        for (size_t i = 0; i < std::size(shortcuts); ++i) {
            const int before = static_cast<int>(spies[i]->count());
            QTest::keyClick(&w.form, shortcuts[i].key, Qt::ControlModifier);
            EXPECT_EQ(spies[i]->count(), before + 1) << "Ctrl+" << char(shortcuts[i].key);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(WindowManager, DialogFocus, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? "openbox" : "none";
                         });

}  // namespace
}  // namespace warpkit
