#include "export/gltf_model.h"

#include <cassert>
#include <cmath>
#include <limits>
#include <map>

#include "base/display_text.h"
#include "base/texts.h"
#include "export/frame_weights.h"
#include "export/shape_check.h"
#include "export/target_names.h"
#include "export/unit_normals.h"
#include "model/normals.h"
#include "model/qxm_reader.h"
#include "morph/key_track.h"

namespace warpkit::exporting {

namespace {

constexpr int kArrayBuffer = TINYGLTF_TARGET_ARRAY_BUFFER;
constexpr int kElementArrayBuffer = TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER;
constexpr int kNoTarget = 0;
// The program's object colour, shown when a file has no palette.
constexpr double kObjectColour = 220.0 / 255.0;

bool is_zero(const Vec3& v) {
    return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f;
}

// Packs the arrays of the one buffer, each view starting on a 4-byte boundary so every
// component type is aligned however the views follow each other, and notes what each view
// holds for the compression that may follow.
class BufferPacker {
public:
    BufferPacker(tinygltf::Model& model, std::vector<ViewLayout>& layouts)
        : model_(model), layouts_(layouts) {
        model_.buffers.emplace_back();
    }

    int add_view(const void* bytes, size_t length, int target, ViewLayout layout) {
        std::vector<unsigned char>& data = model_.buffers[0].data;
        while (data.size() % 4 != 0) data.push_back(0);
        tinygltf::BufferView view;
        view.buffer = 0;
        view.byteOffset = data.size();
        view.byteLength = length;
        view.target = target;
        const auto* first = static_cast<const unsigned char*>(bytes);
        data.insert(data.end(), first, first + length);
        model_.bufferViews.push_back(view);
        layouts_.push_back(layout);
        return static_cast<int>(model_.bufferViews.size() - 1);
    }

    // A float VEC3 accessor over `points`, with the min and max that readers and the
    // glTF rules require for positions (taken from the float values exactly).
    int add_vec3(const std::vector<Vec3>& points, int target, bool bounds) {
        tinygltf::Accessor accessor = vec3_accessor(points, bounds);
        accessor.bufferView = add_view(points.data(), points.size() * sizeof(Vec3), target,
                                       {ViewKind::kAttributes, sizeof(Vec3)});
        return add_accessor(accessor);
    }

    // The same for a morph target's values, most of which may be zero: stored sparse over the
    // non-zero ones (an accessor without a view reads as zeros) when that takes fewer bytes.
    // `sparse` tells which form was taken.
    int add_morph_vec3(const std::vector<Vec3>& points, bool bounds, bool& sparse) {
        std::vector<uint32_t> indices;
        std::vector<Vec3> values;
        for (size_t i = 0; i < points.size(); ++i) {
            if (is_zero(points[i])) continue;
            indices.push_back(static_cast<uint32_t>(i));
            values.push_back(points[i]);
        }
        const bool narrow = points.size() - 1 <= std::numeric_limits<uint16_t>::max();
        const size_t index_size = narrow ? sizeof(uint16_t) : sizeof(uint32_t);
        sparse = indices.size() * (index_size + sizeof(Vec3)) < points.size() * sizeof(Vec3);
        if (!sparse) return add_vec3(points, kArrayBuffer, bounds);

        tinygltf::Accessor accessor = vec3_accessor(points, bounds);
        if (!indices.empty()) {
            accessor.sparse.isSparse = true;
            accessor.sparse.count = static_cast<int>(indices.size());
            // The library leaves these unset.
            accessor.sparse.indices.byteOffset = 0;
            accessor.sparse.values.byteOffset = 0;
            const ViewLayout index_layout{ViewKind::kIndices, index_size};
            if (narrow) {
                const std::vector<uint16_t> short_indices(indices.begin(), indices.end());
                accessor.sparse.indices.bufferView =
                    add_view(short_indices.data(), short_indices.size() * index_size, kNoTarget,
                             index_layout);
                accessor.sparse.indices.componentType = TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT;
            } else {
                accessor.sparse.indices.bufferView =
                    add_view(indices.data(), indices.size() * index_size, kNoTarget, index_layout);
                accessor.sparse.indices.componentType = TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT;
            }
            accessor.sparse.values.bufferView =
                add_view(values.data(), values.size() * sizeof(Vec3), kNoTarget,
                         {ViewKind::kAttributes, sizeof(Vec3)});
        }
        return add_accessor(accessor);
    }

