#pragma once
// The one record of the session: everything the user is working on, at its start values.
// Plain data; the operations that change it live in the modules of each subsystem.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/geometry.h"

namespace warpkit {

struct DrawArrays;

constexpr int kTargetCount = 8;     // slots 1..8; slot 0 is the source
constexpr int kPathCapacity = 255;  // longest path or folder the session keeps
constexpr int kNameCapacity = 15;   // longest object name of the object file format

// Keys of one target: parallel arrays, frames strictly increasing, the first at frame 0.
struct KeyTrack {
    std::vector<int32_t> frames;
    std::vector<float> weights;
    int32_t count() const { return static_cast<int32_t>(frames.size()); }
    void clear() {
        frames.clear();
        weights.clear();
    }
};

struct TargetSlot {
    int32_t loaded = 0;
    std::string path;  // bytes as the file dialog or the project gave them
    std::string name;  // bytes as the object file holds them (at most 15)
    // Slot 0: source positions as read. Slots 1..8: target minus source, per vertex.
    std::vector<Vec3> vertices;
    KeyTrack keys;        // slots 1..8 only
    float weight = 0.0f;  // percent, last taken from the weight field
};

// The shown shape and what is derived from the source to draw it.
struct ObjectMesh {
    std::vector<Vec3> displayed;  // source + blended offsets (the blend needs no scratch)
    std::vector<Triangle> triangles;
    std::vector<float> palette_red, palette_green, palette_blue;  // 0..1
    // Vertex-triangle lists in one block: the triangles of vertex i are
    // triangle_list[list_start[i] .. list_start[i + 1]), ascending.
    std::vector<int32_t> list_start;
    std::vector<int32_t> triangle_list;
    std::vector<Vec3> face_normals;    // not normalised: length is twice the area
    std::vector<Vec3> vertex_normals;  // sum of the faces around the vertex
    // The renderer's arrays for sending these triangles in bulk (model/draw_arrays.h): made at
    // the first draw of a source, dropped with it by InitSource and release_source.
    std::shared_ptr<DrawArrays> draw_arrays;
};

enum ShadingModeValue : int32_t { kWireFrame = 0, kFlat = 1, kSmooth = 2 };

struct EditorState {
    // Geometry of the loaded object.
    int32_t vertex_count = 0;
    int32_t triangle_count = 0;
    ObjectMesh mesh;
    Vec3 view_centre;
    float view_distance = 0.0f;
    float yaw = 0.0f;
    float pitch = 0.0f;
    float object_colour[3] = {0.0f, 0.0f, 0.0f};
    int32_t use_object_colours = 0;

    // Slot 0 is the source, 1..8 the targets.
    std::array<TargetSlot, kTargetCount + 1> slots;

    // Timeline and display.
    int32_t current_frame = 0;
    int32_t max_frame = 100;
    int32_t playing_forward = 0;
    int32_t playing_backward = 0;
    int32_t ShadingMode = kFlat;
    int32_t playback_rate = 0;  // frames a second; 0: a frame a tick, as fast as drawing goes

    // User interface state.
    int32_t UiLanguage = 1;  // 1 Japanese, anything else English
    int32_t modified = 0;
    int32_t drag_mode = 0;  // 0 none; 1 or 2 a drag of the view, a spinner or the knob
    int32_t spinner_active = 0;
    int32_t spinner_value = 0;
    int32_t edited_slot = 0;  // weight field entered last, 0 for none
    std::string object_folder;
    std::string project_folder;

    bool source_loaded() const { return slots[0].loaded == 1; }
    bool target_loaded(int k) const { return slots[k].loaded == 1; }
    bool japanese() const { return UiLanguage == 1; }
};

}  // namespace warpkit
