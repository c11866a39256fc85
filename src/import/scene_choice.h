#pragma once
// Which mesh of an imported scene becomes a project, and which of the animations of its weights
// becomes the keys: what `warpkit-export project` takes, told or not, and what the window offers
// first. A file may hold several of each (Blender writes an animation per action, and one
// animation may drive the weights of several meshes), so what was taken without being asked is
// said, never passed over.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/bilingual_text.h"
#include "import/imported_scene.h"

namespace warpkit {

// Which of `count` items `asked` names: item `asked` when it is a whole number below `count`,
// else every item `named` says bears that name (none, one, or several that share it).
std::vector<size_t> items_named(const std::string& asked, size_t count,
                                const std::function<bool(size_t item)>& named);

// The mesh taken unless the user says otherwise: the one the file's first weights animation
// drives, else the first with morph targets, else the first.
size_t default_mesh(const ImportedScene& scene);

// The animation of mesh `mesh` taken unless the user says otherwise (an index into
// scene.animations): the first in the file; none when nothing animates the mesh.
std::optional<size_t> default_animation(const ImportedScene& scene, size_t mesh);

// The name of mesh `mesh`, or of its morph target `target`, as the file gives it: in full where
// the import had to change it (scene.renamed), else the name it keeps.
const std::string& name_in_file(const ImportedScene& scene, size_t mesh, int target = -1);

// "mesh 0 "face"", "animation 1 "talk" (3 s)": a mesh or an animation of the file as a choice
// names it, with the number --mesh and --animation know it by (an animation's is the file's).
BilingualText mesh_label(const ImportedScene& scene, size_t mesh);
BilingualText animation_label(const WeightsAnimation& animation);

struct SceneChoice {
    size_t mesh = 0;
    std::optional<size_t> animation;  // into scene.animations; none: the default weights
    // Set when what was asked for is not in the file, or names more than one; nothing else is.
    BilingualText problem;
    // Each choice made without being asked among several: the one taken and the others.
    std::vector<BilingualText> unasked;
};

// The mesh `asked_mesh` names (its index, its name or its name in full; empty: default_mesh())
// and the animation `asked_animation` names (the file's index of the animation, or its name;
// empty: default_animation()). An animation asked for without a mesh brings the mesh it drives.
SceneChoice choose_in_scene(const ImportedScene& scene, const std::string& asked_mesh,
                            const std::string& asked_animation);

}  // namespace warpkit
