#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/texts.h"
#include "export/export_fixture.h"
#include "export/frame_weights.h"
#include "export/obj_frames.h"
#include "export/progress.h"
#include "export/project_load.h"
#include "model/normals.h"
#include "morph/key_track.h"

namespace warpkit::exporting {
namespace {

using testing::ExportFixture;
using testing::FaceProject;
using testing::run_tool;

LoadedProject loaded(const std::string& path) {
    LoadedProject project;
    const ProjectLoadOutcome outcome = load_project(path, project);
    EXPECT_TRUE(outcome.ok) << outcome.refusal;
    return project;
}

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(AnimationFrames, are_zero_the_keys_inside_the_timeline_and_its_last_frame) {
    ExportFixture fixture;
    FaceProject face(fixture);
    EXPECT_EQ(animation_frames(loaded(face.path).state), (std::vector<int32_t>{0, 10, 16, 25, 40}));
    // A range keeps the keys inside it and adds its ends; steps add the last frame they miss.
    EXPECT_EQ(animation_frames(loaded(face.path).state, 10, 30),
              (std::vector<int32_t>{10, 16, 25, 30}));
    EXPECT_EQ(sampled_frames(3, 40, 6), (std::vector<int32_t>{3, 9, 15, 21, 27, 33, 39, 40}));
    EXPECT_EQ(sampled_frames(0, 12, 6), (std::vector<int32_t>{0, 6, 12}));
    EXPECT_EQ(stepped_frame_count(0, 2147483647, 1), 2147483648);

    // A key on the last frame counts once; a target left out brings no keys.
    face.data.targets[0].keys.frames = {0, 16, 40};
    face.data.targets[5] = testing::project_target(face.objects, "nose", {{0, 0}, {7, 50}});
    EXPECT_EQ(animation_frames(loaded(fixture.write_project("b.twp", face.data)).state),
              (std::vector<int32_t>{0, 16, 40}));

    ProjectData alone;
    alone.max_frame = 12;
    alone.source_path = face.objects;
    alone.source_name = "base";
    EXPECT_EQ(animation_frames(loaded(fixture.write_project("c.twp", alone)).state),
              (std::vector<int32_t>{0, 12}));
}

TEST(ExportWeights, prints_each_loaded_targets_weight_at_the_frame) {
    ExportFixture fixture;
    const FaceProject face(fixture);
    auto run = run_tool({"weights", face.path, "--frame", "0"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "1 lift 0.00\n3 slide 10.00\n");
    EXPECT_EQ(run.err, "");

    // Between keys, and on the last frame where slot 3 is on its way to a key past it.
    EXPECT_EQ(run_tool({"weights", face.path, "--frame", "13"}).out,
              "1 lift 84.00\n3 slide " +
                  format_text("%.2f", evaluate_track(face.data.targets[2].keys, 13).weight) + "\n");
    EXPECT_EQ(run_tool({"weights", face.path, "--frame", "40"}).out,
              "1 lift 20.00\n3 slide 17.65\n");

    run = run_tool({"weights", face.path, "--frame", "41"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "warpkit-export: " + face.path + ": frame 41 goes past the last frame 40\n");
    EXPECT_EQ(run.out, "");
}

// The numbers after `tag` on each line that starts with it.
std::vector<std::vector<std::string>> lines_of(const std::string& text, const std::string& tag) {
    std::vector<std::vector<std::string>> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string first;
        words >> first;
        if (first != tag) continue;
        lines.emplace_back();
        for (std::string word; words >> word;) lines.back().push_back(word);
    }
    return lines;
}

TEST(ObjExport, each_frame_is_the_programs_blend_at_that_frame_with_its_normals) {
    ExportFixture fixture;
    const FaceProject face(fixture);
    const std::string folder = fixture.folder.file("frames");
    const auto run = run_tool({"obj", face.path, "--frames", "8..12", "-o", folder});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "wrote 5 frames and palette.mtl to " + folder + "\n");

    LoadedProject program = loaded(face.path);
    for (int32_t frame = 8; frame <= 12; ++frame) {
        SCOPED_TRACE("frame " + std::to_string(frame));
        // The program's frame mode: every loaded target's weight from its keys, then the blend.
        std::array<float, kTargetCount + 1> weights{};
        for (int k : {1, 3}) weights[k] = evaluate_track(program.state.slots[k].keys, frame).weight;
        blend(program.state, weights);
        compute_vertex_normals(program.state);

        char name[32];
        std::snprintf(name, sizeof name, "frame_%04d.obj", frame);
        const std::string text = read_text(folder + "/" + name);
        const auto vertices = lines_of(text, "v");
        const auto normals = lines_of(text, "vn");
        ASSERT_EQ(vertices.size(), 12u);
        ASSERT_EQ(normals.size(), 12u);
        for (size_t i = 0; i < 12; ++i) {
            const Vec3 shown = program.state.mesh.displayed[i];
            EXPECT_EQ(std::stof(vertices[i][0]), shown.x) << "vertex " << i;
            EXPECT_EQ(std::stof(vertices[i][1]), shown.y) << "vertex " << i;
            EXPECT_EQ(std::stof(vertices[i][2]), shown.z) << "vertex " << i;
            const Vec3 n = program.state.mesh.vertex_normals[i];
            const double length =
                std::sqrt(double(n.x) * n.x + double(n.y) * n.y + double(n.z) * n.z);
            EXPECT_NEAR(std::stod(normals[i][0]), n.x / length, 1e-6) << "normal " << i;
            EXPECT_NEAR(std::stod(normals[i][1]), n.y / length, 1e-6) << "normal " << i;
            EXPECT_NEAR(std::stod(normals[i][2]), n.z / length, 1e-6) << "normal " << i;
        }

        // Faces in file order, each corner with its normal; colours switched as they change.
        const auto faces = lines_of(text, "f");
        const auto materials = lines_of(text, "usemtl");
        ASSERT_EQ(faces.size(), face.source.triangles.size());
        for (size_t t = 0; t < faces.size(); ++t) {
            for (int corner = 0; corner < 3; ++corner) {
                const std::string index = std::to_string(face.source.triangles[t].v[corner] + 1);
                EXPECT_EQ(faces[t][corner], index + "//" + index);
            }
        }
        EXPECT_EQ(materials.size(), faces.size());  // the grid's colours change at every face
        EXPECT_EQ(materials.at(2), std::vector<std::string>{"colour_2"});
        EXPECT_EQ(lines_of(text, "mtllib"),
                  (std::vector<std::vector<std::string>>{{"palette.mtl"}}));
    }
    EXPECT_FALSE(std::filesystem::exists(folder + "/frame_0007.obj"));
    EXPECT_FALSE(std::filesystem::exists(folder + "/frame_0013.obj"));

    const auto colours = lines_of(read_text(folder + "/palette.mtl"), "Kd");
    const std::vector<warpkit::testing::QxmColour> palette = warpkit::testing::make_palette(3);
    ASSERT_EQ(colours.size(), 3u);
    EXPECT_EQ(std::stof(colours[1][0]), program.state.mesh.palette_red[1]);
    EXPECT_EQ(std::stof(colours[1][2]), program.state.mesh.palette_blue[1]);
}

TEST(ObjExport, refuses_frames_past_the_timeline_and_folders_it_cannot_make) {
    ExportFixture fixture;
    const FaceProject face(fixture);
    const std::string folder = fixture.folder.file("frames");
    auto run = run_tool({"obj", face.path, "--frames", "39..41", "-o", folder});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err,
              "warpkit-export: " + face.path + ": frames 39..41 go past the last frame 40\n");
    EXPECT_FALSE(std::filesystem::exists(folder));

