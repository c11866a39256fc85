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
#include <vector>

#include "base/bilingual_text.h"
#include "base/editor_state.h"

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
// problem in words ("the path of target 3 does not end in \".qxm\""). A name with a blank, a
// path whose whitespace is not single blanks between pieces, and the like would be written but
// read back as something else, so a save refuses them rather than lose them.
BilingualText project_data_problem(const ProjectData& data);

// Whether a project file can record `name` as an object name (not empty, no whitespace, at
// most kNameCapacity bytes, no NUL), so a load can warn of a name no save would take.
bool project_can_record_name(const std::string& name);

struct SaveOutcome {
    bool ok = false;
    BilingualText reason;  // set when !ok
};

// Writes the project to `path` so that the file is either the old one or the whole new one,
// never a mix: the text goes to a temporary file beside it, which replaces the old file only
// once every byte is on disk. On failure the old file is untouched, no temporary file is left,
// and `reason` says what went wrong ("disk full", in both languages). Data for which
// project_data_problem() names a problem is refused before anything is written.
SaveOutcome save_project_file(const std::string& path, const ProjectData& data);

// One change the reader made to a file it could read but that was out of order.
struct ProjectRepair {
    int slot = 0;         // the target 1..8; 0 for the maximum frame count
    int line = 0;         // 1-based line of the file the change is about
    BilingualText words;  // what was changed ("the key at the negative frame -4 is dropped")
};

// A file in utter disorder may need millions of repairs; only so many are worded.
inline constexpr size_t kMaxListedRepairs = 1000;

struct ParseOutcome {
    bool ok = false;
    BilingualText reason;  // set when !ok
    int line = 0;          // 1-based line the problem lies on; 0 when it lies on none (early end)
    // When ok: the changes made to put the file in order, by line within each target, the first
    // kMaxListedRepairs of them; repair_count counts them all (0 for an orderly file).
    std::vector<ProjectRepair> repairs;
    size_t repair_count = 0;
};

// Reads a project text into `out`. Labels are read and discarded unchecked. A path is one or
// more tokens up to the first that ends in ".qxm" (any case), each run of whitespace between
// them coming back as as many blanks. Refused, leaving `out` untouched: an early end, a
// non-number where a number belongs, a path that never reaches ".qxm", a token or path longer
// than kPathCapacity bytes, a name longer than kNameCapacity bytes, a NUL byte, a negative key
// count. Whatever follows the eighth target block is ignored.
// Read but put in order, each change noted in the outcome: a maximum frame below 1 becomes 1;
// in each track keys at negative frames are dropped, the rest sorted by frame (stable), of keys
// on one frame the first kept; a track whose first key lies after frame 0 gets a key at frame 0
// with that key's weight, and a track with no key (a key count of 0) the key (0, 0.00). So
// accepted data always keeps the rules of the session: frames strictly increasing from 0.
ParseOutcome parse_project_text(const std::string& text, ProjectData& out);

// No session comes near this; a larger file is refused before it fills the memory.
inline constexpr long long kMaxProjectFileBytes = 256LL * 1024 * 1024;

// Reads the file at `path` and parses it; a file that cannot be read, or is larger than
// kMaxProjectFileBytes, is refused with the reason (the system's words where it has them).
ParseOutcome read_project_file(const std::string& path, ProjectData& out);

// The repairs of a load as lines ("target 1, line 13: the key at the negative frame -4 is
// dropped"), at most `shown` of them, then one line saying how many more changes there were.
std::vector<BilingualText> repair_lines(const ParseOutcome& parsed, size_t shown);

}  // namespace warpkit
