#include "app/session_recovery.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSysInfo>
#include <QTimer>

#include "app/edit_history.h"
#include "app/project_commands.h"
#include "app/tform1.h"
#include "base/display_text.h"
#include "model/qxm_reader.h"
#include "project/project_file.h"
#include "project/recovery_writer.h"
#include "session/session_edits.h"
#include "session/user_dialogs.h"

namespace warpkit {
namespace {

constexpr int kLookIntervalMs = 500;
// A write takes milliseconds; a temporary file this old was left by one that was cut short.
constexpr int64_t kStaleTemporarySeconds = 60;

// The side file's writer, or nothing when the file cannot be read or is not one.
std::optional<RecoveryInfo> read_info(const std::string& path) {
    std::string text;
    RecoveryInfo info;
    BilingualText unused;
    if (!read_recovery_text(path, kMaxRecoveryInfoBytes, text).empty() ||
        !parse_recovery_info(text, info, unused)) {
        return std::nullopt;
    }
    return info;
}

// A message of start-up: the user has had no chance yet to pick a language, so both show.
struct BothLanguages {
    std::string text;
    std::string title;
};
BothLanguages in_both(const MessageText& message, const BilingualText& text) {
    return {text.ja + "\n\n" + text.en, std::string(message.title.ja) + " / " + message.title.en};
}

}  // namespace

SessionRecovery::SessionRecovery(TForm1& form, std::string folder, int delay_ms)
    : QObject(&form),
      form_(form),
      folder_(std::move(folder)),
      files_(recovery_files(folder_, new_recovery_id())),
      delay_ms_(delay_ms),
      probe_(system_probe(QSysInfo::machineHostName().toStdString())),
      owner_(this_process(probe_)) {
    timer_ = new QTimer(this);
    timer_->setInterval(kLookIntervalMs);
    connect(timer_, &QTimer::timeout, this, &SessionRecovery::check);
    connect(form.projects, &ProjectCommands::session_settled, this, &SessionRecovery::settle);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &SessionRecovery::finish);
}

SessionRecovery::~SessionRecovery() {
    if (writer_) writer_->wait();
}

void SessionRecovery::start() {
    if (folder_.empty() || lock_ || finished_) return;
    const FileOutcome made = make_recovery_folder(folder_);
    if (!made.ok) return say_unwritable(made.reason);
    // Held for the whole session, so its age says nothing: only a holder that is gone makes
    // it stale.
    lock_ = std::make_unique<QLockFile>(QFile::decodeName(files_.lock.c_str()));
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(0)) {
        lock_.reset();
        return say_unwritable(format_both(
            {"ロックファイル %s を作成できません", "the lock file %s could not be created"},
            display_text(files_.lock)));
    }
    writer_ = std::make_unique<RecoveryWriter>(files_);
    remove_stale_temporaries(folder_, kStaleTemporarySeconds);
    offer_copies();
    timer_->start();
}

SessionRecovery::Snapshot SessionRecovery::snapshot() const {
    const EditorState& state = form_.state();
    Snapshot now;
    // A session that is what its file holds (just opened, saved, or undone back to the save)
    // needs no copy: restoring it would only offer the file again.
    if (!state.source_loaded() || state.modified == 0) return now;
    const ProjectData data = project_from_state(state);
    now.problem = project_data_problem(data);
    if (!now.problem.empty()) return now;
    now.project = write_project_text(data);
    RecoveryInfo info;
    info.project_folder = state.project_folder;
    info.save_name = form_.projects->offered_save_name();
    // Playback moves the frame a thousand times a second; it alone is no reason to write.
    const bool playing = state.playing_forward != 0 || state.playing_backward != 0;
    info.current_frame = playing ? written_frame_ : state.current_frame;
    info.language = state.UiLanguage;
    info.owner = owner_;
    now.info = write_recovery_info(info);
    return now;
}

void SessionRecovery::check() {
    if (!writer_ || finished_) return;
    say_failure_when_idle();
    const Snapshot now = snapshot();
    if (now == written_) {
        differs_since_.invalidate();
        return;
    }
    if (!differs_since_.isValid()) differs_since_.start();
    if (differs_since_.elapsed() < delay_ms_) return;
    differs_since_.invalidate();
    written_ = now;
    written_frame_ = form_.state().current_frame;
    if (!now.problem.empty()) {
        writer_->refuse(now.problem);
    } else if (now.project.empty()) {
        writer_->remove();
    } else {
        writer_->write(now.project, now.info);
    }
}

void SessionRecovery::settle() {
    if (!writer_ || finished_) return;
    writer_->remove();
    written_ = snapshot();
    written_frame_ = form_.state().current_frame;
    differs_since_.invalidate();
}

void SessionRecovery::finish() {
    if (finished_) return;
    finished_ = true;
    timer_->stop();
    if (writer_) {
        writer_->remove();
        writer_->wait();
    }
    if (lock_) lock_->unlock();
}

void SessionRecovery::say_failure_when_idle() {
    if (std::optional<BilingualText> reason = writer_->failure_to_report()) unsaid_ = reason;
    // Not in the middle of a drag, and not over another dialog.
    if (!unsaid_ || form_.state().drag_mode != 0 || QApplication::activeModalWidget() != nullptr) {
        return;
    }
    say_unwritable(*std::exchange(unsaid_, std::nullopt));
}

void SessionRecovery::say_unwritable(const BilingualText& reason) {
    const int32_t language = form_.state().UiLanguage;
    const MessageText& message = texts::kRecoveryWriteFailed;
    form_.dialogs().warn(shown_message(language, message, display_text(folder_).c_str(),
                                       reason.in(language).c_str()));
}

