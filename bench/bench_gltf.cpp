#include "bench_gltf.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "bench_meshes.h"
#include "export/command_line.h"
#include "export/export_tool.h"
#include "export/gltf_file.h"
#include "export/gltf_model.h"
#include "export/project_command.h"
#include "model/object_mesh.h"

namespace warpkit::bench {
namespace {

constexpr int kStripColumns = 50;

// Vertices in every kStripColumns-th column are split in two: one for the triangles on each side.
testing::QxmObjectSpec seamed(testing::QxmObjectSpec grid, GridSize size) {
    const int stride = size.columns + 1;
    for (Triangle& t : grid.triangles) {
        const int column = std::min({t.v[0] % stride, t.v[1] % stride, t.v[2] % stride});
        for (int32_t& v : t.v) {
            if (v % stride % kStripColumns != 0 || v % stride == column) continue;
            // The triangle lies left of the seam: it takes a copy of the seam vertex.
            grid.vertices.push_back(grid.vertices[static_cast<size_t>(v)]);
            v = static_cast<int32_t>(grid.vertices.size() - 1);
        }
    }
    return grid;
}

}  // namespace

EditorState& export_state() {
    static std::unique_ptr<EditorState> state;
    if (state) return *state;
    state = std::make_unique<EditorState>();
    const GridSize size = k1MVertices;
    const ReadResult source = as_read_result(seamed(hills("hills", size), size));
    state->vertex_count = source.vertex_count;
    state->triangle_count = source.triangle_count;
    state->max_frame = 100;
    state->slots[0].loaded = 1;
    state->slots[0].vertices = source.vertices;
    InitSource(*state, source);
    for (int k = 1; k <= kTargetCount; ++k) {
        state->slots[k].loaded = 1;
        state->slots[k].vertices.assign(source.vertices.size(), Vec3{});
        for (size_t i = k; i < source.vertices.size(); i += 3) {
            state->slots[k].vertices[i].z = 0.01f * static_cast<float>(k);
        }
        state->slots[k].keys.frames = {0, 100};
        state->slots[k].keys.weights = {0.0f, 100.0f};
    }
    return *state;
}

testing::TempFolder& folder() {
    static testing::TempFolder made;
    return made;
}

const std::string& original_with(bool targets) {
    static std::string paths[2];
    std::string& path = paths[targets ? 1 : 0];
    if (!path.empty()) return path;
    EditorState state = export_state();
    if (!targets) {
        for (int k = 1; k <= kTargetCount; ++k) state.slots[k].loaded = 0;
    }
    path = folder().file(targets ? "all-targets.glb" : "no-targets.glb");
    exporting::GltfBuild build = exporting::build_gltf_model(state, {}, nullptr);
    if (!build.ok || !exporting::write_gltf_file(build.model, path).ok) std::abort();
    return path;
}

int64_t file_size(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_size) : -1;
}

int64_t& project_bytes() {
    static int64_t bytes = 0;
    return bytes;
}

bool run_project(benchmark::State* bench) {
    exporting::CommandLine line;
    line.command = exporting::Command::kProject;
    line.input = original_with(true);
    line.output = folder().file("project.twp");
    const std::string qxm = folder().file("project.qxm");
    std::ostringstream out, err;
    const int status = exporting::run_project_command(line, out, err);
    if (bench) bench->PauseTiming();
    const int64_t bytes = file_size(line.output) + file_size(qxm);
    const bool ok = status == exporting::kExitDone && file_size(qxm) > 0;
    if (ok) project_bytes() = bytes;
    unlink(line.output.c_str());
    unlink(qxm.c_str());
    if (bench) bench->ResumeTiming();
    return ok;
}

}  // namespace warpkit::bench
