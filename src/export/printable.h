#pragma once
// Names and paths as warpkit-export prints them. Its output is read line by line (by people and
// by pipelines), and a file or object name may hold any byte: a newline in a name must not cut
// one line of output in two, nor an escape sequence take over the terminal.
#include <string>

namespace warpkit::exporting {

// The name's display text (UTF-8 as it is, Shift-JIS decoded) with every control character
// escaped: \n, \r and \t by letter, other C0 controls and DEL as \xHH, C1 controls as \uHHHH.
// Everything else, backslashes too, stays as display_text gives it, so text that has been made
// printable comes through a second time unchanged; messages from the core that quote a name are
// passed through it whole.
std::string printable(const std::string& bytes);

}  // namespace warpkit::exporting
