#include "controls/qt_user_dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>

#include "controls/form2.h"
#include "controls/form3.h"

namespace warpkit {

namespace {

QString from_utf8(const std::string& text) {
    return QString::fromStdString(text);
}

QString from_path(const std::string& path) {
    return QFile::decodeName(path.c_str());
}

// Gives the activation back, when a modal dialog has closed, to the window that had it when
// the dialog opened (the main window when none had). A window system may otherwise leave no
// window active, and the main window's shortcuts would then reach nothing until the user
// clicked into it.
class ActivationReturn {
public:
    explicit ActivationReturn(QWidget* main_window) : window_(QApplication::activeWindow()) {
        if (window_ == nullptr) window_ = main_window;
    }
    ~ActivationReturn() {
        if (window_ != nullptr && window_->isVisible()) window_->activateWindow();
    }
    ActivationReturn(const ActivationReturn&) = delete;
    ActivationReturn& operator=(const ActivationReturn&) = delete;

private:
    QPointer<QWidget> window_;
};

int run_message(QWidget* main_window, QMessageBox::Icon icon, const std::string& title,
                const std::string& text, QMessageBox::StandardButtons buttons) {
    const ActivationReturn back(main_window);
    QMessageBox box(icon, from_utf8(title), from_utf8(text), buttons, main_window);
    return box.exec();
}

std::optional<std::string> run_file_dialog(QWidget* parent, const FileDialogRequest& request,
                                           bool save) {
    const ActivationReturn back(parent);
    QFileDialog dialog(parent, from_utf8(request.title), from_path(request.folder),
                       qt_name_filter(request.filter));
    QStringList filters{qt_name_filter(request.filter)};
    for (const std::string& filter : request.more_filters) filters.append(qt_name_filter(filter));
    dialog.setNameFilters(filters);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(from_utf8(request.default_suffix));
        if (!request.file_name.empty()) dialog.selectFile(from_path(request.file_name));
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.may_replace);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return QFile::encodeName(dialog.selectedFiles().first()).toStdString();
}

}  // namespace

QString qt_name_filter(const std::string& filter) {
    const size_t bar = filter.find('|');
    if (bar == std::string::npos) return from_utf8(filter);
    const QString description = from_utf8(filter.substr(0, bar));
    const QString patterns = from_utf8(filter.substr(bar + 1));
    // A description that already ends with its patterns is shown as written, not with them twice.
    if (description.endsWith("(" + patterns + ")")) return description;
    return description + " (" + patterns + ")";
}

void QtUserDialogs::attach(QWidget* main_window, TForm2* form2, TForm3* form3) {
    main_window_ = main_window;
    form2_ = form2;
    form3_ = form3;
}

bool QtUserDialogs::confirm(const std::string& text, const std::string& title) {
    return run_message(main_window_, QMessageBox::Question, title, text,
                       QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

SaveAnswer QtUserDialogs::ask_save(const std::string& text, const std::string& title) {
    switch (run_message(main_window_, QMessageBox::Question, title, text,
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel)) {
        case QMessageBox::Yes:
            return SaveAnswer::kYes;
        case QMessageBox::No:
            return SaveAnswer::kNo;
        default:
            return SaveAnswer::kCancel;
    }
}

void QtUserDialogs::warn(const std::string& text, const std::string& title) {
    run_message(main_window_, QMessageBox::Warning, title, text, QMessageBox::Ok);
}

void QtUserDialogs::notify(const std::string& text, const std::string& title) {
    run_message(main_window_, QMessageBox::Information, title, text, QMessageBox::Ok);
}

void QtUserDialogs::plain(const std::string& text) {
    run_message(main_window_, QMessageBox::NoIcon, std::string(), text, QMessageBox::Ok);
}

std::optional<std::string> QtUserDialogs::open_file(const FileDialogRequest& request) {
    return run_file_dialog(main_window_, request, false);
}

std::optional<std::string> QtUserDialogs::save_file(const FileDialogRequest& request) {
    return run_file_dialog(main_window_, request, true);
}

std::optional<Rgb> QtUserDialogs::choose_colour(const Rgb& initial) {
    const ActivationReturn back(main_window_);
    QColorDialog dialog(QColor(initial.red, initial.green, initial.blue), main_window_);
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted) return {};
    const QColor colour = dialog.selectedColor();
    return Rgb{colour.red(), colour.green(), colour.blue()};
}

int32_t QtUserDialogs::choose_object(const ObjectTable& table, const std::string& prompt) {
    const ActivationReturn back(main_window_);
    return form2_->choose(table, prompt, ui_language ? *ui_language : 1);
}

void QtUserDialogs::frame_dialog(FrameDialogMode mode) {
    const ActivationReturn back(main_window_);
    form3_->run(mode);
}

int QtUserDialogs::ask_choice(const std::string& text, const std::string& title,
                              const std::vector<std::string>& answers) {
    const ActivationReturn back(main_window_);
    QMessageBox box(QMessageBox::Question, from_utf8(title), from_utf8(text), QMessageBox::NoButton,
                    main_window_);
    std::vector<QPushButton*> buttons;
    for (size_t i = 0; i < answers.size(); ++i) {
        const QMessageBox::ButtonRole role = i == 0                    ? QMessageBox::AcceptRole
                                             : i + 1 == answers.size() ? QMessageBox::RejectRole
                                                                       : QMessageBox::NoRole;
        buttons.push_back(box.addButton(from_utf8(answers[i]), role));
    }
    if (!buttons.empty()) {
        box.setDefaultButton(buttons.front());
        box.setEscapeButton(buttons.back());
    }
    box.exec();
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (box.clickedButton() == buttons[i]) return static_cast<int>(i);
    }
    return static_cast<int>(answers.size()) - 1;
}

