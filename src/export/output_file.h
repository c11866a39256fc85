#pragma once
// The files warpkit-export writes. Exports go into folders others may write to as well (a shared
// render folder, /tmp), where a symbolic link planted under an output's name would make a plain
// write overwrite whatever file the link points to, anywhere the user may write. So an output
// is never written through a link: a link already there is refused and left as it is, and the
// file is put in place by renaming, which replaces a name and never follows it.
#include <string>

#include "base/safe_replace.h"

namespace warpkit::exporting {

// Empty when `path` may be written as an output; otherwise why not, in words that follow
// "cannot write PATH: " ("it is a symbolic link, and no output is written through one").
std::string output_path_problem(const std::string& path);

// Writes `bytes` as `path`, whole or not at all: the bytes go to a new file of their own in the
// folder of `path` (base/safe_replace), which is then renamed over `path`. A symbolic link at
// `path` is refused (output_path_problem), and one planted while the bytes are written is
// replaced, not followed. A file replaced gets a new file's permissions.
FileOutcome write_output_file(const std::string& path, const std::string& bytes);

}  // namespace warpkit::exporting
