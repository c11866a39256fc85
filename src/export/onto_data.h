#pragma once
// The original's own data as gltf --onto needs it: accessors read as glTF defines them (any
// component type, normalized or not, interleaved, sparse, or zeros without a view), and the
// buffers of a .gltf gathered into the one binary chunk of a .glb.
#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace warpkit::exporting {

// An accessor's elements one after another without gaps, in its own component type, with its
// sparse values put in place.
struct DenseAccessor {
    std::string bytes;
    int component_type = 0;
    size_t component_size = 0;
    size_t components = 0;  // per element: 1 for SCALAR, 3 for VEC3 ...
    size_t count = 0;
    bool normalized = false;
};

// Reads accessor `index` of `json` over `buffers` (read_gltf_buffers). Empty on success, else
// why not, in English words that follow "accessor N ..." ("is in a compressed view").
std::string read_dense(const nlohmann::json& json, const std::vector<std::string_view>& buffers,
                       size_t index, DenseAccessor& out);
inline std::string read_dense(const nlohmann::json& json, const std::vector<std::string>& buffers,
                              size_t index, DenseAccessor& out) {
    return read_dense(json, std::vector<std::string_view>(buffers.begin(), buffers.end()), index,
                      out);
}

// The values as floats: normalized integers as glTF maps them onto -1..1 or 0..1.
std::vector<float> floats_of(const DenseAccessor& accessor);

// Makes the buffers of a .gltf one buffer 0 whose bytes are `bin` (each buffer's bytes where
// its views find them, on a 16-byte boundary so every view keeps its alignment), as a .glb
// holds them. A buffer without a URI (a meshopt fallback, which has no bytes) stays a buffer of
// its own after it. Views, compressed views included, are moved along.
void gather_buffers(nlohmann::json& json, const std::vector<std::string_view>& buffers,
                    std::string& bin);

}  // namespace warpkit::exporting
