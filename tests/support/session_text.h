#pragma once
// The whole session as text, every float exact, so that two states compare in one
// expectation and a difference shows where it lies.
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "base/editor_state.h"

namespace warpkit::testing {

inline void put(std::ostream& out, float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%a ", static_cast<double>(value));
    out << text;
}
inline void put(std::ostream& out, int32_t value) {
    out << value << ' ';
}
inline void put(std::ostream& out, const Vec3& v) {
    put(out, v.x), put(out, v.y), put(out, v.z);
}
inline void put(std::ostream& out, const Triangle& t) {
    for (int32_t value : {t.v[0], t.v[1], t.v[2], t.colour}) put(out, value);
}
template <typename T>
void put(std::ostream& out, const std::vector<T>& items) {
    for (const T& item : items) put(out, item);
    out << "| ";
}

// Slots, keys, mesh, normals, view, frames and the modified flag.
inline std::string describe_session(const EditorState& s) {
    std::ostringstream out;
    out << s.vertex_count << ' ' << s.triangle_count << " frames " << s.current_frame << '/'
        << s.max_frame << " modified " << s.modified << "\nview ";
    put(out, s.view_centre);
    for (float value : {s.view_distance, s.yaw, s.pitch, s.object_colour[0], s.object_colour[1],
                        s.object_colour[2]})
        put(out, value);
    for (const TargetSlot& slot : s.slots) {
        out << "\nslot " << slot.loaded << ' ';
        if (!slot.loaded) continue;
        out << slot.path << ':' << slot.name << ' ';
        put(out, slot.weight);
        put(out, slot.vertices), put(out, slot.keys.frames), put(out, slot.keys.weights);
    }
    const ObjectMesh& m = s.mesh;
    out << "\nmesh ";
    put(out, m.displayed), put(out, m.triangles), put(out, m.palette_red);
    put(out, m.palette_green), put(out, m.palette_blue), put(out, m.list_start);
    put(out, m.triangle_list), put(out, m.face_normals), put(out, m.vertex_normals);
    out << '\n';
    return out.str();
}

}  // namespace warpkit::testing
