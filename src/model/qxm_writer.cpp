#include "model/qxm_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/display_text.h"
#include "model/helper_pool.h"

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

std::string vertices_problem(const QxmObjectView& object) {
    for (size_t i = 0; i < object.vertex_count; ++i) {
        const Vec3& v = object.vertices[i];
        if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) {
            return "vertex " + std::to_string(i) + " has a coordinate that is not a finite number";
        }
    }
    return {};
}

std::string triangles_problem(const QxmObjectView& object, size_t colour_count) {
    const auto vertex_count = static_cast<int64_t>(object.vertex_count);
    for (size_t i = 0; i < object.triangle_count; ++i) {
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

// Records a piece of the file holds at most: 256 KiB of vertex or triangle records, which stay in
// the core's cache from being made until they are written.
constexpr size_t kPieceRecords = 8192;
constexpr size_t kPieceBytes = kPieceRecords * kVertexRecordSize;

// The file cut into pieces that can be made independently of each other, in any order and on
// any thread: the header, the colour extras, the object table, runs of one object's vertex or
// triangle records, the colour table and the zeros between sections. Together they cover every
// byte once.
class Encoding {
public:
    Encoding(const std::vector<QxmObjectView>& objects, const QxmPalette& palette)
        : objects_(objects), palette_(palette) {
        size_t vertex_total = 0;
        size_t triangle_total = 0;
        for (const QxmObjectView& object : objects) {
            first_vertex_.push_back(vertex_total);
            first_triangle_.push_back(triangle_total);
            vertex_total += object.vertex_count;
            triangle_total += object.triangle_count;
        }
        const size_t colours = palette.size();
        const size_t table = kColourExtrasOffset + kColourExtraSize * colours;
        const size_t vertices = table + kObjectRecordSize * objects.size() + kTableToVertexGap;
        const size_t triangles = vertices + kVertexRecordSize * vertex_total + kSectionGap;
        const size_t colour_table = triangles + kTriangleRecordSize * triangle_total + kSectionGap;
        size_ = colour_table + kColourRecordSize * colours;
        triangle_total_ = triangle_total;
        vertex_total_ = vertex_total;

        add(Piece{0, kColourExtrasOffset, Kind::kHeader});
        add_zeros(kColourExtrasOffset, table - kColourExtrasOffset);
        add(Piece{table, vertices - table, Kind::kObjectTable});
        for (size_t i = 0; i < objects.size(); ++i) {
            add_runs(Kind::kVertices, i, objects[i].vertex_count,
                     vertices + kVertexRecordSize * first_vertex_[i], kVertexRecordSize);
        }
        add_zeros(triangles - kSectionGap, kSectionGap);
        for (size_t i = 0; i < objects.size(); ++i) {
            add_runs(Kind::kTriangles, i, objects[i].triangle_count,
                     triangles + kTriangleRecordSize * first_triangle_[i], kTriangleRecordSize);
        }
        add_zeros(colour_table - kSectionGap, kSectionGap);
        add_runs(Kind::kColours, 0, colours, colour_table, kColourRecordSize);
    }

    size_t size() const { return size_; }
    size_t pieces() const { return pieces_.size(); }
    size_t offset(size_t i) const { return pieces_[i].offset; }
    size_t length(size_t i) const { return pieces_[i].length; }
    size_t largest_piece() const { return largest_; }

    // Makes every byte of piece i at `out`.
    void encode(size_t i, char* out) const {
        const Piece& piece = pieces_[i];
        switch (piece.kind) {
            case Kind::kZeros:
                std::memset(out, 0, piece.length);
                break;
            case Kind::kHeader:
                encode_header(out, piece.length);
                break;
            case Kind::kObjectTable:
                encode_table(out, piece.length);
                break;
            case Kind::kVertices:
                encode_vertices(piece, out);
                break;
            case Kind::kTriangles:
                encode_triangles(piece, out);
                break;
            case Kind::kColours:
                encode_colours(piece, out);
                break;
        }
    }

private:
    enum class Kind { kZeros, kHeader, kObjectTable, kVertices, kTriangles, kColours };
    struct Piece {
        size_t offset = 0;
        size_t length = 0;
        Kind kind = Kind::kZeros;
        size_t object = 0;
        size_t first = 0;  // the first record of the object in the piece
        size_t count = 0;
    };

    void add(const Piece& piece) {
        if (piece.length == 0) return;
        pieces_.push_back(piece);
        largest_ = std::max(largest_, piece.length);
    }

    void add_zeros(size_t offset, size_t length) {
        for (size_t done = 0; done < length; done += kPieceBytes) {
            add(Piece{offset + done, std::min(kPieceBytes, length - done), Kind::kZeros});
        }
    }

    void add_runs(Kind kind, size_t object, size_t count, size_t offset, size_t record_size) {
        for (size_t first = 0; first < count; first += kPieceRecords) {
            const size_t records = std::min(kPieceRecords, count - first);
            add(Piece{offset + first * record_size, records * record_size, kind, object, first,
                      records});
        }
    }

    // magic, H = 0, then the five counts N, T, V, C, X
    void encode_header(char* out, size_t length) const {
        std::memset(out, 0, length);
        std::memcpy(out, kMagic, 7);
        char* counts = out + kCountsOffset;
        put_i32(counts, static_cast<int64_t>(objects_.size()));
        put_i32(counts + 4, static_cast<int64_t>(triangle_total_));
        put_i32(counts + 8, static_cast<int64_t>(vertex_total_));
        put_i32(counts + 12, static_cast<int64_t>(palette_.size()));
        put_i32(counts + 16, 0);
    }

    // the object records with their runs of vertices and triangles, then the gap
    void encode_table(char* out, size_t length) const {
        std::memset(out, 0, length);
        for (size_t i = 0; i < objects_.size(); ++i) {
            const QxmObjectView& object = objects_[i];
            char* record = out + kObjectRecordSize * i;
            const std::string name = cut_object_name(object.name);
            std::memcpy(record, name.data(), name.size());
            put_i32(record + 20, static_cast<int64_t>(object.vertex_count));
            put_i32(record + 24, static_cast<int64_t>(first_vertex_[i]));
            put_i32(record + 28, static_cast<int64_t>(object.triangle_count));
            put_i32(record + 32, static_cast<int64_t>(first_triangle_[i]));
        }
    }

    // Straight into the piece, field by field: a record made on the stack and copied over would
    // be read back before its small stores land, which stalls every record.
    void encode_vertices(const Piece& piece, char* out) const {
        const Vec3* v = objects_[piece.object].vertices + piece.first;
        const Vec3* const end = v + piece.count;
        for (; v != end; ++v, out += kVertexRecordSize) {
            put_f32(out, v->x);
            put_f32(out + 4, v->y);
            put_f32(out + 8, v->z);
            std::memset(out + 12, 0, kVertexRecordSize - 12);
        }
    }

    // the file counts vertex indices in the whole vertex section
    void encode_triangles(const Piece& piece, char* out) const {
        const Triangle* t = objects_[piece.object].triangles + piece.first;
        const Triangle* const end = t + piece.count;
        const auto first_vertex = static_cast<int64_t>(first_vertex_[piece.object]);
        for (; t != end; ++t, out += kTriangleRecordSize) {
            put_i32(out, int64_t{t->v[0]} + first_vertex);
            put_i32(out + 4, int64_t{t->v[1]} + first_vertex);
            put_i32(out + 8, int64_t{t->v[2]} + first_vertex);
            std::memset(out + 12, 0, 12);
            put_i32(out + 24, t->colour);
            std::memset(out + 28, 0, 4);
        }
    }

    void encode_colours(const Piece& piece, char* out) const {
        for (size_t j = piece.first; j < piece.first + piece.count; ++j, out += kColourRecordSize) {
            out[0] = static_cast<char>(palette_.red[j]);
            out[1] = static_cast<char>(palette_.green[j]);
            out[2] = static_cast<char>(palette_.blue[j]);
            out[3] = 0;
        }
    }

    const std::vector<QxmObjectView>& objects_;
    const QxmPalette& palette_;
    std::vector<size_t> first_vertex_;
    std::vector<size_t> first_triangle_;
    size_t vertex_total_ = 0;
    size_t triangle_total_ = 0;
    size_t size_ = 0;
    size_t largest_ = 0;
    std::vector<Piece> pieces_;
};

// Every byte at `offset` or the errno why not; a short write is continued, an interrupted one
// retried.
int write_all_at(int fd, const char* bytes, size_t length, size_t offset) {
    size_t done = 0;
    while (done < length) {
        const ssize_t n =
            pwrite(fd, bytes + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        done += static_cast<size_t>(n);
    }
    return 0;
}

// The pieces shared out among the threads that write them: each claims the next, makes it in a
// buffer of its own and writes it in its place, so the one making a piece never waits for the
// one writing another.
struct PieceWriting {
    const Encoding* encoding = nullptr;
    int fd = -1;
    std::atomic<size_t> next{0};
    std::atomic<int> error{0};
};

void write_pieces(void* context) {
    PieceWriting& writing = *static_cast<PieceWriting*>(context);
    const Encoding& encoding = *writing.encoding;
    std::vector<char> buffer;
    for (;;) {
        if (writing.error.load(std::memory_order_relaxed) != 0) return;
        const size_t i = writing.next.fetch_add(1, std::memory_order_relaxed);
        if (i >= encoding.pieces()) return;
        if (buffer.empty()) buffer.resize(encoding.largest_piece());
        encoding.encode(i, buffer.data());
        const int err =
            write_all_at(writing.fd, buffer.data(), encoding.length(i), encoding.offset(i));
        // The disk starts on the piece now, while the next are made, rather than on all of them
        // when the file is forced to disk at the end. Only a hint: what it does not start, the
        // final sync does.
        if (err == 0) {
            sync_file_range(writing.fd, static_cast<off_t>(encoding.offset(i)),
                            static_cast<off_t>(encoding.length(i)), SYNC_FILE_RANGE_WRITE);
        }
        if (err != 0) {
            int none = 0;
            writing.error.compare_exchange_strong(none, err);
            return;
        }
    }
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

std::vector<QxmObjectView> qxm_views(const std::vector<QxmObject>& objects) {
    std::vector<QxmObjectView> views;
    views.reserve(objects.size());
    for (const QxmObject& object : objects) {
        views.push_back(QxmObjectView{object.name, object.vertices.data(), object.vertices.size(),
                                      object.triangles.data(), object.triangles.size()});
    }
    return views;
}

std::string qxm_contents_problem(const std::vector<QxmObject>& objects, const QxmPalette& palette) {
    return qxm_contents_problem(qxm_views(objects), palette);
}

std::string qxm_contents_problem(const std::vector<QxmObjectView>& objects,
                                 const QxmPalette& palette) {
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
        const QxmObjectView& object = objects[i];
        vertex_total += static_cast<int64_t>(object.vertex_count);
        triangle_total += static_cast<int64_t>(object.triangle_count);
        if (vertex_total > kMaxCount || triangle_total > kMaxCount) {
            return "the objects up to " + object_label(i, object.name) + " hold more " +
                   (vertex_total > kMaxCount ? "vertices" : "triangles") + " than the " +
                   std::to_string(kMaxCount) + " an object file can count";
        }
        std::string problem = vertices_problem(object);
        // A mesh's targets share its triangles: the same triangles over as many vertices were
        // found sound already.
        const auto checked = [&](const QxmObjectView& earlier) {
            return earlier.triangles == object.triangles &&
                   earlier.triangle_count == object.triangle_count &&
                   earlier.vertex_count == object.vertex_count;
        };
        if (problem.empty() && (object.triangle_count == 0 ||
                                std::none_of(objects.begin(), objects.begin() + i, checked))) {
            problem = triangles_problem(object, palette.size());
        }
        if (!problem.empty()) return object_label(i, object.name) + ": " + problem;
    }
    return {};
}

std::string qxm_file_bytes(const std::vector<QxmObject>& objects, const QxmPalette& palette) {
    return qxm_file_bytes(qxm_views(objects), palette);
}

std::string qxm_file_bytes(const std::vector<QxmObjectView>& objects, const QxmPalette& palette) {
    const Encoding encoding(objects, palette);
    std::string bytes(encoding.size(), '\0');
    for (size_t i = 0; i < encoding.pieces(); ++i) {
        encoding.encode(i, bytes.data() + encoding.offset(i));
    }
    return bytes;
}

FileOutcome write_qxm_file(const std::string& path, const std::vector<QxmObject>& objects,
                           const QxmPalette& palette, ExistingFile existing) {
    return write_qxm_file(path, qxm_views(objects), palette, existing);
}

FileOutcome write_qxm_file(const std::string& path, const std::vector<QxmObjectView>& objects,
                           const QxmPalette& palette, ExistingFile existing) {
    const std::string problem = qxm_contents_problem(objects, palette);
    if (!problem.empty()) return {false, same_in_both(problem)};
    const Encoding encoding(objects, palette);
    const ContentsWriter contents = [&encoding](int fd) {
        PieceWriting writing;
        writing.encoding = &encoding;
        writing.fd = fd;
        file_helpers().run(write_pieces, &writing, 1);
        return writing.error.load();
    };
    return existing == ExistingFile::kReplace ? replace_file_contents(path, contents)
                                              : write_new_file(path, contents);
}

QxmPalette palette_of(const ReadResult& result) {
    return QxmPalette{result.red, result.green, result.blue};
}

}  // namespace warpkit
