#include "app/qt_user_dialogs.h"

#include <QColorDialog>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>

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

std::optional<std::string> run_file_dialog(QWidget* parent, const FileDialogRequest& request,
                                           bool save) {
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
    QMessageBox box(QMessageBox::Question, from_utf8(title), from_utf8(text),
                    QMessageBox::Ok | QMessageBox::Cancel, main_window_);
    return box.exec() == QMessageBox::Ok;
}

SaveAnswer QtUserDialogs::ask_save(const std::string& text, const std::string& title) {
    QMessageBox box(QMessageBox::Question, from_utf8(title), from_utf8(text),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, main_window_);
    switch (box.exec()) {
        case QMessageBox::Yes:
            return SaveAnswer::kYes;
        case QMessageBox::No:
            return SaveAnswer::kNo;
        default:
            return SaveAnswer::kCancel;
    }
}

void QtUserDialogs::warn(const std::string& text, const std::string& title) {
    QMessageBox box(QMessageBox::Warning, from_utf8(title), from_utf8(text), QMessageBox::Ok,
                    main_window_);
    box.exec();
}

void QtUserDialogs::notify(const std::string& text, const std::string& title) {
    QMessageBox box(QMessageBox::Information, from_utf8(title), from_utf8(text), QMessageBox::Ok,
                    main_window_);
    box.exec();
}

void QtUserDialogs::plain(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QString(), from_utf8(text), QMessageBox::Ok, main_window_);
    box.exec();
}

std::optional<std::string> QtUserDialogs::open_file(const FileDialogRequest& request) {
    return run_file_dialog(main_window_, request, false);
}

std::optional<std::string> QtUserDialogs::save_file(const FileDialogRequest& request) {
    return run_file_dialog(main_window_, request, true);
}

std::optional<Rgb> QtUserDialogs::choose_colour(const Rgb& initial) {
    QColorDialog dialog(QColor(initial.red, initial.green, initial.blue), main_window_);
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted) return {};
    const QColor colour = dialog.selectedColor();
    return Rgb{colour.red(), colour.green(), colour.blue()};
}

int32_t QtUserDialogs::choose_object(const ObjectTable& table, const std::string& prompt) {
    return form2_->choose(table, prompt, ui_language ? *ui_language : 1);
}

void QtUserDialogs::frame_dialog(FrameDialogMode mode) {
    form3_->run(mode);
}

}  // namespace warpkit
