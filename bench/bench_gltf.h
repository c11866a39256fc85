#pragma once
// The 1 M-vertex mesh with 8 targets that the export and the window's import are measured on,
// as a session and as the GLB that plain `gltf` makes of it (with the targets' animation), and
// one run of `warpkit-export project` on that GLB.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "base/editor_state.h"
#include "support/qxm_writer.h"

namespace warpkit::bench {

// A source of 1 M vertices in strips with split seams and 8 targets keyed 0 to 100 over 100
// frames; made once.
EditorState& export_state();

// The folder the benchmarks' files go to, removed at exit.
testing::TempFolder& folder();

// The project's glTF as plain gltf writes it, with all its targets or none; made once.
const std::string& original_with(bool targets);

// The bytes `project` wrote at its last run (the object file and the project).
int64_t& project_bytes();

// One run of `warpkit-export project` on original_with(true); false when it did not write both
// files. The files are removed afterwards (untimed when `bench` is given), so every run writes
// under the same names.
bool run_project(benchmark::State* bench);

int64_t file_size(const std::string& path);

}  // namespace warpkit::bench