    int add_scalars(const std::vector<float>& values, bool bounds) {
        tinygltf::Accessor accessor;
        accessor.bufferView = add_view(values.data(), values.size() * sizeof(float), kNoTarget,
                                       {ViewKind::kAttributes, sizeof(float)});
        accessor.componentType = TINYGLTF_COMPONENT_TYPE_FLOAT;
        accessor.type = TINYGLTF_TYPE_SCALAR;
        accessor.count = values.size();
        if (bounds) {
            accessor.minValues = {*std::min_element(values.begin(), values.end())};
            accessor.maxValues = {*std::max_element(values.begin(), values.end())};
        }
        return add_accessor(accessor);
    }

    // Triangle indices: 16 bits while every index fits below the 16-bit restart value,
    // 32 bits otherwise.
    int add_indices(const std::vector<uint32_t>& indices, int32_t vertex_count) {
        tinygltf::Accessor accessor;
        accessor.type = TINYGLTF_TYPE_SCALAR;
        accessor.count = indices.size();
        if (vertex_count <= std::numeric_limits<uint16_t>::max()) {
            const std::vector<uint16_t> narrow(indices.begin(), indices.end());
            accessor.bufferView =
                add_view(narrow.data(), narrow.size() * sizeof(uint16_t), kElementArrayBuffer,
                         {ViewKind::kTriangles, sizeof(uint16_t)});
            accessor.componentType = TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT;
        } else {
            accessor.bufferView =
                add_view(indices.data(), indices.size() * sizeof(uint32_t), kElementArrayBuffer,
                         {ViewKind::kTriangles, sizeof(uint32_t)});
            accessor.componentType = TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT;
        }
        return add_accessor(accessor);
    }

private:
    static tinygltf::Accessor vec3_accessor(const std::vector<Vec3>& points, bool bounds) {
        tinygltf::Accessor accessor;
        accessor.componentType = TINYGLTF_COMPONENT_TYPE_FLOAT;
        accessor.type = TINYGLTF_TYPE_VEC3;
        accessor.count = points.size();
        if (bounds) {
            accessor.minValues = {points[0].x, points[0].y, points[0].z};
            accessor.maxValues = accessor.minValues;
            for (const Vec3& p : points) {
                const double c[3] = {p.x, p.y, p.z};
                for (int axis = 0; axis < 3; ++axis) {
                    accessor.minValues[axis] = std::min(accessor.minValues[axis], c[axis]);
                    accessor.maxValues[axis] = std::max(accessor.maxValues[axis], c[axis]);
                }
            }
        }
        return accessor;
    }

    int add_accessor(const tinygltf::Accessor& accessor) {
        model_.accessors.push_back(accessor);
        return static_cast<int>(model_.accessors.size() - 1);
    }

