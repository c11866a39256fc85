// The blend of eight targets, against a memcpy that moves as many bytes: the blend reads the
// source and eight displacements and writes the displayed shape once, so memory bandwidth is
// its limit.
#include <map>
#include <memory>
#include <random>

#include "bench_support.h"
#include "morph/key_track.h"

namespace warpkit {
namespace {

// A source and eight loaded targets of `vertices` random vertices, made once per size.
EditorState& blend_state(int32_t vertices) {
    static std::map<int32_t, std::unique_ptr<EditorState>> states;
    std::unique_ptr<EditorState>& state = states[vertices];
    if (state) return *state;
    state = std::make_unique<EditorState>();
    std::mt19937 random(11);
    std::uniform_real_distribution<float> coordinate(-100.0f, 100.0f);
    const auto random_vertices = [&] {
        std::vector<Vec3> out(static_cast<size_t>(vertices));
        for (Vec3& v : out) v = {coordinate(random), coordinate(random), coordinate(random)};
        return out;
    };
    state->vertex_count = vertices;
    state->slots[0].loaded = 1;
    state->slots[0].vertices = random_vertices();
    state->mesh.displayed = state->slots[0].vertices;
    for (int k = 1; k <= kTargetCount; ++k) {
        state->slots[k].loaded = 1;
        state->slots[k].vertices = random_vertices();
    }
    return *state;
}

// Source and eight displacements read, displayed written.
double blend_bytes(int32_t vertices) {
    return (1.0 + kTargetCount + 1.0) * sizeof(Vec3) * vertices;
}

void register_blend(int32_t vertices) {
    const std::string size = bench::count_label(vertices);
    benchmark::RegisterBenchmark(("blend/" + size).c_str(), [vertices](benchmark::State& bench) {
        EditorState& state = blend_state(vertices);
        std::array<float, kTargetCount + 1> weights{};
        for (int k = 1; k <= kTargetCount; ++k) weights[k] = 12.5f * static_cast<float>(k);
        for (auto _ : bench) {
            // A drag changes one weight per step.
            weights[3] = weights[3] == 40.0f ? 41.0f : 40.0f;
            blend(state, weights);
            benchmark::DoNotOptimize(state.mesh.displayed.data());
            benchmark::ClobberMemory();
        }
        bench::set_bytes_per_iteration(bench, blend_bytes(vertices));
    });
    bench::register_memcpy("memcpy/" + size, static_cast<size_t>(blend_bytes(vertices)));
}

}  // namespace
}  // namespace warpkit

int main(int argc, char** argv) {
    using warpkit::bench::Comparison;
    using warpkit::bench::Measure;
    std::vector<Comparison> comparisons;
    for (const int32_t vertices : {100000, 1000000}) {
        warpkit::register_blend(vertices);
        const std::string size = warpkit::bench::count_label(vertices);
        Comparison blend;
        blend.title = "blend, 8 targets, " + size +
                      " vertices: bandwidth over the bytes that "
                      "must move (source and 8 displacements read, displayed written)";
        blend.measured = "blend/" + size;
        blend.reference = "memcpy/" + size;
        blend.measure = Measure::kBandwidth;
        blend.goal = vertices == 1000000 ? 0.8 : 0.0;
        comparisons.push_back(blend);
    }
    return warpkit::bench::run_benchmarks(argc, argv, comparisons);
}
