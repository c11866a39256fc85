#pragma once
// Reads the meshes of a glTF 2.0 file (.gltf text with its buffers beside it, or binary .glb)
// through tinygltf, checking every accessor against the bytes that back it before reading.
//
// Each glTF mesh is one mesh. Its vertices are the distinct POSITION accessors of its
// primitives, each once, in the order the primitives first use them, so primitives that share
// one accessor (one per material, as Warpkit's own export writes them) share their vertices.
// Positions are placed by the first node that shows the mesh (its transform, parents included),
// as any viewer shows the file; a mesh no node shows keeps them as stored. Triangle lists, strips
// and fans become triangles; points and lines add vertices but no triangles (a mesh of nothing
// else is refused by finish_import). Every material's base
// colour (linear in glTF) becomes the palette entry of its index as the program shows colours
// (sRGB); primitives without a material use one grey entry after them. Morph targets become
// whole shapes; their names come from the mesh's extras.targetNames, else from the name of the
// target's POSITION accessor. The first animation with a weights channel is kept.
#include <cstdint>
#include <string>
#include <vector>

#include "base/bilingual_text.h"
#include "import/imported_scene.h"

namespace warpkit {

struct ImportOutcome {
    bool ok = false;
    BilingualText reason;  // when !ok
};

// The file at `path`; buffers named by a relative URI are read from its folder, and a buffer or
// image named outside it refuses the file. What a mesh will hold is counted against
// limits.max_positions before it is read; running out of memory all the same is a refusal.
ImportOutcome read_gltf_file(const std::string& path, const ImportLimits& limits,
                             ImportedScene& scene);

// The bytes of every buffer of the file at `path`, in buffer order, read as read_gltf_file reads
// them (a buffer named outside the file's folder refuses the file), for a writer that extends
// the file's own data.
ImportOutcome read_gltf_buffers(const std::string& path, const ImportLimits& limits,
                                std::vector<std::string>& buffers);

// A file already in memory (text or binary); every URI of another file is refused.
ImportOutcome read_gltf_bytes(const std::string& bytes, const ImportLimits& limits,
                              ImportedScene& scene);

// True when the bytes start as a binary glTF file does.
bool is_glb(const std::string& start);

}  // namespace warpkit
