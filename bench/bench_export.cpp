// The glTF export of 1 M vertices and 8 targets with the normals changes of --normals: smoothing
// the normals across seams groups the vertices by position once and sums every shape's normals
// over the groups, which must cost little next to the export itself (within 1.5 times the
// export without it). The grid is cut into strips whose edges are split, as a file cut into UV
// islands has them, so the groups are real.
#include <memory>

#include "bench_meshes.h"
#include "bench_support.h"
#include "export/gltf_model.h"
#include "model/object_mesh.h"

namespace warpkit {
namespace {

constexpr int kStripColumns = 50;

// Vertices in every kStripColumns-th column are split in two: one for the triangles on each side.
testing::QxmObjectSpec seamed(testing::QxmObjectSpec grid, bench::GridSize size) {
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

EditorState& export_state() {
    static std::unique_ptr<EditorState> state;
    if (state) return *state;
    state = std::make_unique<EditorState>();
    const bench::GridSize size = bench::k1MVertices;
    const ReadResult source = bench::as_read_result(seamed(bench::hills("hills", size), size));
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

void register_export(const std::string& name, double smooth_angle) {
    benchmark::RegisterBenchmark(name.c_str(), [smooth_angle](benchmark::State& bench) {
        EditorState& state = export_state();
        exporting::GltfOptions options;
        options.normals = true;
        options.smooth_angle = smooth_angle;
        for (auto _ : bench) {
            exporting::GltfBuild build = exporting::build_gltf_model(state, options, nullptr);
            benchmark::DoNotOptimize(build.model.buffers.data());
        }
    });
}

}  // namespace
}  // namespace warpkit

int main(int argc, char** argv) {
    warpkit::register_export("gltf-normals/unsmoothed", 0.0);
    warpkit::register_export("gltf-normals/smoothed", 60.0);
    warpkit::bench::Comparison smoothing;
    smoothing.title =
        "glTF with --normals, 1 M vertices in seamed strips, 8 targets: normals smoothed across "
        "seams against each vertex's own";
    smoothing.measured = "gltf-normals/smoothed";
    smoothing.reference = "gltf-normals/unsmoothed";
    smoothing.goal = 1.5;
    return warpkit::bench::run_benchmarks(argc, argv, {smoothing});
}