void SessionRecovery::offer_copies() {
    bool restored = false;
    // After a restore the other copies wait for a later start; the locks and side files left
    // alone by sessions that ended are tidied all the same.
    for (const FoundCopy& copy : find_copies(folder_, files_.id)) {
        if (restored && copy.has_project) continue;
        QLockFile lock(QFile::decodeName(copy.files.lock.c_str()));
        lock.setStaleLockTime(0);
        if (!claim(copy, lock)) continue;
        if (!copy.has_project) {
            // A session ended between removing its two files, or before its first copy: the
            // lock, taken now, goes with `lock`.
            remove_copy(copy.files);
            continue;
        }
        if (form_.run_reading_command([&] { restored = restore_or_keep(copy); })) continue;
        // Stopped by an exception, and said so: offered again at every start, the copy would
        // stop every start the same way.
        keep(copy, format_both(texts::kRecoveryPartlyKept.text, display_text(kept_folder(folder_))),
             texts::kRecoveryPartlyKept);
        restored = form_.state().source_loaded();
    }
}

bool SessionRecovery::claim(const FoundCopy& copy, QLockFile& lock) const {
    if (lock.tryLock(0)) return true;
    if (lock.error() != QLockFile::LockFailedError) return false;
    std::optional<SessionOwner> writer;
    if (const std::optional<RecoveryInfo> info = read_info(copy.files.info)) writer = info->owner;
    const QString lock_path = QFile::decodeName(copy.files.lock.c_str());
    const auto left_over = [&] {
        qint64 pid = 0;
        QString host, application;
        const bool named = lock.getLockInfo(&pid, &host, &application);
        if (!copy.has_project && !copy.has_info) {
            // A session killed before its first copy left only its lock, which alone names it.
            const int64_t written_at = QFileInfo(lock_path).lastModified().toSecsSinceEpoch();
            return named &&
                   lock_left_over(SessionOwner{pid, host.toStdString(), {}, 0}, written_at, probe_);
        }
        return copy_left_behind(false, named ? static_cast<int64_t>(pid) : 0, writer, probe_);
    };
    if (!left_over()) return false;
    // The lock names a writer whose process id now belongs to another Warpkit (after a reboot,
    // maybe this one): the lock is left over. Removed under the guard Qt's own locks use, and
    // looked at again inside it, so two programs starting at once cannot both take it.
    QLockFile guard(QFile::decodeName((copy.files.lock + ".rmlock").c_str()));
    if (!guard.tryLock(0)) return false;
    if (!left_over()) return false;
    QFile::remove(lock_path);
    return lock.tryLock(0);
}

bool SessionRecovery::restore_or_keep(const FoundCopy& copy) {
    const std::string kept = display_text(kept_folder(folder_));
    std::string text;
    ParseOutcome parsed;
    parsed.reason = read_recovery_text(copy.files.project, kMaxRecoveryCopyBytes, text);
    ProjectData data;
    if (parsed.reason.empty()) parsed = parse_project_text(text, data);
    if (!parsed.ok) {
        keep(copy,
             format_both(texts::kRecoveryUnreadable.text, display_text(copy.files.project),
                         parsed.reason, kept),
             texts::kRecoveryUnreadable);
        return false;
    }
    const std::string written_at =
        QDateTime::fromSecsSinceEpoch(copy.written_at).toString("yyyy-MM-dd HH:mm").toStdString();
    const BothLanguages question = in_both(
        texts::kRecoveryQuestion, format_both(texts::kRecoveryQuestion.text, written_at, kept));
    if (!form_.dialogs().confirm(question.text, question.title)) {
        keep(copy, {}, texts::kRecoveryNotMoved);
        return false;
    }
    if (!form_.projects->load_project_at(copy.files.project)) {
        keep(copy, format_both(texts::kRecoveryPartlyKept.text, kept), texts::kRecoveryPartlyKept);
        return false;
    }
    if (const std::optional<RecoveryInfo> info = read_info(copy.files.info)) apply_info(*info);
    // Restored work is not in any file: no undo may reach a "saved" state.
    form_.state().modified = 1;
    form_.history->clear(false);

    // This session's own copy first; the old one goes only once it holds all of it.
    written_ = snapshot();
    written_frame_ = form_.state().current_frame;
    if (!written_.project.empty()) writer_->write(written_.project, written_.info);
    writer_->wait();
    std::string written;
    if (!written_.project.empty() &&
        read_recovery_text(files_.project, kMaxRecoveryCopyBytes, written).empty() &&
        written == text) {
        remove_copy(copy.files);
    } else {
        keep(copy, format_both(texts::kRecoveryPartlyKept.text, kept), texts::kRecoveryPartlyKept);
    }
    return true;
}

void SessionRecovery::apply_info(const RecoveryInfo& info) {
    EditorState& state = form_.state();
    // Switched only when it differs, so a Japanese session keeps the captions of the start.
    if ((info.language == 1) != state.japanese()) {
        if (info.language == 1) {
            form_.JapanClick();
        } else {
            form_.EnglishClick();
        }
    }
    if (!info.project_folder.empty()) state.project_folder = info.project_folder;
    form_.projects->offer_save_name(info.save_name);
    set_current_frame(state, info.current_frame);
    form_.refresh_timeline();
    form_.scroll_go(0, 0);
}

void SessionRecovery::keep(const FoundCopy& copy, const BilingualText& said,
                           const MessageText& message) {
    const FileOutcome moved = move_aside(copy.files);
    const MessageText& shown = moved.ok ? message : texts::kRecoveryNotMoved;
    const BilingualText words = moved.ok
                                    ? said
                                    : format_both(texts::kRecoveryNotMoved.text,
                                                  display_text(copy.files.project), moved.reason);
    if (words.empty()) return;
    const BothLanguages box = in_both(shown, words);
    form_.dialogs().warn(box.text, box.title);
}

}  // namespace warpkit
