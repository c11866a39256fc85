#pragma once
// Vertex normals of the displayed shape for files that want unit normals.
#include <cstdint>
#include <vector>

#include "base/editor_state.h"

namespace warpkit::exporting {

// Which vertices of an exported mesh share one normal. Files made for other programs split a
// vertex wherever its UVs or material change, so a smooth surface reaches us as vertices at one
// position, each with the normal of its own side of the seam; a player shades those seams as
// creases. Vertices at exactly one position whose own normals differ by less than an angle are
// smoothed together, so seams vanish while a split corner of a cube, whose normals are 90°
// apart, stays sharp. The groups are made once, from the source shape, and kept for every
// shape, so a seam smoothed at rest stays smoothed at every weight.
class NormalWeld {
public:
    NormalWeld() = default;  // every vertex keeps its own normal

    // `normals` are the program's vertex normals of `positions` (sums of face normals). A vertex
    // joins a vertex at its position whose normal differs from its own by less than
    // `angle_degrees` (0: none joins). A vertex without a direction of its own (used only by
    // degenerate triangles) joins a group at its position, when there is one and the angle is
    // not 0.
    NormalWeld(const std::vector<Vec3>& positions, const std::vector<Vec3>& normals,
               double angle_degrees);

    // The groups a file's own normals make: vertices at exactly one position join when the
    // file gives them one normal, their unit vectors within `distance` of each other, so the
    // file's seams vanish and its hard edges, where it gives different normals, stay hard.
    // `file_normals` are only compared, in any space that keeps equal normals equal.
    static NormalWeld of_equal_normals(const std::vector<Vec3>& positions,
                                       const std::vector<Vec3>& file_normals, double distance);

    // Each vertex's normal at unit length, summed over its group first; +z for a vertex without
    // a direction. `normals` as for the constructor, of any shape of the same mesh.
    std::vector<Vec3> unit_normals(const std::vector<Vec3>& normals) const;

    // Vertices that share their normal with another.
    int64_t welded() const { return static_cast<int64_t>(vertices_.size()); }

private:
    template <typename Joins>
    void make_groups(const std::vector<Vec3>& positions, const std::vector<Vec3>& normals,
                     const Joins& joins);

    // The vertices that share their normal, ascending, and the number of each one's group.
    std::vector<int32_t> vertices_;
    std::vector<int32_t> groups_of_;
    int32_t groups_ = 0;
};

// The program's vertex normals of mesh.displayed (computed here), scaled to unit length. A vertex
// without a direction (used by no triangle, or only by degenerate ones) gets +z: file formats
// want unit normals everywhere.
std::vector<Vec3> unit_vertex_normals(EditorState& state);

// The same, summed over the groups of `weld` first.
std::vector<Vec3> unit_vertex_normals(EditorState& state, const NormalWeld& weld);

// What target `slot` alone at 100 % does to those normals, as smooth shading draws that shape
// with the groups of `weld`: its unit vertex normals minus `source_normals` (the unit normals
// of the source shape, with the same groups), per vertex. A player adding the weighted changes
// to the source's normals and normalising shows those normals wherever one target is at full
// weight. Leaves mesh.displayed at that shape. Needs a loaded source and target.
std::vector<Vec3> target_normal_offsets(EditorState& state, int slot,
                                        const std::vector<Vec3>& source_normals,
                                        const NormalWeld& weld = NormalWeld());

}  // namespace warpkit::exporting
