#pragma once
// Replacing a file's whole contents so that the file is at every moment either the old one or
// the complete new one: a save that fails half-way (disk full, no permission, a crash) must not
// cost the user the file they had.
#include <functional>
#include <string>

#include "base/bilingual_text.h"

namespace warpkit {

// Temporary files of a write start with this; one is left behind only by a write cut short.
inline constexpr const char* kTemporaryPrefix = ".warpkit-save-";

struct FileOutcome {
    bool ok = false;
    // Set when !ok: what failed, in both languages ("disk full", "the folder /a/b does not
    // exist"); a cause without words of its own carries the system's text.
    BilingualText reason;
};

// Writes a file's whole contents to `fd`, a new empty file open for writing, in any order (a
// file too large to hold twice in memory is made piece by piece straight into it); returns 0,
// or the errno of what failed.
using ContentsWriter = std::function<int(int fd)>;

// Writes `bytes` to a new temporary file in the folder of `path`, forces it to disk, and renames
// it over `path`. A symbolic link at `path` is followed, so the file it names is replaced and
// the link stays. A replaced file keeps its permission bits (and, where allowed, its owner);
// a new file gets 0666 less the umask, as any file the program creates. On failure the
// temporary file is removed and `path` is untouched. Hard links to the old file keep the old
// contents. Single-threaded use only: the umask is read by setting it.
FileOutcome replace_file_contents(const std::string& path, const std::string& bytes);

// The same with the contents written by `contents`.
FileOutcome replace_file_contents(const std::string& path, const ContentsWriter& contents);

// The same, but a new file gets exactly `new_file_mode` (0600 for a file no one else should
// read) and the umask is not touched, so this one may run on a thread of its own.
FileOutcome replace_file_contents(const std::string& path, const std::string& bytes,
                                  unsigned new_file_mode);

// Creates `path` with `bytes`, never replacing anything: a file (or link, or folder) of that
// name already there is left alone and the write fails with "the file already exists". The
// file appears whole or not at all, as above; it gets 0666 less the umask.
FileOutcome write_new_file(const std::string& path, const std::string& bytes);
FileOutcome write_new_file(const std::string& path, const ContentsWriter& contents);

}  // namespace warpkit
