#pragma once
// Writes a glTF model as one binary .glb file, or as a .gltf text with its buffer in a .bin
// file beside it. A file already there is replaced whole or not at all, and never through a
// symbolic link (output_file.h).
#include <tiny_gltf.h>

#include <string>

#include "base/safe_replace.h"

namespace warpkit::exporting {

// `path` ending in .gltf (any case): text, with buffer 0 in the file of the same name ending
// in .bin, which the text names by a relative URI. Anything else: binary glTF, buffer 0 in its
// binary chunk. Only buffer 0 may hold data; a buffer without data (a compression fallback) is
// written without a URI, as long as the views laid on it. Extensions of buffers and buffer
// views are written as the model holds them. The model is left as it was. A failure's reason
// starts with the printable name of the file that could not be written ("face.bin: disk full");
// a link at either name of a .gltf refuses both files before either is written.
FileOutcome write_gltf_file(tinygltf::Model& model, const std::string& path);

// The .bin file written beside a .gltf file; `gltf_path` ends in .gltf (any case).
std::string bin_path_for(const std::string& gltf_path);

// A file name as a relative URI: every byte outside the unreserved set percent-encoded.
std::string uri_from_file_name(const std::string& name);

}  // namespace warpkit::exporting
