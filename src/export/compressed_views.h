#pragma once
// EXT_meshopt_compression for an exported glTF model: the buffer views that the meshopt codecs
// make smaller are stored compressed, each keeping its place in a fallback buffer that holds no
// data, so a player with the decoder rebuilds the same bytes. Lossless: no filter, no
// quantisation.
#include <tiny_gltf.h>

#include <cstddef>
#include <vector>

#include "export/progress.h"

namespace warpkit::exporting {

inline constexpr const char* kMeshoptExtension = "EXT_meshopt_compression";

// What a buffer view holds, as far as the codecs care.
enum class ViewKind {
    kAttributes,  // elements of `stride` bytes, a multiple of 4 (floats)
    kTriangles,   // triangle vertex indices of 2 or 4 bytes, a multiple of 3 of them
    kIndices,     // any other sequence of 2- or 4-byte indices (sparse accessor indices)
};

struct ViewLayout {
    ViewKind kind = ViewKind::kAttributes;
    size_t stride = 0;  // bytes of one element
};

// `layouts` has one entry per buffer view of `model`, whose views all lie in buffer 0 and leave
// no byte of it to anything else. Every view whose encoding is smaller than its bytes moves
// into a new fallback buffer (no data, just as long as the views laid on it), with the encoded
// bytes in buffer 0 named by the extension; the rest stay in buffer 0 as they are. The
// extension is added to extensionsUsed and extensionsRequired only when a view was compressed.
// Returns the number of views compressed.
size_t compress_buffer_views(tinygltf::Model& model, const std::vector<ViewLayout>& layouts,
                             Progress* progress);

}  // namespace warpkit::exporting
