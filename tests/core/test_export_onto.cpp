// warpkit-export gltf --onto: round trips of an asset through project and back onto itself.
// Everything the command does not own must come back equal, the original's bytes unchanged,
// the new animation keyed as plain gltf keys it, targets mapped or added under their full names,
// and the validator no less content than with the original.
#include <gtest/gtest.h>
#include <tiny_gltf.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <set>

#include "export/export_fixture.h"
#include "export/frame_weights.h"
#include "export/onto_data.h"
#include "export/project_load.h"
#include "import/gltf_reader.h"
#include "support/mesh_fixtures.h"

namespace warpkit::exporting {
namespace {

using Json = nlohmann::json;
using testing::ExportFixture;
using testing::run_tool;
using warpkit::testing::GltfBuilder;
using warpkit::testing::QxmObjectSpec;

const std::string kMorphCubeFolder =
    std::string(WARPKIT_TEST_MODELS) + "/glTF2/glTF-Sample-Models/AnimatedMorphCube-glTF";

std::string file_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A .glb's JSON and binary chunk, or a .gltf's JSON.
struct Asset {
    Json json;
    std::string bin;
};

Asset asset_of(const std::string& path) {
    const std::string bytes = file_text(path);
    Asset asset;
    if (!is_glb(bytes)) {
        asset.json = Json::parse(bytes);
        const std::string uri = asset.json["buffers"][0].value("uri", std::string());
        if (uri.rfind("data:", 0) != 0) {
            asset.bin = file_text((std::filesystem::path(path).parent_path() / uri).string());
        }
        return asset;
    }
    uint32_t length = 0;
    std::memcpy(&length, bytes.data() + 12, 4);
    asset.json = Json::parse(bytes.substr(20, length));
    const size_t bin = 20 + length;
    uint32_t bin_length = 0;
    if (bin + 8 <= bytes.size()) std::memcpy(&bin_length, bytes.data() + bin, 4);
    asset.bin = bytes.substr(bin + 8, bin_length);
    return asset;
}

std::string points_fields(const std::vector<Vec3>& points) {
    Vec3 low = points[0], high = points[0];
    for (const Vec3& p : points) {
        low = Vec3{std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = Vec3{std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    return "\"componentType\":5126,\"count\":" + std::to_string(points.size()) +
           ",\"type\":\"VEC3\",\"min\":" + Json({low.x, low.y, low.z}).dump() +
           ",\"max\":" + Json({high.x, high.y, high.z}).dump();
}

int add_points(GltfBuilder& builder, const std::vector<Vec3>& points) {
    const auto* first = reinterpret_cast<const uint8_t*>(points.data());
    return builder.add_raw({first, first + sizeof(Vec3) * points.size()}, points_fields(points));
}

// A face of two quads, one per material (the second unlit), each with UVs and three morph
// targets with long names, shown turned, scaled and moved by its node; a blink animation, and a
// prop mesh of its own beside it.
std::string face_glb() {
    GltfBuilder b;
    std::string primitives;
    const float uv[8] = {0, 0, 1, 0, 1, 1, 0, 1};
    const auto* uv_bytes = reinterpret_cast<const uint8_t*>(uv);
    for (int p = 0; p < 2; ++p) {
        const float x = float(p);
        const std::vector<Vec3> quad = {{x, 0, 0}, {x + 1, 0, 0}, {x + 1, 1, 0}, {x, 1, 0.5f}};
        const int positions = add_points(b, quad);
        const int uvs = b.add_raw({uv_bytes, uv_bytes + sizeof uv},
                                  "\"componentType\":5126,\"count\":4,\"type\":\"VEC2\"");
        const int corners = b.add_indices({0, 1, 2, 0, 2, 3});
        std::string targets;
        for (int t = 0; t < 3; ++t) {
            std::vector<Vec3> moves(4, Vec3{0, 0, 0});
            moves[size_t(t + p) % 4] = Vec3{0.1f * float(t + 1), 0, 0.2f * float(p + 1)};
            targets += std::string(t ? "," : "") +
                       "{\"POSITION\":" + std::to_string(add_points(b, moves)) + "}";
        }
        primitives += std::string(p ? "," : "") +
                      "{\"attributes\":{\"POSITION\":" + std::to_string(positions) +
                      ",\"TEXCOORD_0\":" + std::to_string(uvs) +
                      "},\"indices\":" + std::to_string(corners) +
                      ",\"material\":" + std::to_string(p) + ",\"targets\":[" + targets + "]}";
    }
    const int prop = add_points(b, {{5, 5, 5}, {6, 5, 5}, {5, 6, 5}});
    const float key_times[3] = {0.0f, 0.5f, 1.0f};
    const auto* time_bytes = reinterpret_cast<const uint8_t*>(key_times);
    const int times =
        b.add_raw({time_bytes, time_bytes + sizeof key_times},
                  "\"componentType\":5126,\"count\":3,\"type\":\"SCALAR\",\"min\":[0],\"max\":[1]");
    const int values = b.add_scalars({0, 0, 0, 1, 0.5f, 0, 0, 0, 0});
    return b.glb(
        "\"meshes\":[{\"name\":\"Face\",\"weights\":[0.25,0,0],\"extras\":{\"targetNames\":"
        "[\"expression_happy_A\",\"expression_happy_B\",\"mouthLowerDownLeft\"],\"rig\":"
        "\"face-v2\"},\"primitives\":[" +
        primitives + "]},{\"name\":\"Prop\",\"primitives\":[{\"attributes\":{\"POSITION\":" +
        std::to_string(prop) +
        "}}]}],"
        "\"materials\":[{\"name\":\"skin\",\"pbrMetallicRoughness\":{\"baseColorFactor\":"
        "[0.8,0.6,0.5,1]}},{\"name\":\"eyes\",\"extensions\":{\"KHR_materials_unlit\":{}}}],"
        "\"extensionsUsed\":[\"KHR_materials_unlit\"],"
        "\"nodes\":[{\"name\":\"Head\",\"mesh\":0,\"translation\":[1,2,3],\"rotation\":"
        "[0,0,0.70710678,0.70710678],\"scale\":[2,2,2],\"extras\":{\"bone\":true}},"
        "{\"name\":\"Prop\",\"mesh\":1}],"
        "\"scenes\":[{\"nodes\":[0,1]}],\"scene\":0,\"animations\":[{\"name\":\"blink\","
        "\"samplers\":[{\"input\":" +
        std::to_string(times) + ",\"output\":" + std::to_string(values) +
        "}],\"channels\":[{\"sampler\":0,\"target\":{\"node\":0,\"path\":\"weights\"}}]}]");
}

// A grid of 3 x 3 points with two targets stored sparse (no view, as an exporter that strips
// zeros writes them) and a weights animation of normalized unsigned bytes with a sparse value
// over them, as a quantizing pipeline leaves it.
std::string quantized_glb() {
    GltfBuilder b;
    // The builder gives every accessor with bytes a view of its own, in order; sparse parts
    // name those views by number.
    int views = 0;
    const auto raw = [&](const std::vector<uint8_t>& bytes, const std::string& fields) {
        b.add_raw(bytes, fields);
        return views++;
    };
    std::vector<Vec3> grid;
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 3; ++x) grid.push_back(Vec3{float(x), float(y), 0});
    }
    const int positions = add_points(b, grid);
    const int corners =
        b.add_indices({0, 1, 4, 0, 4, 3, 1, 2, 5, 1, 5, 4, 3, 4, 7, 3, 7, 6, 4, 5, 8, 4, 8, 7});
    views = 2;
    const auto sparse = [](int count, int indices, int values) {
        return ",\"sparse\":{\"count\":" + std::to_string(count) +
               ",\"indices\":{\"bufferView\":" + std::to_string(indices) +
               ",\"componentType\":5121},\"values\":{\"bufferView\":" + std::to_string(values) +
               "}}";
    };
    std::string targets;
    for (int t = 0; t < 2; ++t) {
        const uint8_t index = uint8_t(4 + t);
        const int indices = raw({index}, "\"componentType\":5121,\"count\":1,\"type\":\"SCALAR\"");
        const Vec3 lift{0.0f, 0.0f, 0.5f * float(t + 1)};
        const auto* lift_bytes = reinterpret_cast<const uint8_t*>(&lift);
        const int values = raw({lift_bytes, lift_bytes + 12},
                               "\"componentType\":5126,\"count\":1,\"type\":\"VEC3\"");
        const int target = b.add_raw(
            {},
            "\"componentType\":5126,\"count\":9,\"type\":\"VEC3\",\"min\":[0,0,0],\"max\":"
            "[0,0," +
                std::string(t ? "1" : "0.5") + "]" + sparse(1, indices, values));
        targets += std::string(t ? "," : "") + "{\"POSITION\":" + std::to_string(target) + "}";
    }
    const float key_times[3] = {0.0f, 0.5f, 1.0f};
    const auto* time_bytes = reinterpret_cast<const uint8_t*>(key_times);
    const int times =
        b.add_raw({time_bytes, time_bytes + sizeof key_times},
                  "\"componentType\":5126,\"count\":3,\"type\":\"SCALAR\",\"min\":[0],\"max\":[1]");
    ++views;
    // 0, 0 / 1, 0.2 / 0, 0.4, with the first target's third key 128 / 255 by the sparse value
    const int weights = raw({0, 0, 255, 51, 0, 102},
                            "\"componentType\":5121,\"count\":6,"
                            "\"type\":\"SCALAR\",\"normalized\":true");
    const int patch_index = raw({4}, "\"componentType\":5121,\"count\":1,\"type\":\"SCALAR\"");
    const int patch_value = raw({128}, "\"componentType\":5121,\"count\":1,\"type\":\"SCALAR\"");
    const int output = b.add_raw({}, "\"bufferView\":" + std::to_string(weights) +
                                         ",\"componentType\":5121,\"normalized\":true,\"count\":6,"
                                         "\"type\":\"SCALAR\"" +
                                         sparse(1, patch_index, patch_value));
    return b.glb(
        "\"meshes\":[{\"name\":\"Grid\",\"extras\":{\"targetNames\":[\"raise\","
        "\"raise_more\"]},\"primitives\":[{\"attributes\":{\"POSITION\":" +
        std::to_string(positions) + "},\"indices\":" + std::to_string(corners) + ",\"targets\":[" +
        targets +
        "]}]}],\"nodes\":[{\"mesh\":0}],\"scenes\":[{\"nodes\":[0]}],\"scene\":0,"
        "\"animations\":[{\"name\":\"pulse\",\"samplers\":[{\"input\":" +
        std::to_string(times) + ",\"output\":" + std::to_string(output) +
        "}],\"channels\":[{\"sampler\":0,\"target\":{\"node\":0,\"path\":"
        "\"weights\"}}]}]");
}

// The floats of a dense accessor.
std::vector<float> floats_of(const tinygltf::Model& model, int index) {
    const tinygltf::Accessor& accessor = model.accessors.at(size_t(index));
    const tinygltf::BufferView& view = model.bufferViews.at(size_t(accessor.bufferView));
    const unsigned char* first =
        model.buffers.at(size_t(view.buffer)).data.data() + view.byteOffset + accessor.byteOffset;
    std::vector<float> values(accessor.count * size_t(tinygltf::GetNumComponentsInType(
                                                   static_cast<uint32_t>(accessor.type))));
    std::memcpy(values.data(), first, values.size() * sizeof(float));
    return values;
}

tinygltf::Model load_model(const std::string& path) {
    tinygltf::TinyGLTF loader;
    tinygltf::Model model;
    std::string error, warning;
    const bool binary = path.size() > 4 && path.substr(path.size() - 4) == ".glb";
    const bool ok = binary ? loader.LoadBinaryFromFile(&model, &error, &warning, path)
                           : loader.LoadASCIIFromFile(&model, &error, &warning, path);
    EXPECT_TRUE(ok) << path << ": " << error;
    return model;
}

struct RoundTrip {
    const char* name;
    std::string original;  // file name inside the fixture's folder
    const char* output;
    bool add_target;  // the project gets a target the original does not have
    size_t mesh;
    size_t targets;                    // the output mesh's morph targets
    std::vector<std::string> names;    // the output's targetNames; empty: none, as the original
    std::vector<std::string> options;  // given to both gltf --onto and plain gltf
    // The project's vertices in reverse order, as an OBJ or FBX import may number them.
    bool reversed = false;
};

// The project at `project` rewritten with its source and targets in reverse vertex order, the
// triangles following.
std::string reversed_project(ExportFixture& fixture, const std::string& project,
                             const std::string& name) {
    LoadedProject loaded;
    EXPECT_TRUE(load_project(project, loaded).ok);
    const size_t n = loaded.state.slots[0].vertices.size();
    const auto flip = [](std::vector<Vec3> points) {
        std::reverse(points.begin(), points.end());
        return points;
    };
    QxmObjectSpec base;
    base.name = "base";
    base.vertices = flip(loaded.state.slots[0].vertices);
    base.triangles = loaded.state.mesh.triangles;
    for (Triangle& t : base.triangles) {
        for (int32_t& v : t.v) v = static_cast<int32_t>(n - 1) - v;
    }
    std::vector<QxmObjectSpec> objects = {base};
    ProjectData data = loaded.data;
    for (int k : loaded_targets(loaded.state)) {
        QxmObjectSpec target = base;
        target.name = "t" + std::to_string(k);
        const std::vector<Vec3> moves = flip(loaded.state.slots[k].vertices);
        for (size_t i = 0; i < n; ++i) {
            target.vertices[i] =
                Vec3{base.vertices[i].x + moves[i].x, base.vertices[i].y + moves[i].y,
                     base.vertices[i].z + moves[i].z};
        }
        objects.push_back(target);
    }
    const std::string file = fixture.write_objects(name + ".qxm", objects, 3);
    data.source_path = file;
    data.source_name = "base";
    for (int k : loaded_targets(loaded.state)) {
        data.targets[size_t(k - 1)].path = file;
        data.targets[size_t(k - 1)].name = "t" + std::to_string(k);
    }
    return fixture.write_project(name + ".twp", data);
}

TEST(ExportOnto, round_trips_keep_the_original_and_add_the_projects_animation) {
    ExportFixture fixture;
    warpkit::testing::write_text(fixture.folder.file("face.glb"), face_glb());
    warpkit::testing::write_text(fixture.folder.file("quantized.glb"), quantized_glb());
    for (const char* file : {"AnimatedMorphCube.gltf", "AnimatedMorphCube.bin"}) {
        std::filesystem::copy_file(kMorphCubeFolder + "/" + file, fixture.folder.file(file));
    }
    const std::vector<RoundTrip> trips = {
        {"face",
         "face.glb",
         "face-out.glb",
         false,
         0,
         3,
         {"expression_happy_A", "expression_happy_B", "mouthLowerDownLeft"},
         {"--frames", "3..12"}},
        {"face with a new target",
         "face.glb",
         "face-plus.glb",
         true,
         0,
         4,
         {"expression_happy_A", "expression_happy_B", "mouthLowerDownLeft", "pucker"},
         {"--replace-animation", "blink"}},
        {"cube",
         "AnimatedMorphCube.gltf",
         "cube-out.gltf",
         false,
         0,
         2,
         {},
         {"--step", "4", "--fps", "24"}},
        {"cube with a new target",
         "AnimatedMorphCube.gltf",
         "cube-plus.gltf",
         true,
         0,
         3,
         {"thin", "angle", "pucker"},
         {}},
        {"face in reverse vertex order",
         "face.glb",
         "face-reversed.glb",
         true,
         0,
         4,
         {"expression_happy_A", "expression_happy_B", "mouthLowerDownLeft", "pucker"},
         {},
         true},
        {"face written as text",
         "face.glb",
         "face-text.gltf",
         true,
         0,
         4,
         {"expression_happy_A", "expression_happy_B", "mouthLowerDownLeft", "pucker"},
         {"--frames", "2..20"}},
        {"cube written as one binary file",
         "AnimatedMorphCube.gltf",
         "cube-binary.glb",
         true,
         0,
         3,
         {"thin", "angle", "pucker"},
         {}},
        {"sparse targets and a quantized sparse animation",
         "quantized.glb",
         "quantized-plus.glb",
         true,
         0,
         3,
         {"raise", "raise_more", "pucker"},
         {"--step", "5"}},
    };
    for (const RoundTrip& trip : trips) {
        SCOPED_TRACE(trip.name);
        const std::string original = fixture.folder.file(trip.original);
        ASSERT_EQ(testing::run_validator(original).status, 0)
            << testing::run_validator(original).output;
        std::string project = fixture.folder.file(std::string(trip.output) + ".twp");
        const testing::ToolRun made = run_tool({"project", original, "-o", project});
        ASSERT_EQ(made.status, kExitDone) << made.err;
        if (trip.reversed) {
            project = reversed_project(fixture, project, std::string(trip.output) + "-reversed");
        }
        if (trip.add_target) {
            // A target the asset lacks: the source moved unevenly, so a wrong space or a wrong
            // slice per primitive shows.
            LoadedProject loaded;
            ASSERT_TRUE(load_project(project, loaded).ok);
            QxmObjectSpec base;
            base.name = "base";
            base.vertices = loaded.state.slots[0].vertices;
            base.triangles = loaded.state.mesh.triangles;
            const QxmObjectSpec pucker = testing::moved(base, "pucker", [](const Vec3& v) {
                return Vec3{v.x * 1.1f, v.y + 0.3f, v.z - 0.05f * v.x};
            });
            ProjectData data = loaded.data;
            data.targets[3] = warpkit::testing::project_target(
                fixture.write_objects(std::string(trip.output) + "-extra.qxm", {base, pucker}, 3),
                "pucker", {{0, 0.0f}, {7, 100.0f}, {20, 40.0f}});
            data.max_frame = std::max(data.max_frame, 20);
            project = fixture.write_project(std::string(trip.output) + "-plus.twp", data);
        }

        const std::string out = fixture.folder.file(trip.output);
        std::vector<std::string> args = {"gltf", project, "--onto", original, "-o", out};
        args.insert(args.end(), trip.options.begin(), trip.options.end());
        const testing::ToolRun onto = run_tool(args);
        ASSERT_EQ(onto.status, kExitDone) << onto.err;
        EXPECT_NE(onto.out.find("same as morph target 0"), std::string::npos) << onto.out;
        EXPECT_EQ(onto.out.find("added as morph target") != std::string::npos, trip.add_target)
            << onto.out;
        EXPECT_EQ(onto.out.find(", matched by order (") != std::string::npos, trip.reversed)
            << onto.out;
        EXPECT_EQ(run_tool({"gltf", project, "--onto", original, "-o",
                            fixture.folder.file(std::string("strict-") + trip.output), "--strict"})
                      .status,
                  trip.add_target || trip.reversed ? kExitRefused : kExitDone);

        // Untouched elements are equal, the original's bytes lead the binary chunk.
        const Asset before = asset_of(original);
        const Asset after = asset_of(out);
        for (const auto& [key, value] : before.json.items()) {
            SCOPED_TRACE(key);
            if (!value.is_array()) {
                EXPECT_EQ(after.json[key], value);
                continue;
            }
            ASSERT_GE(after.json[key].size(), value.size());
            for (size_t i = 0; i < value.size(); ++i) {
                // an added target widens the mesh and the weights of its animation
                const bool owned = (key == "meshes" && i == trip.mesh && trip.add_target) ||
                                   (key == "animations" && trip.add_target) ||
                                   (key == "buffers" && !before.bin.empty());
                if (!owned) {
                    EXPECT_EQ(after.json[key][i], value[i]) << i;
                }
            }
        }
        EXPECT_EQ(after.bin.substr(0, before.bin.size()), before.bin);

        // The original's weights animations, read as glTF defines their outputs (normalized,
        // sparse), give the same values with a 0 for each added target.
        std::vector<std::string> before_buffers, after_buffers;
        ASSERT_TRUE(read_gltf_buffers(original, ImportLimits{}, before_buffers).ok);
        ASSERT_TRUE(read_gltf_buffers(out, ImportLimits{}, after_buffers).ok);
        const size_t had = trip.targets - trip.add_target;
        const Json old_animations = before.json.value("animations", Json::array());
        for (size_t a = 0; a < old_animations.size(); ++a) {
            if (!trip.options.empty() && trip.options[0] == "--replace-animation") break;
            for (size_t sampler = 0; sampler < old_animations[a]["samplers"].size(); ++sampler) {
                DenseAccessor old_values, new_values;
                ASSERT_EQ(read_dense(before.json, before_buffers,
                                     old_animations[a]["samplers"][sampler]["output"], old_values),
                          "");
                ASSERT_EQ(read_dense(after.json, after_buffers,
                                     after.json["animations"][a]["samplers"][sampler]["output"],
                                     new_values),
                          "");
                const std::vector<float> old_floats = floats_of(old_values);
                const std::vector<float> new_floats = floats_of(new_values);
                ASSERT_EQ(new_floats.size(), old_floats.size() / had * trip.targets);
                EXPECT_EQ(new_values.component_type, old_values.component_type);
                for (size_t i = 0; i < new_floats.size(); ++i) {
                    const size_t row = i / trip.targets, t = i % trip.targets;
                    EXPECT_EQ(new_floats[i], t < had ? old_floats[row * had + t] : 0.0f) << i;
                }
            }
        }
        const Json& mesh = after.json["meshes"][trip.mesh];
        EXPECT_EQ(mesh.value("extras", Json::object()).value("targetNames", Json()),
                  trip.names.empty() ? Json() : Json(trip.names));
        EXPECT_EQ(testing::run_validator(out).status, 0) << testing::run_validator(out).output;

        // The shapes the import reads back: the added target moves as the project's does.
        LoadedProject loaded;
        ASSERT_TRUE(load_project(project, loaded).ok);
        const std::vector<int> slots = loaded_targets(loaded.state);
        ImportedScene back;
        ASSERT_TRUE(read_gltf_file(out, ImportLimits{}, back).ok);
        const ImportedMesh& shown = back.meshes[trip.mesh];
        ASSERT_EQ(shown.targets.size(), trip.targets);
        const size_t n = shown.vertices.size();
        for (size_t i = 0; i < n; ++i) {
            const Vec3& move =
                loaded.state.slots[slots.back()].vertices[trip.reversed ? n - 1 - i : i];
            const Vec3& target = shown.targets.back().vertices[i];
            EXPECT_NEAR(target.x - shown.vertices[i].x, move.x, 1e-5);
            EXPECT_NEAR(target.y - shown.vertices[i].y, move.y, 1e-5);
            EXPECT_NEAR(target.z - shown.vertices[i].z, move.z, 1e-5);
        }

        // The new animation has plain gltf's keys and weights, each in its morph target's place;
        // a target the project lacks would stay at its default.
        const std::string plain = fixture.folder.file(std::string(trip.output) + "-plain.glb");
        std::vector<std::string> plain_args = {"gltf", project, "-o", plain};
        for (size_t i = 0; i + 1 < trip.options.size(); i += 2) {
            if (trip.options[i] == "--replace-animation") continue;
            plain_args.insert(plain_args.end(), {trip.options[i], trip.options[i + 1]});
        }
        ASSERT_EQ(run_tool(plain_args).status, kExitDone);
        const tinygltf::Model plain_model = load_model(plain);
        const tinygltf::Model onto_model = load_model(out);
        const tinygltf::Animation& expected = plain_model.animations.at(0);
        const bool replaced = !trip.options.empty() && trip.options[0] == "--replace-animation";
        EXPECT_EQ(onto_model.animations.size(), before.json["animations"].size() + !replaced);
        const tinygltf::Animation& added = onto_model.animations.back();
        EXPECT_EQ(added.name, std::filesystem::path(project).stem().string());
        ASSERT_EQ(added.channels.size(), 1u);
        EXPECT_EQ(floats_of(onto_model, added.samplers[0].input),
                  floats_of(plain_model, expected.samplers[0].input));
        const std::vector<float> want = floats_of(plain_model, expected.samplers[0].output);
        const std::vector<float> got = floats_of(onto_model, added.samplers[0].output);
        const size_t count = trip.targets;
        ASSERT_EQ(got.size() / count, want.size() / slots.size());
        for (size_t key = 0; key < got.size() / count; ++key) {
            for (size_t j = 0; j < slots.size(); ++j) {
                // targets come in the original's order, an added one last
                const size_t index = j < slots.size() - trip.add_target ? j : count - 1;
                EXPECT_EQ(got[key * count + index], want[key * slots.size() + j]) << key;
            }
        }
    }
}

// One primitive with normals and one morph target, on a node placed by `node` (JSON members).
// `target_normals`: the target changes the normals too (by nothing).
std::string shaded_glb(const std::vector<Vec3>& points, const std::vector<Vec3>& normals,
                       const std::vector<uint16_t>& corners, const std::vector<Vec3>& moves,
                       bool target_normals, const std::string& node) {
    GltfBuilder b;
    const int positions = add_points(b, points);
    const int normal = b.add_points(normals);
    const int indices = b.add_indices(corners);
    std::string target = "{\"POSITION\":" + std::to_string(add_points(b, moves));
    if (target_normals) {
        target += ",\"NORMAL\":" +
                  std::to_string(b.add_points(std::vector<Vec3>(points.size(), Vec3{0, 0, 0})));
    }
    return b.glb(
        "\"meshes\":[{\"name\":\"Shape\",\"extras\":{\"targetNames\":[\"dent\"]},"
        "\"primitives\":[{\"attributes\":{\"POSITION\":" +
        std::to_string(positions) + ",\"NORMAL\":" + std::to_string(normal) +
        "},\"indices\":" + std::to_string(indices) + ",\"targets\":[" + target +
        "}]}]}],\"nodes\":[{\"mesh\":0" + node + "}],\"scenes\":[{\"nodes\":[0]}],\"scene\":0");
}

// A hilly strip cut along a seam (its middle column of points twice, once per side) as a file
// split for its UVs has it, with the surface's own smooth normals, equal on both sides.
std::string seamed_strip_glb(const std::string& node) {
    std::vector<Vec3> points, normals;
    for (int side = 0; side < 2; ++side) {
        for (int r = 0; r < 5; ++r) {
            for (int c = 3 * side; c <= 3 * side + 3; ++c) {
                const double x = 0.5 * c, y = 0.5 * r;
                points.push_back(
                    Vec3{float(x), float(y), float(0.4 * std::sin(x) * std::cos(y / 2))});
                const double fx = 0.4 * std::cos(x) * std::cos(y / 2);
                const double fy = -0.2 * std::sin(x) * std::sin(y / 2);
                const double length = std::sqrt(fx * fx + fy * fy + 1);
                normals.push_back(
                    Vec3{float(-fx / length), float(-fy / length), float(1 / length)});
            }
        }
    }
    std::vector<uint16_t> corners;
    for (int side = 0; side < 2; ++side) {
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 3; ++c) {
                const auto at = [&](int cc, int rr) { return uint16_t(side * 20 + rr * 4 + cc); };
                corners.insert(corners.end(), {at(c, r), at(c + 1, r), at(c + 1, r + 1), at(c, r),
                                               at(c + 1, r + 1), at(c, r + 1)});
            }
        }
    }
    std::vector<Vec3> moves(points.size(), Vec3{0, 0, 0});
    moves[5].z = 0.3f;
    return shaded_glb(points, normals, corners, moves, false, node);
}

// A cube of 24 points, four per face, each with its face's normal: hard edges everywhere.
std::string hard_cube_glb() {
    const Vec3 faces[6][3] = {
        {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
        {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}, {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
        {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}}, {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}}};
    std::vector<Vec3> points, normals, moves;
    std::vector<uint16_t> corners;
    for (const auto& [n, u, v] : faces) {
        const uint16_t first = uint16_t(points.size());
        for (const auto& [a, b] : {std::pair{-1, -1}, {1, -1}, {1, 1}, {-1, 1}}) {
            points.push_back(
                Vec3{n.x + a * u.x + b * v.x, n.y + a * u.y + b * v.y, n.z + a * u.z + b * v.z});
            normals.push_back(n);
            moves.push_back(Vec3{0, 0, n.z > 0 ? 0.2f : 0.0f});
        }
        corners.insert(corners.end(), {first, uint16_t(first + 1), uint16_t(first + 2), first,
                                       uint16_t(first + 2), uint16_t(first + 3)});
    }
    return shaded_glb(points, normals, corners, moves, true, "");
}

double degrees_between(const Vec3& a, const Vec3& b) {
    const double dot = (double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z) /
                       std::sqrt((double(a.x) * a.x + double(a.y) * a.y + double(a.z) * a.z) *
                                 (double(b.x) * b.x + double(b.y) * b.y + double(b.z) * b.z));
    return std::acos(std::clamp(dot, -1.0, 1.0)) * 180.0 / 3.14159265358979323846;
}

TEST(ExportOnto, an_added_target_changes_the_originals_normals_over_its_welded_surface) {
    ExportFixture fixture;
    struct Case {
        const char* name;
        std::string original;
        std::function<Vec3(const Vec3&)> shape;  // the added target, from the placed source
        std::vector<std::string> options;
        // at shared positions at the target's full weight: normals at most / at least this far
        // apart in degrees
        double most, least;
    };
    // The strip's node turns it a quarter about z and doubles it; its target turns the placed
    // strip 30 degrees about x, which in the mesh's own space is 30 degrees about -y.
    const double turn = 30.0 * 3.14159265358979323846 / 180.0;
    const std::vector<Case> cases = {
        {"seamed strip",
         seamed_strip_glb(",\"rotation\":[0,0,0.70710678,0.70710678],\"scale\":[2,2,2]"),
         [turn](const Vec3& v) {
             return Vec3{v.x, float(v.y * std::cos(turn) - v.z * std::sin(turn)),
                         float(v.y * std::sin(turn) + v.z * std::cos(turn))};
         },
         {"--normals"},
         1e-4,
         0.0},
        // the cube's own target changes its normals, so an added one does without being asked
        {"hard cube",
         hard_cube_glb(),
         [](const Vec3& v) {
             return Vec3{v.x + 0.3f * v.y, v.y, v.z};
         },
         {},
         180.0,
         60.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string original = fixture.folder.file(std::string(c.name) + ".glb");
        warpkit::testing::write_text(original, c.original);
        EXPECT_VALID_GLTF(original);
        const std::string made = fixture.folder.file(std::string(c.name) + ".twp");
        ASSERT_EQ(run_tool({"project", original, "-o", made}).status, kExitDone);
        LoadedProject loaded;
        ASSERT_TRUE(load_project(made, loaded).ok);
        QxmObjectSpec base;
        base.name = "base";
        base.vertices = loaded.state.slots[0].vertices;
        base.triangles = loaded.state.mesh.triangles;
        ProjectData data = loaded.data;
        data.targets[3] = warpkit::testing::project_target(
            fixture.write_objects(std::string(c.name) + "-extra.qxm",
                                  {base, testing::moved(base, "pucker", c.shape)}, 3),
            "pucker", {{0, 0.0f}, {10, 100.0f}});
        const std::string project = fixture.write_project(std::string(c.name) + "-plus.twp", data);

        const std::string out = fixture.folder.file(std::string(c.name) + "-out.glb");
        std::vector<std::string> args = {"gltf", project, "--onto", original, "-o", out};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const testing::ToolRun run = run_tool(args);
        ASSERT_EQ(run.status, kExitDone) << run.err;
        EXPECT_NE(run.out.find("added as morph target 1 \"pucker\" with normals"),
                  std::string::npos)
            << run.out;
        EXPECT_VALID_GLTF(out);

        // The original's normals stay the base; the added target's change is added to them.
        const Asset before = asset_of(original);
        const Asset after = asset_of(out);
        const Json& primitive = after.json["meshes"][0]["primitives"][0];
        EXPECT_EQ(primitive["attributes"], before.json["meshes"][0]["primitives"][0]["attributes"]);
        ASSERT_TRUE(primitive["targets"][1].contains("NORMAL"));
        // the original's target changes the normals by nothing, not by a missing accessor
        const Json& own_normals =
            after.json["accessors"][primitive["targets"][0]["NORMAL"].get<size_t>()];
        EXPECT_TRUE(c.options.empty() || !own_normals.contains("bufferView")) << own_normals;
        std::vector<std::string> buffers;
        ASSERT_TRUE(read_gltf_buffers(out, ImportLimits{}, buffers).ok);
        const auto vectors = [&](int accessor) {
            DenseAccessor read;
            EXPECT_EQ(read_dense(after.json, buffers, size_t(accessor), read), "");
            const std::vector<float> values = floats_of(read);
            std::vector<Vec3> out_vectors;
            for (size_t i = 0; i + 2 < values.size(); i += 3) {
                out_vectors.push_back(Vec3{values[i], values[i + 1], values[i + 2]});
            }
            return out_vectors;
        };
        const std::vector<Vec3> points = vectors(primitive["attributes"]["POSITION"]);
        const std::vector<Vec3> normals = vectors(primitive["attributes"]["NORMAL"]);
        const std::vector<Vec3> change = vectors(primitive["targets"][1]["NORMAL"]);
        ASSERT_EQ(change.size(), normals.size());
        std::vector<Vec3> full(normals.size());
        for (size_t i = 0; i < full.size(); ++i) {
            full[i] = Vec3{normals[i].x + change[i].x, normals[i].y + change[i].y,
                           normals[i].z + change[i].z};
        }
        int shared = 0;
        for (size_t i = 0; i < points.size(); ++i) {
            for (size_t j = i + 1; j < points.size(); ++j) {
                if (points[i].x != points[j].x || points[i].y != points[j].y ||
                    points[i].z != points[j].z) {
                    continue;
                }
                ++shared;
                const double apart = degrees_between(full[i], full[j]);
                EXPECT_LE(apart, c.most) << i << " " << j;
                EXPECT_GE(apart, c.least) << i << " " << j;
            }
        }
        EXPECT_GT(shared, 4);
        if (c.options.empty()) continue;
        // The strip turned: each normal turns with it, in the mesh's own space, within what
        // the program's normals differ from the surface's.
        for (size_t i = 0; i < full.size(); ++i) {
            const Vec3& n = normals[i];
            const Vec3 turned{float(n.x * std::cos(turn) - n.z * std::sin(turn)), n.y,
                              float(n.x * std::sin(turn) + n.z * std::cos(turn))};
            EXPECT_LT(degrees_between(full[i], turned), 3.0) << i;
        }
    }
}

TEST(ExportOnto, refuses_an_asset_without_the_source_and_wrong_options) {
    ExportFixture fixture;
    testing::FaceProject face(fixture);
    const std::string asset = fixture.folder.file("face.glb");
    warpkit::testing::write_text(asset, face_glb());
    const testing::ToolRun none =
        run_tool({"gltf", face.path, "--onto", asset, "-o", fixture.folder.file("x.glb")});
    EXPECT_EQ(none.status, kExitRefused);
    EXPECT_NE(none.err.find("none of its meshes is the project's source (mesh 0 \"Face\", mesh 1 "
                            "\"Prop\"); --mesh NAME|INDEX names one"),
              std::string::npos)
        << none.err;
    EXPECT_FALSE(std::filesystem::exists(fixture.folder.file("x.glb")));

    // An image named by a file of its own stays so, even in a .glb; elsewhere it would be lost.
    const std::string textured = fixture.folder.file("textured.gltf");
    warpkit::testing::write_text(
        textured, GltfBuilder().gltf("\"images\":[{\"uri\":\"skin.png\"}],\"meshes\":[]"));
    std::filesystem::create_directory(fixture.folder.file("elsewhere"));
    const testing::ToolRun away = run_tool(
        {"gltf", face.path, "--onto", textured, "-o", fixture.folder.file("elsewhere/x.glb")});
    EXPECT_EQ(away.status, kExitRefused);
    EXPECT_NE(away.err.find("it names skin.png beside it; write the output into its folder"),
              std::string::npos)
        << away.err;

    const std::vector<std::vector<std::string>> usage = {
        {"gltf", face.path, "--mesh", "0", "-o", "x.glb"},
        {"gltf", face.path, "--onto", asset, "--smooth-angle", "30", "-o", "x.glb"},
    };
    for (const std::vector<std::string>& args : usage) {
        EXPECT_EQ(run_tool(args).status, kExitUsage) << args[2];
    }
}

}  // namespace
}  // namespace warpkit::exporting
