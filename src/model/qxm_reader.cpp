#include "model/qxm_reader.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "base/bilingual_text.h"
#include "base/display_text.h"
#include "base/input_file.h"
#include "base/large_arrays.h"
#include "base/texts.h"
#include "model/finite_points.h"
#include "model/helper_pool.h"

namespace warpkit {
namespace {

constexpr char kMagic[7] = {'Q', 'X', 'M', ' ', 'v', '9', '1'};

// Fixed positions and record sizes of the format. Every later position is the header length
// H plus a fixed amount plus the sizes of the sections in front of it.
constexpr int64_t kHeaderLengthOffset = 8;
constexpr int64_t kCountsOffset = 216;        // + H: N, T, V, C, X
constexpr int64_t kColourExtrasOffset = 316;  // + H
constexpr int64_t kTableToVertexGap = 12;
constexpr int64_t kSectionGap = 20;
constexpr int64_t kColourExtraSize = 16;
constexpr int64_t kAuxRecordSize = 32;
constexpr int64_t kObjectRecordSize = 52;
constexpr int64_t kVertexRecordSize = 32;
constexpr int64_t kTriangleRecordSize = 32;
constexpr int64_t kColourRecordSize = 4;
constexpr size_t kNameFieldSize = 16;

// Big sections are read in pieces of this many bytes: few enough calls to cost nothing, small
// enough that the piece stays in the core's cache while it is decoded. Reading a whole section
// in one call was measured to take four times as long (bench_read): the kernel then copies
// into memory that is cold, and the decoding reads it back from there.
constexpr int64_t kChunkBytes = int64_t{1} << 18;

int32_t load_i32(const uint8_t* p) {
    const uint32_t value =
        uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
    int32_t out;
    std::memcpy(&out, &value, sizeof out);
    return out;
}

float load_f32(const uint8_t* p) {
    const uint32_t value =
        uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
    float out;
    std::memcpy(&out, &value, sizeof out);
    return out;
}

BilingualText quoted(const std::string& name) {
    const std::string shown = display_text(name);
    return {"「" + shown + "」", "\"" + shown + "\""};
}

ReadOutcome refused(ReadStatus status, BilingualText reason = {}) {
    ReadOutcome outcome;
    outcome.status = status;
    outcome.reason = std::move(reason);
    return outcome;
}

ReadOutcome damaged(BilingualText reason) {
    return refused(ReadStatus::kDamaged, std::move(reason));
}

long long as_ll(int64_t value) {
    return static_cast<long long>(value);
}

// The object file opened for binary reading, closed when it goes out of scope.
class ObjectFile {
public:
    bool open(const std::string& path) {
        input_ = InputFile::open(path);
        if (!input_.is_open()) return false;
        // Every read is one large block; stdio's own buffer would only add a copy.
        std::setvbuf(input_.get(), nullptr, _IONBF, 0);
        return true;
    }

    // The outcome of an open that failed: silent for a file that is not there or not
    // readable, as ever; a path naming a pipe, a device or a folder is said.
    ReadOutcome refusal() const {
        return refused(ReadStatus::kCannotOpen,
                       input_.not_regular() ? input_.cause() : BilingualText{});
    }

    int64_t size() const { return input_.size(); }

