#include "model/object_mesh.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cmath>
#include <condition_variable>
#include <cstddef>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace warpkit {

namespace {

// The framing angles keep their historic 3.1415 for pi so the starting view of a given object
// stays where users have always seen it.
constexpr double kPi = 3.1415;
constexpr double kVerticalHalfAngle = 15.0 * kPi / 180.0;
constexpr double kHorizontalHalfAngle = 14.0 * kPi / 180.0;
constexpr double kFrameMargin = 1.5;

// Past the near plane (1.0), so even an object that is a single point stays in front of it.
constexpr float kMinimumViewDistance = 2.0f;

constexpr float kObjectGrey = 0.8627451f;  // 220 / 255

bool valid_index(int32_t index, int32_t vertex_count) {
    return index >= 0 && index < vertex_count;
}

// The three candidates in order, a later one replacing the distance only when strictly greater.
float framing_distance(const Vec3& max, const Vec3& centre) {
    float distance = static_cast<float>(kFrameMargin * max.z);
    const float from_height = static_cast<float>(
        kFrameMargin * (static_cast<double>(max.y) - centre.y) / std::tan(kVerticalHalfAngle));
    if (from_height > distance) distance = from_height;
    const float from_width = static_cast<float>(
        kFrameMargin * (static_cast<double>(max.x) - centre.x) / std::tan(kHorizontalHalfAngle));
    if (from_width > distance) distance = from_width;
    return distance;
}

// A source flat in x and y that lies at z <= 0 leaves every candidate at or below zero, which
// would put the camera on or behind the centre; frame its depth extent instead.
float fallback_distance(const Vec3& max, const Vec3& centre) {
    const double half_extent =
        std::max({static_cast<double>(max.x) - centre.x, static_cast<double>(max.y) - centre.y,
                  static_cast<double>(max.z) - centre.z});
    const float distance =
        static_cast<float>(kFrameMargin * half_extent / std::tan(kVerticalHalfAngle));
    return std::max(distance, kMinimumViewDistance);
}

void add_to(Vec3& sum, const Vec3& n) {
    sum.x += n.x;
    sum.y += n.y;
    sum.z += n.z;
}

template <typename T>
void release(std::vector<T>& array) {
    std::vector<T>().swap(array);
}

float unit_byte(uint8_t value) {
    return static_cast<float>(static_cast<double>(value) * (1.0 / 255.0));
}

}  // namespace

int32_t InitSource(EditorState& state, const ReadResult& source) {
    const std::vector<Vec3>& positions = state.slots[0].vertices;
    assert(state.vertex_count > 0);
    assert(state.vertex_count == source.vertex_count);
    assert(state.triangle_count == source.triangle_count);
    assert(positions.size() == static_cast<size_t>(state.vertex_count));
    assert(source.triangles.size() == static_cast<size_t>(source.triangle_count));
    assert(source.red.size() == static_cast<size_t>(source.colour_count));
    assert(source.green.size() == source.red.size() && source.blue.size() == source.red.size());
    ObjectMesh& mesh = state.mesh;
    const size_t vertex_count = static_cast<size_t>(state.vertex_count);

    // starting angles
    state.yaw = -30.0f;
    state.pitch = -10.0f;
    state.view_distance = 0.0f;

    // displayed shape and bounding box
    mesh.displayed.resize(vertex_count);
    Vec3 max = positions[0];
    Vec3 min = positions[0];
    for (size_t i = 0; i < vertex_count; ++i) {
        const Vec3& p = positions[i];
        mesh.displayed[i] = p;
        if (max.x < p.x) max.x = p.x;
        if (min.x > p.x) min.x = p.x;
        if (max.y < p.y) max.y = p.y;
        if (min.y > p.y) min.y = p.y;
        if (max.z < p.z) max.z = p.z;
        if (min.z > p.z) min.z = p.z;
    }

    // view centre and distance
    state.view_centre.x = static_cast<float>((static_cast<double>(max.x) + min.x) * 0.5);
    state.view_centre.y = static_cast<float>((static_cast<double>(max.y) + min.y) * 0.5);
    state.view_centre.z = static_cast<float>((static_cast<double>(max.z) + min.z) * 0.5);
    state.view_distance = framing_distance(max, state.view_centre);
    if (!(state.view_distance > 0.0f))
        state.view_distance = fallback_distance(max, state.view_centre);

    // topology, palette, scratch
    mesh.triangles = source.triangles;
    const size_t colour_count = static_cast<size_t>(source.colour_count);
    mesh.palette_red.resize(colour_count);
    mesh.palette_green.resize(colour_count);
    mesh.palette_blue.resize(colour_count);
    for (size_t j = 0; j < colour_count; ++j) {
        mesh.palette_red[j] = unit_byte(source.red[j]);
        mesh.palette_green[j] = unit_byte(source.green[j]);
        mesh.palette_blue[j] = unit_byte(source.blue[j]);
    }
    mesh.blend_offsets.assign(vertex_count, Vec3{});

    state.object_colour[0] = kObjectGrey;
    state.object_colour[1] = kObjectGrey;
    state.object_colour[2] = kObjectGrey;

    build_vertex_triangle_lists(state.vertex_count, mesh.triangles, mesh.list_start,
                                mesh.triangle_list);

    // normals are filled per draw; only their space is made here
    mesh.face_normals.assign(mesh.triangles.size(), Vec3{});
    mesh.vertex_normals.assign(vertex_count, Vec3{});
    // the renderer lays its arrays out afresh for the new triangles at its next draw
    mesh.draw_arrays.reset();
    return 1;
}

