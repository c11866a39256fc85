#pragma once
// The glTF extensions that store a mesh's bytes in another form (EXT_meshopt_compression,
// KHR_draco_mesh_compression), turned into plain buffer views and accessors, so the reader and
// its checks see an ordinary file. KHR_mesh_quantization needs nothing here: its integer
// components are ordinary accessors the reader takes as they are.
//
// tinygltf itself refuses such files before any accessor is read (a meshopt fallback buffer has
// a length but no bytes; a Draco primitive's indices have no buffer view), so the work is in two
// steps around it: prepare_gltf_json() looks at the JSON first (the glTF version, the required
// extensions) and rewrites what tinygltf would trip over, decode_compressed() then decodes
// into new buffers of the model tinygltf made.
#include <tiny_gltf.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/bilingual_text.h"

namespace warpkit {

// What prepare_gltf_json() took out of the JSON for decode_compressed() to put back.
struct CompressedParts {
    struct DracoIndices {
        size_t mesh;
        size_t primitive;
        int accessor;
    };
    std::vector<DracoIndices> draco_indices;
};

// Why a file of this asset version (null: without an asset object) is not read, or empty.
BilingualText gltf_version_problem(const std::string* version);
// The first required extension Warpkit does not read, named, or empty.
BilingualText gltf_extension_problem(const std::vector<std::string>& required);
// The version problem of a JSON text tinygltf could not read, when it has one: a glTF 1.0 file
// fails there for reasons that do not say what it is.
BilingualText gltf_json_version_problem(const char* json, size_t length);

// For a file that names a compression: refuses it when it is not glTF 2.0 or requires an
// extension Warpkit does not read, and `rewritten` gets the JSON to hand tinygltf instead of
// `json`. Other files are left as they are (`rewritten` empty), as is JSON that does not parse,
// for tinygltf to say where.
BilingualText prepare_gltf_json(const char* json, size_t length, std::string& rewritten,
                                CompressedParts& parts);

// Decodes every compressed buffer view and Draco primitive of `model` into buffers of its own,
// checking each decoded size against `budget` positions (12 bytes each) before decoding.
// `spent` gets the positions' worth the decoded bytes take, for the rest of the import to count.
BilingualText decode_compressed(tinygltf::Model& model, const CompressedParts& parts,
                                int64_t budget, int64_t& spent);

}  // namespace warpkit