    // Reads exactly `length` bytes at `offset`; false when the file has fewer (it may have
    // shrunk since it was measured) or the read fails. It moves no file position, so two
    // threads may read at once.
    bool read_at(int64_t offset, void* out, size_t length) const {
        const int fd = fileno(input_.get());
        auto* bytes = static_cast<uint8_t*>(out);
        size_t done = 0;
        while (done < length) {
            const ssize_t n = pread(fd, bytes + done, length - done,
                                    static_cast<off_t>(offset + static_cast<int64_t>(done)));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }

private:
    InputFile input_;
};

BilingualText ends_early(int64_t offset, int64_t length) {
    return format_both({"ファイルが途中で終わっています：%lld から %lld バイト目を読めません",
                        "the file ends early: bytes %lld to %lld could not be read"},
                       as_ll(offset), as_ll(offset + length - 1));
}

// Where the sections of one file start, from its header.
struct Layout {
    int32_t object_count = 0;
    int32_t triangle_count = 0;
    int32_t vertex_count = 0;
    int32_t colour_count = 0;
    int32_t aux_count = 0;
    int64_t colour_extras = 0;
    int64_t aux = 0;
    int64_t objects = 0;
    int64_t vertices = 0;
    int64_t triangles = 0;
    int64_t colours = 0;
};

// The counts are 32-bit and the header length too, so every position fits easily in 64 bits;
// only whether a section fits in the file needs care.
void compute_layout(int64_t header_length, Layout& layout) {
    layout.colour_extras = header_length + kColourExtrasOffset;
    layout.aux = layout.colour_extras + kColourExtraSize * layout.colour_count;
    layout.objects = layout.aux + kAuxRecordSize * layout.aux_count;
    layout.vertices = layout.objects + kObjectRecordSize * layout.object_count + kTableToVertexGap;
    layout.triangles = layout.vertices + kVertexRecordSize * layout.vertex_count + kSectionGap;
    layout.colours = layout.triangles + kTriangleRecordSize * layout.triangle_count + kSectionGap;
}

bool section_fits(int64_t file_size, int64_t start, int64_t count, int64_t record_size) {
    if (count == 0) return true;
    if (start > file_size) return false;
    return count <= (file_size - start) / record_size;
}

BilingualText check_sections(const Layout& layout, int64_t file_size) {
    struct Section {
        Bilingual what;
        int64_t start;
        int64_t count;
        int64_t record_size;
    };
    const Section sections[] = {
        {{"色の補足情報", "colour extras"},
         layout.colour_extras,
         layout.colour_count,
         kColourExtraSize},
        {{"補助セクション", "auxiliary section"}, layout.aux, layout.aux_count, kAuxRecordSize},
        {{"オブジェクト表", "object table"},
         layout.objects,
         layout.object_count,
         kObjectRecordSize},
        {{"頂点セクション", "vertex section"},
         layout.vertices,
         layout.vertex_count,
         kVertexRecordSize},
        {{"三角形セクション", "triangle section"},
         layout.triangles,
         layout.triangle_count,
         kTriangleRecordSize},
        {{"色セクション", "colour section"},
         layout.colours,
         layout.colour_count,
         kColourRecordSize},
    };
    for (const Section& section : sections) {
        if (!section_fits(file_size, section.start, section.count, section.record_size)) {
            return format_both({"%s（%lld 件 × %lld バイト、%lld バイト目から）が %lld バイトの"
                                "ファイルに収まりません",
                                "the %s (%lld records of %lld bytes from byte %lld) does not fit "
                                "in the file of %lld bytes"},
                               BilingualText{section.what.ja, section.what.en},
                               as_ll(section.count), as_ll(section.record_size),
                               as_ll(section.start), as_ll(file_size));
        }
    }
    return {};
}

// "1 vertex", "5 vertices"; Japanese counts need no plural.
std::string counted(int64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

struct RunWords {
    const char* ja;
    const char* one;
    const char* many;
};
constexpr RunWords kVertexWords = {"頂点", "vertex", "vertices"};
constexpr RunWords kTriangleWords = {"三角形", "triangle", "triangles"};

BilingualText check_run(int index, const std::string& name, RunWords words, int64_t first,
                        int64_t count, int64_t section_count) {
    const BilingualText object =
        format_both({"オブジェクト %d（%s）", "object %d (%s)"}, index, quoted(name));
    if (count < 0) {
        return object + format_both({"の%sの数 %lld が負です", " has a negative %s count (%lld)"},
                                    BilingualText{words.ja, words.one}, as_ll(count));
    }
    if (first < 0 || first > section_count || count > section_count - first) {
        return object +
               BilingualText{format_text("は%s %lld から %lld 個の%sがあるとしていますが、"
                                         "ファイルの%sは %lld 個です",
                                         words.ja, as_ll(first), as_ll(count), words.ja, words.ja,
                                         as_ll(section_count)),
                             " claims " + counted(count, words.one, words.many) + " from " +
                                 words.one + " " + std::to_string(first) + ", but the file has " +
                                 counted(section_count, words.one, words.many)};
    }
    return {};
}

std::string name_from_field(const uint8_t* field) {
    const auto* begin = reinterpret_cast<const char*>(field);
    const void* nul = std::memchr(begin, '\0', kNameFieldSize);
    // A field without a NUL keeps its first 15 bytes, the longest name the format allows.
    const size_t length =
        nul ? static_cast<size_t>(static_cast<const char*>(nul) - begin) : kNameFieldSize - 1;
    return std::string(begin, length);
}

// Header and object table, checked: every listed object's runs lie inside their sections and
// every section inside the file.
ReadOutcome read_header_and_table(ObjectFile& file, Layout& layout, ObjectTable& table) {
    const int64_t size = file.size();

    // The magic first: anything shorter than it cannot be this format at all.
    uint8_t start[12];
    const size_t start_length = static_cast<size_t>(std::min<int64_t>(size, sizeof start));
    if (start_length < sizeof kMagic) return refused(ReadStatus::kBadMagic);
    if (!file.read_at(0, start, start_length)) return damaged(ends_early(0, start_length));
    if (std::memcmp(start, kMagic, sizeof kMagic) != 0) return refused(ReadStatus::kBadMagic);
    if (start_length < sizeof start) {
        return damaged(format_both({"ファイルは %lld バイトしかなく、ヘッダの途中で終わっています",
                                    "the file is %lld bytes long and ends inside its header"},
                                   as_ll(size)));
    }

    const int64_t header_length = load_i32(start + kHeaderLengthOffset);
    if (header_length < 0) {
        return damaged(
            format_both({"ヘッダの長さ %lld が負です", "the header length %lld is negative"},
                        as_ll(header_length)));
    }

    // The five counts.
    const int64_t counts_at = header_length + kCountsOffset;
    uint8_t counts[20];
    if (counts_at > size || static_cast<int64_t>(sizeof counts) > size - counts_at) {
        return damaged(format_both({"ファイルは %lld バイトしかなく、%lld バイト目のオブジェクト数"
                                    "より前で終わっています",
                                    "the file is %lld bytes long and ends before its object "
                                    "counts at byte %lld"},
                                   as_ll(size), as_ll(counts_at)));
    }
    if (!file.read_at(counts_at, counts, sizeof counts)) {
        return damaged(ends_early(counts_at, sizeof counts));
    }
    layout.object_count = load_i32(counts);
    layout.triangle_count = load_i32(counts + 4);
    layout.vertex_count = load_i32(counts + 8);
    layout.colour_count = load_i32(counts + 12);
    layout.aux_count = load_i32(counts + 16);
    const std::pair<Bilingual, int32_t> named_counts[] = {
        {{"オブジェクト", "object"}, layout.object_count},
        {{"三角形", "triangle"}, layout.triangle_count},
        {{"頂点", "vertex"}, layout.vertex_count},
        {{"色", "colour"}, layout.colour_count},
        {{"補助レコード", "auxiliary record"}, layout.aux_count},
    };
    for (const auto& [what, count] : named_counts) {
        if (count < 0) {
            return damaged(format_both({"%sの数 %d が負です", "the %s count %d is negative"},
                                       BilingualText{what.ja, what.en}, count));
        }
    }

    // Sections against the file's real size, before anything is allocated for them.
    compute_layout(header_length, layout);
    BilingualText section_fault = check_sections(layout, size);
    if (!section_fault.empty()) return damaged(std::move(section_fault));

    // The object table, in one read. Only the objects the table has room for are read.
    const int listed = std::min(layout.object_count, kMaxListedObjects);
    std::vector<uint8_t> records(static_cast<size_t>(listed * kObjectRecordSize));
    if (listed > 0 && !file.read_at(layout.objects, records.data(), records.size())) {
        return damaged(ends_early(layout.objects, static_cast<int64_t>(records.size())));
    }
    table.colour_count = layout.colour_count;
    table.objects.resize(static_cast<size_t>(listed));
    for (int i = 0; i < listed; ++i) {
        const uint8_t* record = records.data() + i * kObjectRecordSize;
        ObjectEntry& entry = table.objects[static_cast<size_t>(i)];
        entry.name = name_from_field(record);
        entry.vertex_count = load_i32(record + 20);
        entry.first_vertex = load_i32(record + 24);
        entry.triangle_count = load_i32(record + 28);
        entry.first_triangle = load_i32(record + 32);
        BilingualText fault = check_run(i, entry.name, kVertexWords, entry.first_vertex,
                                        entry.vertex_count, layout.vertex_count);
        if (fault.empty()) {
            fault = check_run(i, entry.name, kTriangleWords, entry.first_triangle,
                              entry.triangle_count, layout.triangle_count);
        }
        if (!fault.empty()) {
            table = ObjectTable{};
            return damaged(std::move(fault));
        }
    }
    return {};
}

// Reads `count` records of `record_size` bytes from `offset` in a few large pieces through one
// buffer and hands each piece, in file order, to `decode(first_record_index, bytes,
// records_in_piece)`, which may refuse by returning a reason.
template <typename Decode>
ReadOutcome read_in_order(const ObjectFile& file, int64_t offset, int64_t count,
                          int64_t record_size, const Decode& decode) {
    if (count == 0) return {};
    const int64_t per_chunk = std::max<int64_t>(1, kChunkBytes / record_size);
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min(count, per_chunk) * record_size));
    for (int64_t done = 0; done < count;) {
        const int64_t records = std::min(count - done, per_chunk);
        const int64_t at = offset + done * record_size;
        const size_t length = static_cast<size_t>(records * record_size);
        if (!file.read_at(at, buffer.data(), length)) {
            return damaged(ends_early(at, static_cast<int64_t>(length)));
        }
        BilingualText fault = decode(done, buffer.data(), records);
        if (!fault.empty()) return damaged(std::move(fault));
        done += records;
    }
    return {};
}

// The vertices are decoded into their place in an array sized for the object, so that any
// thread may decode any piece.
struct VertexDecode {
    Vec3* vertices;
    // Not null: the offsets from these positions are scanned, the first faulty vertex of all
    // pieces kept in `first_non_finite_offset`.
    const Vec3* base = nullptr;
    std::atomic<int64_t>* first_non_finite_offset = nullptr;

