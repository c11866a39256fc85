#pragma once
// Writes one session's recovery copy on a thread of its own, so that a drag or playback never
// waits for the disk. Each write replaces the side file and then the project file, each
// atomically (the old file stays whole until the new one is complete), both readable by the
// user alone.
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "project/recovery.h"

namespace warpkit {

class RecoveryWriter {
public:
    explicit RecoveryWriter(RecoveryFiles files);
    // Finishes the request under way and the one waiting, then stops the thread.
    ~RecoveryWriter();
    RecoveryWriter(const RecoveryWriter&) = delete;
    RecoveryWriter& operator=(const RecoveryWriter&) = delete;

    // Asks for the copy to hold these texts. Requests are done in the order given, but one
    // still waiting is replaced by a newer one: only the latest state matters.
    void write(std::string project_text, std::string info_text);
    // Asks for the copy to be removed (after any write asked for before).
    void remove();
    // Counts as a failed write with this reason, for a session that cannot be written as a
    // project; nothing is written.
    void refuse(const BilingualText& reason);
    // Returns once every request made so far is done.
    void wait();
    // The reason to tell the user, once per run of failures (FailureNotice); nothing else.
    std::optional<BilingualText> failure_to_report();

private:
    struct Request {
        bool remove = false;
        std::string project_text;
        std::string info_text;
    };
    void run();
    FileOutcome perform(const Request& request);
    void note_outcome(bool ok, const BilingualText& reason);  // with mutex_ held

    const RecoveryFiles files_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::optional<Request> waiting_;
    bool busy_ = false;
    bool stopping_ = false;
    FailureNotice notice_;
    std::optional<BilingualText> report_;
    std::thread thread_;  // last, so it starts once everything above is ready
};

}  // namespace warpkit
