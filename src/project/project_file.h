#pragma once
// The project file: a plain-text record of one session (number of frames, the source's file
// and object name, and each target slot's file, object name and keys). It holds no geometry;
// loading it reads every object again from its object file.
//
// The text is written with CR LF line ends on every platform, numbers in the C locale
// whatever locale the program runs in. The reader takes whitespace-delimited tokens and
// refuses, with a reason and a line number, anything it could not read back whole.
#include <array>
#include <cstdint>
#include <string>

#include "app/editor_state.h"

namespace warpkit {

inline constexpr const char* kProjectMagic = "Tessel_Warp_Project_File_v01";

struct ProjectTarget {
    bool present = false;  // false: the slot is written as None and path, name, keys are empty
    std::string path;
    std::string name;
    KeyTrack keys;
};

struct ProjectData {
    int32_t max_frame = 100;
    std::string source_path;
    std::string source_name;
    std::array<ProjectTarget, kTargetCount> targets;  // targets[0] is slot 1
};

// What a project holds of the session: a target is present exactly when its slot is loaded.
ProjectData project_from_state(const EditorState& state);

// The whole file text. Paths and names are copied byte for byte; nothing is checked here.
std::string write_project_text(const ProjectData& data);

// Empty when `data` can be written and read back to the same data; otherwise the first
// problem in English words ("the path of target 3 does not end in \".qxm\""). A name with a
// blank, a path whose whitespace is not single blanks between pieces, and the like would be
// written but read back as something else, so a save refuses them rather than lose them.
std::string project_data_problem(const ProjectData& data);

struct SaveOutcome {
    bool ok = false;
    std::string reason;  // English, set when !ok
};

// Writes the project to `path` so that the file is either the old one or the whole new one,
// never a mix: the text goes to a temporary file beside it, which replaces the old file only
// once every byte is on disk. On failure the old file is untouched, no temporary file is left,
// and `reason` says what went wrong ("disk full: No space left on device"). Data for which
// project_data_problem() names a problem is refused before anything is written.
SaveOutcome save_project_file(const std::string& path, const ProjectData& data);

struct ParseOutcome {
    bool ok = false;
    std::string reason;  // English, set when !ok
    int line = 0;        // 1-based line the problem lies on; 0 when it lies on none (early end)
};

// Reads a project text into `out`. Labels are read and discarded unchecked. A path is one or
// more tokens up to the first that ends in ".qxm" (any case), each run of whitespace between
// them coming back as as many blanks. Refused, leaving `out` untouched: an early end, a
// non-number where a number belongs, a path that never reaches ".qxm", a token or path longer
// than kPathCapacity bytes, a name longer than kNameCapacity bytes, a NUL byte, a maximum
// frame below 1, a key count below 1, keys that do not start at frame 0 or whose frames do not
// strictly increase. Whatever follows the eighth target block is ignored.
ParseOutcome parse_project_text(const std::string& text, ProjectData& out);

// No session comes near this; a larger file is refused before it fills the memory.
inline constexpr long long kMaxProjectFileBytes = 256LL * 1024 * 1024;

// Reads the file at `path` and parses it; a file that cannot be read, or is larger than
// kMaxProjectFileBytes, is refused with the reason (the system's words where it has them).
ParseOutcome read_project_file(const std::string& path, ProjectData& out);

}  // namespace warpkit
