// warpkit-export qxm and project: what they write, how a glTF weights animation becomes keys,
// and the round trip glTF -> project -> glTF at the same frame rate, which keeps every weight
// at every frame within 0.01 percent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

#include "export/command_line.h"
#include "export/export_fixture.h"
#include "import/animation_keys.h"
#include "import/gltf_reader.h"
#include "morph/key_track.h"
#include "support/compressed_glb.h"
#include "support/mesh_fixtures.h"

namespace warpkit::exporting {
namespace {

using testing::run_tool;
using warpkit::testing::TempFolder;

const std::string kMorphCube =
    std::string(WARPKIT_TEST_MODELS) +
    "/glTF2/glTF-Sample-Models/AnimatedMorphCube-glTF/AnimatedMorphCube.gltf";

// The largest difference, in percent, between two files' animations at every frame of the
// longer one.
double largest_weight_difference(const WeightsAnimation& a, const WeightsAnimation& b, double fps) {
    EXPECT_EQ(a.targets, b.targets);
    const double last = std::max(a.times.back(), b.times.back()) * fps;
    double largest = 0.0;
    for (int frame = 0; frame <= static_cast<int>(std::ceil(last)); ++frame) {
        for (size_t j = 0; j < std::min(a.targets, b.targets); ++j) {
            const double time = static_cast<float>(frame / fps);  // as a file holds it
            largest = std::max(largest, 100.0 * std::fabs(animation_weight(a, j, time) -
                                                          animation_weight(b, j, time)));
        }
    }
    return largest;
}

// Where two lists of points first differ (both sizes compared first), or -1.
long first_difference(const std::vector<Vec3>& a, const std::vector<Vec3>& b) {
    for (size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        if (i >= a.size() || i >= b.size() || a[i].x != b[i].x || a[i].y != b[i].y ||
            a[i].z != b[i].z) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

TEST(ExportImport, a_gltf_morph_animation_survives_project_and_export_at_the_same_frame_rate) {
    TempFolder folder;
    ImportedScene original;
    ASSERT_TRUE(read_gltf_file(kMorphCube, ImportLimits{}, original).ok)
        << "scripts/setup.sh installs assimp-testmodels";
    // At 30 fps the cube's keys lie on whole frames and are kept; at 24 they are sampled.
    for (const char* fps : {"30", "24", "59.94"}) {
        SCOPED_TRACE(fps);
        const std::string project = folder.file(std::string("cube") + fps + ".twp");
        const testing::ToolRun made =
            run_tool({"project", kMorphCube, "-o", project, "--fps", fps});
        ASSERT_EQ(made.status, kExitDone) << made.err;
        EXPECT_NE(made.out.find(std::string(fps) == "30" ? "the animation's keys kept"
                                                         : "sampled at every frame"),
                  std::string::npos)
            << made.out;
        const std::string glb = folder.file(std::string("cube") + fps + ".glb");
        const testing::ToolRun exported = run_tool({"gltf", project, "-o", glb, "--fps", fps});
        ASSERT_EQ(exported.status, kExitDone) << exported.err;
        ImportedScene back;
        ASSERT_TRUE(read_gltf_file(glb, ImportLimits{}, back).ok);
        ASSERT_EQ(back.animations.size(), 1u);
        EXPECT_LE(largest_weight_difference(original.animations.at(0), back.animations[0],
                                            std::stod(fps)),
                  0.01);
        // The shape comes back too: the same vertices in the same order.
        ASSERT_EQ(back.meshes[0].vertices.size(), original.meshes[0].vertices.size());
        for (size_t i = 0; i < original.meshes[0].vertices.size(); ++i) {
            EXPECT_NEAR(back.meshes[0].vertices[i].x, original.meshes[0].vertices[i].x, 1e-5f);
            EXPECT_NEAR(back.meshes[0].targets[1].vertices[i].y,
                        original.meshes[0].targets[1].vertices[i].y, 1e-5f);
        }
    }
}

// One animated mesh in every form the export writes and the import reads (meshopt, Draco, with
// normals and sparse targets): each imports to the plain file's positions, moves and keys, as
// the commands and the window take it. What cannot be read is refused saying what it is.
TEST(ExportImport, compressed_forms_of_one_animation_import_as_the_plain_file_does) {
    testing::ExportFixture fixture;
    const testing::FaceProject face(fixture);
    const auto exported = [&](const std::string& name, std::vector<std::string> options) {
        std::vector<std::string> args = {"gltf", face.path, "-o", fixture.folder.file(name)};
        args.insert(args.end(), options.begin(), options.end());
        const testing::ToolRun run = run_tool(args);
        EXPECT_EQ(run.status, kExitDone) << name << ": " << run.err;
        return fixture.folder.file(name);
    };
    const auto saved = [&](const std::string& name, const std::string& bytes) {
        warpkit::testing::write_text(fixture.folder.file(name), bytes);
        return fixture.folder.file(name);
    };
    const std::string plain = exported("plain.glb", {});
    std::ifstream in(plain, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ImportedScene expected;
    ASSERT_TRUE(read_gltf_file(plain, ImportLimits{}, expected).ok);
    ASSERT_EQ(expected.meshes.size(), 1u);
    ASSERT_EQ(expected.meshes[0].targets.size(), 2u);
    const std::string meshopt = warpkit::testing::meshopt_glb(bytes);
    const std::string draco = warpkit::testing::draco_glb(bytes);
    using nlohmann::json;
    using warpkit::testing::edited_glb;
    const auto view_extension = [](json& root) -> json& {
        return root["bufferViews"][0]["extensions"]["EXT_meshopt_compression"];
    };
    std::string spoiled = meshopt;
    spoiled[20 + (spoiled[12] & 0xFF) + ((spoiled[13] & 0xFF) << 8) + 8] = 0;  // a codec header
    ImportLimits tight;
    tight.max_positions = 20;

    struct Case {
        const char* what;
        std::string path;
        const char* refusal;  // empty: imports as the plain file does
        ImportLimits limits;
    };
    const Case cases[] = {
        {"--compress", exported("meshopt.glb", {"--compress"}), "", {}},
        {"--compress as text", exported("meshopt.gltf", {"--compress"}), "", {}},
        {"--compress --normals", exported("normals.glb", {"--compress", "--normals"}), "", {}},
        {"meshopt of every view", saved("every.glb", meshopt), "", {}},
        {"Draco", saved("draco.glb", draco), "", {}},
        {"unknown required extension",
         saved("xyz.glb",
               edited_glb(bytes, [](json& root) { root["extensionsRequired"] = {"KHR_xyz"}; })),
         "it needs KHR_xyz, which Warpkit does not read",
         {}},
        {"glTF 1.0",
         saved("one.glb", edited_glb(bytes, [](json& root) { root["asset"]["version"] = "1.0"; })),
         "it is a glTF 1.0 file (version 1.0)",
         {}},
        {"no asset",
         saved("bare.glb", edited_glb(bytes, [](json& root) { root.erase("asset"); })),
         "no asset object",
         {}},
        {"meshopt bytes spoiled", saved("spoiled.glb", spoiled), "do not decode", {}},
        {"meshopt count beyond its view",
         saved("count.glb", edited_glb(meshopt,
                                       [&](json& root) {
                                           view_extension(root)["count"] =
                                               view_extension(root)["count"].get<int>() + 1;
                                       })),
         "does not make its",
         {}},
        {"meshopt beyond the budget", saved("tight.glb", meshopt), "decodes to", tight},
        {"Draco vertices unlike its accessor",
         saved("fewer.glb",
               edited_glb(draco,
                          [](json& root) {
                              const int position =
                                  root["meshes"][0]["primitives"][0]["attributes"]["POSITION"];
                              root["accessors"][position]["count"] = 5;
                          })),
         "vertices where its accessor has 5",
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImportedScene scene;
        const ImportOutcome outcome = read_gltf_file(c.path, c.limits, scene);
        if (*c.refusal) {
            EXPECT_FALSE(outcome.ok);
            EXPECT_NE(outcome.reason.en.find(c.refusal), std::string::npos) << outcome.reason.en;
            EXPECT_NE(outcome.reason.ja, outcome.reason.en);
            continue;
        }
        ASSERT_TRUE(outcome.ok) << outcome.reason.en;
        std::ifstream file(c.path, std::ios::binary);
        const std::string held((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
        EXPECT_TRUE(held.find("EXT_meshopt_compression") != std::string::npos ||
                    held.find("KHR_draco_mesh_compression") != std::string::npos)
            << "the file is not compressed";
        ASSERT_EQ(scene.meshes.size(), 1u);
        const ImportedMesh& mesh = scene.meshes[0];
        const ImportedMesh& want = expected.meshes[0];
        EXPECT_EQ(first_difference(mesh.vertices, want.vertices), -1);
        ASSERT_EQ(mesh.triangles.size(), want.triangles.size());
        // meshopt's index codec may start a triangle at another corner; it faces the same way
        const auto turned = [](const Triangle& t) {
            const int first =
                t.v[0] < t.v[1] ? (t.v[0] < t.v[2] ? 0 : 2) : (t.v[1] < t.v[2] ? 1 : 2);
            return std::vector<int32_t>{t.v[first], t.v[(first + 1) % 3], t.v[(first + 2) % 3],
                                        t.colour};
        };
        for (size_t t = 0; t < want.triangles.size(); ++t)
            EXPECT_EQ(turned(mesh.triangles[t]), turned(want.triangles[t])) << t;
        ASSERT_EQ(mesh.targets.size(), want.targets.size());
        for (size_t t = 0; t < want.targets.size(); ++t) {
            EXPECT_EQ(mesh.targets[t].name, want.targets[t].name);
            EXPECT_EQ(first_difference(mesh.targets[t].vertices, want.targets[t].vertices), -1);
        }
        ASSERT_EQ(scene.animations.size(), 1u);
        EXPECT_EQ(scene.animations[0].times, expected.animations.at(0).times);
        EXPECT_EQ(scene.animations[0].values, expected.animations.at(0).values);
    }
}

// What glTF Transform's meshopt and Draco commands make of an exported file: quantized positions
// and moves, vertices welded and renumbered, each primitive with vertices of its own. The import
// keeps the shape, every target's moves and the keys, to the quantization's step.
TEST(ExportImport, gltf_transforms_compressed_outputs_import_to_the_same_shape_moves_and_keys) {
    testing::ExportFixture fixture;
    const testing::FaceProject face(fixture);
    const std::string plain = fixture.folder.file("plain.glb");
    ASSERT_EQ(run_tool({"gltf", face.path, "-o", plain}).status, kExitDone);
    ImportedScene expected;
    ASSERT_TRUE(read_gltf_file(plain, ImportLimits{}, expected).ok);
    const ImportedMesh& want = expected.meshes.at(0);
    // 14 bits over the mesh's extent (3 x 2 units), both codecs' default for positions
    const float step = 3.0f / (1 << 13);
    const auto near = [step](const Vec3& a, const Vec3& b) {
        return std::fabs(a.x - b.x) <= step && std::fabs(a.y - b.y) <= step &&
               std::fabs(a.z - b.z) <= step;
    };
    const auto move = [](const MorphShape& target, const std::vector<Vec3>& base, size_t i) {
        const Vec3& at = target.vertices[i];
        return Vec3{at.x - base[i].x, at.y - base[i].y, at.z - base[i].z};
    };
    for (const char* method : {"meshopt", "draco"}) {
        SCOPED_TRACE(method);
        const std::string out = fixture.folder.file(std::string(method) + ".glb");
        const testing::ValidatorRun compressed =
            testing::run_command("node '" WARPKIT_GLTF_COMPRESS_SCRIPT
                                 "' '" WARPKIT_GLTF_VALIDATOR_DIR "' " +
                                 std::string(method) + " '" + plain + "' '" + out + "'");
        ASSERT_EQ(compressed.status, 0) << compressed.output;
        ImportedScene scene;
        const ImportOutcome outcome = read_gltf_file(out, ImportLimits{}, scene);
        ASSERT_TRUE(outcome.ok) << outcome.reason.en;
        ASSERT_EQ(scene.meshes.size(), 1u);
        const ImportedMesh& mesh = scene.meshes[0];
        ASSERT_EQ(mesh.triangles.size(), want.triangles.size());
        ASSERT_EQ(mesh.targets.size(), want.targets.size());
        // Every vertex lies where one of the plain file's lies, and moves with each target as
        // that one does.
        for (size_t i = 0; i < mesh.vertices.size(); ++i) {
            size_t match = want.vertices.size();
            for (size_t j = 0; j < want.vertices.size() && match == want.vertices.size(); ++j) {
                if (near(mesh.vertices[i], want.vertices[j])) match = j;
            }
            ASSERT_LT(match, want.vertices.size()) << "vertex " << i << " lies nowhere";
            for (size_t t = 0; t < want.targets.size(); ++t) {
                EXPECT_TRUE(near(move(mesh.targets[t], mesh.vertices, i),
                                 move(want.targets[t], want.vertices, match)))
                    << "vertex " << i << ", target " << want.targets[t].name;
            }
        }
        // Every triangle covers one of the plain file's, by the corners' positions.
        for (const Triangle& got : mesh.triangles) {
            const bool found = std::any_of(
                want.triangles.begin(), want.triangles.end(), [&](const Triangle& w) {
                    for (int turn = 0; turn < 3; ++turn) {
                        bool all = true;
                        for (int c = 0; c < 3; ++c) {
                            all = all && near(mesh.vertices[got.v[c]],
                                              want.vertices[w.v[(c + turn) % 3]]);
                        }
                        if (all) return true;
                    }
                    return false;
                });
            EXPECT_TRUE(found) << "a triangle the plain file does not have";
        }
        EXPECT_EQ(mesh.targets[0].name, want.targets[0].name);
        ASSERT_EQ(scene.animations.size(), 1u);
        EXPECT_EQ(scene.animations[0].times, expected.animations.at(0).times);
        ASSERT_EQ(scene.animations[0].values.size(), expected.animations[0].values.size());
        for (size_t k = 0; k < scene.animations[0].values.size(); ++k) {
            EXPECT_NEAR(scene.animations[0].values[k], expected.animations[0].values[k], 1e-3);
        }
    }
}

TEST(ExportImport, keys_are_kept_on_whole_frames_and_sampled_otherwise) {
    const auto animation = [](Interpolation interpolation, std::vector<float> times,
                              std::vector<float> values) {
        WeightsAnimation out;
        out.interpolation = interpolation;
        out.times = std::move(times);
        out.values = std::move(values);
        out.targets = 1;
        return out;
    };
    struct Case {
        const char* what;
        WeightsAnimation animation;
        bool sampled;
        int32_t max_frame;
        std::vector<std::pair<int32_t, float>> some_keys;  // (frame, percent) that must be there
    };
    const Case cases[] = {
        {"linear on frames, the first held back to 0",
         animation(Interpolation::kLinear, {0.5f, 1.0f}, {0.2f, 1.0f}),
         false,
         10,
         {{0, 20.0f}, {5, 20.0f}, {10, 100.0f}}},
        {"linear off frames",
         animation(Interpolation::kLinear, {0.0f, 0.33f}, {0.0f, 1.0f}),
         true,
         4,
         {{3, 90.91f}, {4, 100.0f}}},
        {"step",
         animation(Interpolation::kStep, {0.0f, 0.2f}, {0.25f, 0.75f}),
         true,
         2,
         {{1, 25.0f}, {2, 75.0f}}},
        {"cubic spline, flat tangents",
         animation(Interpolation::kCubicSpline, {0.0f, 0.4f}, {0, 0, 0, 0, 1, 0}),
         true,
         4,
         {{2, 50.0f}, {1, 15.625f}}},
    };
    for (const Case& c : cases) {
        const AnimationKeys keys = keys_from_animation(c.animation, 10.0);
        EXPECT_EQ(keys.sampled, c.sampled) << c.what;
        EXPECT_EQ(keys.max_frame, c.max_frame) << c.what;
        ASSERT_EQ(keys.tracks.size(), 1u);
        for (const auto& [frame, percent] : c.some_keys) {
            EXPECT_NEAR(evaluate_track(keys.tracks[0], frame).weight, percent, 0.0051)
                << c.what << " at " << frame;
        }
        EXPECT_LE(largest_key_error(c.animation, keys, 10.0), 0.01) << c.what;
    }
}

TEST(ExportImport, default_weights_become_keys_under_the_limit_animations_have) {
    const AnimationKeys kept = keys_from_default_weights({100.0f, -0.123456f}, 3);
    ASSERT_EQ(kept.tracks.size(), 3u);  // the third target has no weight: 0
    EXPECT_EQ(kept.tracks[0].weights, std::vector<float>{10000.0f});
    EXPECT_EQ(kept.tracks[1].weights, std::vector<float>{-12.35f});
    EXPECT_EQ(kept.tracks[2].frames, std::vector<int32_t>{0});
    EXPECT_EQ(kept.tracks[2].weights, std::vector<float>{0.0f});
    for (const float beyond : {-100.01f, std::nanf("")}) {
        EXPECT_TRUE(keys_from_default_weights({0.0f, beyond}, 2).tracks.empty());
        EXPECT_NE(keys_from_default_weights({0.0f, beyond}, 2).problem.en.find("morph target 2"),
                  std::string::npos);
    }
    // and the tool refuses a file of such a weight rather than writing a key of 1e32 percent
    TempFolder folder;
    std::string text = warpkit::testing::grid_gltf(2);
    text.replace(text.find("\"weights\":[0.5"), 14, "\"weights\":[1e30");
    warpkit::testing::write_text(folder.file("huge.gltf"), text);
    const testing::ToolRun run =
        run_tool({"project", folder.file("huge.gltf"), "-o", folder.file("huge.twp")});
    EXPECT_EQ(run.status, kExitRefused);
    EXPECT_NE(
        run.err.find("morph target 1 has a default weight of 1e+32 percent, beyond the 10000"),
        std::string::npos)
        << run.err;
}

TEST(ExportImport, project_names_the_mesh_and_its_first_eight_targets_in_an_object_file_beside_it) {
    TempFolder folder;
    warpkit::testing::write_text(folder.file("ten.gltf"), warpkit::testing::grid_gltf(10));
    warpkit::testing::write_text(folder.file("ten.qxm"), "taken");
    const testing::ToolRun run =
        run_tool({"project", folder.file("ten.gltf"), "-o", folder.file("ten.twp")});
    ASSERT_EQ(run.status, kExitDone) << run.err;
    EXPECT_NE(run.err.find("morph target 10 (t9) is left out"), std::string::npos) << run.err;
    ProjectData data;
    ASSERT_TRUE(read_project_file(folder.file("ten.twp"), data).ok);
    EXPECT_EQ(data.source_path, folder.file("ten-2.qxm"));  // ten.qxm was taken
    EXPECT_EQ(data.source_name, "grid_face");
    EXPECT_EQ(data.max_frame, 100);
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(data.targets[k].path, folder.file("ten-2.qxm"));
        EXPECT_EQ(data.targets[k].name, "t" + std::to_string(k));
        ASSERT_EQ(data.targets[k].keys.count(), 1);  // no animation: the default weight at frame 0
    }
    EXPECT_EQ(data.targets[0].keys.weights[0], 50.0f);
    const testing::ToolRun checked = run_tool({"check", folder.file("ten.twp")});
    EXPECT_NE(checked.out.find("8 of 8 targets loaded"), std::string::npos) << checked.out;
}

std::vector<std::string> target_names_in(const std::string& path) {
    ImportedScene scene;
    const ImportOutcome read = read_gltf_file(path, ImportLimits{}, scene);
    EXPECT_TRUE(read.ok) << path << ": " << read.reason.en;
    std::vector<std::string> names;
    if (read.ok) {
        for (const MorphShape& target : scene.meshes.at(0).targets) names.push_back(target.name);
    }
    return names;
}

size_t count_of(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// Import says every name it changes; export and import again give the names of the first trip,
// numbered or plain; an export onto the original gives the original's names in full.
TEST(ExportImport, names_are_reported_when_changed_and_stay_the_same_over_round_trips) {
    TempFolder folder;
    const std::vector<std::string> face = {
        "Smile",           "mouthLowerDownLeft", "eyeBlinkLeft",
        "Brow Up",         "expression_happy_A", "expression_happy_B",
        "cheekSquintRight"};
    const std::string original = folder.file("face.glb");
    warpkit::testing::write_text(original, warpkit::testing::named_grid_glb(face));

    const std::string stored_line = "warpkit-export: warning: " + original +
                                    ": mesh \"Face_Mesh\", morph target 2: \"mouthLowerDownLeft\" "
                                    "is stored as \"mouthLowerDownL\"\n";
    const testing::ToolRun made = run_tool({"project", original, "-o", folder.file("p1.twp")});
    ASSERT_EQ(made.status, kExitDone) << made.err;
    const testing::ToolRun converted = run_tool({"qxm", original, "-o", folder.file("f.qxm")});
    ASSERT_EQ(converted.status, kExitDone) << converted.err;
    for (const std::string& err : {made.err, converted.err}) {
        EXPECT_EQ(count_of(err, " is stored as "), 6u) << err;  // the mesh and five targets
        EXPECT_NE(err.find(stored_line), std::string::npos) << err;
        EXPECT_NE(err.find(": mesh \"Face Mesh\" is stored as \"Face_Mesh\"\n"), std::string::npos)
            << err;
    }
    EXPECT_NE(converted.out.find("\nrenamed 4 Brow%20Up\n"), std::string::npos) << converted.out;

    struct Trip {
        const char* naming;
        std::vector<std::string> names;
    };
    const Trip trips[] = {
        {"numbered",
         {"1 Smile", "2 mouthLowerDownL", "3 eyeBlinkLeft", "4 Brow_Up", "5 expression_happ",
          "6 expression_ha~2", "7 cheekSquintRigh"}},
        {"plain",
         {"Smile", "mouthLowerDownL", "eyeBlinkLeft", "Brow_Up", "expression_happ",
          "expression_ha~2", "cheekSquintRigh"}},
    };
    for (const Trip& trip : trips) {
        SCOPED_TRACE(trip.naming);
        std::string project = folder.file("p1.twp");
        for (int pass = 1; pass <= 3; ++pass) {
            const std::string glb = folder.file(trip.naming + std::to_string(pass) + ".glb");
            const testing::ToolRun exported =
                run_tool({"gltf", project, "-o", glb, "--names", trip.naming});
            ASSERT_EQ(exported.status, kExitDone) << exported.err;
            EXPECT_EQ(target_names_in(glb), trip.names) << "pass " << pass;
            project = folder.file(trip.naming + std::to_string(pass) + ".twp");
            const testing::ToolRun again = run_tool({"project", glb, "-o", project});
            ASSERT_EQ(again.status, kExitDone) << again.err;
            EXPECT_EQ(again.err.find("stored as"), std::string::npos) << again.err;
        }
    }

    const std::string onto = folder.file("onto.glb");
    const testing::ToolRun whole =
        run_tool({"gltf", folder.file("p1.twp"), "--onto", original, "-o", onto});
    ASSERT_EQ(whole.status, kExitDone) << whole.err;
    EXPECT_EQ(target_names_in(onto), face);
}

TEST(ExportImport, qxm_writes_each_mesh_with_its_targets_and_refuses_what_it_cannot_do) {
    TempFolder folder;
    const std::string out = folder.file("cube.qxm");
    testing::ToolRun run = run_tool({"qxm", kMorphCube, "-o", out});
    ASSERT_EQ(run.status, kExitDone) << run.err;
    EXPECT_NE(run.out.find("    1  thin                   24         12  0"), std::string::npos)
        << run.out;
    ObjectTable table;
    ASSERT_TRUE(read_object_table(out, table).ok());
    ASSERT_EQ(table.objects.size(), 3u);
    EXPECT_EQ(table.objects[2].name, "angle");

    struct Case {
        std::vector<std::string> args;
        int status;
        const char* words;
    };
    const Case cases[] = {
        {{"qxm", kMorphCube, "-o", out}, kExitRefused, "already exists"},
        {{"qxm", kMorphCube, "-o", folder.file("one.qxm"), "--object", "Box"},
         kExitRefused,
         "holds no mesh named Box (it holds Cube)"},
        {{"qxm", out, "-o", folder.file("again.qxm")},
         kExitRefused,
         "is a QXM object file already"},
        {{"project", out, "-o", folder.file("p.twp")},
         kExitRefused,
         "is a QXM object file, not a mesh file"},
        {{"qxm", kMorphCube, "-o", folder.file("x.obj")},
         kExitUsage,
         "the output of qxm must end in .qxm"},
        {{"project", kMorphCube}, kExitUsage, "project needs an output file (-o OUT.twp)"},
        {{"project", kMorphCube, "-o", "p.twp", "--object", "Cube"},
         kExitUsage,
         "project takes no option --object"},
    };
    for (const Case& c : cases) {
        run = run_tool(c.args);
        EXPECT_EQ(run.status, c.status) << c.words;
        EXPECT_NE(run.err.find(c.words), std::string::npos) << run.err;
    }
}

}  // namespace
}  // namespace warpkit::exporting
