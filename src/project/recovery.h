#pragma once
// The recovery copy of a session, kept so that a kill, a crash or a power cut never costs the
// edits made since the last save. Each running program keeps three files in the recovery
// folder, named after its session id:
//   <id>.twp   the project text exactly as a save would write it
//   <id>.info  what a project does not hold: the save dialog's folder and name, the current
//              frame, the language, and who wrote the copy
//   <id>.lock  the lock the running program holds (taken and read by the window layer)
// This part decides what is written, where, and whether a copy found at start-up was left by
// a session that did not end cleanly; it moves such a copy aside when it is not restored.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/bilingual_text.h"
#include "base/safe_replace.h"
#include "project/project_file.h"

namespace warpkit {

// $XDG_STATE_HOME/warpkit, or $HOME/.local/state/warpkit when XDG_STATE_HOME is unset, empty
// or relative (such a value is to be ignored); empty when neither gives an absolute folder.
std::string recovery_folder(const char* xdg_state_home, const char* home);

// Where declined and unreadable copies are kept: the folder "kept" inside the recovery folder.
std::string kept_folder(const std::string& folder);

struct RecoveryFiles {
    std::string id;
    std::string project;  // <folder>/<id>.twp
    std::string info;     // <folder>/<id>.info
    std::string lock;     // <folder>/<id>.lock
};

RecoveryFiles recovery_files(const std::string& folder, const std::string& id);

// A new session id: start time, process id and a random part ("20261207-153012-4242-9f3a1c"),
// so that two programs started in one second never share one.
std::string new_recovery_id();

// Creates the recovery folder (and its parents) for the user alone (0700) when it is missing.
FileOutcome make_recovery_folder(const std::string& folder);

// Who wrote a copy, so that a later start can tell whether that process still runs. Process
// ids alone are reused, soonest after a power cut when the numbering starts again; the boot
// and the process's start time tell a new process of the same id from the writer.
struct SessionOwner {
    int64_t pid = 0;
    std::string host;
    std::string boot_id;       // empty where the system has none
    uint64_t start_ticks = 0;  // start of the process in clock ticks after boot; 0 unknown
};

// What the system says now: its host, this boot's id, and the start time of the process with
// a given id (nothing when no such process runs); when this boot began and how many clock
// ticks make a second, to tell whether a process started before a file was written.
struct ProcessProbe {
    std::string host;
    std::string boot_id;
    std::function<std::optional<uint64_t>(int64_t pid)> start_ticks_of;
    int64_t boot_time = 0;  // seconds since 1970; 0 unknown
    int64_t ticks_per_second = 0;
};

// The probe of this machine (/proc on Linux; elsewhere boot and start times stay unknown).
ProcessProbe system_probe(const std::string& host);

// This process as a later start will look for it.
SessionOwner this_process(const ProcessProbe& probe);

// True when the process `owner` names certainly runs no more: another boot, no process of that
// id, or one that started at another time. False while it may still run, and for a process of
// another host, which cannot be asked.
bool owner_has_ended(const SessionOwner& owner, const ProcessProbe& now);

// True when the process `owner` names is certainly the one running now: same host and boot,
// and a process of that id that started at the recorded time.
bool owner_seen_running(const SessionOwner& owner, const ProcessProbe& now);

// Whether a copy found in the folder was left by a session that did not end cleanly.
// `lock_taken`: its lock could be taken, so no running program holds it (unless its lock file
// was deleted under a writer seen running). Otherwise `lock_holder` is the process id the lock
// names (0 when it could not be read): a holder that is the copy's own writer, gone by
// owner_has_ended, is a lock left over with a reused process id; any other holder is a program
// that runs, the writer or one restoring the copy now.
bool copy_left_behind(bool lock_taken, int64_t lock_holder,
                      const std::optional<SessionOwner>& writer, const ProcessProbe& now);

// Whether a lock with no copy and no side file beside it was left by a session that runs no
// more (one killed before its first copy, or ended by a signal), so that it can be removed.
// Only the lock names its writer: `holder` has the process id and host the lock holds, and
// `written_at` is the lock's modification time (seconds since 1970). True when the holder is
// gone by owner_has_ended, or when the process of that id now running started after the lock
// was written, so that its id was reused; false while the writer may still run, and for a
// lock of another host.
bool lock_left_over(const SessionOwner& holder, int64_t written_at, const ProcessProbe& now);

// What the side file holds.
struct RecoveryInfo {
    std::string project_folder;  // where the project dialogs start
    std::string save_name;       // the name the save dialog offers; empty for none
    int32_t current_frame = 0;
    int32_t language = 1;  // UiLanguage
    SessionOwner owner;
};

// The side file's text: a first line naming the format, then one "key value" line each.
// Folder and name are bytes as the session holds them; a byte below 0x20 and '%' are written
// as %XX so that every value stays on its line.
std::string write_recovery_info(const RecoveryInfo& info);

// Reads a side file's text; on failure `out` is untouched and the reason says what is wrong.
// Lines of keys it does not know are skipped, so a later program's file still reads.
bool parse_recovery_info(const std::string& text, RecoveryInfo& out, BilingualText& reason);

// A copy is a project text exactly as a save writes it, so it is bounded as a project file
// is; the side file holds two paths of at most kPathCapacity bytes (three times as long when
// every byte is escaped), a few numbers, a host name and a boot id: far below this.
inline constexpr int64_t kMaxRecoveryCopyBytes = kMaxProjectFileBytes;
inline constexpr int64_t kMaxRecoveryInfoBytes = 64 * 1024;

// Reads a copy or a side file whole into `out`. Empty on success; otherwise the cause, without
// the file's name ("not a regular file", "it is over 65536 bytes, ..."), and `out` empty: only a
// regular file of at most `max_bytes` is read, and a larger one is refused before reading.
BilingualText read_recovery_text(const std::string& path, int64_t max_bytes, std::string& out);

// A session's files found in the recovery folder.
struct FoundCopy {
    RecoveryFiles files;
    bool has_project = false;
    bool has_info = false;
    int64_t written_at = 0;  // the project file's modification time, seconds since 1970
};

// Every session in `folder` but `own_id`, by the files it has there; copies with a project
// first, the newest first.
std::vector<FoundCopy> find_copies(const std::string& folder, const std::string& own_id);

// Moves a copy's project and side file into kept_folder(), under their own names, creating it
// when missing. A file already moved is no error; on failure the files stay where they were
// and the reason says why.
FileOutcome move_aside(const RecoveryFiles& files);

// Removes a copy's project and side file, the project first so that a cut removal never leaves
// a copy without the side file naming its writer. Files already gone are no error.
void remove_copy(const RecoveryFiles& files);

// Removes temporary files of cut-short writes (a kill or power cut between writing and
// renaming) in `folder` that are older than `age_seconds`; younger ones may belong to a write
// under way in another running program.
void remove_stale_temporaries(const std::string& folder, int64_t age_seconds);

// When to tell the user that the copy cannot be written: at the first failure, and not again
// until a write has succeeded, so a full disk is said once and not at every change.
class FailureNotice {
public:
    // The reason to say after a write with this result, or nothing.
    std::optional<BilingualText> after(bool ok, const BilingualText& reason);

private:
    bool failing_ = false;
};

}  // namespace warpkit