Vec3 face_normal(const Vec3& a, const Vec3& b, const Vec3& c) {
    const float ux = b.x - a.x;
    const float uy = b.y - a.y;
    const float uz = b.z - a.z;
    const float vx = c.x - a.x;
    const float vy = c.y - a.y;
    const float vz = c.z - a.z;
    // Products of two floats are exact in double, so each component is rounded once, at the end.
    Vec3 n;
    n.x = static_cast<float>(static_cast<double>(uy) * vz - static_cast<double>(uz) * vy);
    n.y = static_cast<float>(static_cast<double>(uz) * vx - static_cast<double>(ux) * vz);
    n.z = static_cast<float>(static_cast<double>(ux) * vy - static_cast<double>(uy) * vx);
    return n;
}

namespace {

// Below this many triangles the one fused pass stays in cache and beats any hand-off.
constexpr size_t kParallelTriangles = 50000;
// Bounds the helper threads on machines with many cores: the passes are bound by memory, which
// a few threads already saturate.
constexpr int kMaxHelpers = 3;

#if defined(__SSE2__)
// face_normal with the x and y components side by side in one register: the same float
// differences, the same exact products and the same single rounding, in fewer instructions.
inline void store_face_normal(const Vec3& a, const Vec3& b, const Vec3& c, Vec3& out) {
    // x and y in one 8-byte load, z alone, so nothing past the last vertex is read.
    const auto xy = [](const Vec3& p) {
        return _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(&p.x)));
    };
    const __m128 axy = xy(a);
    const __m128 az = _mm_load_ss(&a.z);
    const __m128d u_xy = _mm_cvtps_pd(_mm_sub_ps(xy(b), axy));
    const __m128d v_xy = _mm_cvtps_pd(_mm_sub_ps(xy(c), axy));
    const __m128d u_z = _mm_cvtps_pd(_mm_sub_ss(_mm_load_ss(&b.z), az));
    const __m128d v_z = _mm_cvtps_pd(_mm_sub_ss(_mm_load_ss(&c.z), az));
    // (x, y) = (uy, uz) * (vz, vx) - (uz, ux) * (vy, vz)
    const __m128d n_xy =
        _mm_sub_pd(_mm_mul_pd(_mm_shuffle_pd(u_xy, u_z, 1), _mm_shuffle_pd(v_z, v_xy, 0)),
                   _mm_mul_pd(_mm_shuffle_pd(u_z, u_xy, 0), _mm_shuffle_pd(v_xy, v_z, 1)));
    // z = ux * vy - uy * vx
    const __m128d products = _mm_mul_pd(u_xy, _mm_shuffle_pd(v_xy, v_xy, 1));
    const __m128d n_z = _mm_sub_sd(products, _mm_unpackhi_pd(products, products));
    _mm_storel_pi(reinterpret_cast<__m64*>(&out.x), _mm_cvtpd_ps(n_xy));
    _mm_store_ss(&out.z, _mm_cvtsd_ss(_mm_setzero_ps(), n_z));
}
#else
inline void store_face_normal(const Vec3& a, const Vec3& b, const Vec3& c, Vec3& out) {
    out = face_normal(a, b, c);
}
#endif