    run = run_tool({"obj", face.path, "--frames", "0", "-o", face.path + "/frames"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("warpkit-export: " + face.path + ": cannot make the folder " +
                                face.path + "/frames: ",
                            0),
              0u)
        << run.err;

    // A source without a palette needs no material file.
    ProjectData plain;
    plain.source_path = fixture.write_objects(
        "plain.qxm", {warpkit::testing::make_grid_object("plain", 1, 1, 0)}, 0);
    plain.source_name = "plain";
    run = run_tool(
        {"obj", fixture.write_project("plain.twp", plain), "--frames", "100", "-o", folder});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::filesystem::exists(folder + "/frame_0100.obj"));
    EXPECT_FALSE(std::filesystem::exists(folder + "/palette.mtl"));
    EXPECT_EQ(read_text(folder + "/frame_0100.obj").find("usemtl"), std::string::npos);
    EXPECT_EQ(frame_file_name(123456), "frame_123456.obj");
}

TEST(ObjExport, covers_the_timeline_unless_told_and_asks_before_100000_files) {
    ExportFixture fixture;
    FaceProject face(fixture);
    const std::string folder = fixture.folder.file("frames");
    auto run = run_tool({"obj", face.path, "-o", folder, "--step", "7"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "wrote 6 frames and palette.mtl to " + folder + "\n");
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"frame_0000.obj", "frame_0007.obj", "frame_0014.obj",
                                               "frame_0021.obj", "frame_0028.obj", "frame_0035.obj",
                                               "palette.mtl"}));

    // 100 001 frames are too many to write unasked; a range of them is fine.
    face.data.max_frame = 100000;
    const std::string long_project = fixture.write_project("long.twp", face.data);
    const std::string long_folder = fixture.folder.file("long");
    run = run_tool({"obj", long_project, "-o", long_folder});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "warpkit-export: " + long_project +
                           ": the timeline 0..100000 would make 100001 files; choose the frames "
                           "with --frames A..B (see warpkit-export --help)\n");
    EXPECT_FALSE(std::filesystem::exists(long_folder));
    EXPECT_EQ(run_tool({"obj", long_project, "-o", long_folder, "--step", "25000"}).out,
              "wrote 5 frames and palette.mtl to " + long_folder + "\n");
    EXPECT_EQ(run_tool({"obj", long_project, "-o", long_folder, "--frames", "99999..100000"}).out,
              "wrote 2 frames and palette.mtl to " + long_folder + "\n");
}

TEST(Progress, stays_quiet_for_a_second_then_prints_a_line_a_second_and_a_last_one) {
    double now = 100.0;
    std::ostringstream out;
    Progress progress(out, "writing frames", 200, [&] { return now; });
    now = 100.9;
    progress.advance(10);
    EXPECT_EQ(out.str(), "");
    now = 101.2;
    progress.advance(50);
    now = 101.9;
    progress.advance(90);
    now = 102.3;
    progress.advance(130);
    now = 102.5;
    progress.finish();
    EXPECT_EQ(out.str(),
              "writing frames: 50 of 200 (25%)\n"
              "writing frames: 130 of 200 (65%)\n"
              "writing frames: done, 200 in 2.5 s\n");

    std::ostringstream quick;
    Progress done(quick, "building glTF", 3, [&] { return now; });
    done.advance(3);
    done.finish();
    EXPECT_EQ(quick.str(), "");
}

}  // namespace
}  // namespace warpkit::exporting
