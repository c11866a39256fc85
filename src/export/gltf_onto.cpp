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
#include "export/onto_data.h"
#include "export/output_file.h"
#include "export/printable.h"
#include "export/unit_normals.h"
#include "import/file_bytes.h"
#include "import/gltf_reader.h"
#include "import/scene_choice.h"
#include "model/vertex_match.h"
#include "morph/key_track.h"

namespace warpkit::exporting {

namespace {

using Json = nlohmann::json;

// Shapes count as equal within this share of the source's bounding-box diagonal: float noise
// of a file written by another tool, never a change an artist would make.
constexpr double kSameShare = 1e-6;
// The original's normals are one where their unit vectors lie this close: a file's seams repeat
// one normal, float noise aside, where its hard edges give ones far apart.
constexpr double kSameNormal = 1e-4;
// glTF players promise to animate this many morphed attributes (positions, normals) at least.
constexpr size_t kPromisedMorphed = 8;
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
    std::string bytes;     // the file as read
    std::string gathered;  // a .gltf's buffers gathered for a .glb
    std::string_view bin;  // the binary chunk's bytes, in `bytes` or `gathered`
};

// The reader has accepted the file before this runs, so only the JSON's syntax is checked again.
// The bytes are only looked at: a big file is not copied for its parts.
std::string parse_original(Original& original) {
    const std::string& bytes = original.bytes;
    const char* text = bytes.data();
    size_t text_length = bytes.size();
    original.binary = is_glb(bytes);
    if (original.binary) {
        if (bytes.size() < 20 || read_u32(bytes, 16) != kJsonChunk)
            return "its JSON chunk is missing";
        const size_t length = read_u32(bytes, 12);
        if (length > bytes.size() - 20) return "its JSON chunk runs past the end of the file";
        text = bytes.data() + 20;
        text_length = length;
        const size_t next = 20 + ((length + 3) & ~size_t{3});
        if (next + 8 <= bytes.size() && read_u32(bytes, next + 4) == kBinChunk) {
            const size_t bin_length = read_u32(bytes, next);
            if (bin_length > bytes.size() - next - 8) return "its binary chunk runs past the end";
            original.bin = std::string_view(bytes).substr(next + 8, bin_length);
        }
    }
    try {
        original.json = Json::parse(text, text + text_length);
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

// Whether `move` is the displacement of `shape` from `base` (all of one length) within
// `tolerance`, and the largest distance of the two when it is; stops at the first vertex that
// is further off, and makes no list of displacements, which on a big mesh costs more than this.
bool moves_alike(const std::vector<Vec3>& shape, const std::vector<Vec3>& base,
                 const std::vector<Vec3>& move, double tolerance, double& largest) {
    largest = 0.0;
    const double most = tolerance * tolerance;
    double squared = 0.0;
    for (size_t i = 0; i < base.size(); ++i) {
        const Vec3 d{shape[i].x - base[i].x, shape[i].y - base[i].y, shape[i].z - base[i].z};
        const double dx = double(d.x) - move[i].x, dy = double(d.y) - move[i].y,
                     dz = double(d.z) - move[i].z;
        const double gap = dx * dx + dy * dy + dz * dz;
        if (gap > most) return false;
        squared = std::max(squared, gap);
    }
    largest = std::sqrt(squared);
    return true;
}

// The largest distance between the points of two lists of one length.
double largest_gap(const std::vector<Vec3>& a, const std::vector<Vec3>& b) {
    double largest = 0.0;
    for (size_t i = 0; i < a.size(); ++i) largest = std::max(largest, distance(a[i], b[i]));
    return largest;
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

// The mesh found to be the project's source, and how its vertices pair with the source's.
struct MeshChoice {
    size_t mesh = 0;
    // Matched by order: for each of the mesh's vertices, the source's vertex at its place
    // (VertexMatch::target_of); empty when the orders are one.
    std::vector<int32_t> order;
    int32_t renumbered = 0;
};

// Whether mesh `m` is the source in another vertex order, as an FBX or OBJ import or `match`
// leaves it: the vertex-order matching pairs the two one to one, and each pair is one point.
bool holds_source_by_order(const ImportedMesh& mesh, const std::vector<Vec3>& source,
                           const std::vector<Triangle>& source_triangles, double tolerance,
                           MeshChoice& choice) {
    if (mesh.vertices.size() != source.size() || source.empty()) return false;
    const VertexMatch match =
        match_vertex_order(mesh.vertices, mesh.triangles, source, source_triangles);
    if (match.status != MatchStatus::kMatched) return false;
    if (largest_gap(mesh.vertices, positions_in_source_order(source, match.target_of)) >
        tolerance) {
        return false;
    }
    choice.order = match.target_of;
    choice.renumbered = match.renumbered;
    return true;
}

// The mesh the project's source is, or why none is. `scene` holds the glTF meshes one for one.
// A mesh holding the source in its own order is preferred; only when none does is the
// vertex-order matching tried.
std::string choose_mesh(const ImportedScene& scene, const Json& meshes,
                        const std::vector<Vec3>& source,
                        const std::vector<Triangle>& source_triangles, double tolerance,
                        const std::string& asked, MeshChoice& chosen) {
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
        chosen.mesh = named[0];
        if (holds_source(chosen.mesh) ||
            holds_source_by_order(scene.meshes[chosen.mesh], source, source_triangles, tolerance,
                                  chosen)) {
            return std::string();
        }
        const size_t count = scene.meshes[chosen.mesh].vertices.size();
        return mesh_label(meshes, chosen.mesh) +
               (count != source.size()
                    ? format_text(" has %zu vertices where the project's source has %zu", count,
                                  source.size())
                    : std::string(" is not the project's source, in its order or another: a "
                                  "vertex lies ") +
                          format_text("%g",
                                      largest_gap(scene.meshes[chosen.mesh].vertices, source)) +
                          " away");
    }
    std::vector<size_t> candidates;
    for (size_t m = 0; m < scene.meshes.size(); ++m) {
        if (holds_source(m)) candidates.push_back(m);
    }
    std::vector<MeshChoice> by_order;
    if (candidates.empty()) {
        for (size_t m = 0; m < scene.meshes.size(); ++m) {
            MeshChoice choice;
            choice.mesh = m;
            if (holds_source_by_order(scene.meshes[m], source, source_triangles, tolerance,
                                      choice)) {
                candidates.push_back(m);
                by_order.push_back(std::move(choice));
            }
        }
    }
    if (candidates.size() == 1) {
        if (by_order.empty()) {
            chosen.mesh = candidates[0];
        } else {
            chosen = std::move(by_order[0]);
        }
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
        Json accessor = float_accessor(values, count, type, bounds, width);
        accessor["bufferView"] = view;
        return add_accessor(accessor);
    }

    // A morph target's displacements, stored sparse over the ones that are not exactly zero
    // when that takes fewer bytes, as plain gltf stores them. `sparse` tells which was taken.
    int add_morph(const Vec3* moves, size_t count, bool bounds, bool& sparse) {
        const auto moved = [](const Vec3& v) { return v.x != 0.0f || v.y != 0.0f || v.z != 0.0f; };
        const size_t nonzero = static_cast<size_t>(std::count_if(moves, moves + count, moved));
        const bool narrow = count - 1 <= 0xFFFF;
        const size_t index_size = narrow ? sizeof(uint16_t) : sizeof(uint32_t);
        sparse = nonzero * (index_size + sizeof(Vec3)) < count * sizeof(Vec3);
        const auto* floats = reinterpret_cast<const float*>(moves);
        if (!sparse) return add_floats(floats, count, "VEC3", bounds, 3);
        Json accessor = float_accessor(floats, count, "VEC3", bounds, 3);
        if (nonzero > 0) {
            std::vector<uint16_t> short_indices;
            std::vector<uint32_t> indices;
            std::vector<Vec3> values;
            if (narrow) {
                short_indices.reserve(nonzero);
            } else {
                indices.reserve(nonzero);
            }
            values.reserve(nonzero);
            for (size_t i = 0; i < count; ++i) {
                if (!moved(moves[i])) continue;
                if (narrow) {
                    short_indices.push_back(static_cast<uint16_t>(i));
                } else {
                    indices.push_back(static_cast<uint32_t>(i));
                }
                values.push_back(moves[i]);
            }
            const int index_view =
                narrow
                    ? add_view(reinterpret_cast<const char*>(short_indices.data()),
                               nonzero * index_size)
                    : add_view(reinterpret_cast<const char*>(indices.data()), nonzero * index_size);
            const int value_view =
                add_view(reinterpret_cast<const char*>(values.data()), nonzero * sizeof(Vec3));
            accessor["sparse"] = {
                {"count", nonzero},
                {"indices", {{"bufferView", index_view}, {"componentType", narrow ? 5123 : 5125}}},
                {"values", {{"bufferView", value_view}}}};
        }
        return add_accessor(accessor);
    }

    void reserve(size_t bytes) { data_.reserve(bytes); }

    const std::string& data() const { return data_; }

private:
    static Json float_accessor(const float* values, size_t count, const char* type, bool bounds,
                               size_t width) {
        Json accessor = {{"componentType", kFloat}, {"count", count}, {"type", type}};
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
        return accessor;
    }

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
    int added = -1;          // the new morph target's POSITION accessor for it, while adding one
    int added_normals = -1;  // and its NORMAL accessor, when it gets one
    int zero_normals = -1;   // a NORMAL of zeros for the original's targets without one
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
        runs.push_back(Run{accessor, next, count, -1, -1, -1});
        next += count;
    }
    return runs;
}

// Relative URIs name files beside the original, so an output elsewhere would lose them. Buffers
// gathered into a .glb's binary chunk no longer name theirs.
std::string relative_uri(const Json& json, bool buffers_gathered) {
    for (const char* kind : {"buffers", "images"}) {
        if (buffers_gathered && std::string(kind) == "buffers") continue;
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

// Every weights animation of the original that drives a node of the mesh gives one value per
// morph target, so once targets are added its values are copied into a new accessor, in their
// own component type, with the added targets at 0 (their default) in every row. The old
// accessor stays as it was, unused. Sparse and normalized integer outputs are read as glTF
// defines them; the copy is dense.
std::string widen_weight_animations(Json& json, const std::vector<size_t>& nodes,
                                    const std::vector<std::string_view>& buffers, size_t had,
                                    size_t count, Appender& appender) {
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
    std::vector<std::pair<size_t, int>> widened_of;  // old accessor, new one: each widened once
    for (const auto& [a, s] : samplers) {
        Json& sampler = json["animations"][a]["samplers"][s];
        const size_t index = sampler["output"].get<size_t>();
        const auto done = std::find_if(widened_of.begin(), widened_of.end(),
                                       [index](const auto& pair) { return pair.first == index; });
        if (done != widened_of.end()) {
            sampler["output"] = done->second;
            continue;
        }
        const std::string where = "animation " + std::to_string(a) +
                                  " keeps its weights in accessor " + std::to_string(index) +
                                  ", which ";
        DenseAccessor old;
        const std::string problem = read_dense(json, buffers, index, old);
        if (!problem.empty())
            return where + problem + ", so it cannot be widened for the added targets";
        if (old.components != 1 || old.count % had != 0) {
            return where + "does not give one value per target, so it cannot be widened";
        }
        const size_t size = old.component_size;
        std::string bytes;
        bytes.reserve(old.count / had * count * size);
        for (size_t row = 0; row < old.count / had; ++row) {
            bytes.append(old.bytes, row * had * size, had * size);
            bytes.append((count - had) * size, '\0');  // 0 in every component type
        }
        Json widened = {{"componentType", old.component_type},
                        {"count", old.count / had * count},
                        {"type", "SCALAR"}};
        if (old.normalized) widened["normalized"] = true;
        widened["bufferView"] = appender.add_view(bytes.data(), bytes.size());
        const int added = appender.add_accessor(widened);
        widened_of.emplace_back(index, added);
        sampler["output"] = added;
    }
    return std::string();
}

// The original's NORMAL of each vertex of the mesh, in the import's order: per POSITION run,
// the normals of the first primitive that gives them, else none (empty). `has` tells, per run,
// whether it has normals of its own.
std::string original_normals(const Json& json, const Json& mesh, const std::vector<Run>& runs,
                             const std::vector<std::string_view>& buffers,
                             std::vector<Vec3>& normals, std::vector<bool>& has) {
    size_t total = 0;
    for (const Run& run : runs) total += run.count;
    normals.assign(total, Vec3{0.0f, 0.0f, 0.0f});
    has.assign(runs.size(), false);
    for (size_t r = 0; r < runs.size(); ++r) {
        for (const Json& primitive : mesh.value("primitives", Json::array())) {
            const Json attributes = primitive.value("attributes", Json::object());
            if (attributes.value("POSITION", -1) != runs[r].accessor ||
                !attributes.contains("NORMAL")) {
                continue;
            }
            if (primitive.contains("extensions") &&
                primitive["extensions"].contains("KHR_draco_mesh_compression")) {
                return "its normals are Draco-compressed, so their changes cannot be added";
            }
            const size_t index = attributes["NORMAL"].get<size_t>();
            DenseAccessor read;
            const std::string problem = read_dense(json, buffers, index, read);
            if (!problem.empty())
                return "the accessor " + std::to_string(index) + " of its normals " + problem;
            if (read.components != 3 || read.count != runs[r].count) {
                return "the accessor " + std::to_string(index) +
                       " of its normals is not one VEC3 per vertex";
            }
            const std::vector<float> values = floats_of(read);
            for (size_t i = 0; i < runs[r].count; ++i) {
                normals[runs[r].first + i] =
                    Vec3{values[3 * i], values[3 * i + 1], values[3 * i + 2]};
            }
            has[r] = true;
            break;
        }
    }
    return std::string();
}

// A vector in the mesh's own space at unit length: `to_local` is the transpose of the node's
// linear map, which takes normals back as the inverse takes positions.
Vec3 local_unit(const std::array<double, 9>& to_local, const Vec3& n) {
    const double x = to_local[0] * n.x + to_local[1] * n.y + to_local[2] * n.z;
    const double y = to_local[3] * n.x + to_local[4] * n.y + to_local[5] * n.z;
    const double z = to_local[6] * n.x + to_local[7] * n.y + to_local[8] * n.z;
    const double length = std::sqrt(x * x + y * y + z * z);
    if (!(length > 0.0)) return Vec3{0.0f, 0.0f, 1.0f};
    return Vec3{static_cast<float>(x / length), static_cast<float>(y / length),
                static_cast<float>(z / length)};
}

// Per added target, in the project's vertex order and the mesh's own space: what it does to the
// normals, over the surface welded where the original's normals are equal, so the original's
// hard edges stay hard and its seams get one change. The original's normals stay the base.
std::vector<std::vector<Vec3>> added_normal_changes(EditorState& state,
                                                    const std::vector<int>& slots,
                                                    const std::vector<Vec3>& file_normals,
                                                    const Placement& placement) {
    const NormalWeld weld =
        NormalWeld::of_equal_normals(state.slots[0].vertices, file_normals, kSameNormal);
    blend(state, SlotWeights{});
    const std::vector<Vec3> source = unit_vertex_normals(state, weld);
    std::array<double, 9> to_local{};
    const std::array<double, 9>& m = placement.linear;
    to_local = {m[0], m[3], m[6], m[1], m[4], m[7], m[2], m[5], m[8]};
    const bool placed = !placement.is_identity();
    std::vector<Vec3> local_source;
    if (placed) {
        local_source.resize(source.size());
        for (size_t i = 0; i < source.size(); ++i)
            local_source[i] = local_unit(to_local, source[i]);
    }
    std::vector<std::vector<Vec3>> changes;
    for (int k : slots) {
        std::vector<Vec3> change = target_normal_offsets(state, k, source, weld);
        if (placed) {
            for (size_t i = 0; i < change.size(); ++i) {
                const Vec3 n =
                    local_unit(to_local, Vec3{source[i].x + change[i].x, source[i].y + change[i].y,
                                              source[i].z + change[i].z});
                change[i] =
                    Vec3{n.x - local_source[i].x, n.y - local_source[i].y, n.z - local_source[i].z};
            }
        }
        changes.push_back(std::move(change));
    }
    blend(state, SlotWeights{});
    return changes;
}

// The points of `shape` (in the project's order) at the original's vertices.
std::vector<Vec3> in_original_order(const std::vector<Vec3>& shape,
                                    const std::vector<int32_t>& order) {
    return order.empty() ? shape : positions_in_source_order(shape, order);
}

}  // namespace

size_t OntoBuild::added() const {
    return static_cast<size_t>(
        std::count_if(targets.begin(), targets.end(), [](const OntoTarget& t) { return t.added; }));
}

namespace {

OntoBuild build_unguarded(EditorState& state, const OntoOptions& options,
                          const std::string& output) {
    OntoBuild build;
    const auto fail = [&build](std::string problem) {
        build.problem = std::move(problem);
        return build;
    };
    if (state.slots[0].loaded == 0) return fail("the project has no source");

    Original original;
    const BilingualText unread =
        read_file_bytes(options.original, ImportLimits{}.max_file_bytes, original.bytes);
    if (!unread.empty()) return fail(unread.en);
    std::string problem = parse_original(original);
    if (!problem.empty()) return fail(problem);
    Json& json = original.json;
    build.binary = !is_gltf_text_path(output);
    // A .gltf written as .glb has its buffers gathered into the binary chunk.
    const bool gathered = build.binary && !original.binary;
    const std::string uri = relative_uri(json, gathered);
    if (!uri.empty() && folder_path(output) != folder_path(options.original)) {
        return fail("it names " + uri + " beside it; write the output into its folder");
    }
    // A file that names no other is read from the bytes in hand rather than once more.
    ImportedScene scene;
    const ImportOutcome read = relative_uri(json, false).empty()
                                   ? read_gltf_bytes(original.bytes, ImportLimits{}, scene)
                                   : read_gltf_file(options.original, ImportLimits{}, scene);
    if (!read.ok) return fail(read.reason.en);
    const Json meshes = json.value("meshes", Json::array());
    if (meshes.size() != scene.meshes.size()) return fail("its meshes could not all be read");

    // The original's buffers, read once when something needs their bytes: a .glb's binary
    // chunk is in hand; other files are read as the import reads them.
    std::vector<std::string> read_buffers;
    std::vector<std::string_view> buffers;
    bool buffers_read = false;
    const auto need_buffers = [&]() -> std::string {
        if (buffers_read) return std::string();
        const Json list = json.value("buffers", Json::array());
        if (original.binary && std::none_of(list.begin(), list.end(), [](const Json& buffer) {
                return buffer.contains("uri");
            })) {
            buffers.assign(list.size(), std::string_view());
            if (!buffers.empty()) buffers[0] = original.bin;
        } else {
            const ImportOutcome loaded =
                read_gltf_buffers(options.original, ImportLimits{}, read_buffers);
            if (!loaded.ok) return loaded.reason.en;
            buffers.assign(read_buffers.begin(), read_buffers.end());
        }
        buffers_read = true;
        return std::string();
    };

    // The mesh.
    const std::vector<Vec3>& source = state.slots[0].vertices;
    build.diagonal = diagonal_of(source);
    const double tolerance = kSameShare * build.diagonal;
    MeshChoice choice;
    problem =
        choose_mesh(scene, meshes, source, state.mesh.triangles, tolerance, options.mesh, choice);
    if (!problem.empty()) return fail(problem);
    build.mesh = choice.mesh;
    build.matched_by_order = !choice.order.empty();
    build.renumbered = choice.renumbered;
    const std::vector<int32_t>& order = choice.order;
    ImportedMesh& found = scene.meshes[build.mesh];
    Json& mesh = json["meshes"][build.mesh];
    build.mesh_name = mesh.value("name", std::string());
    build.largest_difference =
        order.empty() ? largest_gap(found.vertices, source)
                      : largest_gap(found.vertices, positions_in_source_order(source, order));

    // Each target: the original's with the same displacement, else a new one after them.
    std::vector<bool> taken(found.targets.size(), false);
    const std::vector<int> slots = loaded_targets(state);
    size_t next_index = found.targets.size();
    std::vector<std::string> names;
    for (const MorphShape& target : found.targets) names.push_back(target.name);
    for (int k : slots) {
        OntoTarget target;
        target.slot = k;
        std::vector<Vec3> reordered;
        const std::vector<Vec3>& move =
            order.empty() ? state.slots[k].vertices
                          : (reordered = positions_in_source_order(state.slots[k].vertices, order));
        bool same = false;
        for (size_t t = 0; t < found.targets.size() && !same; ++t) {
            if (taken[t]) continue;
            double gap = 0.0;
            if (!moves_alike(found.targets[t].vertices, found.vertices, move, tolerance, gap)) {
                continue;
            }
            same = true;
            taken[t] = true;
            target.index = t;
            target.name = names[t];
            build.largest_difference = std::max(build.largest_difference, gap);
        }
        if (!same) {
            target.added = true;
            target.index = next_index++;
            target.name = display_text(state.slots[k].name);
        }
        build.targets.push_back(target);
    }
    found.targets.clear();  // their shapes are no longer needed
    const size_t had = next_index - build.added();
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
    // buffer of their own beside a .gltf. A .glb written as .gltf keeps its binary chunk as
    // buffer 0, in a file beside it; a .gltf written as .glb has its buffers gathered into it.
    if (!json.contains("buffers")) json["buffers"] = Json::array();
    if (!json.contains("bufferViews")) json["bufferViews"] = Json::array();
    if (!json.contains("accessors")) json["accessors"] = Json::array();
    if (gathered) {
        if (!json["buffers"].empty()) {
            problem = need_buffers();
            if (!problem.empty()) return fail(problem);
            gather_buffers(json, buffers, original.gathered);
            original.bin = original.gathered;
            // The views have moved: from here on they read the gathered bytes.
            read_buffers = std::vector<std::string>();
            buffers.assign(json["buffers"].size(), std::string_view());
            buffers[0] = original.bin;
        }
        original.binary = true;
    }
    const std::string bin_name = std::filesystem::path(bin_path_for(output)).filename();
    int buffer = 0;
    size_t start = 0;
    if (original.binary) {
        if (json["buffers"].empty()) {
            json["buffers"].push_back(Json{{"byteLength", 0}});
        } else if (json["buffers"][0].contains("uri")) {
            return fail("its first buffer is a file of its own, not its binary chunk");
        }
        start = original.bin.size();
    } else {
        buffer = static_cast<int>(json["buffers"].size());
    }
    if (!build.binary) {
        for (const Json& item : json["buffers"]) {
            if (item.value("uri", std::string()) == uri_from_file_name(bin_name) &&
                folder_path(output) == folder_path(options.original)) {
                return fail("it keeps a buffer in " + bin_name +
                            ", which the output's new buffer would replace");
            }
        }
    }
    Appender appender(json, buffer, start);
    // Morphed attributes of the mesh's busiest primitive, which players promise only so many of.
    const auto morphed = [&mesh] {
        size_t most = 0;
        for (const Json& primitive : mesh.value("primitives", Json::array())) {
            size_t attributes = 0;
            for (const Json& target : primitive.value("targets", Json::array())) {
                attributes += target.size();
            }
            most = std::max(most, attributes);
        }
        return most;
    };
    build.morphed_before = morphed();

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

        // Which primitives' added targets carry normals: those with normals of their own, when
        // asked, or when their other targets carry them.
        std::vector<bool> with_normals;
        bool any_normals = false;
        for (const Json& primitive : mesh.value("primitives", Json::array())) {
            const Json attributes = primitive.value("attributes", Json::object());
            bool others = false;
            for (const Json& target : primitive.value("targets", Json::array())) {
                others = others || target.contains("NORMAL");
            }
            const bool wanted = attributes.contains("POSITION") && attributes.contains("NORMAL") &&
                                (options.gltf.normals || others);
            with_normals.push_back(wanted);
            any_normals = any_normals || wanted;
        }
        if (options.gltf.normals && !any_normals) {
            return fail(mesh_label(meshes, build.mesh) +
                        " has no normals of its own for --normals to change");
        }
        std::vector<std::vector<Vec3>> normal_changes;
        std::vector<bool> run_has_normals;
        if (any_normals) {
            problem = need_buffers();
            if (!problem.empty()) return fail(problem);
            std::vector<Vec3> file_normals;
            problem = original_normals(json, mesh, runs, buffers, file_normals, run_has_normals);
            if (!problem.empty()) return fail(problem);
            // A vertex without normals of its own (none in the file) has no direction, and
            // joins a group at its position as NormalWeld lets such a vertex.
            std::vector<Vec3> project_normals(file_normals.size());
            for (size_t i = 0; i < file_normals.size(); ++i) {
                project_normals[order.empty() ? i : static_cast<size_t>(order[i])] =
                    file_normals[i];
            }
            std::vector<int> added_slots;
            for (const OntoTarget& target : build.targets) {
                if (target.added) added_slots.push_back(target.slot);
            }
            normal_changes =
                added_normal_changes(state, added_slots, project_normals, found.placement);
        }

        Json target_names = Json::array();
        for (size_t t = 0; t < had; ++t) target_names.push_back(names[t]);
        size_t added_at = 0;
        // Every added target's displacements, and their normals' changes, dense at most.
        appender.reserve(build.added() * source.size() * sizeof(Vec3) * (any_normals ? 2 : 1) +
                         (size_t{1} << 20));
        const bool placed = !found.placement.is_identity();
        std::vector<Vec3> local;
        for (OntoTarget& target : build.targets) {
            if (!target.added) continue;
            std::vector<Vec3> reordered;
            const std::vector<Vec3>& move = order.empty()
                                                ? state.slots[target.slot].vertices
                                                : (reordered = positions_in_source_order(
                                                       state.slots[target.slot].vertices, order));
            std::vector<Vec3> normal_change;
            if (!normal_changes.empty()) {
                normal_change = in_original_order(normal_changes[added_at], order);
                normal_changes[added_at] = std::vector<Vec3>();
            }
            ++added_at;
            for (size_t r = 0; r < runs.size(); ++r) {
                Run& run = runs[r];
                const Vec3* moves = move.data() + run.first;
                if (placed) {
                    local.resize(run.count);
                    for (size_t i = 0; i < run.count; ++i) {
                        const Vec3& m = moves[i];
                        const double d[3] = {m.x, m.y, m.z};
                        float out[3];
                        for (int row = 0; row < 3; ++row) {
                            out[row] = static_cast<float>(inverse[row * 3] * d[0] +
                                                          inverse[row * 3 + 1] * d[1] +
                                                          inverse[row * 3 + 2] * d[2]);
                        }
                        local[i] = Vec3{out[0], out[1], out[2]};
                    }
                    moves = local.data();
                }
                bool sparse = false;
                run.added = appender.add_morph(moves, run.count, true, sparse);
                build.sparse_accessors += sparse;
                run.added_normals = -1;
                if (!normal_change.empty() && run_has_normals[r]) {
                    run.added_normals = appender.add_morph(normal_change.data() + run.first,
                                                           run.count, false, sparse);
                    build.sparse_accessors += sparse;
                }
            }
            size_t p = 0;
            for (Json& primitive : mesh["primitives"]) {
                const bool normals = with_normals[p++];
                const Json attributes = primitive.value("attributes", Json::object());
                if (!attributes.contains("POSITION")) continue;
                const int accessor = attributes["POSITION"].get<int>();
                for (Run& run : runs) {
                    if (run.accessor != accessor) continue;
                    Json morph = {{"POSITION", run.added}};
                    if (normals && run.added_normals >= 0) {
                        morph["NORMAL"] = run.added_normals;
                        // A player may take a target without NORMAL, beside ones with it, as
                        // adding the base normals (three.js does): the original's targets get
                        // a change of nothing, an accessor without data.
                        for (Json& own : primitive["targets"]) {
                            if (own.contains("NORMAL")) continue;
                            if (run.zero_normals < 0) {
                                run.zero_normals =
                                    appender.add_accessor(Json{{"componentType", kFloat},
                                                               {"count", run.count},
                                                               {"type", "VEC3"}});
                            }
                            own["NORMAL"] = run.zero_normals;
                        }
                    }
                    primitive["targets"].push_back(morph);
                }
            }
            target.normals = !normal_change.empty() &&
                             std::find(run_has_normals.begin(), run_has_normals.end(), true) !=
                                 run_has_normals.end();
            target_names.push_back(target.name);
        }
        // Default weights, where the original gives them, must count every target.
        if (mesh.contains("weights")) mesh["weights"] = default_weights(mesh, count);
        for (size_t n : nodes) {
            Json& node = json["nodes"][n];
            if (node.contains("weights")) node["weights"] = default_weights(node, count);
        }
        if (!mesh.contains("extras")) mesh["extras"] = Json::object();
        if (mesh["extras"].is_object()) mesh["extras"]["targetNames"] = target_names;
        problem = need_buffers();
        if (!problem.empty()) return fail(problem);
        problem = widen_weight_animations(json, nodes, buffers, had, count, appender);
        if (!problem.empty()) return fail(problem);
    }

    build.morphed = morphed();

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
        std::string listed_names;
        for (size_t a = 0; a < animations.size(); ++a) {
            const std::string name = animations[a].value("name", std::string());
            listed_names += (listed_names.empty() ? "" : ", ") + ("\"" + name + "\"");
            if (name == options.replace_animation) named.push_back(a);
        }
        if (named.size() != 1) {
            return fail((named.empty() ? "it has no animation named "
                                       : "several of its animations are named ") +
                        options.replace_animation + " (" +
                        (listed_names.empty() ? std::string("it has none") : listed_names) + ")");
        }
        animations[named[0]] = animation;
    } else if (!slots.empty()) {
        animations.push_back(animation);
    }
    if (animations.empty()) json.erase("animations");

    // The file. Lists the original did not have stay away when nothing was added.
    const auto drop_empty_lists = [&json] {
        for (const char* kind : {"buffers", "bufferViews", "accessors"}) {
            if (json[kind].empty()) json.erase(kind);
        }
    };
    if (original.binary) {
        const std::string& added = appender.data();
        const size_t bin_size = original.bin.size() + added.size();
        if (bin_size == 0 && json["buffers"].size() == 1 && json["buffers"][0].size() == 1) {
            json["buffers"] = Json::array();  // the empty buffer 0 this code would have made
        } else {
            json["buffers"][0]["byteLength"] = bin_size;
        }
        if (!build.binary && !json["buffers"].empty()) {
            // The binary chunk becomes the file beside the .gltf; its views stay as they are.
            json["buffers"][0]["uri"] = uri_from_file_name(bin_name);
        }
        drop_empty_lists();
        // The original's bytes are copied once, straight into what is written.
        if (build.binary) {
            std::string text = json.dump(-1, ' ', false, Json::error_handler_t::replace);
            while (text.size() % 4 != 0) text += ' ';
            const size_t padded = (bin_size + 3) & ~size_t{3};
            std::string& file = build.file;
            file.reserve(28 + text.size() + padded);
            put_u32(file, kGlbMagic);
            put_u32(file, 2);
            put_u32(file,
                    static_cast<uint32_t>(12 + 8 + text.size() + (bin_size == 0 ? 0 : 8 + padded)));
            put_u32(file, static_cast<uint32_t>(text.size()));
            put_u32(file, kJsonChunk);
            file += text;
            if (bin_size > 0) {
                put_u32(file, static_cast<uint32_t>(padded));
                put_u32(file, kBinChunk);
                file.append(original.bin);
                file += added;
                file.append(padded - bin_size, '\0');
            }
        } else {
            build.bin.reserve(bin_size);
            build.bin.append(original.bin);
            build.bin += added;
            build.file = json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
        }
    } else {
        build.bin = appender.data();
        if (!build.bin.empty()) {
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

OntoBuild build_onto(EditorState& state, const OntoOptions& options, const std::string& output) {
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
    options.gltf.normals = line.normals;
    const OntoBuild build = build_onto(project.state, options, line.output);
    if (!build.ok)
        return refuse(printable(line.onto) + ": cannot export onto it: " + build.problem);

    ExportReview review = review_export(project, first, last, true);
    if (build.morphed > kPromisedMorphed && build.morphed > build.morphed_before) {
        review.warnings.push_back(format_text(
            "the added targets make %zu morphed attributes; glTF players only promise %zu",
            build.morphed, kPromisedMorphed));
        ++review.strict_failures;
    }
    for (const std::string& warning : review.warnings) {
        err << "warpkit-export: warning: " << printable(warning) << "\n";
    }
    const int failures =
        review.strict_failures + static_cast<int>(build.added()) + (build.matched_by_order ? 1 : 0);
    if (line.strict && failures > 0) {
        std::string why;
        if (build.added() > 0) why = "targets that had to be added";
        if (build.matched_by_order) {
            why += std::string(why.empty() ? "" : ", ") + "the source matched by order";
        }
        return refuse(printable(line.input) + ": nothing written: " + std::to_string(failures) +
                      " problem" + (failures == 1 ? "" : "s") + " under --strict" +
                      (why.empty() ? std::string() : " (" + why + ")"));
    }
    const FileOutcome written = write_onto(build, line.output);
    if (!written.ok) return refuse("cannot write " + written.reason.en);

    out << "mesh " << build.mesh;
    if (!build.mesh_name.empty()) out << " \"" << printable(build.mesh_name) << "\"";
    if (build.matched_by_order) {
        out << format_text(" is the source, matched by order (%d of %zu vertices renumbered)",
                           static_cast<int>(build.renumbered),
                           project.state.slots[0].vertices.size());
    } else {
        out << " is the source";
    }
    out << format_text("; largest position difference %g (%g of its diagonal)\n",
                       build.largest_difference,
                       build.diagonal > 0 ? build.largest_difference / build.diagonal : 0.0);
    for (const OntoTarget& target : build.targets) {
        out << "target " << printable(target_label(project.state, target.slot)) << ": "
            << (target.added ? "added as morph target " : "same as morph target ") << target.index
            << " \"" << printable(target.name) << "\"" << (target.normals ? " with normals" : "")
            << "\n";
    }
    out << "wrote " << printable(line.output);
    if (!build.binary && !build.bin.empty()) out << " and " << printable(bin_path_for(line.output));
    const std::vector<int32_t>& frames = build.frames;
    out << format_text(": animation with %zu key%s over %g s on %zu node%s", frames.size(),
                       frames.size() == 1 ? "" : "s", (frames.back() - frames.front()) / line.fps,
                       build.nodes, build.nodes == 1 ? "" : "s");
    if (build.sparse_accessors > 0) out << format_text(", %d sparse", build.sparse_accessors);
    out << "\n";
    return kExitDone;
}

}  // namespace warpkit::exporting
