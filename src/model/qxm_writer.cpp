#include "model/qxm_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/display_text.h"

namespace warpkit {
namespace {

// Positions and record sizes as the reader expects them, for a header without a variable part
// (H = 0) and without auxiliary records.
constexpr size_t kCountsOffset = 216;
constexpr size_t kColourExtrasOffset = 316;
constexpr size_t kTableToVertexGap = 12;
constexpr size_t kSectionGap = 20;
constexpr size_t kColourExtraSize = 16;
constexpr size_t kObjectRecordSize = 52;
constexpr size_t kVertexRecordSize = 32;
constexpr size_t kTriangleRecordSize = 32;
constexpr size_t kColourRecordSize = 4;
constexpr char kMagic[] = "QXM v91";

constexpr int64_t kMaxCount = std::numeric_limits<int32_t>::max();

void put_u32(char* out, uint32_t value) {
    out[0] = static_cast<char>(value & 0xFF);
    out[1] = static_cast<char>((value >> 8) & 0xFF);
    out[2] = static_cast<char>((value >> 16) & 0xFF);
    out[3] = static_cast<char>((value >> 24) & 0xFF);
}

void put_i32(char* out, int64_t value) {
    put_u32(out, static_cast<uint32_t>(static_cast<int32_t>(value)));
}

void put_f32(char* out, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    put_u32(out, bits);
}

std::string object_label(size_t index, const std::string& name) {
    return "object " + std::to_string(index) + " (\"" + display_text(name) + "\")";
}

std::string object_problem(const QxmObject& object, size_t colour_count) {
    const auto vertex_count = static_cast<int64_t>(object.vertices.size());
    for (size_t i = 0; i < object.vertices.size(); ++i) {
        const Vec3& v = object.vertices[i];
        if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) {
            return "vertex " + std::to_string(i) + " has a coordinate that is not a finite number";
        }
    }
    for (size_t i = 0; i < object.triangles.size(); ++i) {
        const Triangle& t = object.triangles[i];
        for (const int32_t corner : t.v) {
            if (corner < 0 || corner >= vertex_count) {
                return "triangle " + std::to_string(i) + " uses vertex " + std::to_string(corner) +
                       " but the object has " + std::to_string(vertex_count) + " vertices";
            }
        }
        if (colour_count > 0 && (t.colour < 0 || static_cast<size_t>(t.colour) >= colour_count)) {
            return "triangle " + std::to_string(i) + " uses colour " + std::to_string(t.colour) +
                   " but the palette has " + std::to_string(colour_count) + " colours";
        }
    }
    return {};
}

// A Shift-JIS byte that starts a two-byte character.
bool is_shift_jis_lead(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

}  // namespace

std::string cut_object_name(const std::string& name, size_t max_bytes) {
    max_bytes = std::min(max_bytes, kMaxObjectNameBytes);
    std::string text = name.substr(0, name.find('\0'));
    if (text.size() <= max_bytes) return text;
    size_t length = 0;
    if (is_valid_utf8(text)) {
        // Back off to the start of the character that would be cut.
        length = max_bytes;
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    } else {
        while (length < max_bytes) {
            const size_t step = is_shift_jis_lead(static_cast<unsigned char>(text[length])) ? 2 : 1;
            if (length + step > max_bytes) break;
            length += step;
        }
    }
    return text.substr(0, length);
}

std::string qxm_contents_problem(const std::vector<QxmObject>& objects, const QxmPalette& palette) {
    if (objects.size() > static_cast<size_t>(kMaxListedObjects)) {
        return std::to_string(objects.size()) + " objects are more than the " +
               std::to_string(kMaxListedObjects) + " an object file can offer";
    }
    if (palette.green.size() != palette.size() || palette.blue.size() != palette.size()) {
        return "the palette's red, green and blue lists differ in length";
    }
    if (static_cast<int64_t>(palette.size()) > kMaxCount) {
        return "the palette has more colours than an object file can count";
    }
    int64_t vertex_total = 0;
    int64_t triangle_total = 0;
    for (size_t i = 0; i < objects.size(); ++i) {
        const QxmObject& object = objects[i];
        vertex_total += static_cast<int64_t>(object.vertices.size());
        triangle_total += static_cast<int64_t>(object.triangles.size());
        if (vertex_total > kMaxCount || triangle_total > kMaxCount) {
            return "the objects up to " + object_label(i, object.name) + " hold more " +
                   (vertex_total > kMaxCount ? "vertices" : "triangles") + " than the " +
                   std::to_string(kMaxCount) + " an object file can count";
        }
        const std::string problem = object_problem(object, palette.size());
        if (!problem.empty()) return object_label(i, object.name) + ": " + problem;
    }
    return {};
}

std::string qxm_file_bytes(const std::vector<QxmObject>& objects, const QxmPalette& palette) {
    size_t vertex_total = 0;
    size_t triangle_total = 0;
    for (const QxmObject& object : objects) {
        vertex_total += object.vertices.size();
        triangle_total += object.triangles.size();
    }
    const size_t colours = palette.size();
    const size_t table = kColourExtrasOffset + kColourExtraSize * colours;
    const size_t vertices = table + kObjectRecordSize * objects.size() + kTableToVertexGap;
    const size_t triangles = vertices + kVertexRecordSize * vertex_total + kSectionGap;
    const size_t colour_table = triangles + kTriangleRecordSize * triangle_total + kSectionGap;
    std::string bytes(colour_table + kColourRecordSize * colours, '\0');
    char* const file = bytes.data();

    // header: magic, H = 0, then the five counts N, T, V, C, X
    std::memcpy(file, kMagic, 7);
    char* counts = file + kCountsOffset;
    put_i32(counts, static_cast<int64_t>(objects.size()));
    put_i32(counts + 4, static_cast<int64_t>(triangle_total));
    put_i32(counts + 8, static_cast<int64_t>(vertex_total));
    put_i32(counts + 12, static_cast<int64_t>(colours));
    put_i32(counts + 16, 0);

    // object records with their runs of vertices and triangles, one after the other
    size_t first_vertex = 0;
    size_t first_triangle = 0;
    for (size_t i = 0; i < objects.size(); ++i) {
        const QxmObject& object = objects[i];
        char* record = file + table + kObjectRecordSize * i;
        const std::string name = cut_object_name(object.name);
        std::memcpy(record, name.data(), name.size());
        put_i32(record + 20, static_cast<int64_t>(object.vertices.size()));
        put_i32(record + 24, static_cast<int64_t>(first_vertex));
        put_i32(record + 28, static_cast<int64_t>(object.triangles.size()));
        put_i32(record + 32, static_cast<int64_t>(first_triangle));

        char* vertex = file + vertices + kVertexRecordSize * first_vertex;
        for (const Vec3& v : object.vertices) {
            put_f32(vertex, v.x);
            put_f32(vertex + 4, v.y);
            put_f32(vertex + 8, v.z);
            vertex += kVertexRecordSize;
        }
        // the file counts vertex indices in the whole vertex section
        char* triangle = file + triangles + kTriangleRecordSize * first_triangle;
        for (const Triangle& t : object.triangles) {
            for (int corner = 0; corner < 3; ++corner) {
                put_i32(triangle + 4 * corner,
                        int64_t{t.v[corner]} + static_cast<int64_t>(first_vertex));
            }
            put_i32(triangle + 24, t.colour);
            triangle += kTriangleRecordSize;
        }
        first_vertex += object.vertices.size();
        first_triangle += object.triangles.size();
    }

    char* colour = file + colour_table;
    for (size_t j = 0; j < colours; ++j, colour += kColourRecordSize) {
        colour[0] = static_cast<char>(palette.red[j]);
        colour[1] = static_cast<char>(palette.green[j]);
        colour[2] = static_cast<char>(palette.blue[j]);
    }
    return bytes;
}

FileOutcome write_qxm_file(const std::string& path, const std::vector<QxmObject>& objects,
                           const QxmPalette& palette, ExistingFile existing) {
    const std::string problem = qxm_contents_problem(objects, palette);
    if (!problem.empty()) return {false, same_in_both(problem)};
    const std::string bytes = qxm_file_bytes(objects, palette);
    return existing == ExistingFile::kReplace ? replace_file_contents(path, bytes)
                                              : write_new_file(path, bytes);
}

QxmPalette palette_of(const ReadResult& result) {
    return QxmPalette{result.red, result.green, result.blue};
}

}  // namespace warpkit
