#pragma once
// Writes QXM rev.3 object files from descriptions in code: the fixtures of the tests, the
// benchmark inputs and the example objects. Every byte the reader skips is filled with
// non-zero pseudo-random junk (unless junk_seed is 0), so a reader that looks at a skipped
// byte shows itself. Counts and positions are computed from the description, and each can be
// overridden to make a damaged file.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/geometry.h"

namespace warpkit::testing {

struct QxmColour {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
};

struct QxmObjectSpec {
    // Name bytes: up to 15 are written NUL-ended; exactly 16 fill the field with no NUL.
    std::string name;
    std::vector<Vec3> vertices;
    // Vertex indices local to this object (0 is its first vertex); the writer adds the
    // object's real position in the vertex section.
    std::vector<Triangle> triangles;
    // Overrides of the object record; by default the real counts and positions.
    std::optional<int32_t> vertex_count;
    std::optional<int32_t> first_vertex;
    std::optional<int32_t> triangle_count;
    std::optional<int32_t> first_triangle;
};

struct QxmFileSpec {
    std::vector<QxmObjectSpec> objects;  // their vertices and triangles are laid out in order
    std::vector<QxmColour> colours;
    std::vector<uint8_t> header_extra;  // the variable part of the header; H is its size
    int32_t aux_records = 0;            // X records of 32 junk bytes
    std::string magic = "QXM v91";      // first 7 bytes written (padded with junk)
    uint32_t junk_seed = 1;             // 0: skipped bytes are zero
    // Overrides of the header fields; by default what the description holds.
    std::optional<int32_t> header_length;
    std::optional<int32_t> object_count;
    std::optional<int32_t> triangle_total;
    std::optional<int32_t> vertex_total;
    std::optional<int32_t> colour_count;
    std::optional<int32_t> aux_count;
};

// Where the parts of a file built from a description lie (from the real sizes, not the
// overrides), so tests can patch single fields.
struct QxmLayout {
    int64_t header_length = 0;
    int64_t counts = 0;                   // N, T, V, C, X
    int64_t objects = 0;                  // object record i at objects + 52 * i
    int64_t vertices = 0;                 // vertex record i at vertices + 32 * i
    int64_t triangles = 0;                // triangle record i at triangles + 32 * i
    int64_t colours = 0;                  // colour record i at colours + 4 * i
    int64_t size = 0;                     // whole file
    std::vector<int32_t> first_vertex;    // real position of each object's first vertex
    std::vector<int32_t> first_triangle;  // and of its first triangle
};

QxmLayout qxm_layout(const QxmFileSpec& file_spec);
std::vector<uint8_t> build_qxm(const QxmFileSpec& file_spec);

// Writes bytes to a file, replacing any file of that name; throws std::runtime_error when it
// cannot.
void write_file(const std::string& path, const std::vector<uint8_t>& bytes);
// build_qxm + write_file; returns the path.
std::string write_qxm(const std::string& path, const QxmFileSpec& file_spec);

// Damaged variants.
void put_int32(std::vector<uint8_t>& bytes, int64_t offset, int32_t value);
std::vector<uint8_t> truncated(const std::vector<uint8_t>& bytes, size_t length);

// Handy objects and palettes.
// One triangle (0,0,0) (1,0,0) (0,1,0) with the given colour index.
QxmObjectSpec make_single_triangle(const std::string& name, int32_t colour = 0);
// A flat grid in the plane z = `z` of (columns + 1) x (rows + 1) vertices with unit spacing
// and 2 x columns x rows triangles, whose colour indices cycle through 0 .. colour_count - 1.
QxmObjectSpec make_grid_object(const std::string& name, int columns, int rows,
                               int32_t colour_count = 1, float z = 0.0f);
// The same surface with its vertices listed backwards (the triangles renumbered to follow).
QxmObjectSpec in_reverse_order(QxmObjectSpec object);
// n distinct colours.
std::vector<QxmColour> make_palette(int n);
// Three objects of different sizes ("first", "second" a 2 x 1 grid, "third" one triangle)
// with a four-colour table.
QxmFileSpec three_object_file();

// A fresh folder under /tmp, removed with everything in it when this goes out of scope.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    // The full name of a file in the folder.
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

}  // namespace warpkit::testing
