#pragma once
// The file menu: new, save, load and quit, the about box, and the close request; each asks
// before unsaved work is lost. A weight field still being typed into is committed first, so
// that what is saved or asked about is what the screen shows.
#include <QObject>
#include <functional>
#include <string>

#include "base/texts.h"

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

    // Loads the project file at `path` as the load command does once the file is chosen, with
    // the same checks, warnings and notes of repairs; false when it was refused and the
    // session is as it was.
    bool load_project_at(const std::string& path);
    // The name the save dialog offers (the one last chosen in it); a restored session takes
    // back the one it had.
    const std::string& offered_save_name() const { return last_saved_name_; }
    void offer_save_name(const std::string& name) { last_saved_name_ = name; }

Q_SIGNALS:
    // A save, a new project or a load has left nothing unsaved to keep a copy of.
    void session_settled();

private:
    // The save question; true when the command may go on.
    bool save_question(const MessageText& question);
    // A field the user left half-typed ("" or "1.2.") when the session was replaced would be
    // refused at every later blend, and an empty row's field cannot be edited to mend it: such
    // a field reads "0" again. Fields holding a number keep their text.
    void settle_weight_fields();

    TForm1& form_;
    std::string last_saved_name_;  // the file name last chosen in the save dialog
};

}  // namespace warpkit
