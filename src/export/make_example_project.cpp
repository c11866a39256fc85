// Writes the example project of docs/export.md: the example head as the source, the smile, squash
// and twist heads as targets 1 to 3, keyed over 90 frames. Project files name their object
// files by full path, so the project is made for the folder the examples lie in on this machine.
//
// Usage: make_example_project <examples folder> <project file>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "project/project_file.h"

namespace {

using warpkit::ProjectData;
using warpkit::ProjectTarget;

ProjectTarget target(const std::filesystem::path& folder, const std::string& name,
                     const std::vector<std::pair<int32_t, float>>& keys) {
    ProjectTarget out;
    out.present = true;
    out.path = (folder / (name + ".qxm")).string();
    out.name = name;
    for (const auto& [frame, weight] : keys) {
        out.keys.frames.push_back(frame);
        out.keys.weights.push_back(weight);
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "Usage: make_example_project <examples folder> <project file>\n");
        return 2;
    }
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::absolute(argv[1], error);
    if (error) {
        std::fprintf(stderr, "make_example_project: %s: %s\n", argv[1], error.message().c_str());
        return 1;
    }

    ProjectData project;
    project.max_frame = 90;
    project.source_path = (folder / "head.qxm").string();
    project.source_name = "head";
    // The smile comes and goes; the squash peaks in between; the twist follows it out.
    project.targets[0] =
        target(folder, "smile", {{0, 0.0f}, {30, 100.0f}, {60, 100.0f}, {90, 0.0f}});
    project.targets[1] = target(folder, "squash", {{0, 0.0f}, {45, 60.0f}, {60, 0.0f}});
    project.targets[2] = target(folder, "twist", {{0, 0.0f}, {20, 0.0f}, {40, 80.0f}, {70, 0.0f}});

    const warpkit::SaveOutcome saved = warpkit::save_project_file(argv[2], project);
    if (!saved.ok) {
        std::fprintf(stderr, "make_example_project: %s: %s\n", argv[2], saved.reason.en.c_str());
        return 1;
    }
    return 0;
}
