#include <gtest/gtest.h>
#include <tiny_gltf.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>

#include "export/export_fixture.h"
#include "export/project_load.h"
#include "export/target_names.h"
#include "model/normals.h"
#include "morph/key_track.h"

namespace warpkit::exporting {
namespace {

using testing::ExportFixture;
using testing::FaceProject;
using testing::run_tool;
using warpkit::testing::QxmObjectSpec;

// The second reader: tinygltf loading the exported file as any program would.
tinygltf::Model read_back(const std::string& path) {
    tinygltf::Model model;
    tinygltf::TinyGLTF reader;
    std::string error;
    std::string warning;
    const bool binary = path.size() > 4 && path.compare(path.size() - 4, 4, ".glb") == 0;
    const bool loaded = binary ? reader.LoadBinaryFromFile(&model, &error, &warning, path)
                               : reader.LoadASCIIFromFile(&model, &error, &warning, path);
    EXPECT_TRUE(loaded) << error;
    EXPECT_EQ(warning, "");
    return model;
}

// `count` values of `size` bytes from a view, widened to T.
template <typename T, typename Stored>
std::vector<T> view_values(const tinygltf::Model& model, int view_index, size_t offset,
                           size_t count) {
    const tinygltf::BufferView& view = model.bufferViews.at(view_index);
    const std::vector<unsigned char>& data = model.buffers.at(view.buffer).data;
    std::vector<T> values;
    for (size_t i = 0; i < count; ++i) {
        Stored value{};
        std::memcpy(&value, &data.at(view.byteOffset + offset + i * sizeof value), sizeof value);
        values.push_back(static_cast<T>(value));
    }
    return values;
}

// The float components of an accessor, element by element, as a reader sees them: zeros where
// it has no view, then the sparse values over them.
std::vector<float> floats_of(const tinygltf::Model& model, int index) {
    const tinygltf::Accessor& accessor = model.accessors.at(index);
    EXPECT_EQ(accessor.componentType, TINYGLTF_COMPONENT_TYPE_FLOAT);
    const size_t components = tinygltf::GetNumComponentsInType(accessor.type);
    std::vector<float> values(accessor.count * components, 0.0f);
    if (accessor.bufferView >= 0) {
        EXPECT_EQ(model.bufferViews.at(accessor.bufferView).byteStride, 0u);
        values = view_values<float, float>(model, accessor.bufferView, accessor.byteOffset,
                                           values.size());
    }
    if (accessor.sparse.isSparse) {
        const auto& sparse = accessor.sparse;
        const size_t count = static_cast<size_t>(sparse.count);
        const std::vector<uint32_t> where =
            sparse.indices.componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT
                ? view_values<uint32_t, uint16_t>(model, sparse.indices.bufferView,
                                                  sparse.indices.byteOffset, count)
                : view_values<uint32_t, uint32_t>(model, sparse.indices.bufferView,
                                                  sparse.indices.byteOffset, count);
        const std::vector<float> replaced = view_values<float, float>(
            model, sparse.values.bufferView, sparse.values.byteOffset, count * components);
        for (size_t i = 0; i < count; ++i) {
            for (size_t c = 0; c < components; ++c) {
                values.at(where[i] * components + c) = replaced[i * components + c];
            }
        }
    }
    return values;
}

std::vector<uint32_t> indices_of(const tinygltf::Model& model, int index) {
    const tinygltf::Accessor& accessor = model.accessors.at(index);
    if (accessor.componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT) {
        return view_values<uint32_t, uint16_t>(model, accessor.bufferView, accessor.byteOffset,
                                               accessor.count);
    }
    return view_values<uint32_t, uint32_t>(model, accessor.bufferView, accessor.byteOffset,
                                           accessor.count);
}

std::vector<float> flat(const std::vector<Vec3>& points) {
    std::vector<float> out;
    for (const Vec3& p : points) out.insert(out.end(), {p.x, p.y, p.z});
    return out;
}

std::vector<std::string> target_names(const tinygltf::Mesh& mesh) {
    std::vector<std::string> names;
    const tinygltf::Value& list = mesh.extras.Get("targetNames");
    for (size_t i = 0; i < list.ArrayLen(); ++i)
        names.push_back(list.Get(static_cast<int>(i)).Get<std::string>());
    return names;
}

// The weight of morph target `target` at `time` as a reader plays a LINEAR sampler.
float sampled_weight(const std::vector<float>& times, const std::vector<float>& weights,
                     size_t targets, size_t target, float time) {
    if (time <= times.front()) return weights[target];
    for (size_t i = 0; i + 1 < times.size(); ++i) {
        if (time <= times[i + 1]) {
            const float t = (time - times[i]) / (times[i + 1] - times[i]);
            const float a = weights[i * targets + target];
            const float b = weights[(i + 1) * targets + target];
            return a + (b - a) * t;
        }
    }
    return weights[(times.size() - 1) * targets + target];
}

LoadedProject loaded(const std::string& path) {
    LoadedProject project;
    const ProjectLoadOutcome outcome = load_project(path, project);
    EXPECT_TRUE(outcome.ok) << outcome.refusal;
    return project;
}

TEST(GltfExport, passes_the_validator_and_reads_back_as_the_program_plays_it) {
    ExportFixture fixture;
    const FaceProject face(fixture);
    const std::string out = fixture.folder.file("face.glb");
    const auto run = run_tool({"gltf", face.path, "-o", out});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_VALID_GLTF(out);

    const tinygltf::Model model = read_back(out);
    ASSERT_EQ(model.meshes.size(), 1u);
    const tinygltf::Mesh& mesh = model.meshes[0];
    EXPECT_EQ(target_names(mesh), (std::vector<std::string>{"1 lift", "3 slide"}));
    for (const tinygltf::Primitive& primitive : mesh.primitives) {
        ASSERT_EQ(primitive.targets.size(), 2u);
    }

    // Shape: the source's positions, each morph target its displacement from them.
    const LoadedProject project = loaded(face.path);
    const tinygltf::Primitive& first = mesh.primitives.at(0);
    EXPECT_EQ(floats_of(model, first.attributes.at("POSITION")), flat(face.source.vertices));
    const int slots[] = {1, 3};
    for (size_t t = 0; t < 2; ++t) {
        EXPECT_EQ(floats_of(model, first.targets[t].at("POSITION")),
                  flat(project.state.slots[slots[t]].vertices))
            << "target " << t;
    }

    // Keys at 0, every key inside the timeline, and its last frame 40 (slot 3's key at 50
    // lies past it), at frame / 30 seconds.
    ASSERT_EQ(model.animations.size(), 1u);
    const tinygltf::Animation& animation = model.animations[0];
    ASSERT_EQ(animation.channels.size(), 1u);
    EXPECT_EQ(animation.channels[0].target_path, "weights");
    EXPECT_EQ(animation.channels[0].target_node, 0);
    EXPECT_EQ(model.nodes.at(0).mesh, 0);
    const tinygltf::AnimationSampler& sampler = animation.samplers.at(0);
    EXPECT_EQ(sampler.interpolation, "LINEAR");
    const std::vector<float> times = floats_of(model, sampler.input);
    std::vector<float> expected_times;
    for (int frame : {0, 10, 16, 25, 40})
        expected_times.push_back(static_cast<float>(frame / 30.0));
    EXPECT_EQ(times, expected_times);

    // Weights: at every frame of the timeline what the program evaluates, as a fraction.
    const std::vector<float> weights = floats_of(model, sampler.output);
    ASSERT_EQ(weights.size(), times.size() * 2);
    for (int32_t frame = 0; frame <= 40; ++frame) {
        for (size_t t = 0; t < 2; ++t) {
            const float program =
                evaluate_track(face.data.targets[slots[t] - 1].keys, frame).weight / 100.0f;
            EXPECT_NEAR(sampled_weight(times, weights, 2, t, frame / 30.0f), program, 1e-6)
                << "frame " << frame << ", target " << t;
        }
    }
    EXPECT_FLOAT_EQ(weights[4 * 2 + 1], 60.0f * (1.0f - 24.0f / 34.0f) / 100.0f);
    // At rest the mesh shows frame 0.
    EXPECT_EQ(mesh.weights, (std::vector<double>{0.0, static_cast<double>(0.1f)}));
}

TEST(GltfExport, each_colour_is_a_primitive_of_its_triangles_with_a_matte_material) {
    ExportFixture fixture;
    const FaceProject face(fixture);
    const std::string out = fixture.folder.file("face.glb");
    ASSERT_EQ(run_tool({"gltf", face.path, "-o", out}).status, 0);
    const tinygltf::Model model = read_back(out);

    const std::vector<warpkit::testing::QxmColour> palette = warpkit::testing::make_palette(3);
    const std::vector<tinygltf::Primitive>& primitives = model.meshes.at(0).primitives;
    ASSERT_EQ(primitives.size(), 3u);
    for (int32_t colour = 0; colour < 3; ++colour) {
        SCOPED_TRACE("colour " + std::to_string(colour));
        const tinygltf::Primitive& primitive = primitives[colour];
        EXPECT_EQ(primitive.mode, TINYGLTF_MODE_TRIANGLES);
        std::vector<uint32_t> expected;
        for (const Triangle& t : face.source.triangles) {
            if (t.colour == colour) expected.insert(expected.end(), t.v, t.v + 3);
        }
        EXPECT_EQ(indices_of(model, primitive.indices), expected);
        EXPECT_EQ(model.accessors[primitive.indices].componentType,
                  TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT);

        const tinygltf::Material& material = model.materials.at(primitive.material);
        EXPECT_EQ(material.name, "colour " + std::to_string(colour));
        const uint8_t bytes[3] = {palette[colour].red, palette[colour].green, palette[colour].blue};
        for (int c = 0; c < 3; ++c) {
            // The program's colour (byte / 255, shown as sRGB) in glTF's linear terms.
            const double shown = static_cast<float>(bytes[c] * (1.0f / 255.0f));
            const double linear =
                shown <= 0.04045 ? shown / 12.92 : std::pow((shown + 0.055) / 1.055, 2.4);
            EXPECT_NEAR(material.pbrMetallicRoughness.baseColorFactor[c], linear, 1e-6);
        }
        EXPECT_EQ(material.pbrMetallicRoughness.metallicFactor, 0.0);
    }
}

// The program's normals of the shape with target `slot` at 100 % alone (0: the source) at unit
// length; +z where they have none.
std::vector<Vec3> program_unit_normals(EditorState& state, int slot) {
    std::array<float, kTargetCount + 1> weights{};
    weights[slot] = slot > 0 ? 100.0f : 0.0f;
    blend(state, weights);
    compute_vertex_normals(state);
    std::vector<Vec3> normals = state.mesh.vertex_normals;
    for (Vec3& n : normals) {
        const double length = std::sqrt(double(n.x) * n.x + double(n.y) * n.y + double(n.z) * n.z);
        n = length > 0 ? Vec3{float(n.x / length), float(n.y / length), float(n.z / length)}
                       : Vec3{0, 0, 1};
    }
    return normals;
}

TEST(GltfExport, normals_are_the_programs_vertex_normals_at_unit_length) {
    ExportFixture fixture;
    // A tent with a vertex no triangle uses and a degenerate triangle at the ridge end.
    QxmObjectSpec tent;
    tent.name = "tent";
    tent.vertices = {{0, 0, 0}, {2, 0, 0}, {1, 1, 1}, {1, 1, -1}, {5, 5, 5}, {1, 1, 1}};
    Triangle a, b, c;
    a.v[0] = 0, a.v[1] = 1, a.v[2] = 2;
    b.v[0] = 1, b.v[1] = 0, b.v[2] = 3;
    c.v[0] = 2, c.v[1] = 5, c.v[2] = 2;
    tent.triangles = {a, b, c};
    ProjectData data;
    data.source_path = fixture.write_objects("tent.qxm", {tent}, 1);
    data.source_name = "tent";
    const std::string project = fixture.write_project("tent.twp", data);
    const std::string out = fixture.folder.file("tent.glb");
    ASSERT_EQ(run_tool({"gltf", project, "-o", out}).status, 0);
    EXPECT_VALID_GLTF(out);

    LoadedProject session = loaded(project);
    const std::vector<Vec3> unit = program_unit_normals(session.state, 0);
    const tinygltf::Model model = read_back(out);
    const std::vector<float> normals =
        floats_of(model, model.meshes.at(0).primitives.at(0).attributes.at("NORMAL"));
    ASSERT_EQ(normals.size(), 18u);
    for (size_t i = 0; i < 6; ++i) {
        // Vertex 5, which only the degenerate triangle uses, lies on vertex 2 and takes its normal.
        const Vec3 want = unit[i == 5 ? 2 : i];
        EXPECT_NEAR(normals[3 * i], want.x, 1e-6) << "vertex " << i;
        EXPECT_NEAR(normals[3 * i + 1], want.y, 1e-6) << "vertex " << i;
        EXPECT_NEAR(normals[3 * i + 2], want.z, 1e-6) << "vertex " << i;
    }
    EXPECT_EQ(normals[3 * 4 + 2], 1.0f);  // the unused vertex
}

TEST(GltfExport, indices_are_16_bit_up_to_65535_vertices_and_32_bit_beyond) {
    struct Row {
        int columns, rows;
        int component;
    };
    // 255 x 257 = 65535 vertices: the largest index 65534 stays below the 16-bit restart value.
    for (const Row& row : {Row{254, 256, TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT},
                           Row{255, 255, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT}}) {
        SCOPED_TRACE(std::to_string(row.columns) + " x " + std::to_string(row.rows));
        ExportFixture fixture;
        ProjectData data;
        const QxmObjectSpec grid =
            warpkit::testing::make_grid_object("grid", row.columns, row.rows, 1);
        const QxmObjectSpec wave = testing::moved(grid, "wave", [](const Vec3& v) {
            return Vec3{v.x, v.y, std::sin(v.x * 0.1f)};
        });
        data.source_path = fixture.write_objects("grid.qxm", {grid, wave}, 1);
        data.source_name = "grid";
        data.targets[0] = testing::project_target(data.source_path, "wave", {{0, 0}, {5, 100}});
        const std::string out = fixture.folder.file("grid.glb");
        ASSERT_EQ(run_tool({"gltf", fixture.write_project("grid.twp", data), "-o", out}).status, 0);
        EXPECT_VALID_GLTF(out);
        const tinygltf::Model model = read_back(out);
        const tinygltf::Primitive& primitive = model.meshes.at(0).primitives.at(0);
        EXPECT_EQ(model.accessors.at(primitive.indices).componentType, row.component);
        const std::vector<uint32_t> indices = indices_of(model, primitive.indices);
        EXPECT_EQ(*std::max_element(indices.begin(), indices.end()),
                  uint32_t((row.columns + 1) * (row.rows + 1) - 1));
    }
}

TEST(GltfExport, eight_targets_become_eight_named_morph_targets) {
    ExportFixture fixture;
    // Seven triangles: their 21 indices of 2 bytes end off a 4-byte boundary, and the targets'
    // floats follow.
    QxmObjectSpec source = warpkit::testing::make_grid_object("base", 2, 2, 3);
    source.triangles.pop_back();
    std::vector<QxmObjectSpec> objects = {source};
    ProjectData data;
    data.source_name = "base";
    for (int k = 1; k <= 8; ++k) {
        objects.push_back(testing::moved(source, "t" + std::to_string(k), [k](const Vec3& v) {
            return Vec3{v.x, v.y, v.z + 0.1f * k * v.x};
        }));
    }
    data.source_path = fixture.write_objects("all.qxm", objects, 3);
    for (int k = 1; k <= 8; ++k) {
        data.targets[k - 1] = testing::project_target(data.source_path, "t" + std::to_string(k),
                                                      {{0, 10.0f * k}, {k * 5, 100}});
    }
    const std::string out = fixture.folder.file("all.glb");
    ASSERT_EQ(run_tool({"gltf", fixture.write_project("all.twp", data), "-o", out}).status, 0);
    EXPECT_VALID_GLTF(out);
    const tinygltf::Model model = read_back(out);
    const tinygltf::Mesh& mesh = model.meshes.at(0);
    EXPECT_EQ(target_names(mesh), (std::vector<std::string>{"1 t1", "2 t2", "3 t3", "4 t4", "5 t5",
                                                            "6 t6", "7 t7", "8 t8"}));
    for (const tinygltf::Primitive& primitive : mesh.primitives) {
        ASSERT_EQ(primitive.targets.size(), 8u);
        for (const auto& target : primitive.targets) {
            EXPECT_EQ(target.size(), 1u);  // position only
            EXPECT_EQ(target.count("POSITION"), 1u);
        }
    }
    ASSERT_EQ(mesh.weights.size(), 8u);
    EXPECT_FLOAT_EQ(mesh.weights[7], 0.8f);
}

TEST(GltfExport, sources_without_palette_targets_or_triangles_still_make_valid_files) {
    ExportFixture fixture;
    QxmObjectSpec grid = warpkit::testing::make_grid_object("grid", 2, 1, 0);
    QxmObjectSpec cloud = grid;
    cloud.name = "cloud";
    cloud.triangles.clear();
    const std::string objects = fixture.write_objects("plain.qxm", {grid, cloud}, 0);

    for (const char* name : {"grid", "cloud"}) {
        SCOPED_TRACE(name);
        ProjectData data;
        data.source_path = objects;
        data.source_name = name;
        const std::string out = fixture.folder.file(std::string(name) + ".glb");
        ASSERT_EQ(run_tool({"gltf", fixture.write_project("plain.twp", data), "-o", out}).status,
                  0);
        EXPECT_VALID_GLTF(out);
        const tinygltf::Model model = read_back(out);
        const tinygltf::Mesh& mesh = model.meshes.at(0);
        ASSERT_EQ(mesh.primitives.size(), 1u);
        EXPECT_TRUE(mesh.primitives[0].targets.empty());
        EXPECT_TRUE(mesh.weights.empty());
        EXPECT_TRUE(model.animations.empty());
        const tinygltf::Material& material = model.materials.at(mesh.primitives[0].material);
        EXPECT_EQ(material.name, "default");
        EXPECT_EQ(mesh.primitives[0].mode,
                  std::string(name) == "grid" ? TINYGLTF_MODE_TRIANGLES : TINYGLTF_MODE_POINTS);
    }
}

TEST(GltfExport, names_in_shift_jis_come_out_as_utf8) {
    ExportFixture fixture;
    const QxmObjectSpec source = warpkit::testing::make_grid_object("\x8a\xe7", 1, 1, 1);
    const QxmObjectSpec smile = testing::moved(source, "\x8f\xce", [](const Vec3& v) {
        return Vec3{v.x, v.y, v.x * v.y};
    });
    ProjectData data;
    data.source_path = fixture.write_objects("faces.qxm", {source, smile}, 1);
    data.source_name = source.name;
    data.targets[1] = testing::project_target(data.source_path, smile.name, {{0, 0}, {9, 100}});
    // The project's own name, in Shift-JIS too, names the animation.
    const std::string project = fixture.write_project("\x8a\xe7.twp", data);
    const std::string out = fixture.folder.file("face.glb");
    const auto run = run_tool({"gltf", project, "-o", out});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_VALID_GLTF(out);
    const tinygltf::Model model = read_back(out);
    EXPECT_EQ(target_names(model.meshes.at(0)), std::vector<std::string>{"2 \u7b11"});
    EXPECT_EQ(model.meshes.at(0).name, "\u9854");
    EXPECT_EQ(model.animations.at(0).name, "\u9854");
}

TEST(GltfExport, text_form_puts_the_buffer_beside_it_under_an_encoded_uri) {
    ExportFixture fixture;
    const FaceProject face(fixture);
    const std::string text = fixture.folder.file("my face.gltf");
    const std::string binary = fixture.folder.file("face.glb");
    const auto run = run_tool({"gltf", face.path, "--output=" + text, "--fps=24"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("my face.bin"), std::string::npos) << run.out;
    ASSERT_EQ(run_tool({"gltf", face.path, "-o", binary, "--fps", "24"}).status, 0);
    EXPECT_TRUE(std::filesystem::exists(fixture.folder.file("my face.bin")));
    EXPECT_VALID_GLTF(text);

    const tinygltf::Model from_text = read_back(text);
    const tinygltf::Model from_binary = read_back(binary);
    EXPECT_EQ(from_text.buffers.at(0).uri, "my%20face.bin");
    EXPECT_EQ(from_text.buffers.at(0).data, from_binary.buffers.at(0).data);
    const std::vector<float> times =
        floats_of(from_text, from_text.animations.at(0).samplers[0].input);
    EXPECT_EQ(times.back(), static_cast<float>(40 / 24.0));
    // Nothing of the library's scratch work is left beside the output.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(fixture.folder.path()),
                            std::filesystem::directory_iterator()),
              5);  // shapes.qxm, face.twp, my face.gltf, my face.bin, face.glb
}

TEST(GltfExport, refuses_shapes_that_are_not_finite_and_outputs_it_cannot_write) {
    ExportFixture fixture;
    const FaceProject face(fixture);
    const auto unwritable =
        run_tool({"gltf", face.path, "-o", fixture.folder.file("missing/face.glb")});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_EQ(
        unwritable.err.rfind(
            "warpkit-export: cannot write " + fixture.folder.file("missing/face.glb") + ": ", 0),
        0u)
        << unwritable.err;

    const auto past =
        run_tool({"gltf", face.path, "-o", fixture.folder.file("past.glb"), "--frames", "30..41"});
    EXPECT_EQ(past.status, 2);
    EXPECT_EQ(past.err,
              "warpkit-export: " + face.path + ": frames 30..41 go past the last frame 40\n");

    // Times are floats: a frame rate so low that a time overflows, or two frames so late that
    // their times round to one, cannot make an animation.
    ProjectData late = face.data;
    late.max_frame = 16777217;
    late.targets[0].keys.frames = {0, 16777216};
    late.targets[0].keys.weights = {0.0f, 100.0f};
    const std::string late_project = fixture.write_project("late.twp", late);
    auto refused =
        run_tool({"gltf", late_project, "-o", fixture.folder.file("late.glb"), "--fps", "1"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "warpkit-export: " + late_project +
                               ": cannot export: frames 16777216 and 16777217 fall on one time "
                               "at 1 frames a second\n");
    refused = run_tool({"gltf", face.path, "-o", fixture.folder.file("x.glb"), "--fps", "1e-40"});
    EXPECT_EQ(refused.err, "warpkit-export: " + face.path +
                               ": cannot export: frame 10 is beyond any time at 1e-40 frames a "
                               "second\n");

    QxmObjectSpec broken = face.source;
    broken.vertices[5].y = std::numeric_limits<float>::quiet_NaN();
    ProjectData data;
    data.source_path = fixture.write_objects("broken.qxm", {broken}, 3);
    data.source_name = "base";
    const std::string project = fixture.write_project("broken.twp", data);
    const std::string out = fixture.folder.file("broken.glb");
    const auto run = run_tool({"gltf", project, "-o", out});
    EXPECT_EQ(run.status, 1);
    // refused where the project is loaded, as the program refuses it
    EXPECT_EQ(run.err, "warpkit-export: The project file " + project +
                           " cannot be loaded: the source object base in " + data.source_path +
                           " is damaged: the coordinates of vertex 5 are not all finite numbers: "
                           "(1, nan, 0)\n");
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST(GltfExport, morph_targets_are_sparse_where_that_is_smaller_and_carry_the_normals_change) {
    ExportFixture fixture;
    FaceProject face(fixture);
    const std::string still = fixture.write_objects(
        "still.qxm", {testing::moved(face.source, "still", [](const Vec3& v) { return v; })}, 3);
    face.data.targets[4] = testing::project_target(still, "still", {{0, 50.0f}});
    const std::string project = fixture.write_project("face.twp", face.data);
    const std::string out = fixture.folder.file("face.glb");
    const auto run = run_tool({"gltf", project, "-o", out, "--normals"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "wrote " + out + ": 3 morph targets with normals, 5 keys over 1.33333 s, 5 sparse\n");
    EXPECT_VALID_GLTF(out);

    const tinygltf::Model model = read_back(out);
    LoadedProject session = loaded(project);
    const std::vector<Vec3> source_normals = program_unit_normals(session.state, 0);
    const tinygltf::Primitive& primitive = model.meshes.at(0).primitives.at(0);
    EXPECT_EQ(floats_of(model, primitive.attributes.at("NORMAL")), flat(source_normals));
    const int slots[] = {1, 3, 5};
    for (size_t t = 0; t < 3; ++t) {
        SCOPED_TRACE("target " + std::to_string(t));
        const tinygltf::Accessor& positions =
            model.accessors.at(primitive.targets.at(t).at("POSITION"));
        EXPECT_EQ(floats_of(model, primitive.targets[t].at("POSITION")),
                  flat(session.state.slots[slots[t]].vertices));
        // lift moves 4 vertices: sparse; slide moves all 12: dense; still moves none: zeros
        // without any view.
        EXPECT_EQ(positions.bufferView >= 0, t == 1);
        EXPECT_EQ(positions.sparse.isSparse ? positions.sparse.count : -1, t == 0 ? 4 : -1);

        // A player adding the change at full weight shows the program's smooth normals.
        const std::vector<float> change = floats_of(model, primitive.targets[t].at("NORMAL"));
        const std::vector<Vec3> expected = program_unit_normals(session.state, slots[t]);
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_NEAR(source_normals[i].x + change[3 * i], expected[i].x, 1e-6) << i;
            EXPECT_NEAR(source_normals[i].y + change[3 * i + 1], expected[i].y, 1e-6) << i;
            EXPECT_NEAR(source_normals[i].z + change[3 * i + 2], expected[i].z, 1e-6) << i;
        }
    }
}

// A sphere as files made for painting have it: rings x segments quads with the column at
// longitude 0 repeated at 360° (the UV seam) and every pole split into one vertex per segment.
QxmObjectSpec seamed_sphere(int rings, int segments) {
    QxmObjectSpec sphere;
    sphere.name = "sphere";
    const double pi = 3.14159265358979323846;
    for (int ring = 0; ring <= rings; ++ring) {
        for (int segment = 0; segment <= segments; ++segment) {
            const double up = pi * ring / rings;
            const double around = 2 * pi * (segment % segments) / segments;
            const bool pole = ring == 0 || ring == rings;
            sphere.vertices.push_back(pole ? Vec3{0, 0, ring == 0 ? 1.0f : -1.0f}
                                           : Vec3{float(std::sin(up) * std::cos(around)),
                                                  float(std::sin(up) * std::sin(around)),
                                                  float(std::cos(up))});
        }
    }
    for (int ring = 0; ring < rings; ++ring) {
        for (int segment = 0; segment < segments; ++segment) {
            const int corner = ring * (segments + 1) + segment;
            const int below = corner + segments + 1;
            sphere.triangles.push_back(make_triangle(corner, below, below + 1));
            sphere.triangles.push_back(make_triangle(corner, below + 1, corner + 1));
        }
    }
    return sphere;
}

// A cube whose faces have corners of their own, as flat-shaded files store it.
QxmObjectSpec split_cube() {
    QxmObjectSpec cube;
    cube.name = "cube";
    for (int axis = 0; axis < 3; ++axis) {
        for (float side : {-1.0f, 1.0f}) {
            const int first = static_cast<int>(cube.vertices.size());
            for (const auto& [u, v] :
                 {std::pair{-1.0f, -1.0f}, {1.0f, -1.0f}, {1.0f, 1.0f}, {-1.0f, 1.0f}}) {
                float c[3];
                c[axis] = side;
                c[(axis + 1) % 3] = u * side;
                c[(axis + 2) % 3] = v;
                cube.vertices.push_back({c[0], c[1], c[2]});
            }
            cube.triangles.push_back(make_triangle(first, first + 1, first + 2));
            cube.triangles.push_back(make_triangle(first, first + 2, first + 3));
        }
    }
    return cube;
}

// Degrees between two directions; exactly 0 for equal ones.
double degrees_between(const Vec3& a, const Vec3& b) {
    const double cx = double(a.y) * b.z - double(a.z) * b.y;
    const double cy = double(a.z) * b.x - double(a.x) * b.z;
    const double cz = double(a.x) * b.y - double(a.y) * b.x;
    const double dot = double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z;
    return std::atan2(std::sqrt(cx * cx + cy * cy + cz * cz), dot) * 180.0 / 3.14159265358979;
}

TEST(GltfExport, vertices_at_one_position_share_normals_within_the_smooth_angle) {
    ExportFixture fixture;
    struct Row {
        QxmObjectSpec mesh;
        std::vector<std::string> options;
        double lowest, highest;  // bounds of the angle between any two vertices at one position
        double widest;           // the largest angle is at least this
    };
    const Row rows[] = {
        {seamed_sphere(8, 12), {}, 0.0, 0.0, 0.0},
        {seamed_sphere(8, 12), {"--smooth-angle", "0"}, 0.0, 180.0, 10.0},
        {split_cube(), {}, 90.0, 90.0, 90.0},
        {split_cube(), {"--smooth-angle=120"}, 0.0, 0.0, 0.0},
    };
    for (const Row& row : rows) {
        std::string line = row.mesh.name;
        for (const std::string& option : row.options) line += " " + option;
        SCOPED_TRACE(line);
        // A target that stretches the shape, so its normals change and seams stay together.
        const QxmObjectSpec stretched = testing::moved(row.mesh, "stretched", [](const Vec3& v) {
            return Vec3{v.x * 0.5f, v.y, v.z * 1.5f};
        });
        ProjectData data;
        data.source_path = fixture.write_objects(row.mesh.name + ".qxm", {row.mesh, stretched}, 1);
        data.source_name = row.mesh.name;
        data.targets[0] = testing::project_target(data.source_path, "stretched", {{0, 100.0f}});
        const std::string out = fixture.folder.file(row.mesh.name + ".glb");
        std::vector<std::string> args = {"gltf", fixture.write_project("p.twp", data), "-o", out,
                                         "--normals"};
        args.insert(args.end(), row.options.begin(), row.options.end());
        const auto run = run_tool(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_VALID_GLTF(out);

        const tinygltf::Model model = read_back(out);
        const tinygltf::Primitive& primitive = model.meshes.at(0).primitives.at(0);
        const std::vector<float> base = floats_of(model, primitive.attributes.at("NORMAL"));
        const std::vector<float> change = floats_of(model, primitive.targets.at(0).at("NORMAL"));
        const auto normal = [&](size_t i, bool morphed) {
            const float m = morphed ? 1.0f : 0.0f;
            return Vec3{base[3 * i] + m * change[3 * i], base[3 * i + 1] + m * change[3 * i + 1],
                        base[3 * i + 2] + m * change[3 * i + 2]};
        };
        double widest = 0.0;
        const std::vector<Vec3>& points = row.mesh.vertices;
        for (bool morphed : {false, true}) {
            for (size_t i = 0; i < points.size(); ++i) {
                for (size_t j = i + 1; j < points.size(); ++j) {
                    if (points[i].x != points[j].x || points[i].y != points[j].y ||
                        points[i].z != points[j].z)
                        continue;
                    const double angle = degrees_between(normal(i, morphed), normal(j, morphed));
                    EXPECT_GE(angle, row.lowest - 1e-3) << i << " " << j << " " << morphed;
                    EXPECT_LE(angle, row.highest + 1e-3) << i << " " << j << " " << morphed;
                    widest = std::max(widest, angle);
                }
            }
        }
        EXPECT_GE(widest, row.widest - 1e-3);
    }
}

// The JSON of a .glb file and the length of its binary chunk.
std::pair<nlohmann::json, size_t> read_glb(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    uint32_t lengths[2] = {};
    std::memcpy(&lengths[0], &bytes.at(12), 4);
    std::memcpy(&lengths[1], &bytes.at(20 + lengths[0]), 4);
    return {nlohmann::json::parse(bytes.substr(20, lengths[0])), lengths[1]};
}

// three.js decodes these files in test_export_players; here is what a player is told.
TEST(GltfExport, compressed_views_lie_in_a_fallback_without_data_and_require_the_extension) {
    ExportFixture fixture;
    const FaceProject face(fixture);
    const std::string plain = fixture.folder.file("plain.glb");
    const std::string packed = fixture.folder.file("packed.glb");
    ASSERT_EQ(run_tool({"gltf", face.path, "-o", plain, "--normals"}).status, 0);
    ASSERT_EQ(run_tool({"gltf", face.path, "-o", packed, "--normals", "--compress"}).status, 0);
    const auto [before, before_bin] = read_glb(plain);
    const auto [after, after_bin] = read_glb(packed);
    EXPECT_LT(after_bin, before_bin);
    EXPECT_FALSE(before.contains("extensionsUsed"));
    EXPECT_EQ(after["extensionsUsed"], nlohmann::json{"EXT_meshopt_compression"});
    EXPECT_EQ(after["extensionsRequired"], nlohmann::json{"EXT_meshopt_compression"});
    ASSERT_EQ(after["buffers"].size(), 2u);
    EXPECT_EQ(
        after["buffers"][1],
        (nlohmann::json{{"byteLength", after["buffers"][1]["byteLength"]},
                        {"extensions", {{"EXT_meshopt_compression", {{"fallback", true}}}}}}));
    for (const nlohmann::json& view : after["bufferViews"]) {
        EXPECT_EQ(view["buffer"], view.contains("extensions") ? 1 : 0);
    }

    // One point is too small for the codecs to gain anything: no extension at all.
    QxmObjectSpec point;
    point.name = "point";
    point.vertices = {{1, 2, 3}};
    ProjectData tiny;
    tiny.source_path = fixture.write_objects("tiny.qxm", {point}, 1);
    tiny.source_name = "point";
    const std::string tiny_path = fixture.folder.file("tiny.glb");
    ASSERT_EQ(
        run_tool({"gltf", fixture.write_project("tiny.twp", tiny), "-o", tiny_path, "--compress"})
            .status,
        0);
    const nlohmann::json small = read_glb(tiny_path).first;
    EXPECT_FALSE(small.contains("extensionsUsed") || small.contains("extensionsRequired"));
    EXPECT_EQ(small["buffers"].size(), 1u);
}

TEST(TargetNames, plain_names_drop_the_slot_and_repeated_ones_get_a_free_suffix) {
    EditorState state;
    const char* names[] = {"lift", "lift", "slide", "lift_2"};
    for (int k = 1; k <= 4; ++k) {
        state.slots[k].loaded = 1;
        state.slots[k].name = names[k - 1];
    }
    const TargetNames plain = morph_target_names(state, TargetNaming::kPlain);
    EXPECT_EQ(plain.names, (std::vector<std::string>{"lift", "lift_3", "slide", "lift_2"}));
    EXPECT_EQ(plain.renamed, std::vector<std::string>{
                                 "target 2 is written as lift_3: target 1 is named lift too"});
    EXPECT_EQ(morph_target_names(state, TargetNaming::kNumbered).names[1], "2 lift");
}

}  // namespace
}  // namespace warpkit::exporting