// Face normals of a range of triangles; a triangle naming a missing vertex gets zero.
struct FacePass {
    const Vec3* displayed;
    int32_t vertex_count;
    const Triangle* triangles;
    Vec3* faces;

    void run(size_t begin, size_t end) const {
        const uint32_t vertices = static_cast<uint32_t>(vertex_count);
        for (size_t k = begin; k < end; ++k) {
            const Triangle& t = triangles[k];
            // Unsigned, so a negative index fails the same single compare as one too large.
            const uint32_t a = static_cast<uint32_t>(t.v[0]);
            const uint32_t b = static_cast<uint32_t>(t.v[1]);
            const uint32_t c = static_cast<uint32_t>(t.v[2]);
            if ((a >= vertices) | (b >= vertices) | (c >= vertices)) {
                assert(!"triangle index outside the vertices");
                faces[k] = Vec3{};
                continue;
            }
            store_face_normal(displayed[a], displayed[b], displayed[c], faces[k]);
        }
    }
};

// Face and vertex normals in one pass over the triangles: each face normal is added to its
// corners right away. Triangles come in ascending order, so every vertex adds its faces in the
// order of its vertex-triangle list, each once, and gets the same float sum as walking that
// list.
void scatter_normals(const FacePass& pass, size_t count, Vec3* sums, size_t vertex_count) {
    std::fill(sums, sums + vertex_count, Vec3{});
    const uint32_t vertices = static_cast<uint32_t>(vertex_count);
    for (size_t k = 0; k < count; ++k) {
        const Triangle& t = pass.triangles[k];
        const uint32_t a = static_cast<uint32_t>(t.v[0]);
        const uint32_t b = static_cast<uint32_t>(t.v[1]);
        const uint32_t c = static_cast<uint32_t>(t.v[2]);
        if ((a >= vertices) | (b >= vertices) | (c >= vertices)) {
            assert(!"triangle index outside the vertices");
            pass.faces[k] = Vec3{};
            continue;
        }
        const Vec3 n = face_normal(pass.displayed[a], pass.displayed[b], pass.displayed[c]);
        pass.faces[k] = n;
        add_to(sums[a], n);
        if (b != a) add_to(sums[b], n);
        if (c != a && c != b) add_to(sums[c], n);
    }
}

// Vertex normals of vertices [first, last) as the sums of their lists, in list order. A
// triangle left at zero for a missing corner adds +0, which changes no sum that starts at +0.
void sum_lists(const int32_t* start, const int32_t* list, const Vec3* faces, Vec3* sums,
               size_t first, size_t last) {
    for (size_t i = first; i < last; ++i) {
        float x = 0.0f, y = 0.0f, z = 0.0f;
        const int32_t end = start[i + 1];
        for (int32_t j = start[i]; j < end; ++j) {
            const Vec3& f = faces[list[j]];
            x += f.x;
            y += f.y;
            z += f.z;
        }
        sums[i] = Vec3{x, y, z};
    }
}

// The first vertex of `part` when the list entries are cut into `parts` even shares. The last
// boundary is the vertex count itself, so trailing vertices without triangles get their zero.
size_t vertex_split(const int32_t* start, size_t vertex_count, int part, int parts) {
    if (part >= parts) return vertex_count;
    const int64_t entries = start[vertex_count];
    const int64_t target = entries * part / parts;
    return static_cast<size_t>(
        std::lower_bound(start, start + vertex_count, target,
                         [](int32_t value, int64_t wanted) { return value < wanted; }) -
        start);
}

// Lets the parts of one job wait for each other between its passes. The waits are short (the
// parts are even), so a yielding spin is cheaper than sleeping.
class PartBarrier {
public:
    explicit PartBarrier(int parts) : waiting_(parts) {}

