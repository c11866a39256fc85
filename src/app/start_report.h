#pragma once
// A test hook of the real program. With WARPKIT_START_REPORT naming a file, start-up answers
// each message box and selection dialog it shows with OK, writes what was shown and the
// session it opened (language, source, targets, modified flag, drawn pixels) to that file, and
// ends the program with status 0. Tests of the built or installed program see through it what
// a user would see; without the variable none of this exists.
#include <QObject>
#include <QString>
#include <QStringList>

namespace warpkit {

class TForm1;

class StartReport : public QObject {
    Q_OBJECT
public:
    // Nothing when the variable is not set.
    static StartReport* from_environment(TForm1& form);
    // Call once the start file is handled: writes the report and ends the event loop.
    void finish();

private:
    StartReport(TForm1& form, QString path);
    void answer_shown_dialog();

    TForm1& form_;
    QString path_;
    QStringList shown_;
};

}  // namespace warpkit