    BilingualText operator()(int64_t first, const uint8_t* bytes, int64_t records) const {
        Vec3* out = vertices + first;
        for (int64_t j = 0; j < records; ++j, bytes += kVertexRecordSize) {
            out[j] = Vec3{load_f32(bytes), load_f32(bytes + 4), load_f32(bytes + 8)};
        }
        if (base != nullptr) scan_offsets(static_cast<size_t>(first), static_cast<size_t>(records));
        return {};
    }

    void scan_offsets(size_t first, size_t records) const {
        const int64_t faulty =
            warpkit::first_non_finite_offset(vertices, base, first, first + records);
        if (faulty < 0) return;
        int64_t known = first_non_finite_offset->load(std::memory_order_relaxed);
        while ((known < 0 || faulty < known) && !first_non_finite_offset->compare_exchange_weak(
                                                    known, faulty, std::memory_order_relaxed)) {
        }
    }
};

// Why a triangle record was refused: the first corner outside the object, else its colour.
BilingualText bad_triangle(int64_t index, const int64_t (&local)[3], int32_t colour,
                           int64_t vertex_count, int32_t colour_count) {
    for (const int64_t corner : local) {
        if (corner < 0 || corner >= vertex_count) {
            return {format_text("三角形 %lld が頂点 %lld を使っていますが、オブジェクトの頂点は "
                                "%lld 個です",
                                as_ll(index), as_ll(corner), as_ll(vertex_count)),
                    "triangle " + std::to_string(index) + " uses vertex " + std::to_string(corner) +
                        " but the object has " + counted(vertex_count, "vertex", "vertices")};
        }
    }
    return {format_text("三角形 %lld が色 %d を使っていますが、ファイルの色は %d 個です",
                        as_ll(index), colour, colour_count),
            "triangle " + std::to_string(index) + " uses colour " + std::to_string(colour) +
                " but the file has " + counted(colour_count, "colour", "colours")};
}

struct TriangleDecode {
    // `out` null: the triangles are only checked.
    TriangleDecode(Triangle* out, const Layout& layout, const ObjectEntry& entry)
        : triangles(out),
          first_vertex(entry.first_vertex),
          vertex_count(entry.vertex_count),
          colour_count(layout.colour_count),
          // An empty palette is never looked up, so its indices cannot be wrong.
          colour_limit(colour_count > 0 ? static_cast<uint64_t>(colour_count)
                                        : std::numeric_limits<uint64_t>::max()) {}

