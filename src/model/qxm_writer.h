#pragma once
// Writes QXM rev.3 object files: one or more named objects sharing one colour table, laid out
// so that the object file reader gives back every object as it was handed in.
//
// Nothing is written unless all of it can be read back: the objects are checked first (counts
// within the format's 32-bit fields, at most kMaxListedObjects objects, every index inside its
// object and palette, finite coordinates), and a refusal names the object and the value.
#include <cstdint>
#include <string>
#include <vector>

#include "base/geometry.h"
#include "base/safe_replace.h"
#include "model/qxm_reader.h"

namespace warpkit {

constexpr size_t kMaxObjectNameBytes = 15;  // the 16-byte name field ends with a NUL

struct QxmObject {
    std::string name;  // bytes; cut_object_name() is applied when the file is written
    std::vector<Vec3> vertices;
    std::vector<Triangle> triangles;  // vertex indices local to this object
};

// An object as the writer reads it: the arrays are borrowed, not copied, so a mesh's triangles
// can serve every one of its targets, and must stay unchanged until the write returns.
struct QxmObjectView {
    std::string name;
    const Vec3* vertices = nullptr;
    size_t vertex_count = 0;
    const Triangle* triangles = nullptr;
    size_t triangle_count = 0;
};

// Views of `objects`, valid while they are.
std::vector<QxmObjectView> qxm_views(const std::vector<QxmObject>& objects);

// The file's colour table, shared by all its objects: three arrays of equal length.
struct QxmPalette {
    std::vector<uint8_t> red, green, blue;
    size_t size() const { return red.size(); }
};

enum class ExistingFile {
    kKeep,     // a file of that name is left alone and the write is refused
    kReplace,  // the old file is replaced whole, or kept when the write fails
};

// Empty when the objects and palette can be written and read back unchanged; otherwise the
// first problem in English ("object 2 (\"jaw\"): triangle 7 uses vertex 12 but the object has
// 5 vertices"). With an empty palette the colour indices are written as they are.
std::string qxm_contents_problem(const std::vector<QxmObject>& objects, const QxmPalette& palette);
std::string qxm_contents_problem(const std::vector<QxmObjectView>& objects,
                                 const QxmPalette& palette);

// The bytes of the file. Precondition: qxm_contents_problem() is empty. Every byte the reader
// skips is zero; the header has no variable part and no auxiliary records.
std::string qxm_file_bytes(const std::vector<QxmObject>& objects, const QxmPalette& palette);
std::string qxm_file_bytes(const std::vector<QxmObjectView>& objects, const QxmPalette& palette);

// Checks, then writes `path` in one step (safe_replace.h): on failure no file is left and an
// old one is untouched. `reason` names the problem of the contents or of the file system.
// The bytes are made piece by piece straight into the file, on the mesh helpers as well as the
// calling thread, never held whole in memory; the file is the one qxm_file_bytes() gives.
FileOutcome write_qxm_file(const std::string& path, const std::vector<QxmObject>& objects,
                           const QxmPalette& palette, ExistingFile existing);
FileOutcome write_qxm_file(const std::string& path, const std::vector<QxmObjectView>& objects,
                           const QxmPalette& palette, ExistingFile existing);

// The palette of a read object, for writing it again.
QxmPalette palette_of(const ReadResult& result);

// A name as the format can hold it: up to the first NUL, at most `max_bytes` (at most
// kMaxObjectNameBytes) bytes, cut before a character rather than inside one (UTF-8 when the name
// is valid UTF-8, else Shift-JIS, as display_text() reads names).
std::string cut_object_name(const std::string& name, size_t max_bytes = kMaxObjectNameBytes);

}  // namespace warpkit
