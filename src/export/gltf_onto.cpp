#include "export/gltf_onto.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <ostream>

#include "base/display_text.h"
#include "base/file_paths.h"
#include "base/texts.h"
#include "export/export_review.h"
#include "export/export_tool.h"
#include "export/frame_weights.h"
#include "export/gltf_file.h"
#include "export/output_file.h"
#include "export/printable.h"
#include "import/file_bytes.h"
#include "import/gltf_reader.h"
#include "import/scene_choice.h"

namespace warpkit::exporting {

namespace {

using Json = nlohmann::json;

// Shapes count as equal within this share of the source's bounding-box diagonal: float noise
// of a file written by another tool, never a change an artist would make.
constexpr double kSameShare = 1e-6;
constexpr uint32_t kGlbMagic = 0x46546C67;  // "glTF"
constexpr uint32_t kJsonChunk = 0x4E4F534A;
constexpr uint32_t kBinChunk = 0x004E4942;
constexpr int kFloat = 5126;

uint32_t read_u32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, sizeof value);  // glTF is little-endian, as are we
    return value;
}

void put_u32(std::string& out, uint32_t value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

struct Original {
    bool binary = false;
    Json json;
    std::string bin;  // the binary chunk of a .glb
};

// The reader has accepted the file before this runs, so only the JSON's syntax is checked again.
std::string parse_original(const std::string& bytes, Original& original) {
    std::string text = bytes;
    original.binary = is_glb(bytes);
    if (original.binary) {
        if (bytes.size() < 20 || read_u32(bytes, 16) != kJsonChunk)
            return "its JSON chunk is missing";
        const size_t length = read_u32(bytes, 12);
        if (length > bytes.size() - 20) return "its JSON chunk runs past the end of the file";
        text = bytes.substr(20, length);
        const size_t next = 20 + ((length + 3) & ~size_t{3});
        if (next + 8 <= bytes.size() && read_u32(bytes, next + 4) == kBinChunk) {
            const size_t bin_length = read_u32(bytes, next);
            if (bin_length > bytes.size() - next - 8) return "its binary chunk runs past the end";
            original.bin = bytes.substr(next + 8, bin_length);
        }
    }
    try {
        original.json = Json::parse(text);
    } catch (const Json::exception& error) {
        return std::string("its JSON cannot be read: ") + error.what();
    }
    if (!original.json.is_object()) return "its JSON is no object";
    return std::string();
}

double diagonal_of(const std::vector<Vec3>& points) {
    if (points.empty()) return 0.0;
    Vec3 low = points[0];
    Vec3 high = points[0];
    for (const Vec3& p : points) {
        low = Vec3{std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = Vec3{std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    const double dx = double(high.x) - low.x, dy = double(high.y) - low.y,
                 dz = double(high.z) - low.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

double distance(const Vec3& a, const Vec3& b) {
    const double dx = double(a.x) - b.x, dy = double(a.y) - b.y, dz = double(a.z) - b.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// The largest distance between the points of two lists of one length.
double largest_gap(const std::vector<Vec3>& a, const std::vector<Vec3>& b) {
    double largest = 0.0;
    for (size_t i = 0; i < a.size(); ++i) largest = std::max(largest, distance(a[i], b[i]));
    return largest;
}

// The displacement of each vertex; `shape` and `base` are of one length.
std::vector<Vec3> displacement(const std::vector<Vec3>& shape, const std::vector<Vec3>& base) {
    std::vector<Vec3> out(base.size());
    for (size_t i = 0; i < base.size(); ++i) {
        out[i] = Vec3{shape[i].x - base[i].x, shape[i].y - base[i].y, shape[i].z - base[i].z};
    }
    return out;
}

std::string mesh_label(const Json& meshes, size_t m) {
    std::string label = "mesh " + std::to_string(m);
    const Json& mesh = meshes[m];
    if (mesh.contains("name") && mesh["name"].is_string()) {
        label += " \"" + mesh["name"].get<std::string>() + "\"";
    }
    return label;
}

std::string listed(const Json& meshes, const std::vector<size_t>& which) {
    std::string list;
    for (size_t m : which) list += (list.empty() ? "" : ", ") + mesh_label(meshes, m);
    return list;
}

// The mesh the project's source is, or why none is. `scene` holds the glTF meshes one for one.
std::string choose_mesh(const ImportedScene& scene, const Json& meshes,
                        const std::vector<Vec3>& source, double tolerance, const std::string& asked,
                        size_t& chosen) {
    const auto holds_source = [&](size_t m) {
        const std::vector<Vec3>& vertices = scene.meshes[m].vertices;
        return vertices.size() == source.size() && largest_gap(vertices, source) <= tolerance;
    };
    if (!asked.empty()) {
        const std::vector<size_t> named = items_named(asked, meshes.size(), [&](size_t m) {
            return meshes[m].value("name", std::string()) == asked;
        });
        if (named.empty()) return "it has no mesh " + asked;
        if (named.size() > 1) {
            return "several meshes are named " + asked + " (" + listed(meshes, named) +
                   "); choose one by its index with --mesh";
        }
        chosen = named[0];
        if (!holds_source(chosen)) {
            const size_t count = scene.meshes[chosen].vertices.size();
            return mesh_label(meshes, chosen) +
                   (count != source.size()
                        ? format_text(" has %zu vertices where the project's source has %zu", count,
                                      source.size())
                        : std::string(" is not the project's source: a vertex lies ") +
                              format_text("%g",
                                          largest_gap(scene.meshes[chosen].vertices, source)) +
                              " away");
        }
        return std::string();
    }
    std::vector<size_t> candidates;
    for (size_t m = 0; m < scene.meshes.size(); ++m) {
        if (holds_source(m)) candidates.push_back(m);
    }
    if (candidates.size() == 1) {
        chosen = candidates[0];
        return std::string();
    }
    std::vector<size_t> all(meshes.size());
    for (size_t m = 0; m < all.size(); ++m) all[m] = m;
    if (candidates.empty()) {
        return "none of its meshes is the project's source (" + listed(meshes, all) +
               "); --mesh NAME|INDEX names one";
    }
    return "several of its meshes are the project's source (" + listed(meshes, candidates) +
           "); choose one with --mesh NAME|INDEX";
}

// Inverse of a row-major 3 x 3 matrix, false when it flattens space.
bool invert(const std::array<double, 9>& m, std::array<double, 9>& out) {
    const double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                       m[2] * (m[3] * m[7] - m[4] * m[6]);
    if (!(std::fabs(det) > 1e-300)) return false;
    out = {(m[4] * m[8] - m[5] * m[7]) / det, (m[2] * m[7] - m[1] * m[8]) / det,
           (m[1] * m[5] - m[2] * m[4]) / det, (m[5] * m[6] - m[3] * m[8]) / det,
           (m[0] * m[8] - m[2] * m[6]) / det, (m[2] * m[3] - m[0] * m[5]) / det,
           (m[3] * m[7] - m[4] * m[6]) / det, (m[1] * m[6] - m[0] * m[7]) / det,
           (m[0] * m[4] - m[1] * m[3]) / det};
    return true;
}

// Appends views and accessors over new bytes of one buffer, each view on a 4-byte boundary.
class Appender {
public:
    Appender(Json& json, int buffer, size_t start) : json_(json), buffer_(buffer), start_(start) {}

    int add_view(const char* bytes, size_t length) {
        while ((start_ + data_.size()) % 4 != 0) data_.push_back('\0');
        json_["bufferViews"].push_back(Json{
            {"buffer", buffer_}, {"byteOffset", start_ + data_.size()}, {"byteLength", length}});
        data_.append(bytes, length);
        return static_cast<int>(json_["bufferViews"].size() - 1);
    }

    int add_accessor(const Json& accessor) {
        json_["accessors"].push_back(accessor);
        return static_cast<int>(json_["accessors"].size() - 1);
    }

    int add_floats(const float* values, size_t count, const char* type, bool bounds, size_t width) {
        const int view =
            add_view(reinterpret_cast<const char*>(values), count * width * sizeof(float));
        Json accessor = {
            {"bufferView", view}, {"componentType", kFloat}, {"count", count}, {"type", type}};
        if (bounds && count > 0) {
            std::vector<float> low(values, values + width), high(values, values + width);
            for (size_t i = 0; i < count; ++i) {
                for (size_t c = 0; c < width; ++c) {
                    low[c] = std::min(low[c], values[i * width + c]);
                    high[c] = std::max(high[c], values[i * width + c]);
                }
            }
            accessor["min"] = low;
            accessor["max"] = high;
        }
        return add_accessor(accessor);
    }

    const std::string& data() const { return data_; }

private:
    Json& json_;
    int buffer_;
    size_t start_;
    std::string data_;
};

// A POSITION accessor of the mesh and the vertices it holds, in the order the import reads
// them: each accessor once, as the primitives first use it.
struct Run {
    int accessor = -1;
    size_t first = 0;
    size_t count = 0;
    int added = -1;  // the new morph target's accessor for it, while one is being added
};

std::vector<Run> position_runs(const Json& json, const Json& mesh) {
    std::vector<Run> runs;
    size_t next = 0;
    for (const Json& primitive : mesh.value("primitives", Json::array())) {
        const Json attributes = primitive.value("attributes", Json::object());
        if (!attributes.contains("POSITION")) continue;
        const int accessor = attributes["POSITION"].get<int>();
        if (std::any_of(runs.begin(), runs.end(),
                        [&](const Run& run) { return run.accessor == accessor; })) {
            continue;
        }
        const size_t count = json["accessors"][static_cast<size_t>(accessor)]["count"];
        runs.push_back(Run{accessor, next, count, -1});
        next += count;
    }
    return runs;
}

// Relative URIs name files beside the original, so an output elsewhere would lose them.
std::string relative_uri(const Json& json) {
    for (const char* kind : {"buffers", "images"}) {
        for (const Json& item : json.value(kind, Json::array())) {
            const std::string uri = item.value("uri", std::string());
            if (!uri.empty() && uri.rfind("data:", 0) != 0) return uri;
        }
    }
    return std::string();
}

std::string folder_path(const std::string& path) {
    std::error_code error;
    const std::filesystem::path folder =
        std::filesystem::weakly_canonical(std::filesystem::absolute(folder_of(path)), error);
    return error ? folder_of(path) : folder.string();
}

// glTF weights are fractions where the program's are percent.
float fraction(float percent) {
    return static_cast<float>(percent / 100.0);
}

std::vector<float> default_weights(const Json& holder, size_t count) {
    std::vector<float> weights(count, 0.0f);
    const Json list = holder.value("weights", Json::array());
    for (size_t t = 0; t < count && t < list.size(); ++t) {
        if (list[t].is_number()) weights[t] = list[t].get<float>();
    }
    return weights;
}

size_t component_size(int type) {
    switch (type) {
        case 5120:
        case 5121:
            return 1;
        case 5122:
        case 5123:
            return 2;
        case 5126:
            return 4;
        default:
            return 0;
    }
}

// Every weights animation of the original that drives a node of the mesh gives one value per
// morph target, so once targets are added its values are copied into a new accessor with the
// added targets at 0 (their default) in every row; the old accessor stays, unused.
std::string widen_weight_animations(Json& json, const std::vector<size_t>& nodes,
                                    const std::string& original, size_t had, size_t count,
                                    Appender& appender) {
    std::vector<std::pair<size_t, size_t>> samplers;  // (animation, sampler), each once
    const Json animations = json.value("animations", Json::array());
    for (size_t a = 0; a < animations.size(); ++a) {
        for (const Json& channel : animations[a].value("channels", Json::array())) {
            const Json target = channel.value("target", Json::object());
            if (target.value("path", std::string()) != "weights" || !target.contains("node") ||
                std::find(nodes.begin(), nodes.end(), target["node"].get<size_t>()) ==
                    nodes.end()) {
                continue;
            }
            const std::pair<size_t, size_t> sampler{a, channel["sampler"].get<size_t>()};
            if (std::find(samplers.begin(), samplers.end(), sampler) == samplers.end()) {
                samplers.push_back(sampler);
            }
        }
    }
    if (samplers.empty() || had == 0) return std::string();
    std::vector<std::string> buffers;
    const ImportOutcome read = read_gltf_buffers(original, ImportLimits{}, buffers);
    if (!read.ok) return read.reason.en;
    for (const auto& [a, s] : samplers) {
        Json& sampler = json["animations"][a]["samplers"][s];
        const size_t index = sampler["output"].get<size_t>();
        const Json old = json["accessors"][index];
        const std::string where = "animation " + std::to_string(a) + " keeps its weights ";
        if (old.contains("sparse") || !old.contains("bufferView")) {
            return where + "sparse, which cannot be widened for the added targets";
        }
        const Json& view = json["bufferViews"][old["bufferView"].get<size_t>()];
        if (view.contains("extensions")) {
            return where + "in a compressed view, which cannot be widened for the added targets";
        }
        const size_t size = component_size(old.value("componentType", 0));
        const size_t stride = view.value("byteStride", size);
        const size_t values = old.value("count", size_t{0});
        const size_t buffer = view.value("buffer", size_t{0});
        const size_t first =
            view.value("byteOffset", size_t{0}) + old.value("byteOffset", size_t{0});
        if (size == 0 || values % had != 0 || buffer >= buffers.size() ||
            (values > 0 && first + (values - 1) * stride + size > buffers[buffer].size())) {
            return where + "in a form that cannot be widened for the added targets";
        }
        std::string bytes;
        for (size_t row = 0; row < values / had; ++row) {
            for (size_t t = 0; t < had; ++t) {
                bytes.append(buffers[buffer], first + (row * had + t) * stride, size);
            }
            bytes.append((count - had) * size, '\0');
        }
        Json widened = old;
        widened.erase("byteOffset");
        widened.erase("min");
        widened.erase("max");
        widened["bufferView"] = appender.add_view(bytes.data(), bytes.size());
        widened["count"] = values / had * count;
        sampler["output"] = appender.add_accessor(widened);
    }
    return std::string();
}

}  // namespace

size_t OntoBuild::added() const {
    return static_cast<size_t>(
        std::count_if(targets.begin(), targets.end(), [](const OntoTarget& t) { return t.added; }));
}

namespace {

OntoBuild build_unguarded(const EditorState& state, const OntoOptions& options,
                          const std::string& output) {
    OntoBuild build;
    const auto fail = [&build](std::string problem) {
        build.problem = std::move(problem);
        return build;
    };
    if (state.slots[0].loaded == 0) return fail("the project has no source");

    ImportedScene scene;
    const ImportOutcome read = read_gltf_file(options.original, ImportLimits{}, scene);
    if (!read.ok) return fail(read.reason.en);
    std::string bytes;
    const BilingualText unread =
        read_file_bytes(options.original, ImportLimits{}.max_file_bytes, bytes);
    if (!unread.empty()) return fail(unread.en);
    Original original;
    std::string problem = parse_original(bytes, original);
    if (!problem.empty()) return fail(problem);
    Json& json = original.json;
    build.binary = original.binary;
    if (build.binary == is_gltf_text_path(output)) {
        return fail(build.binary ? "a .glb original is written as .glb"
                                 : "a .gltf original is written as .gltf");
    }
    const std::string uri = relative_uri(json);
    if (!uri.empty() && folder_path(output) != folder_path(options.original)) {
        return fail("it names " + uri + " beside it; write the output into its folder");
    }
    const Json meshes = json.value("meshes", Json::array());
    if (meshes.size() != scene.meshes.size()) return fail("its meshes could not all be read");

    // The mesh.
    const std::vector<Vec3>& source = state.slots[0].vertices;
    build.diagonal = diagonal_of(source);
    const double tolerance = kSameShare * build.diagonal;
    problem = choose_mesh(scene, meshes, source, tolerance, options.mesh, build.mesh);
    if (!problem.empty()) return fail(problem);
    const ImportedMesh& found = scene.meshes[build.mesh];
    Json& mesh = json["meshes"][build.mesh];
    build.mesh_name = mesh.value("name", std::string());
    build.largest_difference = largest_gap(found.vertices, source);

    // Each target: the original's with the same displacement, else a new one after them.
    std::vector<std::vector<Vec3>> moves;
    for (const MorphShape& target : found.targets) {
        moves.push_back(displacement(target.vertices, found.vertices));
    }
    std::vector<bool> taken(moves.size(), false);
    const std::vector<int> slots = loaded_targets(state);
    size_t next_index = moves.size();
    for (int k : slots) {
        OntoTarget target;
        target.slot = k;
        const std::vector<Vec3>& move = state.slots[k].vertices;
        bool same = false;
        for (size_t t = 0; t < moves.size() && !same; ++t) {
            if (taken[t]) continue;
            const double gap = largest_gap(moves[t], move);
            if (gap > tolerance) continue;
            same = true;
            taken[t] = true;
            target.index = t;
            target.name = found.targets[t].name;
            build.largest_difference = std::max(build.largest_difference, gap);
        }
        if (!same) {
            target.added = true;
            target.index = next_index++;
            target.name = display_text(state.slots[k].name);
        }
        build.targets.push_back(target);
    }
    const size_t count = next_index;

    // The nodes that show the mesh, which the animation drives.
    std::vector<size_t> nodes;
    const Json node_list = json.value("nodes", Json::array());
    for (size_t n = 0; n < node_list.size(); ++n) {
        if (node_list[n].value("mesh", -1) == static_cast<int>(build.mesh)) nodes.push_back(n);
    }
    if (slots.empty() && !options.replace_animation.empty()) {
        return fail("the project has no target, so nothing would replace animation " +
                    options.replace_animation);
    }
    if (nodes.empty() && !slots.empty()) {
        return fail(mesh_label(meshes, build.mesh) + " is shown by no node, so nothing plays it");
    }
    build.nodes = nodes.size();

    // New bytes go after the original's: into the binary chunk of a .glb (buffer 0), or into a
    // buffer of their own beside a .gltf.
    int buffer = 0;
    size_t start = 0;
    if (!json.contains("buffers")) json["buffers"] = Json::array();
    if (!json.contains("bufferViews")) json["bufferViews"] = Json::array();
    if (!json.contains("accessors")) json["accessors"] = Json::array();
    if (build.binary) {
        if (json["buffers"].empty()) {
            json["buffers"].push_back(Json{{"byteLength", 0}});
        } else if (json["buffers"][0].contains("uri")) {
            return fail("its first buffer is a file of its own, not its binary chunk");
        }
        start = original.bin.size();
    } else {
        buffer = static_cast<int>(json["buffers"].size());
        const std::string bin_name = std::filesystem::path(bin_path_for(output)).filename();
        for (const Json& item : json["buffers"]) {
            if (item.value("uri", std::string()) == uri_from_file_name(bin_name) &&
                folder_path(output) == folder_path(options.original)) {
                return fail("it keeps a buffer in " + bin_name +
                            ", which the output's new buffer would replace");
            }
        }
    }
    Appender appender(json, buffer, start);

    // Added targets: every primitive gets its part of the displacement, in the mesh's own space.
    if (build.added() > 0) {
        std::array<double, 9> inverse{};
        if (!invert(found.placement.linear, inverse)) {
            return fail("the node showing " + mesh_label(meshes, build.mesh) + " flattens it");
        }
        std::vector<Run> runs = position_runs(json, mesh);
        size_t total = 0;
        for (const Run& run : runs) total += run.count;
        if (total != source.size()) return fail("its positions are not the ones the import read");
        Json names = Json::array();
        for (const MorphShape& target : found.targets) names.push_back(target.name);
        for (const OntoTarget& target : build.targets) {
            if (!target.added) continue;
            const std::vector<Vec3>& move = state.slots[target.slot].vertices;
            for (Run& run : runs) {
                std::vector<float> local;
                local.reserve(run.count * 3);
                for (size_t i = run.first; i < run.first + run.count; ++i) {
                    const double d[3] = {move[i].x, move[i].y, move[i].z};
                    for (int row = 0; row < 3; ++row) {
                        local.push_back(static_cast<float>(inverse[row * 3] * d[0] +
                                                           inverse[row * 3 + 1] * d[1] +
                                                           inverse[row * 3 + 2] * d[2]));
                    }
                }
                run.added = appender.add_floats(local.data(), run.count, "VEC3", true, 3);
            }
            for (Json& primitive : mesh["primitives"]) {
                const Json attributes = primitive.value("attributes", Json::object());
                if (!attributes.contains("POSITION")) continue;
                const int accessor = attributes["POSITION"].get<int>();
                for (const Run& run : runs) {
                    if (run.accessor == accessor) {
                        primitive["targets"].push_back(Json{{"POSITION", run.added}});
                    }
                }
            }
            names.push_back(target.name);
        }
        // Default weights, where the original gives them, must count every target.
        for (Json* holder : {&mesh}) {
            if (holder->contains("weights")) (*holder)["weights"] = default_weights(*holder, count);
        }
        for (size_t n : nodes) {
            Json& node = json["nodes"][n];
            if (node.contains("weights")) node["weights"] = default_weights(node, count);
        }
        if (!mesh.contains("extras")) mesh["extras"] = Json::object();
        if (mesh["extras"].is_object()) mesh["extras"]["targetNames"] = names;
        problem =
            widen_weight_animations(json, nodes, options.original, moves.size(), count, appender);
        if (!problem.empty()) return fail(problem);
    }

    // The animation, keyed as plain gltf keys it; targets the project does not hold stay at
    // the weight the node or the mesh gives them.
    std::vector<float> times;
    problem = animation_timing(state, options.gltf, build.frames, times);
    if (!problem.empty()) return fail(problem);
    Json animation = {{"name", options.gltf.animation_name},
                      {"samplers", Json::array()},
                      {"channels", Json::array()}};
    if (!slots.empty()) {
        const int input = appender.add_floats(times.data(), times.size(), "SCALAR", true, 1);
        std::vector<SlotWeights> at;
        for (int32_t frame : build.frames) at.push_back(weights_at(state, frame));
        for (size_t n : nodes) {
            const Json& node = json["nodes"][n];
            const std::vector<float> still =
                default_weights(node.contains("weights") ? node : mesh, count);
            std::vector<float> values;
            values.reserve(at.size() * count);
            for (const SlotWeights& weights : at) {
                std::vector<float> row = still;
                for (const OntoTarget& target : build.targets) {
                    row[target.index] = fraction(weights[target.slot]);
                }
                values.insert(values.end(), row.begin(), row.end());
            }
            const int output_accessor =
                appender.add_floats(values.data(), values.size(), "SCALAR", false, 1);
            animation["samplers"].push_back(
                Json{{"input", input}, {"output", output_accessor}, {"interpolation", "LINEAR"}});
            animation["channels"].push_back(
                Json{{"sampler", animation["samplers"].size() - 1},
                     {"target", Json{{"node", n}, {"path", "weights"}}}});
        }
    }
    if (!json.contains("animations")) json["animations"] = Json::array();
    Json& animations = json["animations"];
    if (!options.replace_animation.empty()) {
        std::vector<size_t> named;
        std::string names;
        for (size_t a = 0; a < animations.size(); ++a) {
            const std::string name = animations[a].value("name", std::string());
            names += (names.empty() ? "" : ", ") + ("\"" + name + "\"");
            if (name == options.replace_animation) named.push_back(a);
        }
        if (named.size() != 1) {
            return fail((named.empty() ? "it has no animation named "
                                       : "several of its animations are named ") +
                        options.replace_animation + " (" +
                        (names.empty() ? std::string("it has none") : names) + ")");
        }
        animations[named[0]] = animation;
    } else if (!slots.empty()) {
        animations.push_back(animation);
    }
    if (animations.empty()) json.erase("animations");

    // The new bytes' buffer; lists the original did not have stay away when nothing was added.
    const auto drop_empty_lists = [&json] {
        for (const char* kind : {"buffers", "bufferViews", "accessors"}) {
            if (json[kind].empty()) json.erase(kind);
        }
    };
    if (build.binary) {
        std::string bin = original.bin + appender.data();
        json["buffers"][0]["byteLength"] = bin.size();
        drop_empty_lists();
        std::string text = json.dump(-1, ' ', false, Json::error_handler_t::replace);
        while (text.size() % 4 != 0) text += ' ';
        while (bin.size() % 4 != 0) bin += '\0';
        std::string& file = build.file;
        put_u32(file, kGlbMagic);
        put_u32(file, 2);
        put_u32(file,
                static_cast<uint32_t>(12 + 8 + text.size() + (bin.empty() ? 0 : 8 + bin.size())));
        put_u32(file, static_cast<uint32_t>(text.size()));
        put_u32(file, kJsonChunk);
        file += text;
        if (!bin.empty()) {
            put_u32(file, static_cast<uint32_t>(bin.size()));
            put_u32(file, kBinChunk);
            file += bin;
        }
    } else {
        build.bin = appender.data();
        if (!build.bin.empty()) {
            const std::string bin_name = std::filesystem::path(bin_path_for(output)).filename();
            json["buffers"].push_back(
                Json{{"byteLength", build.bin.size()}, {"uri", uri_from_file_name(bin_name)}});
        }
        drop_empty_lists();
        build.file = json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
    }
    build.ok = true;
    return build;
}

}  // namespace

OntoBuild build_onto(const EditorState& state, const OntoOptions& options,
                     const std::string& output) {
    // The reader has checked what it reads of the file; a member it never looks at may still
    // be of a type this code does not expect, which is a refusal like any other.
    try {
        return build_unguarded(state, options, output);
    } catch (const Json::exception& error) {
        OntoBuild build;
        build.problem = std::string("its JSON is not as glTF has it: ") + error.what();
        return build;
    } catch (const std::bad_alloc&) {
        OntoBuild build;
        build.problem = "there is not enough memory to add the animation to it";
        return build;
    }
}

FileOutcome write_onto(const OntoBuild& build, const std::string& output) {
    const auto failed = [](const std::string& path, const std::string& reason) {
        FileOutcome outcome;
        outcome.reason.en = printable(path) + ": " + reason;
        return outcome;
    };
    std::vector<std::string> names = {output};
    if (!build.binary && !build.bin.empty()) names.push_back(bin_path_for(output));
    for (const std::string& name : names) {
        const std::string problem = output_path_problem(name);
        if (!problem.empty()) return failed(name, problem);
    }
    if (names.size() == 2) {
        const FileOutcome outcome = write_output_file(names[1], build.bin);
        if (!outcome.ok) return failed(names[1], outcome.reason.en);
    }
    FileOutcome outcome = write_output_file(output, build.file);
    if (!outcome.ok) return failed(output, outcome.reason.en);
    return outcome;
}

int run_gltf_onto(const CommandLine& line, LoadedProject& project, int32_t first, int32_t last,
                  std::ostream& out, std::ostream& err) {
    const auto refuse = [&err](const std::string& message) {
        err << "warpkit-export: " << printable(message) << "\n";
        return kExitRefused;
    };
    OntoOptions options;
    options.original = line.onto;
    options.mesh = line.mesh;
    options.replace_animation = line.replace_animation;
    options.gltf.fps = line.fps;
    options.gltf.animation_name =
        line.animation_name.empty()
            ? display_text(std::filesystem::path(line.input).stem().string())
            : line.animation_name;
    options.gltf.first_frame = first;
    options.gltf.last_frame = last;
    options.gltf.step = line.step;
    const OntoBuild build = build_onto(project.state, options, line.output);
    if (!build.ok)
        return refuse(printable(line.onto) + ": cannot export onto it: " + build.problem);

    const ExportReview review = review_export(project, first, last, true);
    for (const std::string& warning : review.warnings) {
        err << "warpkit-export: warning: " << printable(warning) << "\n";
    }
    const int failures = review.strict_failures + static_cast<int>(build.added());
    if (line.strict && failures > 0) {
        return refuse(printable(line.input) + ": nothing written: " + std::to_string(failures) +
                      " problem" + (failures == 1 ? "" : "s") + " under --strict" +
                      (build.added() > 0 ? " (targets that had to be added)" : ""));
    }
    const FileOutcome written = write_onto(build, line.output);
    if (!written.ok) return refuse("cannot write " + written.reason.en);

    out << "mesh " << build.mesh;
    if (!build.mesh_name.empty()) out << " \"" << printable(build.mesh_name) << "\"";
    out << format_text(" is the source; largest position difference %g (%g of its diagonal)\n",
                       build.largest_difference,
                       build.diagonal > 0 ? build.largest_difference / build.diagonal : 0.0);
    for (const OntoTarget& target : build.targets) {
        out << "target " << printable(target_label(project.state, target.slot)) << ": "
            << (target.added ? "added as morph target " : "same as morph target ") << target.index
            << " \"" << printable(target.name) << "\"\n";
    }
    out << "wrote " << printable(line.output);
    if (!build.binary && !build.bin.empty()) out << " and " << printable(bin_path_for(line.output));
    const std::vector<int32_t>& frames = build.frames;
    out << format_text(": animation with %zu key%s over %g s on %zu node%s", frames.size(),
                       frames.size() == 1 ? "" : "s", (frames.back() - frames.front()) / line.fps,
                       build.nodes, build.nodes == 1 ? "" : "s")
        << "\n";
    return kExitDone;
}

}  // namespace warpkit::exporting
