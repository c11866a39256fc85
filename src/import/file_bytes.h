#pragma once
// Reading a whole file into memory for the importers, with the checks a file named by another
// file (a glTF buffer, a material library) needs as much as the one the user chose: it must be a
// regular file (not a folder, a pipe or a device that never ends) no larger than a limit.
#include <cstdint>
#include <string>

#include "base/bilingual_text.h"

namespace warpkit {

// Empty on success with the bytes in `out`; otherwise why not, naming the file
// ("face.bin is 3000000000 bytes, more than the 2147483648 an import reads").
BilingualText read_file_bytes(const std::string& path, int64_t max_bytes, std::string& out);

// The same checks without reading, for a library that reads the file itself: empty when `path`
// is a regular file of at most `max_bytes` bytes.
BilingualText regular_file_problem(const std::string& path, int64_t max_bytes);

// The file name without folder and without its last extension ("/a/face.glb" -> "face").
std::string stem_part(const std::string& path);

}  // namespace warpkit