    BilingualText operator()(int64_t first, const uint8_t* bytes, int64_t records) const {
        const auto vertex_limit = static_cast<uint64_t>(vertex_count);
        for (int64_t j = 0; j < records; ++j, bytes += kTriangleRecordSize) {
            // The file counts in the whole vertex section; the result in the object. A
            // negative index reads as a huge unsigned one, so one compare checks both ends.
            const int64_t local[3] = {int64_t{load_i32(bytes)} - first_vertex,
                                      int64_t{load_i32(bytes + 4)} - first_vertex,
                                      int64_t{load_i32(bytes + 8)} - first_vertex};
            const int32_t colour = load_i32(bytes + 24);
            const bool outside = (static_cast<uint64_t>(local[0]) >= vertex_limit) |
                                 (static_cast<uint64_t>(local[1]) >= vertex_limit) |
                                 (static_cast<uint64_t>(local[2]) >= vertex_limit) |
                                 (static_cast<uint64_t>(int64_t{colour}) >= colour_limit);
            if (outside) return bad_triangle(first + j, local, colour, vertex_count, colour_count);
            if (triangles == nullptr) continue;
            Triangle& triangle = triangles[first + j];
            triangle.v[0] = static_cast<int32_t>(local[0]);
            triangle.v[1] = static_cast<int32_t>(local[1]);
            triangle.v[2] = static_cast<int32_t>(local[2]);
            triangle.colour = colour;
        }
        return {};
    }

