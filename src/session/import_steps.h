#pragma once
// What a slot load does with an object that came from a mesh file, between reading it and
// installing it: ask whether the mesh's morph targets come along (source loads), keep the
// object in a QXM file the project can name, and tell the user where it went. Questions go
// through UserDialogs, so the steps run the same in the program and in tests.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "import/animation_keys.h"
#include "import/child_import.h"
#include "import/imported_scene.h"
#include "model/qxm_reader.h"
#include "session/user_dialogs.h"

namespace warpkit {

enum class TargetChoice { kSourceOnly, kWithTargets, kCancelled };

// Asks whether the mesh's morph targets are loaded into targets 1 to 8 along with it (Yes), or
// the mesh alone (No), saying which targets do not fit. A mesh without targets asks nothing.
TargetChoice ask_about_morph_targets(UserDialogs& dialogs, int32_t language,
                                     const ImportedMesh& mesh);

// What a source load that takes a mesh's morph targets puts on the timeline besides them.
struct ImportedKeys {
    std::vector<KeyTrack> tracks;      // for targets 1, 2 ...; none: they keep their plain key
    std::optional<int32_t> max_frame;  // set when an animation was taken
};

enum class AnimationChoice { kTake, kLeave, kCancelled };

// What the user said of the animations of a mesh being loaded with its targets.
struct AnimationAnswer {
    AnimationChoice choice = AnimationChoice::kTake;
    // kTake: the animation taken (an index into the scene's animations); none when nothing
    // animates the mesh
    std::optional<size_t> animation;
};

// The keys of mesh `mesh` of `scene` for its first `targets` targets, at `fps`, as `warpkit-export
// project` makes them: when an animation was taken, its keys and its frames; when the mesh has
// none, its default weights at frame 0; nothing when its animations were left. A problem keeps
// the keys empty.
struct KeysToImport {
    ImportedKeys keys;
    BilingualText problem;
};
KeysToImport keys_to_import(const ImportedScene& scene, size_t mesh, size_t targets,
                            const AnimationAnswer& answer, double fps);

// Gives each loaded target among 1, 2 ... its track and, when an animation was taken, the
// timeline its frames, the current frame brought within them.
void put_imported_keys(EditorState& state, const ImportedKeys& keys);

// When the scene animates mesh `mesh`, asks whether its animation comes onto the timeline
// (Yes), or the targets load without keys (No), naming the animation, its length and the rate
// it is keyed at; when several animate it, they are offered in a list, each with its length and
// frames, the one `warpkit-export project` takes chosen first. Without an animation, kTake
// unasked: the default weights are keys too.
AnimationAnswer ask_about_animation(UserDialogs& dialogs, int32_t language,
                                    const ImportedScene& scene, size_t mesh, double fps);

// Says why the keys of `file` cannot be made; the targets load without them.
void refuse_imported_keys(UserDialogs& dialogs, int32_t language, const std::string& file,
                          const BilingualText& reason);

// Writes the mesh and its morph targets as a QXM file beside `imported_path` (never over a
// file: "name-2.qxm" ...), or, when that folder cannot be written, where the user chooses;
// then says what was written, how many corners were joined and which names the file could not
// hold as they were (each beside the name it was stored as). Returns the file written, or
// nothing when the user cancelled or the write failed (the failure shown).
std::optional<std::string> keep_imported_mesh(UserDialogs& dialogs, int32_t language,
                                              const std::string& imported_path,
                                              const ImportedMesh& mesh, const ImportedScene& scene);

// While it lives, an import that runs in a child process (FBX, COLLADA, PLY, STL) started on
// this thread is waited for behind the progress dialog, whose Cancel stops the child: the
// window keeps repainting, however long the child takes.
class ImportProgress {
public:
    ImportProgress(UserDialogs& dialogs, int32_t language, const std::string& path);
    // True when the user cancelled the child: the load is then cancelled, not refused.
    bool cancelled() const { return place_.cancelled(); }

private:
    ChildWaitPlace place_;
};

// A morph target as the object a target load installs.
ReadResult read_result_of(const MorphShape& target);
ReadResult read_result_of(MorphShape&& target);

}  // namespace warpkit