    void arrive_and_wait() {
        waiting_.fetch_sub(1, std::memory_order_acq_rel);
        while (waiting_.load(std::memory_order_acquire) > 0) std::this_thread::yield();
    }

private:
    std::atomic<int> waiting_;
};

// Helper threads made once, at the first large mesh, and joined at exit, so a draw starts no
// thread and allocates nothing. The calling thread always does part 0 itself.
class NormalWorkers {
public:
    NormalWorkers() {
        const int hardware = static_cast<int>(std::thread::hardware_concurrency());
        const int helpers = std::clamp(hardware - 1, 0, kMaxHelpers);
        for (int i = 0; i < helpers; ++i) helpers_.emplace_back([this, i] { serve(i + 1); });
    }

    ~NormalWorkers() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (std::thread& helper : helpers_) helper.join();
    }

    NormalWorkers(const NormalWorkers&) = delete;
    NormalWorkers& operator=(const NormalWorkers&) = delete;

    int threads() const { return static_cast<int>(helpers_.size()) + 1; }

    // Runs job(context, part) for every part below `parts` (at most threads()) and returns when
    // all are done.
    void run(int parts, void (*job)(void*, int), void* context) {
        std::lock_guard<std::mutex> one_job_at_a_time(run_mutex_);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            job_ = job;
            context_ = context;
            parts_ = parts;
            pending_ = parts - 1;
            ++generation_;
        }
        wake_.notify_all();
        job(context, 0);
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return pending_ == 0; });
    }

private:
    void serve(int part) {
        uint64_t seen = 0;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
            if (stopping_) return;
            seen = generation_;
            // A job needing this part cannot be followed by the next before the part is done.
            if (part >= parts_) continue;
            void (*job)(void*, int) = job_;
            void* context = context_;
            lock.unlock();
            job(context, part);
            lock.lock();
            if (--pending_ == 0) done_.notify_one();
        }
    }

    std::vector<std::thread> helpers_;
    std::mutex run_mutex_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    void (*job_)(void*, int) = nullptr;
    void* context_ = nullptr;
    int parts_ = 0;
    int pending_ = 0;
    uint64_t generation_ = 0;
    bool stopping_ = false;
};

NormalWorkers& normal_workers() {
    static NormalWorkers workers;
    return workers;
}

// How many parts a pass of `count` triangles splits into; small passes stay on the caller
// without ever making the helpers.
int part_count(size_t count, int max_threads) {
    if (count < kParallelTriangles || max_threads <= 1) return 1;
    return std::min(max_threads, normal_workers().threads());
}

// Calls job(part, parts, barrier) for every part, part 0 on the calling thread.
template <typename Job>
void run_in_parts(int parts, Job& job) {
    PartBarrier barrier(parts);
    if (parts <= 1) {
        job(0, 1, barrier);
        return;
    }
    struct Context {
        Job* job;
        int parts;
        PartBarrier* barrier;
    } context{&job, parts, &barrier};
    normal_workers().run(
        parts,
        [](void* opaque, int part) {
            Context& c = *static_cast<Context*>(opaque);
            (*c.job)(part, c.parts, *c.barrier);
        },
        &context);
}

}  // namespace

void compute_face_normals(EditorState& state) {
    compute_face_normals(state, std::numeric_limits<int>::max());
}

void compute_face_normals(EditorState& state, int max_threads) {
    ObjectMesh& mesh = state.mesh;
    assert(mesh.face_normals.size() == mesh.triangles.size());
    const size_t count = std::min(mesh.face_normals.size(), mesh.triangles.size());
    const FacePass pass{mesh.displayed.data(), static_cast<int32_t>(mesh.displayed.size()),
                        mesh.triangles.data(), mesh.face_normals.data()};
    auto job = [&](int part, int parts, PartBarrier&) {
        pass.run(count * part / parts, count * (part + 1) / parts);
    };
    run_in_parts(part_count(count, max_threads), job);
}

void compute_vertex_normals(EditorState& state) {
    compute_vertex_normals(state, std::numeric_limits<int>::max());
}