ListAnswer QtUserDialogs::ask_save_from_list(const std::string& text, const std::string& title,
                                             const std::vector<std::string>& items, size_t chosen) {
    const ActivationReturn back(main_window_);
    QDialog dialog(main_window_);
    dialog.setWindowTitle(from_utf8(title));
    auto* layout = new QVBoxLayout(&dialog);
    auto* top = new QHBoxLayout;
    auto* icon = new QLabel(&dialog);
    const int size = dialog.style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
    icon->setPixmap(dialog.style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(size));
    icon->setAlignment(Qt::AlignTop);
    top->addWidget(icon);
    auto* label = new QLabel(from_utf8(text), &dialog);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    top->addWidget(label, 1);
    layout->addLayout(top);
    auto* list = new QListWidget(&dialog);
    for (const std::string& item : items) list->addItem(from_utf8(item));
    list->setCurrentRow(static_cast<int>(std::min(chosen, items.empty() ? 0 : items.size() - 1)));
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Yes | QDialogButtonBox::No | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    SaveAnswer answer = SaveAnswer::kCancel;
    QObject::connect(buttons, &QDialogButtonBox::clicked, &dialog, [&](QAbstractButton* button) {
        switch (buttons->standardButton(button)) {
            case QDialogButtonBox::Yes:
                answer = SaveAnswer::kYes;
                break;
            case QDialogButtonBox::No:
                answer = SaveAnswer::kNo;
                break;
            default:
                answer = SaveAnswer::kCancel;
                break;
        }
        dialog.done(0);
    });
    // a double click on an item takes it
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, [&] {
        answer = SaveAnswer::kYes;
        dialog.done(0);
    });
    buttons->button(QDialogButtonBox::Yes)->setDefault(true);
    list->setFocus();
    dialog.exec();
    const int row = list->currentRow();
    return ListAnswer{answer, row < 0 ? chosen : static_cast<size_t>(row)};
}

bool QtUserDialogs::run_with_progress(const ProgressRequest& request, const ProgressWork& work) {
    constexpr int kSteps = 1000;
    const ActivationReturn back(main_window_);
    QProgressDialog dialog(from_utf8(request.text), from_utf8(request.cancel), 0, kSteps,
                           main_window_);
    dialog.setWindowTitle(from_utf8(request.title));
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setMinimumDuration(500);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setValue(0);  // starts the clock that shows the dialog after the minimum duration

    // The work runs on a thread of its own, so that the windows repaint at their pace whatever
    // the work's; this thread only passes the share and the cancel between it and the dialog.
    std::atomic<int> done{0};
    std::atomic<bool> cancelled{false}, finished{false};
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work([&](double share) {
                done.store(static_cast<int>(share * kSteps));
                return !cancelled.load();
            });
        } catch (...) {
            failure = std::current_exception();
        }
        finished.store(true);
    });
    QObject::connect(&dialog, &QProgressDialog::canceled, [&] { cancelled.store(true); });
    QTimer tick;
    tick.start(20);
    while (!finished.load()) {
        // Until the dialog shows, a click or key is kept for afterwards rather than let reach
        // a window whose session the work is reading; once shown, the modal dialog keeps them
        // from the other windows itself.
        QCoreApplication::processEvents(
            (dialog.isVisible() ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents) |
            QEventLoop::WaitForMoreEvents);
        // Before it shows, the dialog's own timer shows it after the minimum duration; a value
        // set meanwhile would let it guess the time left and show early, if only for a flash.
        if (dialog.isVisible() && !cancelled.load()) {
            dialog.setValue(std::min(done.load(), kSteps - 1));
        }
    }
    worker.join();
    if (failure) std::rethrow_exception(failure);
    return !cancelled.load();
}

}  // namespace warpkit
