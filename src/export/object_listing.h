#pragma once
// The listing of `warpkit-export info`: the objects of an object file in file order.
#include <string>

#include "model/qxm_reader.h"

namespace warpkit::exporting {

// One line per object (index, name, vertices, triangles) under a heading with the file name,
// the object count and the file's colour count. Names are shown as display_text makes them.
std::string object_listing(const std::string& path, const ObjectTable& table);

}  // namespace warpkit::exporting
