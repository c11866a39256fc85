#include "export/object_listing.h"

#include "base/texts.h"
#include "export/printable.h"

namespace warpkit::exporting {

namespace {

// Characters, not bytes, so names in Japanese line up with the others as well as they can.
size_t code_points(const std::string& utf8) {
    size_t count = 0;
    for (unsigned char c : utf8) count += (c & 0xC0) != 0x80;
    return count;
}

}  // namespace

std::string object_listing(const std::string& path, const ObjectTable& table) {
    const size_t objects = table.objects.size();
    std::string out =
        printable(path) + format_text(": %zu object%s, %d colour%s\n", objects,
                                      objects == 1 ? "" : "s", static_cast<int>(table.colour_count),
                                      table.colour_count == 1 ? "" : "s");
    if (objects == 0) return out;
    out += "index  name             vertices  triangles\n";
    for (size_t i = 0; i < objects; ++i) {
        const ObjectEntry& entry = table.objects[i];
        std::string name = printable(entry.name);
        name.append(code_points(name) < 16 ? 16 - code_points(name) : 1, ' ');
        out += format_text("%5zu  ", i) + name +
               format_text("%9d  %9d\n", static_cast<int>(entry.vertex_count),
                           static_cast<int>(entry.triangle_count));
    }
    return out;
}

}  // namespace warpkit::exporting
