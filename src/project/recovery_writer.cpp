#include "project/recovery_writer.h"

#include <utility>

namespace warpkit {

namespace {
constexpr unsigned kPrivateFile = 0600;
}

RecoveryWriter::RecoveryWriter(RecoveryFiles files)
    : files_(std::move(files)), thread_([this] { run(); }) {}

RecoveryWriter::~RecoveryWriter() {
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void RecoveryWriter::write(std::string project_text, std::string info_text) {
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        waiting_ = Request{false, std::move(project_text), std::move(info_text)};
    }
    wake_.notify_one();
}

void RecoveryWriter::remove() {
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        waiting_ = Request{true, {}, {}};
    }
    wake_.notify_one();
}

void RecoveryWriter::refuse(const BilingualText& reason) {
    const std::lock_guard<std::mutex> hold(mutex_);
    note_outcome(false, reason);
}

void RecoveryWriter::wait() {
    std::unique_lock<std::mutex> hold(mutex_);
    done_.wait(hold, [this] { return !waiting_ && !busy_; });
}

std::optional<BilingualText> RecoveryWriter::failure_to_report() {
    const std::lock_guard<std::mutex> hold(mutex_);
    return std::exchange(report_, std::nullopt);
}

void RecoveryWriter::note_outcome(bool ok, const BilingualText& reason) {
    if (std::optional<BilingualText> said = notice_.after(ok, reason)) report_ = std::move(said);
}

FileOutcome RecoveryWriter::perform(const Request& request) {
    if (request.remove) {
        remove_copy(files_);
        return {true, {}};
    }
    // the side file first, so that a project file never stands without the one naming its writer
    const FileOutcome info = replace_file_contents(files_.info, request.info_text, kPrivateFile);
    if (!info.ok) return info;
    return replace_file_contents(files_.project, request.project_text, kPrivateFile);
}

void RecoveryWriter::run() {
    std::unique_lock<std::mutex> hold(mutex_);
    for (;;) {
        wake_.wait(hold, [this] { return waiting_ || stopping_; });
        if (!waiting_) return;  // stopping, with nothing left to do
        const Request request = std::move(*waiting_);
        waiting_.reset();
        busy_ = true;
        hold.unlock();
        const FileOutcome outcome = perform(request);
        hold.lock();
        busy_ = false;
        if (!request.remove) note_outcome(outcome.ok, outcome.reason);
        done_.notify_all();
    }
}

}  // namespace warpkit