    Triangle* triangles;
    int64_t first_vertex;
    int64_t vertex_count;
    int32_t colour_count;
    uint64_t colour_limit;
};

// One object's vertex and triangle runs on both cores, in pieces that the caller and the file
// helper claim, each run's in file order. Each reads its piece into a buffer of its
// own and decodes it there into the piece's place in the arrays, so the bytes the kernel copies
// are decoded from the cache of the core that copied them. Whatever the helper does not claim,
// the caller does, so without a helper the reading is the same on one thread. The outcome is
// that of reading in file order: the fault of the first piece in file order that has one, and
// pieces after a known fault are not begun.
class ObjectRuns {
public:
    // `base` not null: the offsets of the vertices from it are scanned (it has as many).
    ObjectRuns(const ObjectFile& file, const Layout& layout, const ObjectEntry& entry, bool keep,
               const Vec3* base, ReadResult& result)
        : file_(file),
          vertices_at_(layout.vertices + kVertexRecordSize * entry.first_vertex),
          vertex_count_(entry.vertex_count),
          vertex_pieces_(pieces_of(entry.vertex_count)),
          triangles_at_(layout.triangles + kTriangleRecordSize * entry.first_triangle),
          triangle_count_(entry.triangle_count),
          pieces_(vertex_pieces_ + pieces_of(entry.triangle_count)),
          triangle_check_(nullptr, layout, entry),
          first_fault_(pieces_),
          caller_(std::this_thread::get_id()),
          keep_triangles_(keep),
          base_(base),
          result_(result) {}

    int64_t pieces() const { return pieces_; }

    static void run(void* context) { static_cast<ObjectRuns*>(context)->claim_pieces(); }

    // The first vertex whose offset from the base is not finite, or -1.
    int64_t first_non_finite_offset() const {
        return first_non_finite_offset_.load(std::memory_order_relaxed);
    }

