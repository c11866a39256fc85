#pragma once
// Compressed forms of a plain binary glTF file, made here with the codecs' own encoders, for
// the import tests and the fuzz seeds. Both take a file whose data lies in its binary chunk
// and throw std::runtime_error on one they cannot take.
#include <functional>
#include <nlohmann/json.hpp>
#include <string>

namespace warpkit::testing {

// Every primitive's positions and triangle indices Draco-encoded (KHR_draco_mesh_compression,
// required), in the sequential mode that keeps the vertices in their order, losslessly; morph
// targets stay plain accessors, as the extension leaves them. Primitives that share positions
// each encode all of them, so each must use every one (Draco cannot hold points no triangle
// uses).
std::string draco_glb(const std::string& glb);

// Every buffer view meshopt-encoded (EXT_meshopt_compression, required) by what its accessors
// hold: triangle indices as TRIANGLES, other indices as INDICES, the rest as ATTRIBUTES, each
// view moved onto a fallback buffer without bytes.
std::string meshopt_glb(const std::string& glb);

// The file with its JSON changed by `edit`, its binary chunk as it was.
std::string edited_glb(const std::string& glb, const std::function<void(nlohmann::json&)>& edit);

}  // namespace warpkit::testing
