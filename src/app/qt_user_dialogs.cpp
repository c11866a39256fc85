#include "app/qt_user_dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>

#include "model/form2.h"
#include "morph/form3.h"

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

}  // namespace warpkit
