#pragma once
// Object files and projects for the tests of warpkit-export, written by the project's own
// writers into a temporary folder, and a way to run the Khronos glTF validator on an exported
// file.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <algorithm>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "export/export_tool.h"
#include "project/project_file.h"
#include "support/project_builders.h"
#include "support/qxm_writer.h"

namespace warpkit::exporting::testing {

using warpkit::testing::project_target;
using warpkit::testing::QxmFileSpec;
using warpkit::testing::QxmObjectSpec;
using warpkit::testing::TempFolder;

using Keys = std::vector<std::pair<int32_t, float>>;

// A copy of `object` under another name with every vertex moved by `move`.
inline QxmObjectSpec moved(const QxmObjectSpec& object, const std::string& name,
                           const std::function<Vec3(const Vec3&)>& move) {
    QxmObjectSpec out = object;
    out.name = name;
    for (Vec3& v : out.vertices) v = move(v);
    return out;
}

// A folder with object files and a project in it.
class ExportFixture {
public:
    // Writes `objects` into one object file; returns its path.
    std::string write_objects(const std::string& file, const std::vector<QxmObjectSpec>& objects,
                              int colours) {
        QxmFileSpec file_spec;
        file_spec.objects = objects;
        file_spec.colours = warpkit::testing::make_palette(colours);
        return warpkit::testing::write_qxm(folder.file(file), file_spec);
    }

    // Writes the project with the program's own writer; returns its path.
    std::string write_project(const std::string& file, const ProjectData& project) {
        const std::string path = folder.file(file);
        const SaveOutcome saved = save_project_file(path, project);
        EXPECT_TRUE(saved.ok) << saved.reason.en;
        return path;
    }

    TempFolder folder;
};

// A grid of 3 x 2 squares with three colours as the source, a target that lifts the middle
// row ("lift", slot 1) and one that slides everything sideways ("slide", slot 3), keyed over
// 40 frames so their keys interleave and slot 3 has a key past the last frame.
struct FaceProject {
    explicit FaceProject(ExportFixture& fixture) {
        source = warpkit::testing::make_grid_object("base", 3, 2, 3);
        lift = moved(source, "lift", [](const Vec3& v) {
            return Vec3{v.x, v.y, v.y == 1.0f ? v.z + 0.5f : v.z};
        });
        slide = moved(source, "slide", [](const Vec3& v) { return Vec3{v.x + 0.25f, v.y, v.z}; });
        objects = fixture.write_objects("shapes.qxm", {source, lift, slide}, 3);
        data.max_frame = 40;
        data.source_path = objects;
        data.source_name = "base";
        data.targets[0] = project_target(objects, "lift", {{0, 0.0f}, {10, 100.0f}, {25, 20.0f}});
        data.targets[2] = project_target(objects, "slide", {{0, 10.0f}, {16, 60.0f}, {50, 0.0f}});
        path = fixture.write_project("face.twp", data);
    }

    // The source with its vertices in reverse order: a target in another order than the source.
    QxmObjectSpec reversed() const {
        QxmObjectSpec out = source;
        out.name = "reversed";
        std::reverse(out.vertices.begin(), out.vertices.end());
        return out;
    }

    QxmObjectSpec source, lift, slide;
    std::string objects;
    ProjectData data;
    std::string path;
};

// warpkit-export run in this process.
struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

inline ToolRun run_tool(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    ToolRun run;
    run.status = run_export_tool(args, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

struct ValidatorRun {
    int status = -1;
    std::string output;
};

// Runs a shell command, collecting what it prints on both streams.
inline ValidatorRun run_command(const std::string& command) {
    ValidatorRun run;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) {
        run.output = "cannot start " + command;
        return run;
    }
    char buffer[4096];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (run.status == 127) run.output += "node is not installed: run scripts/setup_export_tools.sh";
    return run;
}

// Runs tests/export/validate_gltf.cjs on `path` (warnings count as failures unless
// `allow_warnings`). Node or the validator missing is a failure whose output says how to
// install them.
inline ValidatorRun run_validator(const std::string& path, bool allow_warnings = false) {
    return run_command("node '" WARPKIT_GLTF_VALIDATE_SCRIPT "'" +
                       std::string(allow_warnings ? "" : " --strict") +
                       " --validator '" WARPKIT_GLTF_VALIDATOR_DIR "' '" + path + "'");
}

// What three.js plays from an exported file (tests/export/play_gltf.mjs): the morph target
// names, and per asked frame the weights its animation mixer sets and the morphed positions.
struct PlayedFrame {
    std::vector<double> weights;
    std::vector<double> positions;  // x, y, z per vertex
};
struct PlayedFile {
    std::string problem;  // empty when the player ran
    std::string names;    // "1 lift|3 slide"
    std::map<int32_t, PlayedFrame> frames;
};

inline PlayedFile play_with_three(const std::string& path, double fps, int32_t first,
                                  const std::vector<int32_t>& frames) {
    std::ostringstream command;
    command << "node '" WARPKIT_GLTF_PLAY_SCRIPT "' '" WARPKIT_GLTF_VALIDATOR_DIR "' '" << path
            << "' " << fps << " " << first;
    for (int32_t frame : frames) command << " " << frame;
    const ValidatorRun run = run_command(command.str());
    PlayedFile played;
    if (run.status != 0) {
        played.problem = run.output;
        return played;
    }
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string tag;
        words >> tag;
        if (tag == "names") {
            std::getline(words >> std::ws, played.names);
            continue;
        }
        int32_t frame = 0;
        words >> frame;
        std::vector<double>& values =
            tag == "weights" ? played.frames[frame].weights : played.frames[frame].positions;
        for (double value; words >> value;) values.push_back(value);
    }
    return played;
}

#define EXPECT_VALID_GLTF(path)                                                    \
    do {                                                                           \
        const auto validated = ::warpkit::exporting::testing::run_validator(path); \
        EXPECT_EQ(validated.status, 0) << validated.output;                        \
    } while (false)

}  // namespace warpkit::exporting::testing
