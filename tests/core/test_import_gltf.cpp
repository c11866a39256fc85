// The glTF reader on the Khronos morph cube of the public test models and on files made here:
// which vertices a mesh gets and in what order, its triangles, colours and morph targets, and
// the refusal of damaged, cut-short and hostile files.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "import/any_object_reader.h"
#include "import/gltf_reader.h"
#include "import/scene_choice.h"
#include "support/import_checks.h"
#include "support/mesh_fixtures.h"
#include "support/qxm_writer.h"

namespace warpkit {
namespace {

using testing::GltfBuilder;

const std::string kMorphCube = std::string(WARPKIT_TEST_MODELS) +
                               "/glTF2/glTF-Sample-Models/AnimatedMorphCube-glTF/AnimatedMorphCube";

// The file's own float triples, read from its buffer without any glTF library.
std::vector<Vec3> floats_in_bin(const std::string& bin_path, const nlohmann::json& view) {
    std::ifstream in(bin_path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<Vec3> out(view["byteLength"].get<size_t>() / sizeof(Vec3));
    std::memcpy(out.data(), bytes.data() + view["byteOffset"].get<size_t>(),
                out.size() * sizeof(Vec3));
    return out;
}

double distance(const Vec3& a, const Vec3& b) {
    return std::sqrt(double{a.x - b.x} * (a.x - b.x) + double{a.y - b.y} * (a.y - b.y) +
                     double{a.z - b.z} * (a.z - b.z));
}

ImportOutcome read(const std::string& bytes, ImportedScene& scene, ImportLimits limits = {}) {
    const ImportOutcome outcome = read_gltf_bytes(bytes, limits, scene);
    return outcome.ok ? finish_import(outcome, scene) : outcome;
}

TEST(GltfReader, morph_cube_keeps_the_files_vertices_in_order_with_its_targets_and_animation) {
    ImportedScene scene;
    const ImportOutcome outcome = read_gltf_file(kMorphCube + ".gltf", ImportLimits{}, scene);
    ASSERT_TRUE(outcome.ok) << outcome.reason.en
                            << " (scripts/setup.sh installs assimp-testmodels)";
    ASSERT_EQ(scene.meshes.size(), 1u);
    const ImportedMesh& cube = scene.meshes[0];
    EXPECT_EQ(cube.name, "Cube");
    ASSERT_EQ(cube.vertices.size(), 24u);
    EXPECT_EQ(cube.triangles.size(), 12u);
    ASSERT_EQ(cube.targets.size(), 2u);
    EXPECT_EQ(cube.targets[0].name, "thin");
    EXPECT_EQ(cube.targets[1].name, "angle");
    // The material's linear base colour 0.6038274 is 204 of 255 on screen.
    ASSERT_EQ(scene.palette.size(), 1u);
    EXPECT_EQ(scene.palette.red[0], 204);

    // The node turns the cube and scales it by 100: every distance between two vertices, and
    // every target's move, is 100 times the file's own, pair by pair in the file's order.
    std::ifstream text(kMorphCube + ".gltf");
    const nlohmann::json file = nlohmann::json::parse(text);
    const std::vector<Vec3> raw = floats_in_bin(kMorphCube + ".bin", file["bufferViews"][2]);
    ASSERT_EQ(raw.size(), 24u);
    for (size_t i = 0; i < raw.size(); ++i) {
        for (size_t j = i + 1; j < raw.size(); ++j) {
            EXPECT_NEAR(distance(cube.vertices[i], cube.vertices[j]),
                        100 * distance(raw[i], raw[j]), 1e-4)
                << i << ", " << j;
        }
    }
    const std::vector<Vec3> thin = floats_in_bin(kMorphCube + ".bin", file["bufferViews"][4]);
    for (size_t i = 0; i < thin.size(); ++i) {
        EXPECT_NEAR(distance(cube.targets[0].vertices[i], cube.vertices[i]),
                    100 * distance(thin[i], Vec3{}), 1e-4);
    }

    ASSERT_EQ(scene.animations.size(), 1u);
    const WeightsAnimation& animation = scene.animations[0];
    EXPECT_EQ(animation.name, "Square");
    EXPECT_EQ(animation.interpolation, Interpolation::kLinear);
    EXPECT_EQ(animation.times.size(), 127u);
    EXPECT_NEAR(animation.times.back(), 4.2f, 1e-5f);
    EXPECT_EQ(animation.values.size(), 254u);
}

// Two quads over six points: primitive 0 names the positions accessor that is written second,
// primitive 1 the first one, and primitive 2 the second one again with another material.
struct TwoRuns {
    GltfBuilder builder;
    int left = builder.add_points({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
    int right = builder.add_points({{2, 0, 0}, {3, 0, 0}, {3, 1, 0}, {2, 1, 0}});
    int quad = builder.add_indices({0, 1, 2, 0, 2, 3});
    int one = builder.add_indices({1, 2, 3});
    std::string materials =
        "\"materials\":[{\"pbrMetallicRoughness\":{\"baseColorFactor\":[1,0,0,1]}},"
        "{\"pbrMetallicRoughness\":{\"baseColorFactor\":[0.2158605,0.2158605,0.2158605,1]}}]";

    std::string file() {
        const std::string a = std::to_string(left), b = std::to_string(right);
        return builder.gltf(
            "\"meshes\":[{\"name\":\"pair\",\"primitives\":["
            "{\"attributes\":{\"POSITION\":" +
            b + "},\"indices\":" + std::to_string(quad) +
            ",\"material\":0},"
            "{\"attributes\":{\"POSITION\":" +
            a + "},\"indices\":" + std::to_string(quad) +
            "},"
            "{\"attributes\":{\"POSITION\":" +
            b + "},\"indices\":" + std::to_string(one) + ",\"material\":1}]}]," + materials);
    }
};

TEST(GltfReader, each_positions_accessor_is_taken_once_in_first_use_order) {
    TwoRuns fixture;
    ImportedScene scene;
    ASSERT_TRUE(read(fixture.file(), scene).ok);
    const ImportedMesh& mesh = scene.meshes[0];
    ASSERT_EQ(mesh.vertices.size(), 8u);
    EXPECT_EQ(mesh.vertices[0].x, 2.0f);  // the right quad, used first
    EXPECT_EQ(mesh.vertices[4].x, 0.0f);
    ASSERT_EQ(mesh.triangles.size(), 5u);
    // The left quad's corners come after the right quad's four vertices.
    EXPECT_EQ(mesh.triangles[2].v[1], 5);
    // The third primitive shares the right quad's vertices.
    EXPECT_EQ(mesh.triangles[4].v[0], 1);
    // Materials keep their index; a primitive without one gets a grey entry after them, and
    // linear 0.2159 shows as 128.
    ASSERT_EQ(scene.palette.size(), 3u);
    EXPECT_EQ(mesh.triangles[0].colour, 0);
    EXPECT_EQ(mesh.triangles[2].colour, 2);
    EXPECT_EQ(mesh.triangles[4].colour, 1);
    EXPECT_EQ(scene.palette.red[1], 128);
    EXPECT_EQ(scene.palette.red[2], 220);
}

TEST(GltfReader, strips_fans_and_unindexed_lists_become_triangles_facing_alike) {
    // A zig-zag for lists and strips, a fan around its first point, all turning towards +z.
    const std::vector<Vec3> zigzag = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {0, 2, 0}};
    const std::vector<Vec3> fan = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {-1, 1, 0}};
    struct Case {
        const char* mode;
        const std::vector<Vec3>& points;
        size_t triangles;
    };
    for (const Case& c : {Case{"4", zigzag, 1}, Case{"5", zigzag, 3}, Case{"6", fan, 3},
                          Case{"0", zigzag, 0}, Case{"1", zigzag, 0}}) {
        GltfBuilder builder;
        const int points = builder.add_points(c.points);
        ImportedScene scene;
        const ImportOutcome outcome =
            read(builder.gltf("\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":" +
                              std::to_string(points) + "},\"mode\":" + c.mode + "}]}]"),
                 scene);
        // points and lines alone make no mesh
        if (c.triangles == 0) {
            EXPECT_FALSE(outcome.ok) << c.mode;
            EXPECT_NE(outcome.reason.en.find("has no triangles"), std::string::npos) << c.mode;
            continue;
        }
        ASSERT_TRUE(outcome.ok) << c.mode;
        const ImportedMesh& mesh = scene.meshes[0];
        EXPECT_EQ(mesh.vertices.size(), 5u) << c.mode;
        ASSERT_EQ(mesh.triangles.size(), c.triangles) << c.mode;
        for (const Triangle& t : mesh.triangles) {
            const Vec3 a = mesh.vertices[t.v[0]], b = mesh.vertices[t.v[1]],
                       d = mesh.vertices[t.v[2]];
            EXPECT_GT((b.x - a.x) * (d.y - a.y) - (b.y - a.y) * (d.x - a.x), 0.0f) << c.mode;
        }
    }
}

TEST(GltfReader, morph_targets_become_whole_shapes_named_as_the_file_names_them) {
    GltfBuilder builder;
    const int base = builder.add_points({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    const int up = builder.add_points({{0, 0, 1}, {0, 0, 2}, {0, 0, 3}}, "lift");
    const int side = builder.add_points({{1, 0, 0}, {1, 0, 0}, {1, 0, 0}});
    // A sparse target over no buffer view: only vertex 2 moves.
    const std::vector<uint16_t> sparse_index = {2};
    const std::vector<float> sparse_move = {0, 5, 0};
    std::vector<uint8_t> sparse_bytes(8, 0);
    std::memcpy(sparse_bytes.data(), sparse_index.data(), 2);
    const int sparse_indices =
        builder.add_raw(sparse_bytes, "\"componentType\":5123,\"count\":1,\"type\":\"SCALAR\"");
    std::vector<uint8_t> move_bytes(12);
    std::memcpy(move_bytes.data(), sparse_move.data(), 12);
    const int sparse_values =
        builder.add_raw(move_bytes, "\"componentType\":5126,\"count\":1,\"type\":\"VEC3\"");
    // The raw accessors each own a buffer view of the same index as themselves.
    const int sparse = builder.add_raw(
        {},
        "\"componentType\":5126,\"count\":3,\"type\":\"VEC3\",\"sparse\":{\"count\":1,"
        "\"indices\":{\"bufferView\":" +
            std::to_string(sparse_indices) +
            ",\"componentType\":5123},\"values\":{\"bufferView\":" + std::to_string(sparse_values) +
            "}}");
    const std::string targets = "[{\"POSITION\":" + std::to_string(up) +
                                "},{\"POSITION\":" + std::to_string(side) +
                                "},{\"POSITION\":" + std::to_string(sparse) + "},{}]";
    const std::string primitive =
        "{\"attributes\":{\"POSITION\":" + std::to_string(base) + "},\"targets\":" + targets + "}";
    struct Case {
        const char* what;
        std::string extras;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"accessor names, then numbers", "", {"lift", "target2", "target3", "target4"}},
        {"targetNames",
         ",\"extras\":{\"targetNames\":[\"a b\",\"smile\",\"smile\",\"\"]}",
         {"a_b", "smile", "smile~2", "target4"}},
    };
    for (const Case& c : cases) {
        ImportedScene scene;
        ASSERT_TRUE(read(builder.gltf("\"meshes\":[{\"name\":\"m\",\"primitives\":[" + primitive +
                                      "]" + c.extras + "}]"),
                         scene)
                        .ok)
            << c.what;
        const ImportedMesh& mesh = scene.meshes[0];
        ASSERT_EQ(mesh.targets.size(), 4u);
        for (size_t t = 0; t < 4; ++t) EXPECT_EQ(mesh.targets[t].name, c.names[t]) << c.what;
        EXPECT_EQ(mesh.targets[0].vertices[2].z, 3.0f);
        EXPECT_EQ(mesh.targets[1].vertices[1].x, 2.0f);
        EXPECT_EQ(mesh.targets[2].vertices[2].y, 6.0f);
        EXPECT_EQ(mesh.targets[2].vertices[1].y, 0.0f);
        EXPECT_EQ(mesh.targets[3].vertices[1].x, 1.0f);  // a target without positions moves nothing
    }
}

TEST(GltfReader, every_animation_of_weights_is_kept_once_for_each_mesh_it_drives) {
    ImportedScene scene;
    ASSERT_TRUE(read(testing::two_animations_gltf(), scene).ok);
    ASSERT_EQ(scene.meshes.size(), 2u);
    EXPECT_EQ(scene.meshes[1].name, "lower_teeth_and");
    EXPECT_EQ(name_in_file(scene, 1), "lower teeth and tongue");
    EXPECT_EQ(name_in_file(scene, 1, 0), "jaw open as wide as it goes");
    EXPECT_EQ(name_in_file(scene, 0, 1), "t1");
    struct Want {
        size_t clip, mesh;
        const char* name;
        std::vector<float> times;
    };
    const Want wants[] = {{0, 0, "blink", {0.0f, 0.1f, 0.2f}},
                          {1, 0, "talk", {0.0f, 1.5f, 3.0f}},
                          {1, 1, "talk", {0.0f, 3.0f}}};
    ASSERT_EQ(scene.animations.size(), std::size(wants));
    for (size_t a = 0; a < std::size(wants); ++a) {
        const WeightsAnimation& animation = scene.animations[a];
        EXPECT_EQ(animation.clip, wants[a].clip) << a;
        EXPECT_EQ(animation.mesh, wants[a].mesh) << a;
        EXPECT_EQ(animation.name, wants[a].name) << a;
        EXPECT_EQ(animation.times, wants[a].times) << a;
        EXPECT_EQ(animation.targets, scene.meshes[wants[a].mesh].targets.size()) << a;
    }

    // Helper meshes of lines are left out with the animations of them; the others keep theirs.
    ImportedScene helpers;
    helpers.meshes.resize(3);
    helpers.meshes[1].triangles.push_back(Triangle{{0, 0, 0}, 0});
    for (size_t m : {2, 1, 0}) {
        helpers.animations.emplace_back();
        helpers.animations.back().mesh = m;
        helpers.animations.back().name = "a" + std::to_string(m);
    }
    leave_out_meshes_without_triangles(helpers);
    ASSERT_EQ(helpers.meshes.size(), 1u);
    ASSERT_EQ(helpers.animations.size(), 1u);
    EXPECT_EQ(helpers.animations[0].name, "a1");
    EXPECT_EQ(helpers.animations[0].mesh, 0u);
}

TEST(GltfReader, damaged_and_hostile_files_are_refused_with_the_reason) {
    TwoRuns fixture;
    const std::string good = fixture.file();
    const auto with = [&](const std::string& from, const std::string& to) {
        std::string bytes = good;
        const size_t at = bytes.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? bytes : bytes.replace(at, from.size(), to);
    };
    std::string deep = "1";
    for (int i = 0; i < 100; ++i) deep = "[" + deep + "]";
    ImportLimits tight;
    tight.max_positions = 5;
    GltfBuilder other;
    const int three = other.add_points({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    const int wrong = other.add_indices({0, 1, 7});
    const std::string beyond = other.gltf(
        "\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":" + std::to_string(three) +
        "},\"indices\":" + std::to_string(wrong) + "}]}]");
    struct Case {
        const char* what;
        std::string bytes;
        const char* words;
        ImportLimits limits;
    };
    const Case cases[] = {
        {"count beyond the view",
         with("\"count\":4,\"type\":\"VEC3\"", "\"count\":9,\"type\":\"VEC3\""),
         "needs 108 bytes",
         {}},
        {"indices past their view",
         with("\"count\":3,\"type\":\"SCALAR\"",
              "\"count\":3,\"type\":\"SCALAR\",\"byteOffset\":2"),
         "needs",
         {}},
        {"index beyond the vertices", beyond, "uses vertex 7 of 3", {}},
        {"stride below the element",
         with("\"byteLength\":48}", "\"byteLength\":48,\"byteStride\":4}"),
         "stride",
         {}},
        {"material beyond the list",
         with("\"material\":1}", "\"material\":7}"),
         "names material 7",
         {}},
        {"nesting", with("\"asset\":{", "\"extras\":" + deep + ",\"asset\":{"), "nests deeper", {}},
        {"over the limit", good, "elements an import reads", tight},
        {"not json", "{\"asset\": [", "", {}},
        {"unknown mode", with("\"material\":0}", "\"material\":0,\"mode\":9}"), "mode 9", {}},
    };
    for (const Case& c : cases) {
        ImportedScene scene;
        const ImportOutcome outcome = read(c.bytes, scene, c.limits);
        EXPECT_FALSE(outcome.ok) << c.what;
        EXPECT_EQ(testing::untranslated(outcome.reason), "") << c.what;
        EXPECT_NE(outcome.reason.en.find(c.words), std::string::npos)
            << c.what << ": " << outcome.reason.en;
        EXPECT_TRUE(scene.meshes.empty()) << c.what;
    }
}

TEST(GltfReader, every_cut_short_binary_file_is_refused) {
    TwoRuns fixture;
    const std::string file = fixture.file();
    const std::string glb = fixture.builder.glb(
        file.substr(file.find("\"meshes\""), file.size() - file.find("\"meshes\"") - 1));
    ImportedScene scene;
    ASSERT_TRUE(read(glb, scene).ok);
    for (size_t length = 0; length < glb.size(); ++length) {
        const ImportOutcome outcome = read(glb.substr(0, length), scene);
        EXPECT_FALSE(outcome.ok) << "cut at " << length;
        EXPECT_FALSE(outcome.reason.empty()) << "cut at " << length;
    }
}

TEST(GltfReader, meshes_beyond_what_an_object_file_holds_are_refused_naming_the_limit) {
    GltfBuilder builder;
    const int points = builder.add_points({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    std::string meshes;
    for (int i = 0; i < 101; ++i) {
        meshes += (i ? "," : "") + std::string("{\"primitives\":[{\"attributes\":{\"POSITION\":") +
                  std::to_string(points) + "}}]}";
    }
    ImportedScene scene;
    ImportOutcome outcome = read(builder.gltf("\"meshes\":[" + meshes + "]"), scene);
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.reason.en.find("holds 101 meshes; an object file holds at most 100"),
              std::string::npos)
        << outcome.reason.en;
}

}  // namespace
}  // namespace warpkit
