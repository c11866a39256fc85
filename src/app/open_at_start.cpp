#include "app/open_at_start.h"

#include <QGuiApplication>
#include <QIcon>
#include <QTimer>

#include "app/project_commands.h"
#include "app/slot_commands.h"
#include "app/start_report.h"
#include "app/tform1.h"
#include "base/display_text.h"
#include "base/texts.h"

namespace warpkit {

namespace {

void open_file(TForm1& form, const std::string& path) {
    if (start_file_kind(path) == StartFileKind::kProject) {
        form.projects->load_project_file(path);
        return;
    }
    // The open dialog lets only existing files through, so the source load is silent about a
    // file it cannot open; a file named outright may be gone, and the user must hear of it.
    const BilingualText problem = open_problem(path);
    if (!problem.empty()) {
        const int32_t language = form.state().UiLanguage;
        const MessageText& message = texts::kObjectFileUnopenable;
        form.dialogs().warn(shown_message(language, message, display_text(path).c_str(),
                                          problem.in(language).c_str()));
        return;
    }
    form.slots_->load_source_file(path);
}

}  // namespace

void open_at_start(TForm1& form, const StartArguments& arguments,
                   std::function<void()> after_open) {
    // As the menu item does it, so the menu's captions follow.
    if (arguments.ui_language != 1) form.EnglishClick();
    StartReport* report = StartReport::from_environment(form);
    QTimer::singleShot(0, &form, [&form, file = arguments.file, report, after_open] {
        if (!file.empty()) form.run_reading_command([&form, &file] { open_file(form, file); });
        if (report != nullptr) {
            report->finish();
        } else if (after_open) {
            after_open();
        }
    });
}

void identify_with_desktop_entry() {
    QGuiApplication::setDesktopFileName("warpkit");
    QGuiApplication::setWindowIcon(QIcon::fromTheme("warpkit"));
}

}  // namespace warpkit
