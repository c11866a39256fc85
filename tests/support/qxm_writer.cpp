#include "support/qxm_writer.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace warpkit::testing {
namespace {

constexpr size_t kNameField = 16;

// Bytes of the skipped places: pseudo-random and never zero, so a zero read by mistake and a
// NUL that ends a name cannot come from here.
class Junk {
public:
    explicit Junk(uint32_t seed) : state_(seed) {}
    void fill(uint8_t* out, size_t length) {
        if (state_ == 0) {
            std::memset(out, 0, length);
            return;
        }
        for (size_t i = 0; i < length; ++i) {
            state_ ^= state_ << 13;
            state_ ^= state_ >> 17;
            state_ ^= state_ << 5;
            const auto byte = static_cast<uint8_t>(state_ >> 24);
            out[i] = byte != 0 ? byte : 0x5A;
        }
    }

private:
    uint32_t state_;
};

void put_u32(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value);
    out[1] = static_cast<uint8_t>(value >> 8);
    out[2] = static_cast<uint8_t>(value >> 16);
    out[3] = static_cast<uint8_t>(value >> 24);
}

void put_i32(uint8_t* out, int32_t value) {
    put_u32(out, static_cast<uint32_t>(value));
}

void put_f32(uint8_t* out, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    put_u32(out, bits);
}

}  // namespace

QxmLayout qxm_layout(const QxmFileSpec& file_spec) {
    QxmLayout layout;
    int64_t vertex_total = 0;
    int64_t triangle_total = 0;
    for (const QxmObjectSpec& object : file_spec.objects) {
        layout.first_vertex.push_back(static_cast<int32_t>(vertex_total));
        layout.first_triangle.push_back(static_cast<int32_t>(triangle_total));
        vertex_total += static_cast<int64_t>(object.vertices.size());
        triangle_total += static_cast<int64_t>(object.triangles.size());
    }
    const auto colours = static_cast<int64_t>(file_spec.colours.size());
    layout.header_length = static_cast<int64_t>(file_spec.header_extra.size());
    layout.counts = layout.header_length + 216;
    layout.objects =
        layout.header_length + 316 + 16 * colours + 32 * int64_t{file_spec.aux_records};
    layout.vertices = layout.objects + 52 * static_cast<int64_t>(file_spec.objects.size()) + 12;
    layout.triangles = layout.vertices + 32 * vertex_total + 20;
    layout.colours = layout.triangles + 32 * triangle_total + 20;
    layout.size = layout.colours + 4 * colours;
    return layout;
}

std::vector<uint8_t> build_qxm(const QxmFileSpec& file_spec) {
    const QxmLayout layout = qxm_layout(file_spec);
    std::vector<uint8_t> bytes(static_cast<size_t>(layout.size));
    Junk(file_spec.junk_seed).fill(bytes.data(), bytes.size());
    uint8_t* const file = bytes.data();

    // Header.
    std::memcpy(file, file_spec.magic.data(), std::min<size_t>(file_spec.magic.size(), 7));
    put_i32(file + 8, file_spec.header_length.value_or(static_cast<int32_t>(layout.header_length)));
    if (!file_spec.header_extra.empty()) {
        std::memcpy(file + 12, file_spec.header_extra.data(), file_spec.header_extra.size());
    }
    const auto vertex_total = static_cast<int32_t>((layout.triangles - 20 - layout.vertices) / 32);
    const auto triangle_total = static_cast<int32_t>((layout.colours - 20 - layout.triangles) / 32);
    uint8_t* counts = file + layout.counts;
    put_i32(counts,
            file_spec.object_count.value_or(static_cast<int32_t>(file_spec.objects.size())));
    put_i32(counts + 4, file_spec.triangle_total.value_or(triangle_total));
    put_i32(counts + 8, file_spec.vertex_total.value_or(vertex_total));
    put_i32(counts + 12,
            file_spec.colour_count.value_or(static_cast<int32_t>(file_spec.colours.size())));
    put_i32(counts + 16, file_spec.aux_count.value_or(file_spec.aux_records));

    // Object table, vertices and triangles.
    for (size_t i = 0; i < file_spec.objects.size(); ++i) {
        const QxmObjectSpec& object = file_spec.objects[i];
        if (object.name.size() > kNameField) {
            throw std::invalid_argument("object name longer than 16 bytes: " + object.name);
        }
        const int32_t first_vertex = layout.first_vertex[i];
        const int32_t first_triangle = layout.first_triangle[i];
        uint8_t* record = file + layout.objects + 52 * static_cast<int64_t>(i);
        std::memcpy(record, object.name.data(), object.name.size());
        if (object.name.size() < kNameField) record[object.name.size()] = 0;
        put_i32(record + 20,
                object.vertex_count.value_or(static_cast<int32_t>(object.vertices.size())));
        put_i32(record + 24, object.first_vertex.value_or(first_vertex));
        put_i32(record + 28,
                object.triangle_count.value_or(static_cast<int32_t>(object.triangles.size())));
        put_i32(record + 32, object.first_triangle.value_or(first_triangle));

        uint8_t* vertex = file + layout.vertices + 32 * int64_t{first_vertex};
        for (const Vec3& v : object.vertices) {
            put_f32(vertex, v.x);
            put_f32(vertex + 4, v.y);
            put_f32(vertex + 8, v.z);
            vertex += 32;
        }
        uint8_t* triangle = file + layout.triangles + 32 * int64_t{first_triangle};
        for (const Triangle& t : object.triangles) {
            for (int corner = 0; corner < 3; ++corner) {
                put_u32(triangle + 4 * corner,
                        static_cast<uint32_t>(t.v[corner]) + static_cast<uint32_t>(first_vertex));
            }
            put_i32(triangle + 24, t.colour);
            triangle += 32;
        }
    }

    // Colour table.
    uint8_t* colour = file + layout.colours;
    for (const QxmColour& c : file_spec.colours) {
        colour[0] = c.red;
        colour[1] = c.green;
        colour[2] = c.blue;
        colour += 4;
    }
    return bytes;
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    // A new file rather than a truncated one: ext4 flushes a truncated-and-rewritten file on
    // close, which makes tests that rewrite one fixture in a loop crawl.
    std::remove(path.c_str());
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) throw std::runtime_error("cannot create " + path);
    const bool written =
        bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) throw std::runtime_error("cannot write " + path);
}

