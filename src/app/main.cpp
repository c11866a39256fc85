// Warpkit: prepares morph animations from QXM rev.3 objects.
#include <QApplication>
#include <QMessageBox>
#include <QSurfaceFormat>
#include <cstdlib>
#include <exception>

#include "app/configuration.h"
#include "app/editor_state.h"
#include "app/qt_user_dialogs.h"
#include "app/texts.h"
#include "app/tform1.h"
#include "model/form2.h"
#include "morph/form3.h"
#include "project/session_recovery.h"
#include "view/gl_format.h"

int main(int argc, char** argv) {
    QSurfaceFormat::setDefaultFormat(warpkit::preview_surface_format());
    QApplication app(argc, argv);
    QApplication::setApplicationName(warpkit::texts::kAppTitle);
    try {
        warpkit::EditorState state;
        warpkit::QtUserDialogs dialogs;
        dialogs.ui_language = &state.UiLanguage;
        warpkit::TForm1 form1(state, dialogs, warpkit::read_model_data_folder());
        warpkit::TForm2 form2(&form1);
        warpkit::TForm3 form3(state, dialogs, &form1);
        dialogs.attach(&form1, &form2, &form3);
        form1.show();
        warpkit::SessionRecovery recovery(
            form1, warpkit::recovery_folder(std::getenv("XDG_STATE_HOME"), std::getenv("HOME")));
        return app.exec();
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, warpkit::texts::kAppTitle, error.what());
    }
    return 0;
}
