#pragma once
// warpkit-export as a function: the command line in, the exit status out, everything said on
// the two given streams. main() only hands it the process's arguments and streams.
#include <iosfwd>
#include <string>
#include <vector>

#include "model/qxm_reader.h"

namespace warpkit::exporting {

constexpr int kExitDone = 0;
constexpr int kExitRefused = 1;  // an input was refused or an output could not be written
constexpr int kExitUsage = 2;

// `args` without the program name. Results go to `out`; refusals, warnings and progress to
// `err`, each refusal one line naming the file and the problem. Progress of long exports is
// shown only when `err_is_terminal`: a log or a pipe wants the outcome, not the waiting.
int run_export_tool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    bool err_is_terminal = false);

// The program's words for an object file it refuses, naming the file.
std::string object_file_refusal(const ReadOutcome& outcome, const std::string& path);

}  // namespace warpkit::exporting
