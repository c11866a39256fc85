#pragma once
// `warpkit-export match`: a target whose vertices come in another order than the source's,
// put into the source's order and written as an object file of its own, the way the program
// offers it when such a target is loaded.
#include <iosfwd>
#include <string>

#include "export/command_line.h"

namespace warpkit::exporting {

// "FILE.qxm:OBJECT" split after the last ".qxm" (any case) that a ':' follows; a text without
// one is a file name alone.
struct ObjectPath {
    std::string path;
    std::string object;
    bool named = false;
};
ObjectPath split_object_path(const std::string& text);

// Reads the source (line.input) and the target (line.target), matches the target's vertex
// order to the source's and writes line.output: the target's object name and positions in the
// source's order with the source's triangles and palette. An existing file of that name is
// never replaced. Says what it did on `out`; a refusal is one line on `err`. Returns the exit
// status.
int run_match(const CommandLine& line, std::ostream& out, std::ostream& err);

}  // namespace warpkit::exporting
