#pragma once
// The whole session as text, every float exact, so that two states compare in one
// expectation and a difference shows where it lies.
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "app/editor_state.h"

namespace warpkit::testing {

inline std::string exact(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%a", static_cast<double>(value));
    return text;
}

inline std::string exact(const Vec3& v) {
    return exact(v.x) + "," + exact(v.y) + "," + exact(v.z);
}

template <typename T>
std::string exact_list(const std::vector<T>& items) {
    std::ostringstream out;
    for (const T& item : items) {
        if constexpr (std::is_same_v<T, Vec3> || std::is_same_v<T, float>) {
            out << exact(item) << ' ';
        } else if constexpr (std::is_same_v<T, Triangle>) {
            out << item.v[0] << '/' << item.v[1] << '/' << item.v[2] << '/' << item.colour << ' ';
        } else {
            out << item << ' ';
        }
    }
    return out.str();
}

// Slots, keys, mesh, view, frames and the modified flag.
inline std::string describe_session(const EditorState& s) {
    std::ostringstream out;
    out << "counts " << s.vertex_count << ' ' << s.triangle_count << "\nframes " << s.current_frame
        << '/' << s.max_frame << " modified " << s.modified << "\nview " << exact(s.view_centre)
        << ' ' << exact(s.view_distance) << ' ' << exact(s.yaw) << ' ' << exact(s.pitch)
        << " colour " << exact(s.object_colour[0]) << exact(s.object_colour[1])
        << exact(s.object_colour[2]) << '\n';
    for (size_t k = 0; k < s.slots.size(); ++k) {
        const TargetSlot& slot = s.slots[k];
        out << "slot " << k << ' ' << slot.loaded;
        if (slot.loaded) {
            out << ' ' << slot.path << ':' << slot.name << " weight " << exact(slot.weight)
                << "\n vertices " << exact_list(slot.vertices) << "\n keys "
                << exact_list(slot.keys.frames) << "| " << exact_list(slot.keys.weights);
        }
        out << '\n';
    }
    const ObjectMesh& m = s.mesh;
    out << "displayed " << exact_list(m.displayed) << "\ntriangles " << exact_list(m.triangles)
        << "\npalette " << exact_list(m.palette_red) << exact_list(m.palette_green)
        << exact_list(m.palette_blue) << "\nlists " << exact_list(m.list_start) << "| "
        << exact_list(m.triangle_list) << "\nnormals " << exact_list(m.face_normals) << "| "
        << exact_list(m.vertex_normals) << "\nscratch " << m.blend_offsets.size() << '\n';
    return out.str();
}

}  // namespace warpkit::testing
