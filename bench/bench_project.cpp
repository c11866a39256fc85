// Loading a project of a source and eight targets of 1 M vertices (reading and checking every
// object, then setting the session up), against reading the nine files' bytes in 256 KiB
// pieces, the way the reader goes through them.
#include <memory>

#include "base/editor_state.h"
#include "bench_meshes.h"
#include "bench_support.h"
#include "session/project_session.h"

namespace warpkit {
namespace {

struct ProjectFiles {
    testing::TempFolder folder;
    ProjectData project;
    std::vector<std::string> paths;
    double bytes = 0.0;
};

// The nine object files and the project naming them, written once.
const ProjectFiles& project_files() {
    static std::unique_ptr<ProjectFiles> files;
    if (files) return *files;
    files = std::make_unique<ProjectFiles>();
    const auto write = [&](const std::string& name, float phase) {
        testing::QxmFileSpec file_spec;
        file_spec.objects.push_back(bench::hills(name, bench::k1MVertices, phase));
        file_spec.colours = testing::make_palette(8);
        file_spec.junk_seed = 0;  // quicker to write; the reader skips those bytes either way
        const std::string path = testing::write_qxm(files->folder.file(name + ".qxm"), file_spec);
        files->paths.push_back(path);
        std::vector<uint8_t> bytes;
        files->bytes += static_cast<double>(bench::read_whole_file(path, bytes));
        return path;
    };
    files->project.source_path = write("source", 0.0f);
    files->project.source_name = "source";
    for (int k = 1; k <= kTargetCount; ++k) {
        ProjectTarget& target = files->project.targets[k - 1];
        target.present = true;
        target.name = "target" + std::to_string(k);
        target.path = write(target.name, 0.1f * static_cast<float>(k));
        target.keys.frames = {0, 50};
        target.keys.weights = {0.0f, 100.0f};
    }
    return *files;
}

void register_loads() {
    benchmark::RegisterBenchmark("load_project/1M", [](benchmark::State& bench) {
        const ProjectFiles& files = project_files();
        // Timed loads replace a loaded project, as a load from the menu does.
        EditorState state;
        apply_project(state, files.project, prepare_project(files.project));
        double read = 0.0;
        for (auto _ : bench) {
            const int64_t before = bench::bytes_read_by_process();
            PreparedProject prepared = prepare_project(files.project);
            if (!prepared.refusal.empty() || !prepared.warnings.empty()) {
                bench.SkipWithError("the project did not load whole");
                break;
            }
            // As the window does: the session takes the objects' arrays.
            apply_project(state, files.project, std::move(prepared));
            read += static_cast<double>(bench::bytes_read_by_process() - before);
            benchmark::DoNotOptimize(state.mesh.displayed.data());
        }
        bench.counters["read_per_file_byte"] =
            read / (files.bytes * static_cast<double>(bench.iterations()));
    });
    benchmark::RegisterBenchmark("read_nine_files_in_pieces/1M", [](benchmark::State& bench) {
        const ProjectFiles& files = project_files();
        std::vector<uint8_t> buffer;
        for (auto _ : bench) {
            for (const std::string& path : files.paths) {
                bench::read_file_in_pieces(path, size_t{1} << 18, buffer);
            }
            benchmark::DoNotOptimize(buffer.data());
        }
    });
}

}  // namespace
}  // namespace warpkit

int main(int argc, char** argv) {
    warpkit::register_loads();
    warpkit::bench::Comparison load;
    load.title =
        "loading a project of a source and 8 targets of 1M vertices (prepare_project + "
        "apply_project), against reading the nine files' bytes in 256 KiB pieces";
    load.measured = "load_project/1M";
    load.reference = "read_nine_files_in_pieces/1M";
    load.goal = 2.0;
    // Each file is read ahead on a helper thread while the caller decodes: the wall clock.
    load.clock = warpkit::bench::Clock::kWall;
    warpkit::bench::Comparison load_cpu = load;
    load_cpu.title = "the same, the calling thread's CPU time (reads the helper made not counted)";
    load_cpu.clock = warpkit::bench::Clock::kThreadCpu;
    load_cpu.goal = 0.0;
    load_cpu.counters.clear();
    load.counters = {
        {"read_per_file_byte", "bytes read per byte of the nine files (1.0: each file read once)"}};
    return warpkit::bench::run_benchmarks(argc, argv, {load, load_cpu});
}