    // Memory that ran out on either thread is thrown on the caller's, once both have left.
    ReadOutcome outcome() {
        if (thrown_) std::rethrow_exception(thrown_);
        return std::move(fault_);
    }

private:
    static constexpr int64_t kPerPiece = kChunkBytes / kVertexRecordSize;
    static_assert(kVertexRecordSize == kTriangleRecordSize, "one piece size serves both runs");

    static int64_t pieces_of(int64_t records) { return (records + kPerPiece - 1) / kPerPiece; }

    // Sizing an array writes every element once before the decoding does, which is what lets
    // any thread write its pieces in place; the caller sizes the vertices and the helper, when
    // it comes, the triangles, so that this pass is shared as well. Whoever first needs an
    // array that nobody has begun to size sizes it.
    struct Sizing {
        std::atomic<bool> taken{false};
        std::atomic<bool> done{false};
    };

    // A sizing that throws is still done, so that nobody waits for it, and stops the reading.
    template <typename T>
    bool size_once(Sizing& sizing, std::vector<T>& array, int64_t count) {
        if (sizing.taken.exchange(true, std::memory_order_acq_rel)) return false;
        try {
            resize_large(array, static_cast<size_t>(count));
        } catch (...) {
            stop_with(std::current_exception());
        }
        sizing.done.store(true, std::memory_order_release);
        return true;
    }

    // The array once sized, or null when its sizing threw.
    template <typename T>
    T* sized(Sizing& sizing, std::vector<T>& array, int64_t count) {
        if (!size_once(sizing, array, count)) {
            while (!sizing.done.load(std::memory_order_acquire)) std::this_thread::yield();
        }
        return array.size() == static_cast<size_t>(count) ? array.data() : nullptr;
    }

    // No exception may leave a thread of the pool, and no piece is begun after one.
    void stop_with(std::exception_ptr thrown) {
        std::lock_guard<std::mutex> lock(fault_mutex_);
        if (!thrown_) thrown_ = std::move(thrown);
        first_fault_.store(-1, std::memory_order_relaxed);
    }

    // The caller begins at the vertices and the helper at the triangles, each going on to the
    // other run's pieces when its own are all claimed: so neither waits for the array the other
    // is sizing, and a fault is found wherever it lies.
    void claim_pieces() {
        try {
            claim_pieces_of_both_runs();
        } catch (...) {
            stop_with(std::current_exception());
        }
    }

    void claim_pieces_of_both_runs() {
        const bool is_caller = std::this_thread::get_id() == caller_;
        if (is_caller) {
            size_once(vertex_sizing_, result_.vertices, vertex_count_);
        } else if (keep_triangles_) {
            size_once(triangle_sizing_, result_.triangles, triangle_count_);
        }
        std::vector<uint8_t> buffer(static_cast<size_t>(kChunkBytes));
        if (is_caller) {
            claim_vertex_pieces(buffer);
            claim_triangle_pieces(buffer);
        } else {
            claim_triangle_pieces(buffer);
            claim_vertex_pieces(buffer);
        }
    }

    // False when the piece, numbered in file order over both runs, is not to be begun.
    bool worth_beginning(int64_t piece, int64_t run_end) const {
        return piece < run_end && piece <= first_fault_.load(std::memory_order_relaxed);
    }

    void claim_vertex_pieces(std::vector<uint8_t>& buffer) {
        const VertexDecode vertices{sized(vertex_sizing_, result_.vertices, vertex_count_), base_,
                                    &first_non_finite_offset_};
        if (vertices.vertices == nullptr && vertex_count_ > 0) return;
        claim_run(next_vertex_piece_, 0, vertex_pieces_, vertices_at_, vertex_count_, vertices,
                  buffer);
    }

    void claim_triangle_pieces(std::vector<uint8_t>& buffer) {
        TriangleDecode triangles = triangle_check_;
        if (keep_triangles_) {
            triangles.triangles = sized(triangle_sizing_, result_.triangles, triangle_count_);
            if (triangles.triangles == nullptr && triangle_count_ > 0) return;
        }
        claim_run(next_triangle_piece_, vertex_pieces_, pieces_, triangles_at_, triangle_count_,
                  triangles, buffer);
    }

