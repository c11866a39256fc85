#pragma once
// A command that reads files reads whatever the user hands it, and a small file can claim more
// than memory holds: std::bad_alloc (or another exception of a library) may come out of any
// read, import or match. Every command that reads a file runs through this one guard, so such
// an exception ends the command with a warning that says why, never reaches the window's event
// loop, and leaves the program usable. The commands read and check everything before they
// change the session, and put back what they took when an install is cut short, so a command
// stopped here leaves the session as it was.
#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "base/texts.h"
#include "session/user_dialogs.h"

namespace warpkit {

// Runs `command`; true when it ran to its end. When an exception comes out of it, `let_go`
// (when set) drops what the command still holds, so that its memory is back before anything
// more is asked of it; then the user is told why (naming the file it read last, see
// note_file_read) and the result is false.
bool run_file_command(UserDialogs& dialogs, int32_t language, const std::function<void()>& command,
                      const std::function<void()>& let_go = {});

// Names the file the guarded command is reading now, for the warning should the command be
// stopped. Outside a guarded command it does nothing.
void note_file_read(const std::string& path);

// The warning for `error` (null: an exception that is no std::exception) thrown while `file`
// was read; an empty `file` reads "the file".
ShownMessage file_command_failure(const std::exception* error, const std::string& file,
                                  int32_t language);

}  // namespace warpkit
