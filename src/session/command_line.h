#pragma once
// Warpkit's command line: the language to start in and the file to open, or a request that
// needs no window at all (help, version, a usage problem). Parsing and file sniffing only; the
// window opens the file through the same commands as its menu and buttons.
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "base/bilingual_text.h"

namespace warpkit {

struct StartArguments {
    enum class Action { kStart, kHelp, kVersion, kBadUsage };
    Action action = Action::kStart;
    int32_t ui_language = 1;  // the UiLanguage to start in: 1 Japanese, 0 English
    std::string file;         // absolute when a current folder was known; empty: plain start
    std::string problem;      // kBadUsage: what is wrong, in English words
};

// `args` without the program name, read left to right: the first help, version or mistake
// decides. "--" ends the options. At most one file; a relative one is taken from
// `current_folder` (left relative when that is empty).
StartArguments parse_start_arguments(const std::vector<std::string>& args,
                                     const std::string& current_folder);

// Help, version and usage problems are answered on the given streams: returns the exit status
// (0, or 2 for bad usage; 1 when the answer could not be written). Nothing for a start.
std::optional<int> answer_without_window(const StartArguments& arguments, std::ostream& out,
                                         std::ostream& err);

// The version both programs report ("1.0.0").
const char* program_version();

enum class StartFileKind { kProject, kObject };

// A file named "*.twp" (any case) or starting with the project file's first line opens as a
// project, so a damaged project still gets the project's refusal; any other file is read as
// the source object, by whichever reader the source load picks for it.
StartFileKind start_file_kind(const std::string& path);

// Empty when `path` is a regular file that can be opened for reading; otherwise why not, in the
// system's words ("No such file or directory", "Is a directory") or "not a regular file".
BilingualText open_problem(const std::string& path);

}  // namespace warpkit
