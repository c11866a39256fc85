#include "app/object_file_watch.h"

#include <sys/stat.h>

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QFileSystemWatcher>
#include <QTimer>
#include <algorithm>
#include <vector>

#include "app/edit_history.h"
#include "app/tform1.h"
#include "base/file_paths.h"
#include "session/session_history.h"

namespace warpkit {

namespace {

// How often every watched file is looked at besides what the watcher reports: short enough
// that a file back after a rename or a removal is read well within a second.
constexpr int kLookMilliseconds = 200;

QString qt_path(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string std_path(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

}  // namespace

ObjectFileWatch::ObjectFileWatch(TForm1& form) : QObject(&form), form_(form) {
    reader_.settings().export_tool =
        find_export_tool(QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString());
    clock_.start();
    watcher_ = new QFileSystemWatcher(this);
    connect(watcher_, &QFileSystemWatcher::fileChanged, this,
            [this](const QString& path) { look_at(std_path(path)); });
    // A rename over a watched file, or its removal and return, shows in its folder.
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { look_at_files(); });

    look_timer_ = new QTimer(this);
    look_timer_->setInterval(kLookMilliseconds);
    connect(look_timer_, &QTimer::timeout, this, &ObjectFileWatch::look_at_files);
    look_timer_->start();

    settle_timer_ = new QTimer(this);
    settle_timer_->setSingleShot(true);
    connect(settle_timer_, &QTimer::timeout, this, &ObjectFileWatch::read_settled);
}

ObjectFileWatch::Stamp ObjectFileWatch::stamp_of(const std::string& file) {
    Stamp stamp;
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) return stamp;
    stamp.exists = true;
    stamp.inode = static_cast<unsigned long long>(info.st_ino);
    stamp.size = static_cast<long long>(info.st_size);
    stamp.changed_ns = static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL +
                       static_cast<long long>(info.st_mtim.tv_nsec);
    return stamp;
}

void ObjectFileWatch::look_at_files() {
    const std::vector<std::string> files = watched_files(form_.state(), kept_);

    // files no slot reads any more
    for (auto it = stamps_.begin(); it != stamps_.end();) {
        if (std::find(files.begin(), files.end(), it->first) == files.end()) {
            watcher_->removePath(qt_path(it->first));
            it = stamps_.erase(it);
        } else {
            ++it;
        }
    }
    QStringList folders;
    for (const std::string& file : files) {
        if (stamps_.find(file) == stamps_.end()) {
            // just loaded: what is there now is what the slot holds
            stamps_[file] = stamp_of(file);
        } else {
            look_at(file);
        }
        // Qt lets go of a file that was removed or renamed away; it is taken up again here
        if (stamps_[file].exists && !watcher_->files().contains(qt_path(file))) {
            watcher_->addPath(qt_path(file));
        }
        const QString folder = qt_path(folder_of(file));
        if (!folder.isEmpty() && !folders.contains(folder)) folders << folder;
    }
    for (const QString& folder : watcher_->directories()) {
        if (!folders.contains(folder)) watcher_->removePath(folder);
    }
    for (const QString& folder : folders) {
        if (!watcher_->directories().contains(folder)) watcher_->addPath(folder);
    }
}

void ObjectFileWatch::note_kept_import(const std::string& kept, KeptImport import) {
    kept_[kept] = std::move(import);
    look_at_files();
}

void ObjectFileWatch::look_at(const std::string& file) {
    const auto seen = stamps_.find(file);
    if (seen == stamps_.end()) return;
    const Stamp now = stamp_of(file);
    // the same stamp: a report of a write already taken in (one of the program's own)
    if (now == seen->second) return;
    seen->second = now;
    if (!now.exists) return;
    settler_.changed(file, clock_.elapsed());
    settle_timer_->start(static_cast<int>(settler_.next_due(clock_.elapsed())));
}

bool ObjectFileWatch::must_wait() const {
    // A dialog or a menu open means a command or a choice is under way; the reload comes
    // after it, as after a drag or playback.
    return reloading_ || live_reload_waits(form_.state()) ||
           QApplication::activeModalWidget() != nullptr ||
           QApplication::activePopupWidget() != nullptr;
}

void ObjectFileWatch::read_settled() {
    if (settler_.idle()) return;
    if (must_wait()) {
        settle_timer_->start(kLookMilliseconds);
        return;
    }
    for (const std::string& file : settler_.take_settled(clock_.elapsed(), false)) settled(file);
    if (!settler_.idle()) {
        settle_timer_->start(static_cast<int>(settler_.next_due(clock_.elapsed())));
    }
}

void ObjectFileWatch::settled(const std::string& file) {
    EditorState& state = form_.state();
    for (const std::string& kept : kept_from(state, kept_, file)) {
        bool written = false;
        reloading_ = true;
        form_.run_reading_command(
            [&] {
                written = rewrite_kept_import(form_.dialogs(), state, reader_, kept, kept_[kept]);
            },
            [this] { reader_.ReleaseReadResult(); });
        reloading_ = false;
        if (!written) continue;
        // the program's own write is no change of its own to settle
        stamps_[kept] = stamp_of(kept);
        reload(kept, file);
    }
    if (!slots_reading(state, file).empty()) reload(file, file);
}

void ObjectFileWatch::reload(const std::string& file, const std::string& shown_file) {
    EditorState& state = form_.state();
    reloading_ = true;
    ReloadReport report;
    form_.run_reading_command([&] { report = reload_file(form_.dialogs(), state, reader_, file); },
                              [this] { reader_.ReleaseReadResult(); });
    std::vector<int> shown = report.reloaded;
    // A target matched to the source's order names a new file now, which Save writes: that
    // one is an edit, undone like a target load.
    for (MatchedReload& matched : report.matched) {
        EditStep undo = form_.history->begin(move_out_target(state, matched.slot));
        install_matched_reload(state, matched);
        form_.history->record(std::move(undo));
        shown.push_back(matched.slot);
    }
    if (!shown.empty()) {
        std::sort(shown.begin(), shown.end());
        form_.refresh_slot_rows();
        form_.reblend_current();
        form_.show_notice(
            QString::fromStdString(reload_notice(state, shown, shown_file).in(state.UiLanguage)));
    }
    reloading_ = false;
    // a matched file written just now is watched from what it holds
    look_at_files();
}

}  // namespace warpkit
