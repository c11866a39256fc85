#pragma once
// Point caches: the blended shape of every exported frame as one file of floats, the form in
// which Blender's Mesh Cache modifier, 3ds Max and Maya take per-frame shapes. Points come in
// the source's vertex order, so the cache plays on any mesh with that order (the glTF that
// `gltf` writes, or the file the source came from).
//
// PC2, little-endian: "POINTCACHE2\0", int32 version 1, int32 points, float start frame, float
// frames between samples, int32 samples, then each sample's points as x y z floats.
// MDD, big-endian: int32 frames, int32 points, one float time in seconds per frame, then each
// frame's points as x y z floats.
#include <cstdint>
#include <string>

#include "base/editor_state.h"
#include "export/progress.h"

namespace warpkit::exporting {

enum class CacheFormat { kPc2, kMdd };

struct CacheFrames {
    int32_t first = 0;
    int32_t last = 0;
    int32_t step = 1;   // frames first, first + step, ... up to last, as obj writes them
    double fps = 30.0;  // MDD times: frame / fps, so both formats place frames alike
};

struct CacheExport {
    bool ok = false;
    std::string problem;  // set when !ok: why nothing was written
    int64_t frames = 0;   // frames in the file
    size_t bytes = 0;     // its size
};

// The most bytes one cache is built of: the file is made whole in memory before it replaces
// anything, and a timeline long enough to need more is better chosen with --frames or --step.
inline constexpr uint64_t kMaxCacheBytes = uint64_t{4} << 30;

// Blends every chosen frame by the program's rules and writes the cache as `path`, whole and
// never through a symbolic link (output_file.h). Leaves mesh.displayed at the last frame.
// Needs a loaded source.
CacheExport write_point_cache(EditorState& state, CacheFormat format, const CacheFrames& frames,
                              const std::string& path, Progress* progress);

}  // namespace warpkit::exporting
