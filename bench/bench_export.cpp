// The glTF export of 1 M vertices and 8 targets with the normals changes of --normals: smoothing
// the normals across seams groups the vertices by position once and sums every shape's normals
// over the groups, which must cost little next to the export itself (within 1.5 times the
// export without it). The grid is cut into strips whose edges are split, as a file cut into UV
// islands has them, so the groups are real.
//
// And gltf --onto against plain gltf of the same project, file written, within 1.5 times: onto
// an original that has all 8 targets (read, found and matched, the animation added), and onto
// one that has none, so all 8 are added with the normals' changes over the welded surface.
//
// And `warpkit-export project` of that 1 M-vertex, 8-target GLB (read, imported, the object
// file of the mesh and its targets and the project written) within 3 times writing as many
// bytes to a new file the way the command writes them (forced to disk, put in place whole).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <sstream>

#include "base/safe_replace.h"
#include "bench_gltf.h"
#include "bench_meshes.h"
#include "bench_support.h"
#include "export/export_tool.h"
#include "export/gltf_file.h"
#include "export/gltf_model.h"
#include "export/gltf_onto.h"
#include "export/project_command.h"
#include "import/any_object_reader.h"
#include "import/gltf_reader.h"
#include "model/object_mesh.h"
#include "support/qxm_writer.h"

namespace warpkit {
namespace {

using bench::export_state;
using bench::folder;
using bench::original_with;
using bench::project_bytes;
using bench::run_project;

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

void register_project() {
    benchmark::RegisterBenchmark("project/1M_x_8", [](benchmark::State& bench) {
        if (!run_project(nullptr)) bench.SkipWithError("project failed");
        for (auto _ : bench) {
            if (!run_project(&bench)) bench.SkipWithError("project failed");
        }
        bench.counters["bytes_written"] = static_cast<double>(project_bytes());
    });
    benchmark::RegisterBenchmark("write_bytes/project_output", [](benchmark::State& bench) {
        if (project_bytes() == 0 && !run_project(nullptr)) bench.SkipWithError("project failed");
        const std::string bytes(static_cast<size_t>(project_bytes()), '\x5a');
        const std::string path = folder().file("bytes.bin");
        for (auto _ : bench) {
            if (!write_new_file(path, bytes).ok) bench.SkipWithError("write failed");
            bench.PauseTiming();
            unlink(path.c_str());
            bench.ResumeTiming();
        }
    });
    // The command's first part alone: the GLB read and imported.
    benchmark::RegisterBenchmark("import/1M_x_8", [](benchmark::State& bench) {
        for (auto _ : bench) {
            ImportedScene scene;
            if (!finish_import(read_gltf_file(original_with(true), ImportLimits{}, scene), scene)
                     .ok) {
                bench.SkipWithError("the import failed");
            }
            bench.PauseTiming();
            scene = ImportedScene{};
            bench.ResumeTiming();
        }
    });
    // What the command did before its object file was made in pieces: the import, a copy of the
    // mesh's triangles for every target, the whole file made in memory, then written.
    benchmark::RegisterBenchmark("project_written_whole/1M_x_8", [](benchmark::State& bench) {
        const std::string qxm = folder().file("whole.qxm");
        for (auto _ : bench) {
            ImportedScene scene;
            const ImportOutcome read =
                finish_import(read_gltf_file(original_with(true), ImportLimits{}, scene), scene);
            if (!read.ok) bench.SkipWithError("the import failed");
            const ImportedMesh& mesh = scene.meshes[0];
            std::vector<QxmObject> objects = {QxmObject{mesh.name, mesh.vertices, mesh.triangles}};
            for (const MorphShape& target : mesh.targets) {
                objects.push_back(QxmObject{target.name, target.vertices, mesh.triangles});
            }
            if (!qxm_contents_problem(objects, scene.palette).empty() ||
                !write_new_file(qxm, qxm_file_bytes(objects, scene.palette)).ok) {
                bench.SkipWithError("the write failed");
            }
            bench.PauseTiming();
            unlink(qxm.c_str());
            bench.ResumeTiming();
        }
    });
    // The bytes only handed to the kernel: what a write costs before the disk takes them.
    benchmark::RegisterBenchmark(
        "write_bytes_unforced/project_output", [](benchmark::State& bench) {
            if (project_bytes() == 0 && !run_project(nullptr))
                bench.SkipWithError("project failed");
            const std::string bytes(static_cast<size_t>(project_bytes()), '\x5a');
            const std::string path = folder().file("bytes.bin");
            for (auto _ : bench) {
                const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
                size_t done = 0;
                while (fd >= 0 && done < bytes.size()) {
                    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
                    if (n <= 0) break;
                    done += static_cast<size_t>(n);
                }
                if (fd < 0 || close(fd) != 0 || done != bytes.size()) {
                    bench.SkipWithError("write failed");
                }
                bench.PauseTiming();
                unlink(path.c_str());
                bench.ResumeTiming();
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

    warpkit::register_project();
    warpkit::bench::Comparison project;
    project.title =
        "warpkit-export project of a 1 M-vertex GLB with 8 targets and their animation, against "
        "writing as many bytes to a new file (forced to disk, put in place whole), wall clock";
    project.measured = "project/1M_x_8";
    project.reference = "write_bytes/project_output";
    project.clock = warpkit::bench::Clock::kWall;
    project.goal = 3.0;
    project.counters = {{"bytes_written", "bytes of the object file and the project"}};
    warpkit::bench::Comparison unforced = project;
    unforced.title =
        "the same project command against writing as many bytes without forcing them to disk "
        "(the kernel's copy alone), wall clock";
    unforced.reference = "write_bytes_unforced/project_output";
    warpkit::bench::Comparison unforced_cpu = unforced;
    unforced_cpu.title = "the same, the calling thread's CPU time";
    unforced_cpu.clock = warpkit::bench::Clock::kThreadCpu;
    unforced_cpu.goal = 0.0;
    return warpkit::bench::run_benchmarks(
        argc, argv, {smoothing, same, added, project, unforced, unforced_cpu});
}