    // The pieces of one run, numbered from `run_start` to `run_end` in file order over both.
    template <typename Decode>
    void claim_run(std::atomic<int64_t>& next, int64_t run_start, int64_t run_end, int64_t offset,
                   int64_t count, const Decode& decode_piece, std::vector<uint8_t>& buffer) {
        for (;;) {
            const int64_t piece = run_start + next.fetch_add(1, std::memory_order_relaxed);
            if (!worth_beginning(piece, run_end)) return;
            BilingualText fault = decode(offset, count, piece - run_start, buffer, decode_piece);
            if (!fault.empty()) keep_if_first(piece, std::move(fault));
        }
    }

    template <typename Decode>
    BilingualText decode(int64_t offset, int64_t count, int64_t piece, std::vector<uint8_t>& buffer,
                         const Decode& decode_piece) const {
        const int64_t first = piece * kPerPiece;
        const int64_t records = std::min(count - first, kPerPiece);
        const int64_t at = offset + first * kVertexRecordSize;
        const size_t length = static_cast<size_t>(records * kVertexRecordSize);
        if (!file_.read_at(at, buffer.data(), length)) {
            return ends_early(at, static_cast<int64_t>(length));
        }
        return decode_piece(first, buffer.data(), records);
    }

    void keep_if_first(int64_t piece, BilingualText fault) {
        std::lock_guard<std::mutex> lock(fault_mutex_);
        if (piece >= first_fault_.load(std::memory_order_relaxed)) return;
        fault_ = damaged(std::move(fault));
        first_fault_.store(piece, std::memory_order_relaxed);
    }

