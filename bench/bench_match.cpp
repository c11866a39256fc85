// Matching a target's vertex order to a 1 M-vertex source, by topology (the same triangles,
// renumbered, the vertices moved) and by position (other triangles over nearly the same
// points), against reading the two object files the match starts from; and the shapes whose
// symmetries leave the positions to choose among many correspondences: 1 M vertices of
// identical parts, and a torus whose every vertex looks alike, both with noise.
#include <memory>

#include "bench_meshes.h"
#include "bench_support.h"
#include "model/vertex_match.h"
#include "support/remeshed.h"

namespace warpkit {
namespace {

struct MatchInputs {
    testing::TempFolder folder;
    testing::QxmObjectSpec source;
    testing::Renumbered same_triangles;   // the source's triangles, renumbered
    testing::Renumbered other_triangles;  // every other square's diagonal turned, renumbered
    std::string source_path, target_path;
};

// A source and its target: the source moved by noise, renumbered.
struct NoisyPair {
    testing::PlainMesh source;
    testing::Renumbered target;
};

NoisyPair noisy_pair(testing::PlainMesh source, float noise, uint32_t seed) {
    NoisyPair made;
    const std::vector<Vec3> moved = testing::jittered_points(source.vertices, noise, seed);
    made.target = testing::renumber(moved, source.triangles, seed + 1);
    made.source = std::move(source);
    return made;
}

// 250 000 tetrahedra, each vertex moved by up to a tenth of an edge.
const NoisyPair& identical_parts() {
    static const NoisyPair made = noisy_pair(testing::identical_tetrahedra(250000), 0.1f, 3);
    return made;
}

// 300 x 300 quads, each vertex moved by up to 0.08: four times the shortest edge (0.021, around
// the tube), about the longest (0.084, along the outer rim). The work grows with the square of
// the moves over the edges: a few hundred correspondences lie within such moves, and each must
// be summed far enough to lose.
const NoisyPair& noisy_torus() {
    static const NoisyPair made = noisy_pair(testing::torus(300, 300), 0.08f, 5);
    return made;
}

void write_object(const testing::QxmObjectSpec& object, const std::string& path) {
    testing::QxmFileSpec file_spec;
    file_spec.objects.push_back(object);
    file_spec.colours = testing::make_palette(8);
    file_spec.junk_seed = 0;  // quicker to write; the reader skips those bytes either way
    testing::write_qxm(path, file_spec);
}

// Made and written once.
const MatchInputs& inputs() {
    static std::unique_ptr<MatchInputs> made;
    if (made) return *made;
    made = std::make_unique<MatchInputs>();
    made->source = bench::hills("source", bench::k1MVertices);
    // A target of the same topology: other hills, so every vertex moves.
    testing::QxmObjectSpec target = bench::hills("target", bench::k1MVertices, 0.4f);
    made->same_triangles = testing::renumber(target.vertices, target.triangles, 1);
    target.vertices = made->same_triangles.vertices;
    target.triangles = made->same_triangles.triangles;

    // Other triangles over the source's points, each moved by a fifth of the grid spacing.
    testing::QxmObjectSpec other = made->source;
    other.triangles = testing::turned_diagonals(other.triangles);
    for (Vec3& v : other.vertices) v = {v.x + 0.2f, v.y - 0.1f, v.z + 0.05f};
    made->other_triangles = testing::renumber(other.vertices, other.triangles, 2);

    made->source_path = made->folder.file("source.qxm");
    made->target_path = made->folder.file("target.qxm");
    write_object(made->source, made->source_path);
    write_object(target, made->target_path);
    return *made;
}

void register_matches() {
    const auto match = [](benchmark::State& bench, const std::vector<Vec3>& source_vertices,
                          const std::vector<Triangle>& source_triangles,
                          const testing::Renumbered& target, MatchMethod method) {
        for (auto _ : bench) {
            const VertexMatch matched = match_vertex_order(source_vertices, source_triangles,
                                                           target.vertices, target.triangles);
            if (matched.status != MatchStatus::kMatched || matched.method != method ||
                matched.target_of != target.target_of) {
                bench.SkipWithError(("no exact match: " + matched.reason).c_str());
                break;
            }
            benchmark::DoNotOptimize(matched.target_of.data());
        }
    };
    benchmark::RegisterBenchmark("match_by_topology/1M", [match](benchmark::State& bench) {
        match(bench, inputs().source.vertices, inputs().source.triangles, inputs().same_triangles,
              MatchMethod::kTopology);
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("match_by_position/1M", [match](benchmark::State& bench) {
        match(bench, inputs().source.vertices, inputs().source.triangles, inputs().other_triangles,
              MatchMethod::kPosition);
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("match_identical_parts/1M", [match](benchmark::State& bench) {
        const NoisyPair& made = identical_parts();
        match(bench, made.source.vertices, made.source.triangles, made.target,
              MatchMethod::kTopology);
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("match_noisy_torus/90k", [match](benchmark::State& bench) {
        const NoisyPair& made = noisy_torus();
        match(bench, made.source.vertices, made.source.triangles, made.target,
              MatchMethod::kTopology);
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("read_two_files/1M", [](benchmark::State& bench) {
        ObjectFileReader source, target;
        for (auto _ : bench) {
            if (!source.ReadObject(inputs().source_path, "source", true).ok() ||
                !target.ReadObject(inputs().target_path, "target", true).ok()) {
                bench.SkipWithError("cannot read the object files");
                break;
            }
            benchmark::DoNotOptimize(target.result().vertices.data());
        }
    })->Unit(benchmark::kMillisecond);
}

}  // namespace
}  // namespace warpkit

int main(int argc, char** argv) {
    warpkit::register_matches();
    warpkit::bench::Comparison topology;
    topology.title =
        "matching a renumbered 1M-vertex target (same triangles, every vertex moved) by "
        "topology, against reading the source's and the target's object files";
    topology.measured = "match_by_topology/1M";
    topology.reference = "read_two_files/1M";
    topology.seconds_goal = 2.0;
    warpkit::bench::Comparison position;
    position.title =
        "matching a renumbered 1M-vertex target with other triangles over nearly the same "
        "points by position (after the topology is found to differ), against the same reads";
    position.measured = "match_by_position/1M";
    position.reference = "read_two_files/1M";
    position.seconds_goal = 3.0;
    warpkit::bench::Comparison parts;
    parts.title =
        "matching 1M vertices of identical tetrahedra, each vertex moved by up to a tenth of an "
        "edge and renumbered: the parts found by their place, not by trying every part";
    parts.measured = "match_identical_parts/1M";
    parts.reference = "read_two_files/1M";
    parts.seconds_goal = 3.0;
    warpkit::bench::Comparison torus;
    torus.title =
        "matching a 300 x 300 torus, every vertex alike, each moved by up to four times the "
        "shortest edge and renumbered: the wrong turns of the torus given up early";
    torus.measured = "match_noisy_torus/90k";
    torus.reference = "read_two_files/1M";
    torus.seconds_goal = 3.0;
    return warpkit::bench::run_benchmarks(argc, argv, {topology, position, parts, torus});
}
