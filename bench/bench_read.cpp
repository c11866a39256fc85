// Reading a 1 M-vertex object out of an object file, against reading the file's bytes in
// 256 KiB pieces, the way the reader goes through them: what the reader adds to the bare read
// is its decoding and checking, which overlaps the reading on two cores. One large read of the
// whole file is shown too; it is slower here than the pieces, since the kernel then copies into
// memory that is cold.
//
// Also the refusal of a hostile glTF file, 100 000 real positions with 2000 empty morph
// targets (1.6 MB), which once took gigabytes before running out: it must stay a matter of
// reading and parsing the file, well within 2 s.
#include <memory>

#include "bench_meshes.h"
#include "bench_support.h"
#include "import/gltf_reader.h"
#include "support/mesh_fixtures.h"

namespace warpkit {
namespace {

struct ObjectFile {
    testing::TempFolder folder;
    std::string path;
};

// One file holding the object, written once.
const ObjectFile& object_file() {
    static std::unique_ptr<ObjectFile> file;
    if (file) return *file;
    file = std::make_unique<ObjectFile>();
    testing::QxmFileSpec file_spec;
    file_spec.objects.push_back(bench::hills("hills", bench::k1MVertices));
    file_spec.colours = testing::make_palette(8);
    file->path = testing::write_qxm(file->folder.file("hills.qxm"), file_spec);
    return *file;
}

const ObjectFile& hostile_gltf() {
    static std::unique_ptr<ObjectFile> file;
    if (file) return *file;
    file = std::make_unique<ObjectFile>();
    testing::GltfBuilder builder;
    std::vector<Vec3> points(100000);
    for (size_t i = 0; i < points.size(); ++i)
        points[i] = Vec3{float(i % 1000), float(i / 1000), 0};
    builder.add_points(points);
    std::string targets = "[{}";
    for (int t = 1; t < 2000; ++t) targets += ",{}";
    file->path = file->folder.file("targets.gltf");
    testing::write_text(
        file->path, builder.gltf("\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":0},"
                                 "\"targets\":" +
                                 targets + "]}]}]"));
    return *file;
}

void register_reads() {
    benchmark::RegisterBenchmark("refuse_empty_targets/100k_x_2000", [](benchmark::State& bench) {
        const std::string& path = hostile_gltf().path;
        for (auto _ : bench) {
            ImportedScene scene;
            if (read_gltf_file(path, ImportLimits{}, scene).ok) {
                bench.SkipWithError("the file was read");
                break;
            }
        }
    });
    benchmark::RegisterBenchmark("read_bytes/100k_x_2000", [](benchmark::State& bench) {
        const std::string& path = hostile_gltf().path;
        std::vector<uint8_t> bytes;
        bench::read_whole_file(path, bytes);
        for (auto _ : bench) {
            bench::read_whole_file(path, bytes);
            benchmark::DoNotOptimize(bytes.data());
        }
    });
    benchmark::RegisterBenchmark("read_object/1M", [](benchmark::State& bench) {
        const std::string& path = object_file().path;
        ObjectFileReader reader;
        for (auto _ : bench) {
            const ReadOutcome outcome = reader.ReadObject(path, "hills", true);
            if (!outcome.ok()) {
                bench.SkipWithError(outcome.reason.en.c_str());
                break;
            }
            benchmark::DoNotOptimize(reader.result().vertices.data());
            reader.ReleaseReadResult();
        }
    });
    benchmark::RegisterBenchmark("read_bytes/1M", [](benchmark::State& bench) {
        const std::string& path = object_file().path;
        std::vector<uint8_t> bytes;
        bench::read_whole_file(path, bytes);  // the buffer is made before timing
        for (auto _ : bench) {
            bench::read_whole_file(path, bytes);
            benchmark::DoNotOptimize(bytes.data());
        }
    });
    benchmark::RegisterBenchmark("read_bytes_in_pieces/1M", [](benchmark::State& bench) {
        const std::string& path = object_file().path;
        std::vector<uint8_t> buffer;
        bench::read_file_in_pieces(path, size_t{1} << 18, buffer);
        for (auto _ : bench) {
            bench::read_file_in_pieces(path, size_t{1} << 18, buffer);
            benchmark::DoNotOptimize(buffer.data());
        }
    });
}

}  // namespace
}  // namespace warpkit

int main(int argc, char** argv) {
    warpkit::register_reads();
    warpkit::bench::Comparison pieces;
    pieces.title =
        "reading a 1M-vertex object (1 996 002 triangles) out of a QXM file, against reading "
        "the file's bytes in 256 KiB pieces";
    pieces.measured = "read_object/1M";
    pieces.reference = "read_bytes_in_pieces/1M";
    pieces.goal = 1.5;
    // The reader reads ahead on a helper thread while the caller decodes, so the wall clock is
    // the measure; the caller's CPU time is shown apart.
    pieces.clock = warpkit::bench::Clock::kWall;
    warpkit::bench::Comparison pieces_cpu = pieces;
    pieces_cpu.title =
        "the same, the calling thread's CPU time (reads the helper made not counted)";
    pieces_cpu.clock = warpkit::bench::Clock::kThreadCpu;
    pieces_cpu.goal = 0.0;
    warpkit::bench::Comparison whole;
    whole.title = "the same read against reading the whole file's bytes in one go";
    whole.measured = "read_object/1M";
    whole.reference = "read_bytes/1M";
    warpkit::bench::Comparison hostile;
    hostile.title =
        "refusing a 1.6 MB glTF file of 100 000 positions and 2000 empty morph "
        "targets, against reading its bytes";
    hostile.measured = "refuse_empty_targets/100k_x_2000";
    hostile.reference = "read_bytes/100k_x_2000";
    hostile.seconds_goal = 2.0;
    return warpkit::bench::run_benchmarks(argc, argv, {pieces, pieces_cpu, whole, hostile});
}
