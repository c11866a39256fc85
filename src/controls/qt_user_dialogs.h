#pragma once
// The real dialogs: message boxes, Qt's own file dialogs (so tests can drive them), the colour
// chooser, and the two forms of the program.
#include <QString>

#include "session/user_dialogs.h"

class QWidget;

namespace warpkit {

class TForm2;
class TForm3;

class QtUserDialogs : public UserDialogs {
public:
    // The windows come after the dialogs exist (the main window asks through this object).
    void attach(QWidget* main_window, TForm2* form2, TForm3* form3);

    bool confirm(const std::string& text, const std::string& title) override;
    SaveAnswer ask_save(const std::string& text, const std::string& title) override;
    void warn(const std::string& text, const std::string& title) override;
    void notify(const std::string& text, const std::string& title) override;
    void plain(const std::string& text) override;
    std::optional<std::string> open_file(const FileDialogRequest& request) override;
    std::optional<std::string> save_file(const FileDialogRequest& request) override;
    std::optional<Rgb> choose_colour(const Rgb& initial) override;
    int32_t choose_object(const ObjectTable& table, const std::string& prompt) override;
    void frame_dialog(FrameDialogMode mode) override;
    int ask_choice(const std::string& text, const std::string& title,
                   const std::vector<std::string>& answers) override;
    ListAnswer ask_save_from_list(const std::string& text, const std::string& title,
                                  const std::vector<std::string>& items, size_t chosen) override;
    bool run_with_progress(const ProgressRequest& request, const ProgressWork& work) override;

    // The UiLanguage the object selection dialog reads.
    const int32_t* ui_language = nullptr;

private:
    QWidget* main_window_ = nullptr;
    TForm2* form2_ = nullptr;
    TForm3* form3_ = nullptr;
};

// "Description|*.ext" as Qt writes a name filter: "Description (*.ext)"; a description that
// ends with "(*.ext)" already is kept as it is.
QString qt_name_filter(const std::string& filter);

}  // namespace warpkit
