#pragma once
// Mesh files for the import tests and the fuzz seeds, written from descriptions in code, so no
// test depends on a file from elsewhere beyond the public test models a test names.
//
// GltfBuilder collects the binary data (positions, indices, key times ...) as accessors of one
// buffer; the test writes the rest of the glTF JSON by hand ("meshes", "nodes", "animations"
// ...), so every file says plainly what it holds. FbxMesh writes an ASCII FBX file with one
// mesh, its materials, its blend shapes and their animations, in the file's unit.
#include <cstdint>
#include <string>
#include <vector>

#include "base/geometry.h"

namespace warpkit::testing {

class GltfBuilder {
public:
    // Each returns the accessor's index. `name` is the accessor's name, when not empty.
    int add_points(const std::vector<Vec3>& points, const std::string& name = std::string());
    int add_indices(const std::vector<uint16_t>& indices);
    int add_scalars(const std::vector<float>& values);
    // Raw accessor JSON over bytes of its own buffer view ("componentType": ..., "count": ...,
    // "type": ...); for accessors that are wrong on purpose.
    int add_raw(const std::vector<uint8_t>& bytes, const std::string& accessor_fields);

    // The whole file: `rest` holds the top-level members after "accessors" (without braces),
    // e.g. "\"meshes\": [...], \"nodes\": [...]". The buffer is a base64 data URI.
    std::string gltf(const std::string& rest) const;
    // The same as a binary .glb file with the buffer in its binary chunk.
    std::string glb(const std::string& rest) const;

private:
    std::string json(const std::string& rest, bool embedded) const;
    int add_view(const void* bytes, size_t length);

    std::vector<uint8_t> data_;
    std::vector<std::string> views_;
    std::vector<std::string> accessors_;
};

// A glTF file of a 3 x 3 grid of points (nine vertices, eight triangles), mesh "grid face",
// with `targets` morph targets named t0, t1 ..., target t lifting every point by t + 1; the first
// target's default weight is 0.5, the others' 0.
std::string grid_gltf(int targets);

// The same grid on a node, its weights animated by "blink": every target from 0 at 0.1 s to
// (t + 1) / 10 at 0.5 s and back to 0 at 1.2 s, linearly.
std::string animated_grid_gltf(int targets);

// A file to choose in: mesh 0 is the grid with two targets, mesh 1 "lower teeth and tongue" a
// triangle with the target "jaw open as wide as it goes" (both names longer than an object file
// keeps), each on a node of its own. Animation 0 "blink" (0.2 s: keys at 0, 0.1 and 0.2 s)
// drives the grid's weights; animation 1 "talk" (3 s) drives the grid's (t1 to 1 at 1.5 s)
// and the triangle's (to 1 at 3 s).
std::string two_animations_gltf();

// The grid as a .glb, mesh "Face Mesh" on a node, with one morph target per name (in
// mesh.extras.targetNames), target t lifting point t % 9 by 1.
std::string named_grid_glb(const std::vector<std::string>& names);

struct FbxShape {
    std::string name;
    std::vector<int32_t> indexes;  // control points it moves
    std::vector<Vec3> moves;       // by how much, one per index
};

// Keys on one blend shape's DeformPercent, in one animation stack.
struct FbxCurve {
    size_t shape = 0;              // index into FbxMesh::shapes
    std::vector<double> seconds;   // key times
    std::vector<double> percents;  // weights in percent (0..100), one per time
};

struct FbxStack {
    std::string name;
    std::vector<FbxCurve> curves;
};

struct FbxMesh {
    std::string name = "Face";
    // Centimetres per file unit (the file's UnitScaleFactor): 100 for metres, 2.54 for inches.
    double unit_scale = 100.0;
    double frame_rate = 0;  // written as a custom frame rate when not 0
    // Animation stacks, each with LocalStart 0 and LocalStop at its last key.
    std::vector<FbxStack> stacks;
    std::vector<Vec3> points;  // control points
    std::vector<std::vector<int32_t>> polygons;
    std::vector<Vec3> colours;               // diffuse colours of its materials (0..1)
    std::vector<int32_t> polygon_materials;  // per polygon, when there are two or more colours
    std::vector<FbxShape> shapes;
};

std::string fbx_text(const FbxMesh& mesh);

// Writes text to a file, replacing it; throws when it cannot.
void write_text(const std::string& path, const std::string& text);

}  // namespace warpkit::testing
