// Face and vertex normals, recomputed at every draw, and the vertex-triangle lists, built once
// per source: both must grow linearly with the triangles, and the normals should run near
// the speed of memory.
#include <map>
#include <memory>

#include "bench_meshes.h"
#include "bench_support.h"
#include "model/normals.h"
#include "model/object_mesh.h"

namespace warpkit {
namespace {

// A source of hills set up as a load does, made once per size.
EditorState& mesh_state(bench::GridSize size) {
    static std::map<int64_t, std::unique_ptr<EditorState>> states;
    std::unique_ptr<EditorState>& state = states[size.triangles()];
    if (state) return *state;
    state = std::make_unique<EditorState>();
    const ReadResult source = bench::as_read_result(bench::hills("hills", size));
    state->vertex_count = source.vertex_count;
    state->triangle_count = source.triangle_count;
    state->slots[0].loaded = 1;
    state->slots[0].vertices = source.vertices;
    InitSource(*state, source);
    // The vertex normals and their lists, which the first smooth draw makes, before timing.
    compute_vertex_normals(*state);
    return *state;
}

// What the normals must at least read and write: the triangles and the displayed shape in,
// the face and the vertex normals out.
double normal_bytes(bench::GridSize size) {
    const double triangles = static_cast<double>(size.triangles());
    const double vertices = static_cast<double>(size.vertices());
    return triangles * (sizeof(Triangle) + sizeof(Vec3)) + vertices * 2 * sizeof(Vec3);
}

void register_size(bench::GridSize size) {
    const std::string label = bench::count_label(size.triangles());
    benchmark::RegisterBenchmark(("normals/" + label).c_str(), [size](benchmark::State& bench) {
        EditorState& state = mesh_state(size);
        for (auto _ : bench) {
            compute_vertex_normals(state);
            benchmark::DoNotOptimize(state.mesh.vertex_normals.data());
            benchmark::ClobberMemory();
        }
        bench::set_bytes_per_iteration(bench, normal_bytes(size));
    });
    benchmark::RegisterBenchmark(("lists/" + label).c_str(), [size](benchmark::State& bench) {
        const EditorState& state = mesh_state(size);
        std::vector<int32_t> start, list;
        for (auto _ : bench) {
            build_vertex_triangle_lists(state.vertex_count, state.mesh.triangles, start, list);
            benchmark::DoNotOptimize(list.data());
            benchmark::ClobberMemory();
        }
    });
}

}  // namespace
}  // namespace warpkit

int main(int argc, char** argv) {
    using warpkit::bench::Clock;
    using warpkit::bench::Comparison;
    using warpkit::bench::Measure;
    warpkit::register_size(warpkit::bench::k100kTriangles);
    warpkit::register_size(warpkit::bench::k1MTriangles);
    warpkit::bench::register_memcpy(
        "memcpy/normals-1M",
        static_cast<size_t>(warpkit::normal_bytes(warpkit::bench::k1MTriangles)));

    std::vector<Comparison> comparisons;
    Comparison normals_growth;
    normals_growth.title = "face + vertex normals, 1M against 100k triangles (linear: about 10)";
    normals_growth.measured = "normals/1M";
    normals_growth.reference = "normals/100k";
    // Helper threads share the work of large meshes, which the caller's CPU time would hide.
    normals_growth.clock = Clock::kWall;
    normals_growth.goal = 12.0;
    comparisons.push_back(normals_growth);

    Comparison lists_growth;
    lists_growth.title = "vertex-triangle lists, 1M against 100k triangles (linear: about 10)";
    lists_growth.measured = "lists/1M";
    lists_growth.reference = "lists/100k";
    lists_growth.goal = 12.0;
    comparisons.push_back(lists_growth);

    Comparison normals_memory;
    normals_memory.title =
        "face + vertex normals at 1M triangles against a memcpy moving the bytes they read "
        "(triangles, displayed shape) and write (face and vertex normals)";
    normals_memory.measured = "normals/1M";
    normals_memory.reference = "memcpy/normals-1M";
    normals_memory.clock = Clock::kWall;
    normals_memory.goal = 2.0;
    comparisons.push_back(normals_memory);
    return warpkit::bench::run_benchmarks(argc, argv, comparisons);
}