    const ObjectFile& file_;
    const int64_t vertices_at_;
    const int64_t vertex_count_;
    const int64_t vertex_pieces_;
    const int64_t triangles_at_;
    const int64_t triangle_count_;
    const int64_t pieces_;
    const TriangleDecode triangle_check_;
    std::atomic<int64_t> next_vertex_piece_{0};
    std::atomic<int64_t> next_triangle_piece_{0};
    std::atomic<int64_t> first_fault_;
    const std::thread::id caller_;
    const bool keep_triangles_;
    const Vec3* const base_;
    std::atomic<int64_t> first_non_finite_offset_{-1};
    ReadResult& result_;
    Sizing vertex_sizing_;
    Sizing triangle_sizing_;
    std::mutex fault_mutex_;
    ReadOutcome fault_;
    std::exception_ptr thrown_;
};

// `base`, when given, has the object's vertex count; `first_non_finite_offset` gets the scan's
// answer.
ReadOutcome read_runs(const ObjectFile& file, const Layout& layout, const ObjectEntry& entry,
                      bool keep_triangles, const Vec3* base, ReadResult& result,
                      int64_t& first_non_finite_offset) {
    ObjectRuns runs(file, layout, entry, keep_triangles, base, result);
    // An object of a piece or two has nothing worth sharing.
    file_helpers().run(ObjectRuns::run, &runs, runs.pieces() > 2 ? 1 : 0);
    first_non_finite_offset = runs.first_non_finite_offset();
    return runs.outcome();
}

ReadOutcome read_colours(const ObjectFile& file, const Layout& layout, ReadResult& result) {
    const size_t count = static_cast<size_t>(layout.colour_count);
    result.red.resize(count);
    result.green.resize(count);
    result.blue.resize(count);
    return read_in_order(file, layout.colours, layout.colour_count, kColourRecordSize,
                         [&](int64_t first, const uint8_t* bytes, int64_t records) {
                             for (int64_t j = 0; j < records; ++j, bytes += kColourRecordSize) {
                                 const size_t k = static_cast<size_t>(first + j);
                                 result.red[k] = bytes[0];
                                 result.green[k] = bytes[1];
                                 result.blue[k] = bytes[2];
                             }
                             return BilingualText();
                         });
}

}  // namespace

ReadOutcome read_object_table(const std::string& path, ObjectTable& table) {
    table = ObjectTable{};
    ObjectFile file;
    if (!file.open(path)) return file.refusal();
    Layout layout;
    return read_header_and_table(file, layout, table);
}

ReadOutcome ObjectFileReader::ReadObject(const std::string& path, const std::string& text,
                                         bool by_name, const ObjectChooser& choose) {
    return Read(path, text, by_name, choose, true);
}

ReadOutcome ObjectFileReader::ReadPositions(const std::string& path, const std::string& name) {
    return Read(path, name, true, {}, false);
}

ReadOutcome ObjectFileReader::ReadPositions(const std::string& path, const std::string& name,
                                            const std::vector<Vec3>& base) {
    return Read(path, name, true, {}, false, &base);
}

ReadOutcome ObjectFileReader::Read(const std::string& path, const std::string& text, bool by_name,
                                   const ObjectChooser& choose, bool keep_triangles,
                                   const std::vector<Vec3>* base) {
    prompt_ = text;
    table_ = ObjectTable{};
    first_non_finite_offset_.reset();
    ReleaseReadResult();

    ObjectFile file;
    if (!file.open(path)) return file.refusal();
    Layout layout;
    ReadOutcome outcome = read_header_and_table(file, layout, table_);
    if (!outcome.ok()) return outcome;

    // Choose the object.
    const auto listed = static_cast<int32_t>(table_.objects.size());
    int32_t chosen = -1;
    if (by_name) {
        // Names compare as NUL-ended texts.
        const std::string wanted = text.substr(0, text.find('\0'));
        for (int32_t i = 0; i < listed && chosen < 0; ++i) {
            if (table_.objects[static_cast<size_t>(i)].name == wanted) chosen = i;
        }
        if (chosen < 0) {
            outcome = refused(ReadStatus::kNameNotFound,
                              format_both({"ファイルにはオブジェクト %s がありません",
                                           "the file holds no object named %s"},
                                          quoted(wanted)));
            outcome.object_name = wanted;
            return outcome;
        }
    } else {
        const int32_t answer = choose ? choose(table_, prompt_) : -1;
        if (answer < 0 || answer >= listed) return refused(ReadStatus::kCancelled);
        chosen = answer;
    }

    // Read the chosen object's runs and the colour table, checking every index.
    const ObjectEntry& entry = table_.objects[static_cast<size_t>(chosen)];
    ReadResult result;
    const bool scanned = base != nullptr && base->size() == static_cast<size_t>(entry.vertex_count);
    int64_t first_non_finite_offset = -1;
    outcome = read_runs(file, layout, entry, keep_triangles, scanned ? base->data() : nullptr,
                        result, first_non_finite_offset);
    if (outcome.ok()) outcome = read_colours(file, layout, result);
    if (!outcome.ok()) return outcome;
    if (scanned) first_non_finite_offset_ = first_non_finite_offset;

    result.vertex_count = entry.vertex_count;
    result.triangle_count = entry.triangle_count;
    result.colour_count = layout.colour_count;
    result.object_name = entry.name;
    result_ = std::move(result);
    return outcome;
}

void ObjectFileReader::ReleaseReadResult() {
    result_ = ReadResult{};
}

ShownMessage read_failure_message(const ReadOutcome& outcome, const std::string& path,
                                  int32_t ui_language) {
    const std::string file = display_text(path);
    switch (outcome.status) {
        case ReadStatus::kBadMagic:
            return shown_message(ui_language, texts::kFormatRefusal);
        case ReadStatus::kDamaged:
            return shown_message(ui_language, texts::kDamagedObjectFile, file.c_str(),
                                 outcome.reason.in(ui_language).c_str());
        case ReadStatus::kNameNotFound:
            return shown_message(ui_language, texts::kObjectNameNotFound, file.c_str(),
                                 display_text(outcome.object_name).c_str());
        case ReadStatus::kNotImported:
            return shown_message(ui_language, texts::kImportRefusal, file.c_str(),
                                 outcome.reason.in(ui_language).c_str());
        case ReadStatus::kOk:
        case ReadStatus::kCannotOpen:
        case ReadStatus::kCancelled:
            break;
    }
    return {};
}

}  // namespace warpkit
