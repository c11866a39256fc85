// Reading a 1 M-vertex object out of an object file, against reading the file's bytes in
// 256 KiB pieces, the way the reader goes through them: what the reader adds to the bare read
// is its decoding and checking. One large read of the whole file is shown too; it is slower
// here than the pieces, since the kernel then copies into memory that is cold.
#include <memory>

#include "bench_meshes.h"
#include "bench_support.h"

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

void register_reads() {
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
    warpkit::bench::Comparison whole;
    whole.title = "the same read against reading the whole file's bytes in one go";
    whole.measured = "read_object/1M";
    whole.reference = "read_bytes/1M";
    return warpkit::bench::run_benchmarks(argc, argv, {pieces, whole});
}
