#pragma once
// File names as the rest of the program takes them apart.
#include <string>

namespace warpkit {

// The folder that holds `path`, ready to open or to join a name to: "/a/b" for "/a/b/c.qxm",
// "/" for a file in the root, "." for a bare name.
std::string folder_of(const std::string& path);

}  // namespace warpkit
