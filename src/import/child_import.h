#pragma once
// The formats only a large importer library reads (FBX, COLLADA, PLY, STL) are converted by
// warpkit-export in a child process with a memory limit and a timeout, so a crash or a runaway
// inside that library costs a refusal, never the session. The child writes a QXM file of every
// mesh followed by its morph targets and lists which object is a target of which; the meshes
// are then read back through the object file reader.
#include <cstdint>
#include <string>
#include <vector>

#include "import/gltf_reader.h"
#include "import/imported_scene.h"

namespace warpkit {

struct ChildLimits {
    int64_t memory_bytes = 0;  // address space of the child; 0: no limit
    int timeout_seconds = 60;
};

// Limits for converting a file of `file_bytes` bytes: room for the library's own copies of the
// data, and time that grows with the file.
ChildLimits child_limits_for(int64_t file_bytes);

struct ChildRun {
    bool started = false;
    bool timed_out = false;
    int exit_status = -1;  // when it exited
    int signal = 0;        // when a signal ended it
    std::string out;       // what it wrote on its standard output (the first MiB)
    std::string err;       // and on its standard error
};

// Runs `argv` (argv[0] the program's path) with no input, in a process group of its own, and
// waits for it; at the timeout the whole group is killed.
ChildRun run_child(const std::vector<std::string>& argv, const ChildLimits& limits);

// The warpkit-export that belongs to the program in `program_folder`: beside it when
// installed, in src/export/ of the build tree. Empty when neither is there.
std::string find_export_tool(const std::string& program_folder);

// Asked of `warpkit-export qxm` by the program: after a refusal in English, the reason once more
// in Japanese, without the file's name, on a line of its own that starts with the mark.
inline constexpr const char* kJapaneseReasonOption = "--reason-ja";
inline constexpr const char* kJapaneseReasonMark = "ja: ";

// Converts `path` with `tool` (warpkit-export) and reads the result into `scene`.
ImportOutcome import_in_child(const std::string& tool, const std::string& path,
                              const ChildLimits& limits, ImportedScene& scene);

// What `warpkit-export qxm` lists for the objects it wrote, which the parent reads back: one
// line per object, "index  name  vertices  triangles  [index of its mesh]", then
// "joined N corners ..." when corners were joined.
std::string written_objects_listing(const std::string& path, const ImportedScene& scene,
                                    const std::vector<size_t>& meshes);

}  // namespace warpkit
