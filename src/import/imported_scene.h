#pragma once
// What every mesh importer hands back: the meshes of one file with their vertices in the order
// the file stores them, triangles whose colour indices point into one palette for the whole
// file, and each mesh's morph targets as whole shapes. Also the rules every import shares:
// limits, object names as an object file can hold them, and the objects written for a mesh.
#include <cstdint>
#include <string>
#include <vector>

#include "base/bilingual_text.h"
#include "base/geometry.h"
#include "import/placement.h"
#include "model/qxm_writer.h"

namespace warpkit {

// A morph target as the shape it gives at full weight: the mesh's vertices moved by it.
struct MorphShape {
    std::string name;
    std::vector<Vec3> vertices;  // as many as the mesh has, in the same order
};

struct ImportedMesh {
    std::string name;
    std::vector<Vec3> vertices;
    std::vector<Triangle> triangles;  // local vertex indices; colour indexes the scene's palette
    std::vector<MorphShape> targets;
    std::vector<float> weights;  // default weight of each target as a fraction (glTF), or empty
    // Where the file put the vertices and targets (glTF: the first node showing the mesh), so an
    // export back onto the file can store new displacements in the mesh's own space.
    Placement placement;
};

enum class Interpolation { kLinear, kStep, kCubicSpline };

// A weights animation of one mesh's morph targets: what one of the file's animations does to one
// mesh. An animation that drives the weights of two meshes gives two, of one `clip`. Key k gives
// target j the value values[(k * stride + 1) * targets + j] for cubic splines (stride 3:
// in-tangent, value, out-tangent) and values[k * targets + j] otherwise. Times in seconds, strictly
// increasing.
struct WeightsAnimation {
    size_t mesh = 0;  // index into ImportedScene::meshes
    std::string name;
    Interpolation interpolation = Interpolation::kLinear;
    std::vector<float> times;
    std::vector<float> values;
    size_t targets = 0;
    size_t clip = 0;  // the index of the file's animation it comes from
};

// A name the import could not keep as the file gives it: an object file holds 15 bytes without
// blanks, each name once.
struct RenamedObject {
    size_t mesh = 0;     // index into ImportedScene::meshes
    int target = -1;     // index among the mesh's morph targets; -1 for the mesh itself
    std::string full;    // as the file names it
    std::string stored;  // as the object file names it
};

struct ImportedScene {
    std::vector<ImportedMesh> meshes;
    QxmPalette palette;
    std::vector<RenamedObject> renamed;  // in object order, meshes each before their targets
    // Corners a reader that splits vertices per polygon corner joined back into one vertex.
    int64_t joined_corners = 0;
    // Every weights animation of the file, in the order of the file's animations and, within
    // one, of the meshes as its channels first name them.
    std::vector<WeightsAnimation> animations;
};

// The one memory budget of an import, in positions (12 bytes each): what an eighth of the
// machine's physical memory holds, at most 2^27 (1.5 GiB) and at least 2^20.
int64_t import_position_budget();

// What an import may cost, so a hostile file cannot fill the memory.
// Artists' files often carry helper meshes of lines or points (guides, rig curves) beside the
// surfaces: those are dropped, with the animations' mesh indices kept right (an animation goes
// when its mesh does). A scene of such meshes alone is kept whole, for the check to refuse.
void leave_out_meshes_without_triangles(ImportedScene& scene);

struct ImportLimits {
    // Vertex positions of all meshes and of every morph target's shape, their corners and the
    // other elements read, counted together before they are allocated.
    int64_t max_positions = import_position_budget();
    // Bytes of one file read into memory (the file itself, a glTF buffer, a material library).
    int64_t max_file_bytes = int64_t{2} << 30;
};

// Empty when every mesh can become an object of an object file: at most kMaxListedObjects
// meshes, counts within 32 bits, at least one triangle, finite coordinates, every index inside its
// mesh and the palette, every morph target as long as its mesh. Otherwise the first problem, naming
// the mesh and the limit ("the file holds 150 meshes; an object file holds at most 100").
BilingualText imported_scene_problem(const ImportedScene& scene);

// The refusal of an import that ran out of memory all the same (std::bad_alloc), naming the file.
BilingualText out_of_memory(const BilingualText& file);

// The refusal of a file with more meshes than an object file holds.
BilingualText too_many_meshes(size_t count);

// A problem found inside one part of a file, the part named first, as nested parts read:
// "mesh 2: primitive 0: accessor 5 ...".
BilingualText inside(const BilingualText& part, const BilingualText& problem);

// A name out of a file, in the quotes of each language.
BilingualText quoted_name(const std::string& name);

// Gives every mesh and morph target the name it keeps in an object file: blanks and control
// characters become '_', the name is cut to 15 bytes before a character, a missing name becomes
// "mesh1", "target1" ..., and a name already taken gets "~2", "~3" ... (meshes among meshes;
// a mesh's targets among themselves and the mesh, as they share a file when written).
// A morph target named as a numbered glTF export names it ("3 smile" as the mesh's third
// target) keeps the name without its number, which is the slot the target comes back to: so
// export and import again give the same names, where "3_smile" would grow a number each trip.
// Returns every name that changed otherwise; a missing name, which nothing loses, is not one.
std::vector<RenamedObject> finish_object_names(ImportedScene& scene);

// One renamed object as a line of a message: which object, its full name and the stored one.
BilingualText renamed_text(const ImportedScene& scene, const RenamedObject& renamed);

// The objects written for one mesh: the mesh first, then each morph target as an object of its
// own with the mesh's triangles, so any of them can be loaded as source or target. The objects
// borrow the mesh's arrays (its triangles serve every target), so the mesh must outlive them.
std::vector<QxmObjectView> qxm_objects_for(const ImportedMesh& mesh);

}  // namespace warpkit