    tinygltf::Model& model_;
    std::vector<ViewLayout>& layouts_;
};

// glTF weights are fractions where the program's are percent.
float fraction(float percent) {
    return static_cast<float>(percent / 100.0);
}

double linear_from_srgb(double c) {
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

// A matte material of one colour given as the program shows it (0..1 per channel). The
// program's colours go to the screen unconverted, i.e. as sRGB; glTF colour factors are linear.
int add_material(tinygltf::Model& model, const std::string& name, double red, double green,
                 double blue) {
    tinygltf::Material material;
    material.name = name;
    material.pbrMetallicRoughness.baseColorFactor = {linear_from_srgb(red), linear_from_srgb(green),
                                                     linear_from_srgb(blue), 1.0};
    material.pbrMetallicRoughness.metallicFactor = 0.0;
    material.pbrMetallicRoughness.roughnessFactor = 1.0;
    model.materials.push_back(material);
    return static_cast<int>(model.materials.size() - 1);
}

// One primitive per colour index that some triangle uses, in colour order, each holding its
// triangles in file order; a file without a palette gives one primitive of every triangle.
// A source without triangles is shown as its points.
void add_primitives(tinygltf::Model& model, BufferPacker& packer, const EditorState& state,
                    int positions, int normals) {
    tinygltf::Primitive base;
    base.attributes["POSITION"] = positions;
    base.attributes["NORMAL"] = normals;
    base.mode = TINYGLTF_MODE_TRIANGLES;

    const ObjectMesh& mesh = state.mesh;
    const size_t colours = mesh.palette_red.size();
    std::map<int32_t, std::vector<uint32_t>> by_colour;
    for (const Triangle& t : mesh.triangles) {
        std::vector<uint32_t>& indices = by_colour[colours > 0 ? t.colour : 0];
        for (int corner = 0; corner < 3; ++corner) {
            indices.push_back(static_cast<uint32_t>(t.v[corner]));
        }
    }

    if (by_colour.empty()) {
        tinygltf::Primitive points = base;
        points.mode = TINYGLTF_MODE_POINTS;
        points.material =
            add_material(model, "default", kObjectColour, kObjectColour, kObjectColour);
        model.meshes[0].primitives.push_back(points);
        return;
    }
    for (const auto& [colour, indices] : by_colour) {
        tinygltf::Primitive primitive = base;
        primitive.indices = packer.add_indices(indices, state.vertex_count);
        if (colours > 0) {
            const size_t c = static_cast<size_t>(colour);
            assert(c < colours);  // the reader keeps colour indices inside the palette
            primitive.material =
                add_material(model, "colour " + std::to_string(colour), mesh.palette_red[c],
                             mesh.palette_green[c], mesh.palette_blue[c]);
        } else {
            primitive.material =
                add_material(model, "default", kObjectColour, kObjectColour, kObjectColour);
        }
        model.meshes[0].primitives.push_back(primitive);
    }
}

// The frames the animation has keys on, or why there can be none.
std::string animation_frames_for(const EditorState& state, const GltfOptions& options,
                                 std::vector<int32_t>& frames) {
    const int32_t first = options.first_frame;
    const int32_t last = options.last_frame < 0 ? state.max_frame : options.last_frame;
    assert(first <= last);
    if (options.step == 0) {
        frames = animation_frames(state, first, last);
        return std::string();
    }
    const int64_t samples = stepped_frame_count(first, last, options.step);
    if (samples > kMaxSamples) {
        return format_text(
            "every %d. frame of %d..%d makes %lld samples, more than the %lld "
            "an animation may have",
            static_cast<int>(options.step), static_cast<int>(first), static_cast<int>(last),
            static_cast<long long>(samples), static_cast<long long>(kMaxSamples));
    }
    frames = sampled_frames(first, last, options.step);
    return std::string();
}

}  // namespace

std::string animation_timing(const EditorState& state, const GltfOptions& options,
                             std::vector<int32_t>& frames, std::vector<float>& times) {
    // Times of the animation frames, from the first; they must strictly increase as the floats
    // a reader gets.
    std::string problem = animation_frames_for(state, options, frames);
    if (!problem.empty()) return problem;
    times.clear();
    for (int32_t frame : frames) {
        const float time = static_cast<float>(
            (static_cast<double>(frame) - static_cast<double>(frames.front())) / options.fps);
        if (!std::isfinite(time)) {
            return format_text("frame %d is beyond any time at %g frames a second",
                               static_cast<int>(frame), options.fps);
        }
        if (!times.empty() && !(time > times.back())) {
            return format_text("frames %d and %d fall on one time at %g frames a second",
                               static_cast<int>(frames[times.size() - 1]), static_cast<int>(frame),
                               options.fps);
        }
        times.push_back(time);
    }
    return std::string();
}

GltfBuild build_gltf_model(EditorState& state, const GltfOptions& options, Progress* progress) {
    GltfBuild build;
    build.problem = session_shape_problem(state);
    if (!build.problem.empty()) return build;
    const std::vector<int> targets = loaded_targets(state);

    std::vector<float> times;
    build.problem = animation_timing(state, options, build.frames, times);
    if (!build.problem.empty()) return build;
    const std::vector<int32_t>& frames = build.frames;

    tinygltf::Model& model = build.model;
    model.asset.version = "2.0";
    model.asset.generator = "warpkit-export";
    BufferPacker packer(model, build.layouts);
    const std::string source_name = display_text(state.slots[0].name);

    // The source shape with its normals, seams smoothed by the groups every shape keeps.
    blend(state, SlotWeights{});
    compute_vertex_normals(state);
    const NormalWeld weld(state.mesh.displayed, state.mesh.vertex_normals, options.smooth_angle);
    const std::vector<Vec3> source_normals = weld.unit_normals(state.mesh.vertex_normals);
    const int positions = packer.add_vec3(state.slots[0].vertices, kArrayBuffer, true);
    const int normals = packer.add_vec3(source_normals, kArrayBuffer, false);

    model.meshes.emplace_back();
    tinygltf::Mesh& mesh = model.meshes[0];
    mesh.name = source_name;
    add_primitives(model, packer, state, positions, normals);

    // One morph target per loaded target: its displacement from the source, and what it does
    // to the normals at full weight.
    std::vector<std::map<std::string, int>> morph_targets;
    for (size_t i = 0; i < targets.size(); ++i) {
        const int k = targets[i];
        bool sparse = false;
        morph_targets.push_back(
            {{"POSITION", packer.add_morph_vec3(state.slots[k].vertices, true, sparse)}});
        build.sparse_accessors += sparse;
        if (options.normals) {
            const std::vector<Vec3> offsets = target_normal_offsets(state, k, source_normals, weld);
            morph_targets.back()["NORMAL"] = packer.add_morph_vec3(offsets, false, sparse);
            build.sparse_accessors += sparse;
        }
        if (progress) progress->advance(static_cast<int64_t>(i + 1));
    }
    blend(state, SlotWeights{});
    if (!targets.empty()) {
        for (tinygltf::Primitive& primitive : mesh.primitives) primitive.targets = morph_targets;
        TargetNames names = morph_target_names(state, options.naming);
        build.renamed = std::move(names.renamed);
        tinygltf::Value::Array list;
        for (const std::string& name : names.names) list.emplace_back(name);
        tinygltf::Value::Object extras;
        extras["targetNames"] = tinygltf::Value(list);
        mesh.extras = tinygltf::Value(extras);
        const SlotWeights first = weights_at(state, frames.front());
        for (int k : targets) mesh.weights.push_back(fraction(first[k]));
    }

    tinygltf::Node node;
    node.name = source_name;
    node.mesh = 0;
    model.nodes.push_back(node);
    tinygltf::Scene scene;
    scene.nodes = {0};
    model.scenes.push_back(scene);
    model.defaultScene = 0;

    // The weights animation: every target's weight at each animation frame, frame by frame.
    if (!targets.empty()) {
        std::vector<float> weights;
        weights.reserve(frames.size() * targets.size());
        for (int32_t frame : frames) {
            const SlotWeights at = weights_at(state, frame);
            for (int k : targets) weights.push_back(fraction(at[k]));
        }
        tinygltf::AnimationSampler sampler;
        sampler.input = packer.add_scalars(times, true);
        sampler.output = packer.add_scalars(weights, false);
        sampler.interpolation = "LINEAR";
        tinygltf::AnimationChannel channel;
        channel.sampler = 0;
        channel.target_node = 0;
        channel.target_path = "weights";
        tinygltf::Animation animation;
        animation.name = options.animation_name;
        animation.samplers.push_back(sampler);
        animation.channels.push_back(channel);
        model.animations.push_back(animation);
    }

    build.ok = true;
    return build;
}

}  // namespace warpkit::exporting
