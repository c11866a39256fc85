#pragma once
// The formats only a large importer library reads (FBX, COLLADA, PLY, STL) are converted by
// warpkit-export in a child process with a memory limit and a timeout, so a crash or a runaway
// inside that library costs a refusal, never the session. The child writes a QXM file of every
// mesh followed by its morph targets and lists which object is a target of which, and writes the
// file's weights animations beside it; the meshes are then read back through the object file
// reader.
#include <cstdint>
#include <functional>
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
// data, and time that grows with the file. The memory is never more than 4 GiB, than half of
// the memory the machine has free (`available_bytes`), nor than this process may take itself
// (`own_limit`, its address-space limit; 0 for none): a runaway child must not be able to
// starve the session that waits for it.
ChildLimits child_limits_for(int64_t file_bytes, int64_t available_bytes, int64_t own_limit);
// The same with this machine's free memory and this process's limit; no memory limit in a
// build with AddressSanitizer, whose child could not even start under one.
ChildLimits child_limits_for(int64_t file_bytes);

// Told the share of the child's time limit used so far; false stops the child.
using ChildWatch = std::function<bool(double share_of_time)>;
// Runs a wait for a child (`wait`, which calls the watch it is given every tenth of a second
// and stops the child when told false) and returns false when the user cancelled it. The
// progress dialog of UserDialogs is one: it runs the wait on a thread of its own behind Cancel.
using ChildWaitRunner =
    std::function<bool(const std::function<void(const ChildWatch& watch)>& wait)>;

// While it lives, the children this thread starts are waited for through `runner` (the window
// would otherwise stop repainting until the child ends); without one, the calling thread waits.
class ChildWaitPlace {
public:
    explicit ChildWaitPlace(ChildWaitRunner runner);
    ~ChildWaitPlace();
    ChildWaitPlace(const ChildWaitPlace&) = delete;
    ChildWaitPlace& operator=(const ChildWaitPlace&) = delete;
    // True once a wait run here was cancelled.
    bool cancelled() const { return cancelled_; }

private:
    friend struct ChildWaitAccess;
    ChildWaitRunner runner_;
    ChildWaitPlace* outer_ = nullptr;
    bool cancelled_ = false;
};

struct ChildRun {
    bool started = false;
    bool timed_out = false;
    bool cancelled = false;  // stopped by the user through the wait's runner
    int exit_status = -1;    // when it exited
    int signal = 0;          // when a signal ended it
    std::string out;         // what it wrote on its standard output (the first MiB)
    std::string err;         // and on its standard error
};

// Runs `argv` (argv[0] the program's path) with no input, in a process group of its own, and
// waits for it (through this thread's ChildWaitPlace, when there is one); at the timeout or a
// Cancel the whole group is killed and reaped before this returns.
ChildRun run_child(const std::vector<std::string>& argv, const ChildLimits& limits);

// The warpkit-export that belongs to the program in `program_folder`: beside it when
// installed, in src/export/ of the build tree. Empty when neither is there.
std::string find_export_tool(const std::string& program_folder);

// Asked of `warpkit-export qxm` by the program: after a refusal in English, the reason once more
// in Japanese, without the file's name, on a line of its own that starts with the mark.
inline constexpr const char* kJapaneseReasonOption = "--reason-ja";
inline constexpr const char* kJapaneseReasonMark = "ja: ";

// Asked of `warpkit-export qxm` by the program: the file's weights animations written to the
// file named after the option (animation_transfer_text), mesh indices counting the meshes
// written.
inline constexpr const char* kAnimationsOption = "--animations-to";

// The weights animations as the child passes them: a text of numbers (9 digits, which keep a
// float) that read_animation_transfer reads back to the same values.
std::string animation_transfer_text(const std::vector<WeightsAnimation>& animations);
// Empty when `text` holds animations as written, each of a mesh of `scene` with as many
// targets as the mesh, its times increasing; otherwise what is wrong, and `animations` empty.
BilingualText read_animation_transfer(const std::string& text, const ImportedScene& scene,
                                      std::vector<WeightsAnimation>& animations);

// Converts `path` with `tool` (warpkit-export) and reads the result, animation included, into
// `scene`.
ImportOutcome import_in_child(const std::string& tool, const std::string& path,
                              const ChildLimits& limits, ImportedScene& scene);

// What `warpkit-export qxm` lists for the objects it wrote, which the parent reads back: one
// line per object, "index  name  vertices  triangles  [index of its mesh]", then
// "joined N corners ..." when corners were joined, and "renamed INDEX NAME" for each object
// whose name had to change, with the file's name (blanks, controls and '%' as %XX).
std::string written_objects_listing(const std::string& path, const ImportedScene& scene,
                                    const std::vector<size_t>& meshes);

}  // namespace warpkit
