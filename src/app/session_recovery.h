#pragma once
// Keeps the recovery copy of the running session: a look every half second compares what a
// save would write (and the side file) with what was written last, and a difference that has
// lasted about two seconds is written by a thread of its own. So every kind of edit, undo and
// redo included, is covered without hooking each command, and a drag never waits for the
// disk. A save, a new project or a load removes the copy, and so does a normal end of the
// program, whatever its exit status. At start-up, a copy left by a session that did not end
// cleanly is offered for restoring.
#include <QElapsedTimer>
#include <QObject>
#include <memory>
#include <optional>
#include <string>

#include "project/recovery.h"

class QLockFile;
class QTimer;

namespace warpkit {

class TForm1;
class RecoveryWriter;

class SessionRecovery : public QObject {
    Q_OBJECT
public:
    // `folder`: the recovery folder (recovery_folder()); empty leaves recovery off. `delay_ms`:
    // how long a difference lasts before it is written. Nothing happens before start(), which
    // is called once the window is shown and the event loop runs, so that its questions have
    // the shown main window as their parent.
    SessionRecovery(TForm1& form, std::string folder, int delay_ms = 2000);
    // Leaves the copy in place: an end that is not the program's normal one keeps it.
    ~SessionRecovery() override;

    // Takes this session's lock, offers the copies left behind, then starts watching.
    void start();
    // One look at the session (the timer's; the drag benchmark calls it directly).
    void check();
    // The program ends normally: the copy goes, then the lock.
    void finish();

private:
    struct Snapshot {
        std::string project;    // empty: no source, nothing to keep
        std::string info;       // empty with it
        BilingualText problem;  // set: a session that no project file can record
        bool operator==(const Snapshot& other) const {
            return project == other.project && info == other.info && problem == other.problem;
        }
    };
    Snapshot snapshot() const;
    // After a save, a new project or a load: what the session holds is in a file or nowhere.
    void settle();
    // Offers each copy left behind, newest first, until one is restored; removes the lock and
    // side file of every session that ended without leaving a copy.
    void offer_copies();
    // True when the copy's lock is now held here: no running program has it.
    bool claim(const FoundCopy& copy, QLockFile& lock) const;
    // Asks about one copy and restores or keeps it; true when the session was restored.
    bool restore_or_keep(const FoundCopy& copy);
    void apply_info(const RecoveryInfo& info);
    // Moves a copy aside and says so with `said` (formatted by the caller, both languages).
    void keep(const FoundCopy& copy, const BilingualText& said, const MessageText& message);
    void say_failure_when_idle();
    // The copy cannot be kept (in the interface's language: this comes while the user works).
    void say_unwritable(const BilingualText& reason);

    TForm1& form_;
    const std::string folder_;
    const RecoveryFiles files_;
    const int delay_ms_;
    ProcessProbe probe_;
    SessionOwner owner_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<RecoveryWriter> writer_;
    QTimer* timer_ = nullptr;
    Snapshot written_;
    int32_t written_frame_ = 0;
    QElapsedTimer differs_since_;          // running while the session differs from written_
    std::optional<BilingualText> unsaid_;  // a write failure waiting for a quiet moment
    bool finished_ = false;
};

}  // namespace warpkit
