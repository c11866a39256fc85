// Warpkit: prepares morph animations from QXM rev.3 objects.
#include <QApplication>
#include <QMessageBox>
#include <QSurfaceFormat>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>

#include "app/configuration.h"
#include "app/open_at_start.h"
#include "app/session_recovery.h"
#include "app/tform1.h"
#include "base/editor_state.h"
#include "base/texts.h"
#include "controls/form2.h"
#include "controls/form3.h"
#include "controls/qt_user_dialogs.h"
#include "view/gl_format.h"

int main(int argc, char** argv) {
    // Help, version and usage mistakes are answered before anything needs a display.
    std::error_code no_folder;
    const warpkit::StartArguments arguments = warpkit::parse_start_arguments(
        {argv + 1, argv + argc}, std::filesystem::current_path(no_folder).string());
    if (const std::optional<int> status =
            warpkit::answer_without_window(arguments, std::cout, std::cerr))
        return *status;

    QSurfaceFormat::setDefaultFormat(warpkit::preview_surface_format());
    // The arguments are Warpkit's own: Qt takes its settings from the environment instead.
    int qt_argc = 1;
    QApplication app(qt_argc, argv);
    QApplication::setApplicationName(warpkit::texts::kAppTitle);
    warpkit::identify_with_desktop_entry();
    try {
        warpkit::EditorState state;
        warpkit::QtUserDialogs dialogs;
        dialogs.ui_language = &state.UiLanguage;
        warpkit::TForm1 form1(state, dialogs, warpkit::read_model_data_folder());
        warpkit::TForm2 form2(&form1);
        warpkit::TForm3 form3(state, dialogs, &form1);
        dialogs.attach(&form1, &form2, &form3);
        form1.show();
        // Not started yet: the recovery copies left behind are offered only once the file
        // named on the command line is open, so its dialogs and the recovery question never
        // stand over each other, and restoring (the only copy of that work) comes last.
        warpkit::SessionRecovery recovery(
            form1, warpkit::recovery_folder(std::getenv("XDG_STATE_HOME"), std::getenv("HOME")));
        warpkit::open_at_start(form1, arguments, [&recovery] { recovery.start(); });
        return app.exec();
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, warpkit::texts::kAppTitle, error.what());
    }
    return 0;
}