std::string write_qxm(const std::string& path, const QxmFileSpec& file_spec) {
    write_file(path, build_qxm(file_spec));
    return path;
}

void put_int32(std::vector<uint8_t>& bytes, int64_t offset, int32_t value) {
    if (offset < 0 || static_cast<uint64_t>(offset) + 4 > bytes.size()) {
        throw std::out_of_range("put_int32 at " + std::to_string(offset) + " outside the file");
    }
    put_i32(bytes.data() + offset, value);
}

std::vector<uint8_t> truncated(const std::vector<uint8_t>& bytes, size_t length) {
    return std::vector<uint8_t>(
        bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(length, bytes.size())));
}

QxmObjectSpec make_single_triangle(const std::string& name, int32_t colour) {
    QxmObjectSpec object;
    object.name = name;
    object.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    Triangle t;
    t.v[0] = 0;
    t.v[1] = 1;
    t.v[2] = 2;
    t.colour = colour;
    object.triangles = {t};
    return object;
}

QxmObjectSpec in_reverse_order(QxmObjectSpec object) {
    const int32_t last = static_cast<int32_t>(object.vertices.size()) - 1;
    std::reverse(object.vertices.begin(), object.vertices.end());
    for (Triangle& t : object.triangles) {
        for (int32_t& v : t.v) v = last - v;
    }
    return object;
}

QxmObjectSpec make_grid_object(const std::string& name, int columns, int rows, int32_t colour_count,
                               float z) {
    QxmObjectSpec object;
    object.name = name;
    const int stride = columns + 1;
    object.vertices.reserve(static_cast<size_t>(stride) * static_cast<size_t>(rows + 1));
    for (int row = 0; row <= rows; ++row) {
        for (int column = 0; column <= columns; ++column) {
            object.vertices.push_back(Vec3{static_cast<float>(column), static_cast<float>(row), z});
        }
    }
    object.triangles.reserve(2 * static_cast<size_t>(columns) * static_cast<size_t>(rows));
    int32_t next_colour = 0;
    auto add = [&](int a, int b, int c) {
        Triangle t;
        t.v[0] = a;
        t.v[1] = b;
        t.v[2] = c;
        t.colour = colour_count > 0 ? next_colour++ % colour_count : 0;
        object.triangles.push_back(t);
    };
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const int corner = row * stride + column;
            add(corner, corner + 1, corner + stride + 1);
            add(corner, corner + stride + 1, corner + stride);
        }
    }
    return object;
}

std::vector<QxmColour> make_palette(int n) {
    std::vector<QxmColour> colours;
    for (int i = 0; i < n; ++i) {
        colours.push_back(QxmColour{static_cast<uint8_t>(17 * i + 3),
                                    static_cast<uint8_t>(255 - 11 * i),
                                    static_cast<uint8_t>(90 + 7 * i)});
    }
    return colours;
}

TempFolder::TempFolder() {
    char pattern[] = "/tmp/warpkit-test-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("cannot make a folder under /tmp");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

QxmFileSpec three_object_file() {
    QxmFileSpec file_spec;
    file_spec.objects.push_back(make_grid_object("first", 3, 2, 4, 1.0f));
    file_spec.objects.push_back(make_grid_object("second", 2, 1, 4, 2.0f));
    file_spec.objects.push_back(make_single_triangle("third", 3));
    file_spec.colours = make_palette(4);
    return file_spec;
}

}  // namespace warpkit::testing
