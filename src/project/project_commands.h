#pragma once
// The file menu: new, save, load and quit, the about box, and the close request; each asks
// before unsaved work is lost. A weight field still being typed into is committed first, so
// that what is saved or asked about is what the screen shows.
#include <QObject>
#include <functional>
#include <string>

#include "app/texts.h"

namespace warpkit {

class TForm1;

class ProjectCommands : public QObject {
    Q_OBJECT
public:
    explicit ProjectCommands(TForm1& form);

    bool SaveProject();
    void SAVEPROJECT1Click();
    void OPEN1Click();
    void LOADPROJECT1Click();
    // The project load after its question and dialog, for a file named outright as well.
    void load_project_file(const std::string& path);
    void QUIT1Click();
    void HELPClick();
    // The main window's close request: true when it may close.
    bool QuitApp();

    // Ends the program with a status; tests replace it.
    std::function<void(int)> exit_program;

private:
    // The save question; true when the command may go on.
    bool save_question(const MessageText& question);
    void warn(const MessageText& message, const std::string& text);
    // A field the user left half-typed ("" or "1.2.") when the session was replaced would be
    // refused at every later blend, and an empty row's field cannot be edited to mend it: such
    // a field reads "0" again. Fields holding a number keep their text.
    void settle_weight_fields();

    TForm1& form_;
    std::string last_saved_name_;  // the file name last chosen in the save dialog
};

}  // namespace warpkit