void compute_vertex_normals(EditorState& state, int max_threads) {
    ObjectMesh& mesh = state.mesh;
    assert(mesh.face_normals.size() == mesh.triangles.size());
    assert(mesh.vertex_normals.size() == mesh.displayed.size());
    const size_t vertex_count = std::min(mesh.displayed.size(), mesh.vertex_normals.size());
    const size_t count = std::min(mesh.face_normals.size(), mesh.triangles.size());
    const FacePass pass{mesh.displayed.data(), static_cast<int32_t>(vertex_count),
                        mesh.triangles.data(), mesh.face_normals.data()};
    Vec3* sums = mesh.vertex_normals.data();

    // Lists that do not describe these triangles (a state put together by hand) cannot be
    // walked; the one pass over the triangles needs none.
    const std::vector<int32_t>& starts = mesh.list_start;
    const bool lists_fit = starts.size() == vertex_count + 1 && starts[0] == 0 &&
                           static_cast<size_t>(starts[vertex_count]) == mesh.triangle_list.size() &&
                           mesh.triangle_list.size() <= 3 * count;
    const int parts = lists_fit ? part_count(count, max_threads) : 1;
    if (parts == 1) {
        scatter_normals(pass, count, sums, vertex_count);
        return;
    }

    // Faces first, split by triangles; then each vertex sums its list, split by list entries
    // so the parts do even work. Walking a list in order adds the same floats in the same
    // order as the one pass, so the split leaves no mark on the result.
    const int32_t* start = starts.data();
    const int32_t* list = mesh.triangle_list.data();
    const Vec3* faces = mesh.face_normals.data();
    auto job = [&](int part, int part_total, PartBarrier& barrier) {
        pass.run(count * part / part_total, count * (part + 1) / part_total);
        barrier.arrive_and_wait();
        sum_lists(start, list, faces, sums, vertex_split(start, vertex_count, part, part_total),
                  vertex_split(start, vertex_count, part + 1, part_total));
    };
    run_in_parts(parts, job);
}

void build_vertex_triangle_lists(int32_t vertex_count, const std::vector<Triangle>& triangles,
                                 std::vector<int32_t>& list_start,
                                 std::vector<int32_t>& triangle_list) {
    assert(vertex_count >= 0);
    const size_t vertices = static_cast<size_t>(std::max(vertex_count, 0));
    // Calls `visit(vertex)` once for each distinct, valid vertex of triangle t.
    auto for_each_corner = [vertex_count](const Triangle& t, auto&& visit) {
        for (int c = 0; c < 3; ++c) {
            const int32_t v = t.v[c];
            if (!valid_index(v, vertex_count)) {
                assert(!"triangle index outside the vertices");
                continue;
            }
            if ((c >= 1 && v == t.v[0]) || (c == 2 && v == t.v[1])) continue;
            visit(v);
        }
    };

    // count the triangles of each vertex, one slot ahead so the prefix sum gives the starts
    list_start.assign(vertices + 1, 0);
    for (const Triangle& t : triangles) {
        for_each_corner(t, [&](int32_t v) { ++list_start[static_cast<size_t>(v) + 1]; });
    }
    for (size_t i = 0; i < vertices; ++i) list_start[i + 1] += list_start[i];

    // fill in triangle order, so each list comes out ascending
    triangle_list.assign(static_cast<size_t>(list_start[vertices]), 0);
    std::vector<int32_t> next(list_start.begin(), list_start.end() - 1);
    for (size_t k = 0; k < triangles.size(); ++k) {
        for_each_corner(triangles[k], [&](int32_t v) {
            triangle_list[static_cast<size_t>(next[static_cast<size_t>(v)]++)] =
                static_cast<int32_t>(k);
        });
    }
}

void release_source(EditorState& state) {
    ObjectMesh& mesh = state.mesh;
    // The displayed shape keeps its storage for the next source; every other array goes.
    mesh.displayed.clear();
    release(mesh.blend_offsets);
    release(mesh.triangles);
    release(mesh.palette_red);
    release(mesh.palette_green);
    release(mesh.palette_blue);
    release(mesh.list_start);
    release(mesh.triangle_list);
    release(mesh.face_normals);
    release(mesh.vertex_normals);
    mesh.draw_arrays.reset();
    release(state.slots[0].vertices);
    // Counts follow the arrays, so nothing can index what was just released.
    state.vertex_count = 0;
    state.triangle_count = 0;
    state.slots[0].loaded = 0;
}

}  // namespace warpkit
