// The glTF export of 1 M vertices and 8 targets with the normals changes of --normals: smoothing
// the normals across seams groups the vertices by position once and sums every shape's normals
// over the groups, which must cost little next to the export itself (within 1.5 times the
// export without it). The grid is cut into strips whose edges are split, as a file cut into UV
// islands has them, so the groups are real.
//
// And gltf --onto against plain gltf of the same project, file written, within 1.5 times: onto
// an original that has all 8 targets (read, found and matched, the animation added), and onto
// one that has none, so all 8 are added with the normals' changes over the welded surface.
#include <memory>

#include "bench_meshes.h"
#include "bench_support.h"
#include "export/gltf_file.h"
#include "export/gltf_model.h"
#include "export/gltf_onto.h"
#include "model/object_mesh.h"
#include "support/qxm_writer.h"

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

testing::TempFolder& folder() {
    static testing::TempFolder made;
    return made;
}

// The project's glTF as plain gltf writes it, with all its targets or none: an original to
// export onto.
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

void register_plain(const std::string& name, bool normals) {
    benchmark::RegisterBenchmark(name.c_str(), [normals](benchmark::State& bench) {
        EditorState& state = export_state();
        exporting::GltfOptions options;
        options.normals = normals;
        const std::string out = folder().file("plain.glb");
        for (auto _ : bench) {
            exporting::GltfBuild build = exporting::build_gltf_model(state, options, nullptr);
            if (!build.ok || !exporting::write_gltf_file(build.model, out).ok) {
                bench.SkipWithError("the plain export failed");
            }
        }
    });
}

void register_onto(const std::string& name, bool targets, bool normals) {
    benchmark::RegisterBenchmark(name.c_str(), [targets, normals](benchmark::State& bench) {
        EditorState& state = export_state();
        exporting::OntoOptions options;
        options.original = original_with(targets);
        options.gltf.normals = normals;
        options.gltf.animation_name = "bench";
        const std::string out = folder().file("onto.glb");
        for (auto _ : bench) {
            const exporting::OntoBuild build = exporting::build_onto(state, options, out);
            if (!build.ok || !exporting::write_onto(build, out).ok) {
                bench.SkipWithError(("the export onto failed: " + build.problem).c_str());
            }
        }
    });
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

    warpkit::register_plain("gltf/written", false);
    warpkit::register_plain("gltf-normals/written", true);
    warpkit::register_onto("gltf-onto/same-targets", true, false);
    warpkit::register_onto("gltf-onto/added-with-normals", false, true);
    warpkit::bench::Comparison same;
    same.title =
        "glTF --onto an original with the same 8 targets against plain gltf, 1 M vertices, "
        "file written";
    same.measured = "gltf-onto/same-targets";
    same.reference = "gltf/written";
    same.goal = 1.5;
    warpkit::bench::Comparison added;
    added.title =
        "glTF --onto an original without targets, 8 added with --normals welded by its normals, "
        "against plain gltf --normals, 1 M vertices, file written";
    added.measured = "gltf-onto/added-with-normals";
    added.reference = "gltf-normals/written";
    added.goal = 1.5;
    return warpkit::bench::run_benchmarks(argc, argv, {smoothing, same, added});
}
