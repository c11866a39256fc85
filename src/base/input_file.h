#pragma once
// The one way a file is opened for reading. Only a regular file is opened, and opening never
// waits: a named pipe with no writer, a device (a link to /dev/zero never ends), a socket or a
// folder is refused at once with the reason, naming the file. Every reader of the program opens
// its input here, so no path a user or a file names can hang or flood it; the mesh library of
// the child import opens its file itself, once this has looked at it, under the child's timeout.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "base/bilingual_text.h"

namespace warpkit {

class InputFile {
public:
    // Opens `path` for binary reading when it is a regular file (a symbolic link is followed to
    // what it names); otherwise the file stays closed and problem() says why.
    static InputFile open(const std::string& path);

    bool is_open() const { return file_ != nullptr; }
    // The open file, positioned at its start; null when not open. Closed with the InputFile.
    std::FILE* get() const { return file_.get(); }
    // The file's size when it was opened, so a reader can refuse a file too large before
    // reading any of it; 0 when not open.
    int64_t size() const { return size_; }

    // Why the file was not opened, as a whole sentence naming it ("face.glb is not a regular
    // file", "face.glb cannot be opened: No such file or directory"); empty when open.
    const BilingualText& problem() const { return problem_; }
    // The cause alone, for a message that names the file itself: the system's words
    // ("No such file or directory", "Is a directory") or "not a regular file".
    const BilingualText& cause() const { return cause_; }
    // The system's error number of an open that failed (EISDIR for a folder); 0 when open and
    // when the path names something there that is not a regular file (a pipe, a device).
    int error() const { return error_; }
    // True when the path names something that is there but is not a regular file (a folder, a
    // pipe, a device, a socket), false when it is missing, unreadable, or open.
    bool not_regular() const { return not_regular_; }

private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    int64_t size_ = 0;
    BilingualText problem_;
    BilingualText cause_;
    int error_ = 0;
    bool not_regular_ = false;
};

// Reads the rest of an open file into `out`, at most `max_bytes` of it. 0 when done; EFBIG when
// the file holds more (it may have grown since it was measured); otherwise the system's error
// of the failed read. `out` is empty unless done.
int read_rest(const InputFile& input, int64_t max_bytes, std::string& out);

}  // namespace warpkit
