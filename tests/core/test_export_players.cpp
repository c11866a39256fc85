// Exported glTF files as players see them: the Khronos validator reads each, three.js plays it
// (GLTFLoader with the meshopt decoder and an AnimationMixer), and at every sampled frame the
// weights it sets and the shape it morphs must be what `weights` prints and `obj` writes.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "export/export_fixture.h"

namespace warpkit::exporting {
namespace {

using testing::ExportFixture;
using testing::FaceProject;
using testing::run_tool;

// The numbers of the `v` lines of an OBJ file.
std::vector<double> obj_positions(const std::string& path) {
    std::ifstream in(path);
    std::vector<double> values;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("v ", 0) != 0) continue;
        std::istringstream words(line.substr(2));
        for (double value; words >> value;) values.push_back(value);
    }
    return values;
}

TEST(PlayedExport, three_js_shows_the_programs_weights_and_shapes_at_every_sampled_frame) {
    ExportFixture fixture;
    const FaceProject face(fixture);
    const std::string frames_folder = fixture.folder.file("frames");
    ASSERT_EQ(run_tool({"obj", face.path, "-o", frames_folder}).status, 0);

    // lift moves 4 of 12 vertices and is stored sparse; slide moves them all and is not.
    struct Row {
        const char* file;
        const char* options;  // after gltf PROJECT -o FILE
        double fps;
        int32_t first;                // the frame the animation starts with
        std::vector<int32_t> frames;  // where the player is asked
    };
    const Row rows[] = {
        {"face.glb", "", 30, 0, {0, 5, 13, 16, 24, 31, 40}},
        {"normals.gltf", "--normals", 30, 0, {0, 13, 40}},
        {"packed.glb", "--compress --normals", 30, 0, {0, 10, 17, 40}},
        {"packed text.gltf", "--compress --names plain", 30, 0, {2, 25, 39}},
        {"range.glb", "--frames 8..30 --fps 24", 24, 8, {8, 9, 12, 16, 20, 29, 30}},
        {"steps.glb", "--frames 3..40 --step 6 --compress", 30, 3, {3, 9, 15, 21, 33, 39, 40}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        const std::string out = fixture.folder.file(row.file);
        std::vector<std::string> args = {"gltf", face.path, "-o", out};
        std::istringstream options(row.options);
        for (std::string option; options >> option;) args.push_back(option);
        const auto run = run_tool(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_VALID_GLTF(out);

        const testing::PlayedFile played =
            testing::play_with_three(out, row.fps, row.first, row.frames);
        ASSERT_EQ(played.problem, "");
        const bool plain = std::string(row.options).find("plain") != std::string::npos;
        EXPECT_EQ(played.names, plain ? "lift|slide" : "1 lift|3 slide");
        for (int32_t frame : row.frames) {
            SCOPED_TRACE("frame " + std::to_string(frame));
            const testing::PlayedFrame& shown = played.frames.at(frame);
            // `weights` prints percent rounded to two decimals.
            std::istringstream printed(
                run_tool({"weights", face.path, "--frame", std::to_string(frame)}).out);
            std::vector<double> weights;
            for (std::string slot, name, percent; printed >> slot >> name >> percent;) {
                weights.push_back(std::stod(percent) / 100.0);
            }
            ASSERT_EQ(shown.weights.size(), weights.size());
            for (size_t t = 0; t < weights.size(); ++t) {
                EXPECT_NEAR(shown.weights[t], weights[t], 0.00005 + 1e-6) << "target " << t;
            }

            char name[32];
            std::snprintf(name, sizeof name, "/frame_%04d.obj", static_cast<int>(frame));
            const std::vector<double> written = obj_positions(frames_folder + name);
            ASSERT_EQ(shown.positions.size(), written.size());
            for (size_t i = 0; i < written.size(); ++i) {
                EXPECT_NEAR(shown.positions[i], written[i], 1e-6) << "coordinate " << i;
            }
        }
    }
}

}  // namespace
}  // namespace warpkit::exporting
