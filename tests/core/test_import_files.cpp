// Reading objects out of any file: which reader a file goes to, the formats read through
// warpkit-export in a child process (FBX, COLLADA, PLY, STL of the public test models, and FBX
// blend shapes, units and animations written here, with the animation the child passes back), what
// a child that fails, hangs or crashes costs, the names an import keeps and where its object file
// goes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

#include "import/any_object_reader.h"
#include "import/child_import.h"
#include "import/gltf_reader.h"
#include "import/qxm_beside.h"
#include "morph/key_track.h"
#include "project/project_file.h"
#include "support/import_checks.h"
#include "support/mesh_fixtures.h"
#include "support/qxm_writer.h"

namespace warpkit {
namespace {

using testing::TempFolder;

const std::string kModels = WARPKIT_TEST_MODELS;

ChildLimits limits() {
    return child_limits_for(int64_t{1} << 20);
}

ImportOutcome in_child(const std::string& path, ImportedScene& scene) {
    return finish_import(import_in_child(WARPKIT_EXPORT_TOOL, path, limits(), scene), scene);
}

std::string bytes_of(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool same_point(const Vec3& a, const Vec3& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

TEST(ImportFiles, a_file_goes_to_the_reader_its_first_bytes_then_its_name_call_for) {
    TempFolder folder;
    struct Case {
        const char* name;
        std::string start;
        ObjectFileKind kind;
    };
    const Case cases[] = {
        {"a.qxm", "anything", ObjectFileKind::kQxm},
        {"a.obj", "QXM v91 and more", ObjectFileKind::kQxm},
        {"a.bin", std::string("glTF\x02\0\0\0", 8), ObjectFileKind::kGltf},
        {"a.GLTF", "{}", ObjectFileKind::kGltf},
        {"noname", "  {\"asset\":{}}", ObjectFileKind::kGltf},
        {"a.Obj", "v 0 0 0", ObjectFileKind::kObj},
        {"a.FBX", "", ObjectFileKind::kInChild},
        {"a.stl", "solid x", ObjectFileKind::kInChild},
        {"model", "Kaydara FBX Binary  ", ObjectFileKind::kInChild},
        {"model2", "ply\nformat ascii 1.0", ObjectFileKind::kInChild},
        {"a.txt", "hello", ObjectFileKind::kQxm},
    };
    for (const Case& c : cases) {
        testing::write_text(folder.file(c.name), c.start);
        EXPECT_EQ(object_file_kind(folder.file(c.name)), c.kind) << c.name;
    }
}

TEST(ImportFiles, test_models_read_in_the_child_keep_their_vertices_as_stored) {
    // PLY keeps its vertex list: the cube's eight vertices as its file lists them.
    ImportedScene ply;
    ImportOutcome outcome = in_child(kModels + "/PLY/cube.ply", ply);
    ASSERT_TRUE(outcome.ok) << outcome.reason.en
                            << " (scripts/setup.sh installs assimp-testmodels)";
    ASSERT_EQ(ply.meshes.size(), 1u);
    std::istringstream text(bytes_of(kModels + "/PLY/cube.ply"));
    std::string line;
    while (std::getline(text, line) && line.rfind("end_header", 0) != 0) {
    }
    ASSERT_EQ(ply.meshes[0].vertices.size(), 8u);
    for (const Vec3& v : ply.meshes[0].vertices) {
        Vec3 stored;
        ASSERT_TRUE(text >> stored.x >> stored.y >> stored.z);
        EXPECT_TRUE(same_point(v, stored));
    }
    EXPECT_EQ(ply.meshes[0].triangles.size(), 12u);  // six quads, fanned
    EXPECT_EQ(ply.joined_corners, 0);

    // STL keeps three corners per facet, as the binary file stores them.
    ImportedScene stl;
    outcome = in_child(kModels + "/STL/Spider_binary.stl", stl);
    ASSERT_TRUE(outcome.ok) << outcome.reason.en;
    const std::string bytes = bytes_of(kModels + "/STL/Spider_binary.stl");
    uint32_t facets = 0;
    std::memcpy(&facets, bytes.data() + 80, 4);
    const ImportedMesh& spider = stl.meshes[0];
    EXPECT_EQ(spider.name, "Spider_binary");
    ASSERT_EQ(spider.vertices.size(), 3u * facets);
    for (uint32_t f = 0; f < facets; ++f) {
        for (int c = 0; c < 3; ++c) {
            Vec3 stored;
            std::memcpy(&stored, bytes.data() + 84 + 50 * f + 12 + 12 * c, sizeof stored);
            EXPECT_TRUE(same_point(spider.vertices[3 * f + c], stored)) << "facet " << f;
        }
    }

    // FBX and COLLADA come split per polygon corner and are joined back to their points.
    struct Joined {
        const char* file;
        const char* name;
        size_t vertices;
        size_t triangles;
    };
    for (const Joined& c : {Joined{"/FBX/box.fbx", "root", 8, 12},
                            Joined{"/Collada/duck.dae", "LOD3sp", 2108, 4212}}) {
        ImportedScene scene;
        outcome = in_child(kModels + c.file, scene);
        ASSERT_TRUE(outcome.ok) << c.file << ": " << outcome.reason.en;
        EXPECT_EQ(scene.meshes[0].name, c.name);
        EXPECT_EQ(scene.meshes[0].vertices.size(), c.vertices) << c.file;
        EXPECT_EQ(scene.meshes[0].triangles.size(), c.triangles) << c.file;
        EXPECT_GT(scene.joined_corners, 0) << c.file;
    }
}

// A square of four points with two lip points in its middle: closed in the base, opened by the
// "open" blend shape, and moved together by "pout".
testing::FbxMesh lips(bool open_moves_them_apart) {
    testing::FbxMesh mesh;
    mesh.points = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}, {1, 1, 0}, {1, 1, 0}};
    mesh.polygons = {{0, 1, 4}, {1, 2, 4}, {2, 3, 5}, {3, 0, 5}};
    mesh.colours = {{1, 0, 0}, {0, 0, 1}};
    mesh.polygon_materials = {0, 0, 1, 1};
    const float apart = open_moves_them_apart ? -0.5f : 0.5f;
    mesh.shapes = {{"open", {4, 5}, {{0, 0.5f, 0}, {0, apart, 0}}},
                   {"pout", {4, 5}, {{0, 0, 1}, {0, 0, 1}}}};
    return mesh;
}

TEST(ImportFiles, fbx_corners_are_joined_only_where_base_and_every_blend_shape_agree) {
    TempFolder folder;
    struct Case {
        bool apart;
        size_t vertices;
    };
    for (const Case& c : {Case{true, 6}, Case{false, 5}}) {
        SCOPED_TRACE(c.apart ? "lips that open" : "lips that move together");
        testing::write_text(folder.file("lips.fbx"), testing::fbx_text(lips(c.apart)));
        ImportedScene scene;
        const ImportOutcome outcome = in_child(folder.file("lips.fbx"), scene);
        ASSERT_TRUE(outcome.ok) << outcome.reason.en;
        ASSERT_EQ(scene.meshes.size(), 1u);
        const ImportedMesh& face = scene.meshes[0];
        EXPECT_EQ(face.name, "Face");
        ASSERT_EQ(face.vertices.size(), c.vertices);
        EXPECT_EQ(scene.joined_corners, 12 - static_cast<int64_t>(c.vertices));
        ASSERT_EQ(face.targets.size(), 2u);
        EXPECT_EQ(face.targets[0].name, "open");
        EXPECT_EQ(face.targets[1].name, "pout");
        // Every triangle's corners are the polygon's points, in the base and in each shape.
        ASSERT_EQ(face.triangles.size(), 4u);
        const testing::FbxMesh written = lips(c.apart);
        for (size_t t = 0; t < 4; ++t) {
            for (int k = 0; k < 3; ++k) {
                const auto v = static_cast<size_t>(face.triangles[t].v[k]);
                const int32_t point = written.polygons[t][static_cast<size_t>(k)];
                EXPECT_TRUE(
                    same_point(face.vertices[v], written.points[static_cast<size_t>(point)]));
                if (point == 5) {
                    EXPECT_EQ(face.targets[0].vertices[v].y, c.apart ? 0.5f : 1.5f);
                }
                if (point >= 4) {
                    EXPECT_EQ(face.targets[1].vertices[v].z, 1.0f);
                }
            }
            EXPECT_EQ(face.triangles[t].colour, t < 2 ? 0 : 1);
        }
        ASSERT_EQ(scene.palette.size(), 2u);
        EXPECT_EQ(scene.palette.blue[1], 255);
    }
}

// The lips in metres with the blend-shape animations "talk" and "blink", as an exporter writes
// them in a file unit of `unit_scale` centimetres: every length divided by the unit.
testing::FbxMesh talking_lips(double unit_scale, double frame_rate) {
    testing::FbxMesh mesh = lips(true);
    const auto in_unit = [unit_scale](Vec3& p) {
        const auto per_metre = static_cast<float>(100.0 / unit_scale);
        p = Vec3{p.x * per_metre, p.y * per_metre, p.z * per_metre};
    };
    for (Vec3& p : mesh.points) in_unit(p);
    for (testing::FbxShape& shape : mesh.shapes) {
        for (Vec3& move : shape.moves) in_unit(move);
    }
    mesh.unit_scale = unit_scale;
    mesh.frame_rate = frame_rate;
    mesh.stacks = {{"talk", {{0, {0, 0.5, 1}, {0, 100, 0}}, {1, {0.25, 1.5}, {20, 80}}}},
                   {"blink", {{1, {0, 0.2}, {0, 50}}}}};
    return mesh;
}

// "talk" as one weights animation: each shape keyed at every time either has a key, linear
// between its own keys and held past them ("open", then "pout" per key).
const std::vector<float> kTalkTimes = {0, 0.25f, 0.5f, 1, 1.5f};
const std::vector<float> kTalkValues = {0, 0.2f, 0.5f, 0.2f, 1, 0.32f, 0, 0.56f, 0, 0.8f};

// The same lips and "talk" as glTF, in metres.
std::string talking_lips_gltf() {
    const testing::FbxMesh face = lips(true);
    testing::GltfBuilder builder;
    const int points = builder.add_points(face.points);
    std::vector<uint16_t> corners;
    for (const std::vector<int32_t>& polygon : face.polygons) {
        for (const int32_t point : polygon) corners.push_back(static_cast<uint16_t>(point));
    }
    const int indices = builder.add_indices(corners);
    std::string targets;
    for (const testing::FbxShape& shape : face.shapes) {
        std::vector<Vec3> moves(face.points.size());
        for (size_t i = 0; i < shape.indexes.size(); ++i)
            moves[static_cast<size_t>(shape.indexes[i])] = shape.moves[i];
        targets += std::string(targets.empty() ? "" : ",") +
                   "{\"POSITION\":" + std::to_string(builder.add_points(moves, shape.name)) + "}";
    }
    const int times = builder.add_scalars(kTalkTimes);
    const int values = builder.add_scalars(kTalkValues);
    return builder.gltf(
        "\"meshes\":[{\"name\":\"Face\",\"primitives\":[{\"attributes\":{\"POSITION\":" +
        std::to_string(points) + "},\"indices\":" + std::to_string(indices) + ",\"targets\":[" +
        targets +
        "]}]}],\"nodes\":[{\"mesh\":0,\"name\":\"Face\"}],\"animations\":[{\"name\":\"talk\","
        "\"channels\":[{\"sampler\":0,\"target\":{\"node\":0,\"path\":\"weights\"}}],"
        "\"samplers\":[{\"input\":" +
        std::to_string(times) + ",\"output\":" + std::to_string(values) + "}]}]");
}

// The corners of the box around a shape.
std::pair<Vec3, Vec3> box_of(const std::vector<Vec3>& points) {
    Vec3 low = points.front(), high = points.front();
    for (const Vec3& p : points) {
        low = Vec3{std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = Vec3{std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    return {low, high};
}

void expect_near_point(const Vec3& a, const Vec3& b) {
    EXPECT_NEAR(a.x, b.x, 1e-6);
    EXPECT_NEAR(a.y, b.y, 1e-6);
    EXPECT_NEAR(a.z, b.z, 1e-6);
}

// The two targets' names and keys and the number of frames, the weights to `tolerance`.
void expect_same_keys(const ProjectData& got, const ProjectData& wanted, float tolerance) {
    EXPECT_EQ(got.max_frame, wanted.max_frame);
    for (size_t j = 0; j < 2; ++j) {
        const KeyTrack& keys = got.targets[j].keys;
        EXPECT_EQ(got.targets[j].name, wanted.targets[j].name);
        ASSERT_EQ(keys.frames, wanted.targets[j].keys.frames) << j;
        for (size_t k = 0; k < keys.weights.size(); ++k)
            EXPECT_NEAR(keys.weights[k], wanted.targets[j].keys.weights[k], tolerance)
                << j << " " << k;
    }
}

ProjectData project_of(const std::string& mesh_file, const std::string& project) {
    const ChildRun run =
        run_child({WARPKIT_EXPORT_TOOL, "project", mesh_file, "-o", project}, limits());
    EXPECT_EQ(run.exit_status, 0) << run.err;
    EXPECT_NE(run.out.find("frames 0 to 45 at 30 fps"), std::string::npos) << run.out;
    ProjectData data;
    EXPECT_TRUE(read_project_file(project, data).ok) << project;
    return data;
}

TEST(ImportFiles, an_fbx_comes_in_metres_with_its_blend_shape_animation_as_the_gltf_of_it) {
    TempFolder folder;
    testing::write_text(folder.file("face.gltf"), talking_lips_gltf());
    ImportedScene gltf;
    ImportOutcome outcome =
        finish_import(read_gltf_file(folder.file("face.gltf"), ImportLimits{}, gltf), gltf);
    ASSERT_TRUE(outcome.ok) << outcome.reason.en;
    const ImportedMesh& expected = gltf.meshes[0];
    const ProjectData gltf_project = project_of(folder.file("face.gltf"), folder.file("g.twp"));

    struct Case {
        const char* unit;
        double unit_scale;
        double frame_rate;  // the library's ticks a second; 0: its default
    };
    const Case cases[] = {{"centimetres", 1, 0}, {"metres", 100, 24}, {"inches", 2.54, 30}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.unit);
        const std::string fbx = folder.file(std::string(c.unit) + ".fbx");
        testing::write_text(fbx, testing::fbx_text(talking_lips(c.unit_scale, c.frame_rate)));
        ImportedScene scene;
        outcome = in_child(fbx, scene);
        ASSERT_TRUE(outcome.ok) << outcome.reason.en;
        const ImportedMesh& face = scene.meshes[0];
        ASSERT_EQ(face.targets.size(), 2u);
        // the same size as the glTF, base and shapes
        const auto [low, high] = box_of(face.vertices);
        expect_near_point(low, box_of(expected.vertices).first);
        expect_near_point(high, box_of(expected.vertices).second);
        for (size_t t = 0; t < 2; ++t) {
            EXPECT_EQ(face.targets[t].name, expected.targets[t].name);
            expect_near_point(box_of(face.targets[t].vertices).second,
                              box_of(expected.targets[t].vertices).second);
        }
        // the first animation, every shape at every time either is keyed
        ASSERT_FALSE(scene.animations.empty());
        const WeightsAnimation& talk = scene.animations[0];
        EXPECT_EQ(talk.name, "talk");
        EXPECT_EQ(talk.mesh, 0u);
        EXPECT_EQ(talk.targets, 2u);
        ASSERT_EQ(talk.times.size(), kTalkTimes.size());
        for (size_t k = 0; k < kTalkTimes.size(); ++k)
            EXPECT_NEAR(talk.times[k], kTalkTimes[k], 1e-6) << k;
        ASSERT_EQ(talk.values.size(), kTalkValues.size());
        for (size_t v = 0; v < kTalkValues.size(); ++v)
            EXPECT_NEAR(talk.values[v], kTalkValues[v], 1e-6) << v;

        // and project makes of it the glTF's project
        const ProjectData data = project_of(fbx, folder.file(std::string(c.unit) + ".twp"));
        expect_same_keys(data, gltf_project, 0.011);
    }
}

// Blender 3.4's own files of one face (tests/data/blender/make_face.py): the glTF holds the
// actions "blink" and "talk" as two animations, the FBX "talk" alone in its scene's stack, in
// centimetres with the object scaled by 100.
TEST(ImportFiles, blender_files_of_one_face_come_in_one_size_with_either_action) {
    const std::string glb = std::string(WARPKIT_TEST_DATA) + "/blender/face.glb";
    const std::string fbx = std::string(WARPKIT_TEST_DATA) + "/blender/face.fbx";
    ImportedScene gltf, scene;
    ASSERT_TRUE(finish_import(read_gltf_file(glb, ImportLimits{}, gltf), gltf).ok);
    ASSERT_TRUE(in_child(fbx, scene).ok);
    const auto [low, high] = box_of(scene.meshes[0].vertices);
    expect_near_point(low, box_of(gltf.meshes[0].vertices).first);
    expect_near_point(high, box_of(gltf.meshes[0].vertices).second);
    EXPECT_NEAR(high.z, 0.1, 1e-6);

    TempFolder folder;
    int made = 0;
    auto project = [&](std::vector<std::string> args) {
        const std::string twp = folder.file(std::to_string(++made) + ".twp");
        args.insert(args.begin(), {WARPKIT_EXPORT_TOOL, "project"});
        args.insert(args.end(), {"-o", twp});
        const ChildRun run = run_child(args, limits());
        EXPECT_EQ(run.exit_status, 0) << run.err;
        ProjectData data;
        EXPECT_TRUE(read_project_file(twp, data).ok) << run.err;
        return data;
    };
    const ProjectData blink = project({glb, "--animation", "blink"});
    const ProjectData talk = project({glb, "--animation", "1"});
    const ProjectData fbx_talk = project({fbx});
    EXPECT_EQ(blink.max_frame, 6);
    EXPECT_EQ(blink.targets[1].name, "blink");
    EXPECT_EQ(evaluate_track(blink.targets[1].keys, 3).weight, 100.0f);
    EXPECT_EQ(talk.max_frame, 90);
    expect_same_keys(fbx_talk, talk, 0.001);
    EXPECT_NEAR(evaluate_track(talk.targets[0].keys, 45).weight, 100.0f, 0.001);
}

TEST(ImportFiles, project_of_a_file_that_crashes_the_importer_library_is_a_refusal) {
    // A morph-weights channel on a node without geometry; assimp 5.2.5 dies on it.
    TempFolder folder;
    const std::string source =
        "<source id=\"%s\"><float_array id=\"%s_\" count=\"2\">0 1</float_array>"
        "<technique_common><accessor source=\"#%s_\" count=\"2\"><param type=\"float\"/>"
        "</accessor></technique_common></source>";
    testing::write_text(
        folder.file("weights.dae"),
        "<?xml version=\"1.0\"?><COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" "
        "version=\"1.4.1\"><library_animations><animation id=\"w\">" +
            format_text(source.c_str(), "i", "i", "i") +
            format_text(source.c_str(), "o", "o", "o") +
            "<sampler id=\"s\"><input semantic=\"INPUT\" source=\"#i\"/><input "
            "semantic=\"OUTPUT\" source=\"#o\"/></sampler><channel source=\"#s\" "
            "target=\"face-morph-weights(0)\"/></animation></library_animations>"
            "<library_visual_scenes><visual_scene id=\"v\"><node id=\"face\"/></visual_scene>"
            "</library_visual_scenes><scene><instance_visual_scene url=\"#v\"/></scene></COLLADA>");
    const ChildRun run = run_child(
        {WARPKIT_EXPORT_TOOL, "project", folder.file("weights.dae"), "-o", folder.file("w.twp")},
        limits());
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_NE(run.err.find("weights.dae cannot be imported: "), std::string::npos) << run.err;
}

TEST(ImportFiles, the_animation_passed_by_the_child_reads_back_as_written_or_not_at_all) {
    ImportedScene scene;
    scene.meshes.resize(2);
    scene.meshes[1].targets.resize(2);
    WeightsAnimation cubic{1,
                           "two\nlines \xE3\x81\x82",
                           Interpolation::kCubicSpline,
                           {-0.5f, 1.0f / 3.0f},
                           {0.1f, 1e-7f, -2, 3, 4, 5, 6, 7, 8, 9, 10, 1.0f / 7.0f},
                           2,
                           3};
    WeightsAnimation step{1, "", Interpolation::kStep, cubic.times, {0, 1, 2, 3}, 2, 5};
    const std::string text = animation_transfer_text({cubic, step});
    std::vector<WeightsAnimation> read;
    ASSERT_EQ(read_animation_transfer(text, scene, read), BilingualText{});
    ASSERT_EQ(read.size(), 2u);
    for (const auto& [got, written] : {std::pair{read[0], cubic}, std::pair{read[1], step}}) {
        EXPECT_EQ(got.name, written.name);
        EXPECT_EQ(got.mesh, 1u);
        EXPECT_EQ(got.clip, written.clip);
        EXPECT_EQ(got.interpolation, written.interpolation);
        EXPECT_EQ(got.times, written.times);
        EXPECT_EQ(got.values, written.values);
    }
    EXPECT_EQ(read_animation_transfer(animation_transfer_text({}), scene, read), BilingualText{});
    EXPECT_TRUE(read.empty());

    // what the parent does not take from a child
    const auto changed = [&step](auto change) {
        WeightsAnimation animation = step;
        change(animation);
        return animation_transfer_text({animation});
    };
    const std::string damaged[] = {
        "warpkit weights animations 1\n0\n",
        text.substr(0, text.size() - 4),
        changed([](WeightsAnimation& a) { a.mesh = 2; }),
        changed([](WeightsAnimation& a) { a.targets = 1; }),
        changed([](WeightsAnimation& a) {
            a.times = {1, 1};
        }),
        changed([](WeightsAnimation& a) { a.values.pop_back(); }),
        changed([](WeightsAnimation& a) { a.values[0] = NAN; }),
        "warpkit weights animations 2\n1\n1 0 2 4000000000 linear 0\n\n",
        "warpkit weights animations 2\n1\n1 0 2 1 linear 99\nshort\n0\n0 0\n",
    };
    for (const std::string& bad : damaged) {
        read.assign(1, step);
        const BilingualText problem = read_animation_transfer(bad, scene, read);
        EXPECT_NE(problem.en.find("passed an animation"), std::string::npos) << bad;
        EXPECT_TRUE(read.empty()) << bad;
    }
}

TEST(ImportFiles, a_child_that_refuses_hangs_or_crashes_costs_a_refusal_with_the_reason) {
    TempFolder folder;
    testing::write_text(folder.file("noise.fbx"), std::string(3000, '\x7f'));
    testing::write_text(folder.file("crash.sh"), "#!/bin/sh\nkill -SEGV $$\n");
    testing::write_text(folder.file("hang.sh"), "#!/bin/sh\nexec sleep 30\n");
    testing::write_text(folder.file("refuse.sh"),
                        "#!/bin/sh\necho 'warpkit-export: x cannot be imported: it is odd' >&2\n"
                        "exit 1\n");
    for (const char* script : {"crash.sh", "hang.sh", "refuse.sh"})
        chmod(folder.file(script).c_str(), 0755);
    ChildLimits brief = limits();
    brief.timeout_seconds = 1;
    struct Case {
        std::string tool;
        const char* words;
    };
    const Case cases[] = {
        {WARPKIT_EXPORT_TOOL, "FBX"},
        {folder.file("crash.sh"), "signal 11"},
        {folder.file("hang.sh"), "longer than 1 seconds"},
        {"", "is not installed beside the program"},
        {folder.file("missing"), "ended with status 127"},
        {folder.file("refuse.sh"), "it is odd"},
    };
    for (const Case& c : cases) {
        ImportedScene scene;
        const ImportOutcome outcome =
            import_in_child(c.tool, folder.file("noise.fbx"), brief, scene);
        EXPECT_FALSE(outcome.ok) << c.tool;
        EXPECT_NE(outcome.reason.en.find(c.words), std::string::npos)
            << c.tool << ": " << outcome.reason.en;
        EXPECT_EQ(testing::untranslated(outcome.reason), "") << c.tool;
        EXPECT_TRUE(scene.meshes.empty());
    }
}

TEST(ImportFiles, a_cancelled_child_goes_with_its_whole_group_and_leaves_no_file) {
    TempFolder folder;
    TempFolder scratch;
    testing::write_text(folder.file("noise.fbx"), std::string(3000, '\x7f'));
    // writes where it was told to, starts a grandchild, names it, and hangs
    const std::string named = folder.file("grandchild");
    testing::write_text(folder.file("hang.sh"),
                        "#!/bin/sh\necho part > \"$4\"\nsleep 30 &\necho $! > " + named +
                            ".new\nmv " + named + ".new " + named + "\nwait\n");
    chmod(folder.file("hang.sh").c_str(), 0755);
    const char* tmpdir = std::getenv("TMPDIR");
    const std::string kept_tmpdir = tmpdir ? tmpdir : "";
    setenv("TMPDIR", scratch.path().c_str(), 1);

    ChildLimits brief = limits();
    brief.timeout_seconds = 20;  // past the hang: only a Cancel ends it sooner
    ChildWaitPlace place([&](const std::function<void(const ChildWatch&)>& wait) {
        bool cancelled = false;
        wait([&](double share) {
            EXPECT_GE(share, 0.0);
            cancelled = cancelled || std::ifstream(named).good();
            return !cancelled;
        });
        return !cancelled;
    });
    ImportedScene scene;
    const ImportOutcome outcome =
        import_in_child(folder.file("hang.sh"), folder.file("noise.fbx"), brief, scene);
    if (tmpdir) {
        setenv("TMPDIR", kept_tmpdir.c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }
    EXPECT_TRUE(place.cancelled());
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.reason.en, "the import was cancelled");
    EXPECT_TRUE(std::filesystem::is_empty(scratch.path()));
    // the grandchild went with the group (a zombie no one reaps counts as gone)
    int grandchild = 0;
    std::ifstream(named) >> grandchild;
    ASSERT_GT(grandchild, 0);
    const auto running = [grandchild] {
        std::ifstream stat("/proc/" + std::to_string(grandchild) + "/stat");
        std::string pid, name, state;
        return stat >> pid >> name >> state && state != "Z";
    };
    for (int i = 0; i < 200 && running(); ++i) usleep(10000);
    EXPECT_FALSE(running());
}

TEST(ImportFiles, the_child_never_gets_more_memory_than_the_session_could_take) {
    constexpr int64_t kMiB = int64_t{1} << 20, kGiB = int64_t{1} << 30;
    struct Case {
        int64_t file, available, own_limit, memory;
    };
    const Case cases[] = {
        {kMiB, 64 * kGiB, 0, kGiB + 48 * kMiB},       // room for the library's copies
        {100 * kMiB, 64 * kGiB, 0, 4 * kGiB},         // never past 4 GiB
        {100 * kMiB, 6 * kGiB, 0, 3 * kGiB},          // nor half of what is free
        {100 * kMiB, 64 * kGiB, 2 * kGiB, 2 * kGiB},  // nor this process's own limit
        {0, 512 * kMiB, 0, 256 * kMiB},               // below the usual room when memory is short
        {0, 0, 0, kMiB},                              // and never "no limit"
    };
    for (const Case& c : cases) {
        EXPECT_EQ(child_limits_for(c.file, c.available, c.own_limit).memory_bytes, c.memory)
            << c.file << " " << c.available << " " << c.own_limit;
    }
    EXPECT_LE(child_limits_for(kMiB).memory_bytes, 4 * kGiB);
}

TEST(ImportFiles, a_refusal_reads_in_the_language_of_the_program_down_to_the_nested_part) {
    TempFolder folder;
    testing::GltfBuilder builder;
    const int points = builder.add_points({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    const int corners = builder.add_indices({0, 1, 2});
    struct Case {
        const char* file;
        std::string text;
        const char* ja;
        const char* en;
    };
    const Case cases[] = {
        {"lift.gltf",
         builder.gltf("\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":" +
                      std::to_string(points) +
                      "},\"targets\":[{\"POSITION\":" + std::to_string(corners) + "}]}]}]"),
         "メッシュ 0：モーフターゲット 0：アクセサ 1 の要素の成分は 1 個ですが、3 個のはずです",
         "mesh 0: morph target 0: accessor 1 has 1 components per element where 3 belong"},
        {"face.obj", "o face\nv 0 0 0\nf 1 2 0\n", "「face」の面が頂点 0 を指定しています",
         "a face in \"face\" names vertex 0, which no v line has"},
        // through warpkit-export, in a child process
        {"noise.fbx", std::string(3000, '\x7f'), "読み込みライブラリで読めませんでした：", "FBX"},
        // nodes alone: no mesh the library would make of the node tree
        {"nodes.dae",
         "<?xml version=\"1.0\"?><COLLADA xmlns=\"http://www.collada.org/2005/11/"
         "COLLADASchema\" version=\"1.4.1\"><library_visual_scenes><visual_scene id=\"s\">"
         "<node id=\"a\"><node id=\"b\"/></node></visual_scene></library_visual_scenes><scene>"
         "<instance_visual_scene url=\"#s\"/></scene></COLLADA>",
         "ファイルにメッシュがありません", "the file holds no mesh"},
    };
    // the check can fail: an English reason passed off as Japanese
    EXPECT_NE(testing::untranslated(same_in_both("it is odd")), "");
    EXPECT_NE(testing::untranslated({"it is odd", "odd"}), "");
    ImportSettings settings;
    settings.export_tool = WARPKIT_EXPORT_TOOL;
    for (const Case& c : cases) {
        const std::string path = folder.file(c.file);
        testing::write_text(path, c.text);
        AnyObjectReader reader(settings);
        const ReadOutcome outcome = reader.ReadObject(path, "", nullptr);
        ASSERT_EQ(outcome.status, ReadStatus::kNotImported) << c.file;
        EXPECT_EQ(testing::untranslated(outcome.reason), "") << c.file;
        for (const auto& [language, words] : {std::pair{1, c.ja}, std::pair{2, c.en}}) {
            const std::string text = read_failure_message(outcome, path, language).text;
            EXPECT_NE(text.find(words), std::string::npos) << text;
        }
    }
}

TEST(ImportFiles, names_fit_an_object_file_and_repeated_ones_are_numbered) {
    ImportedScene scene;
    for (const char* name :
         {"left eye", "abcdefghijklmnopq", "abcdefghijklmnopq", "", "\t", "あいうえおかき"}) {
        scene.meshes.push_back(ImportedMesh{name, {}, {}, {}, {}, {}});
    }
    scene.meshes[0].targets = {{"left eye", {}}, {"blink", {}}, {"blink", {}}};
    finish_object_names(scene);
    const std::vector<std::string> expected = {
        "left_eye", "abcdefghijklmno", "abcdefghijklm~2", "mesh4", "_", "あいうえお"};
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(scene.meshes[i].name, expected[i]);
    EXPECT_EQ(scene.meshes[0].targets[0].name, "left_eye~2");
    EXPECT_EQ(scene.meshes[0].targets[2].name, "blink~2");
}

// Face-tracking names run to 19 characters; a numbered export's "N name" comes back as "name"
// when N is the target's place, which is the slot it loads into.
TEST(ImportFiles, every_name_that_had_to_change_is_reported_with_the_stored_one) {
    struct Case {
        const char* full;
        const char* stored;
        bool reported;
    };
    const Case cases[] = {
        {"1 Smile", "Smile", false},                        // the slot's own number
        {"2 mouthLowerDownLeft", "mouthLowerDownL", true},  // numbered and too long
        {"mouthLowerDownLeft", "mouthLowerDow~2", true},    // then cut to the same
        {"eyeBlinkLeft", "eyeBlinkLeft", false},            // fits
        {"Brow Up", "Brow_Up", true},                       // a blank
        {"expression_happy_A", "expression_happ", true},    // cut
        {"expression_happy_B", "expression_ha~2", true},    // cut, then repeated
        {"3 cheekSquintRight", "3_cheekSquintRi", true},    // not its place
        {"cheekSquintRight", "cheekSquintRigh", true},      // 16 bytes
        {"My_Face", "My_Face~2", true},                     // the mesh's stored name
        {"", "target11", false},                            // no name to lose
    };
    std::vector<std::string> expected = {"-1 My Face My_Face"};
    ImportedScene scene;
    scene.meshes.push_back(ImportedMesh{"My Face", {}, {}, {}, {}, {}});
    testing::FbxMesh face = lips(true);
    face.name = "My Face";
    face.shapes.clear();
    for (size_t j = 0; j < std::size(cases); ++j) {
        const Case& c = cases[j];
        scene.meshes[0].targets.push_back({c.full, {}});
        // the library names a nameless shape itself
        if (*c.full) face.shapes.push_back({c.full, {4}, {{0, 0, float(j + 1)}}});
        if (c.reported) expected.push_back(std::to_string(j) + " " + c.full + " " + c.stored);
    }
    const auto listed = [](const std::vector<RenamedObject>& renamed) {
        std::vector<std::string> lines;
        for (const RenamedObject& r : renamed)
            lines.push_back(std::to_string(r.target) + " " + r.full + " " + r.stored);
        return lines;
    };
    const std::vector<RenamedObject> renamed = finish_object_names(scene);
    EXPECT_EQ(listed(renamed), expected);
    for (size_t j = 0; j < std::size(cases); ++j)
        EXPECT_EQ(scene.meshes[0].targets[j].name, cases[j].stored);
    EXPECT_EQ(renamed_text(scene, renamed[1]).en,
              "mesh \"My_Face\", morph target 2: \"2 mouthLowerDownLeft\" is stored as "
              "\"mouthLowerDownL\"");
    EXPECT_EQ(testing::untranslated(renamed_text(scene, renamed[1])), "");

    // The same names as FBX blend shapes, through warpkit-export: what the child had to change
    // comes back with the full names.
    TempFolder folder;
    testing::write_text(folder.file("face.fbx"), testing::fbx_text(face));
    ImportedScene converted;
    const ImportOutcome outcome = in_child(folder.file("face.fbx"), converted);
    ASSERT_TRUE(outcome.ok) << outcome.reason.en;
    EXPECT_EQ(listed(converted.renamed), expected);
}

TEST(ImportFiles, the_object_file_goes_beside_the_import_and_never_over_a_file) {
    TempFolder folder;
    EXPECT_EQ(qxm_path_for("/m/my face.glb"), "/m/my_face.qxm");
    EXPECT_EQ(qxm_path_for("face.obj"), "face.qxm");
    const std::vector<QxmObject> objects = {
        QxmObject{"tri", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {make_triangle(0, 1, 2)}}};
    testing::write_text(folder.file("face.qxm"), "taken");
    for (const char* expected : {"face-2.qxm", "face-3.qxm"}) {
        const StoreOutcome stored =
            write_qxm_unused_name(folder.file("face.qxm"), objects, QxmPalette{});
        ASSERT_EQ(stored.status, StoreStatus::kWritten) << stored.reason.en;
        EXPECT_EQ(stored.path, folder.file(expected));
    }
    EXPECT_EQ(bytes_of(folder.file("face.qxm")), "taken");
    const StoreOutcome nowhere =
        write_qxm_unused_name(folder.file("gone/face.qxm"), objects, QxmPalette{});
    EXPECT_EQ(nowhere.status, StoreStatus::kFolderNotWritable);
}

}  // namespace
}  // namespace warpkit
