#include "model/normals.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define WARPKIT_FACES_AVX 1
#endif

#include "model/free_array.h"
#include "model/helper_pool.h"
#include "model/object_mesh.h"

namespace warpkit {

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

// Below this many triangles a pass is over before a helper could join in.
constexpr size_t kParallelTriangles = 50000;
// Threads claim pieces one at a time: enough pieces that the threads finish close together,
// each large enough that claiming it costs nothing next to its work.
constexpr size_t kPiecesPerThread = 8;
constexpr size_t kMinPieceTriangles = 4096;

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

    // Face normals of triangles [begin, end), by the fastest path this processor has.
    void run(size_t begin, size_t end) const;
    void run_one_by_one(size_t begin, size_t end) const {
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

#if defined(WARPKIT_FACES_AVX)
// (x y z -) of four triangles into x of all four, y of all four, z of all four, in double.
__attribute__((target("avx"), always_inline)) inline void columns_in_double(
    __m128 row0, __m128 row1, __m128 row2, __m128 row3, __m256d& x, __m256d& y, __m256d& z) {
    const __m128 low01 = _mm_unpacklo_ps(row0, row1);
    const __m128 low23 = _mm_unpacklo_ps(row2, row3);
    const __m128 high01 = _mm_unpackhi_ps(row0, row1);
    const __m128 high23 = _mm_unpackhi_ps(row2, row3);
    x = _mm256_cvtps_pd(_mm_movelh_ps(low01, low23));
    y = _mm256_cvtps_pd(_mm_movehl_ps(low23, low01));
    z = _mm256_cvtps_pd(_mm_movelh_ps(high01, high23));
}

// B - A and C - A of one triangle, each read as 16 bytes (x y z and one float past z).
__attribute__((target("avx"), always_inline)) inline void differences(const Vec3* displayed,
                                                                      const Triangle& t, __m128& u,
                                                                      __m128& v) {
    const __m128 a = _mm_loadu_ps(&displayed[static_cast<uint32_t>(t.v[0])].x);
    u = _mm_sub_ps(_mm_loadu_ps(&displayed[static_cast<uint32_t>(t.v[1])].x), a);
    v = _mm_sub_ps(_mm_loadu_ps(&displayed[static_cast<uint32_t>(t.v[2])].x), a);
}

// Four triangles at a time: the same float differences, exact double products and single
// rounding per component as face_normal, lane by lane, with the conversions between float and
// double (the costly part) done four values at once. Vertices are read 16 bytes at a time, so
// only triangles whose corners all lie before the last vertex come here; the rest, and any
// triangle naming a missing vertex, go through the one-triangle path.
__attribute__((target("avx"))) void face_normals_by_four(const FacePass& pass, size_t begin,
                                                         size_t end) {
    static_assert(sizeof(Vec3) == 12 && sizeof(Triangle) == 16, "layout read by the loads");
    const __m128i last_vertex = _mm_set1_epi32(pass.vertex_count - 1);
    const Vec3* const displayed = pass.displayed;
    const Triangle* const triangles = pass.triangles;
    Vec3* const faces = pass.faces;
    size_t k = begin;
    for (; k + 4 <= end; k += 4) {
        const Triangle* t = triangles + k;
        const auto indices = [t](int i) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i));
        };
        // The largest index of each corner over the four triangles, unsigned so that a
        // negative one counts as too large; the fourth lane is the colour and is ignored.
        const __m128i largest = _mm_max_epu32(_mm_max_epu32(indices(0), indices(1)),
                                              _mm_max_epu32(indices(2), indices(3)));
        const __m128i beyond = _mm_cmpeq_epi32(_mm_max_epu32(largest, last_vertex), largest);
        if (_mm_movemask_ps(_mm_castsi128_ps(beyond)) & 7) {
            pass.run_one_by_one(k, k + 4);
            continue;
        }
        // B - A and C - A of each triangle, in float as face_normal has them
        __m128 u0, u1, u2, u3, v0, v1, v2, v3;
        differences(displayed, t[0], u0, v0);
        differences(displayed, t[1], u1, v1);
        differences(displayed, t[2], u2, v2);
        differences(displayed, t[3], u3, v3);
        __m256d ux, uy, uz, vx, vy, vz;
        columns_in_double(u0, u1, u2, u3, ux, uy, uz);
        columns_in_double(v0, v1, v2, v3, vx, vy, vz);
        const __m128 nx =
            _mm256_cvtpd_ps(_mm256_sub_pd(_mm256_mul_pd(uy, vz), _mm256_mul_pd(uz, vy)));
        const __m128 ny =
            _mm256_cvtpd_ps(_mm256_sub_pd(_mm256_mul_pd(uz, vx), _mm256_mul_pd(ux, vz)));
        const __m128 nz =
            _mm256_cvtpd_ps(_mm256_sub_pd(_mm256_mul_pd(ux, vy), _mm256_mul_pd(uy, vx)));
        // and back to x y z of each triangle, three 16-byte stores for the four faces
        const __m128 xy01 = _mm_unpacklo_ps(nx, ny);  // x0 y0 x1 y1
        const __m128 xy23 = _mm_unpackhi_ps(nx, ny);  // x2 y2 x3 y3
        const __m128 zx01 = _mm_unpacklo_ps(nz, nx);  // z0 x0 z1 x1
        const __m128 yz01 = _mm_unpacklo_ps(ny, nz);  // y0 z0 y1 z1
        const __m128 zx23 = _mm_unpackhi_ps(nz, nx);  // z2 x2 z3 x3
        const __m128 yz23 = _mm_unpackhi_ps(ny, nz);  // y2 z2 y3 z3
        float* out = &faces[k].x;
        _mm_storeu_ps(out, _mm_shuffle_ps(xy01, zx01, _MM_SHUFFLE(3, 0, 1, 0)));
        _mm_storeu_ps(out + 4, _mm_shuffle_ps(yz01, xy23, _MM_SHUFFLE(1, 0, 3, 2)));
        _mm_storeu_ps(out + 8, _mm_shuffle_ps(zx23, yz23, _MM_SHUFFLE(3, 2, 3, 0)));
    }
    pass.run_one_by_one(k, end);
}

bool faces_by_four_available() {
    static const bool available = __builtin_cpu_supports("avx");
    return available;
}
#endif

std::atomic<FaceNormalPath> face_normal_path{FaceNormalPath::kFastest};

void FacePass::run(size_t begin, size_t end) const {
#if defined(WARPKIT_FACES_AVX)
    if (vertex_count >= 2 && faces_by_four_available() &&
        face_normal_path.load(std::memory_order_relaxed) == FaceNormalPath::kFastest) {
        face_normals_by_four(*this, begin, end);
        return;
    }
#endif
    run_one_by_one(begin, end);
}

void add_to(Vec3& sum, const Vec3& n) {
    sum.x += n.x;
    sum.y += n.y;
    sum.z += n.z;
}

// Face and vertex normals in one pass over the triangles, for lists that do not describe the
// triangles (a state put together by hand): each face normal is added to its corners right
// away. Triangles come in ascending order, so every vertex adds its faces in the order its
// list would have, each once.
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
#if defined(__SSE2__)
void sum_lists(const int32_t* start, const int32_t* list, const Vec3* faces, size_t face_count,
               Vec3* sums, size_t first, size_t last) {
    // A face is read as 16 bytes, its three components and one float of the next face, which
    // only the unused fourth lane sees. The last face has nothing after it, so it is read
    // from a padded copy.
    alignas(16) float padded_last[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    if (face_count > 0) {
        padded_last[0] = faces[face_count - 1].x;
        padded_last[1] = faces[face_count - 1].y;
        padded_last[2] = faces[face_count - 1].z;
    }
    const int32_t last_face = static_cast<int32_t>(face_count) - 1;
    const auto face = [&](int32_t k) {
        return _mm_loadu_ps(k == last_face ? padded_last : &faces[k].x);
    };
    for (size_t i = first; i < last; ++i) {
        __m128 sum = _mm_setzero_ps();
        const int32_t* entry = list + start[i];
        const int32_t* const end = list + start[i + 1];
        if (end - entry == 6) {
            // Six faces meet at nearly every vertex of a regular mesh: read them all before
            // adding, in the same order.
            const __m128 f0 = face(entry[0]), f1 = face(entry[1]), f2 = face(entry[2]);
            const __m128 f3 = face(entry[3]), f4 = face(entry[4]), f5 = face(entry[5]);
            sum = _mm_add_ps(_mm_add_ps(_mm_add_ps(sum, f0), f1), f2);
            sum = _mm_add_ps(_mm_add_ps(_mm_add_ps(sum, f3), f4), f5);
        } else {
            for (; entry < end; ++entry) sum = _mm_add_ps(sum, face(*entry));
        }
        _mm_storel_pi(reinterpret_cast<__m64*>(&sums[i].x), sum);
        _mm_store_ss(&sums[i].z, _mm_movehl_ps(sum, sum));
    }
}
#else
void sum_lists(const int32_t* start, const int32_t* list, const Vec3* faces, size_t, Vec3* sums,
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
#endif

// The first vertex of piece `piece` when the list entries are cut into `pieces` even shares.
// The last boundary is the vertex count itself, so trailing vertices without triangles get
// their zero.
size_t vertex_split(const int32_t* start, size_t vertex_count, size_t piece, size_t pieces) {
    if (piece >= pieces) return vertex_count;
    const int64_t entries = start[vertex_count];
    const int64_t target = entries * static_cast<int64_t>(piece) / static_cast<int64_t>(pieces);
    return static_cast<size_t>(
        std::lower_bound(start, start + vertex_count, target,
                         [](int32_t value, int64_t wanted) { return value < wanted; }) -
        start);
}

// The threads one pass may use; small passes stay on the caller without ever making the
// helpers.
int thread_count(size_t triangles, int max_threads) {
    if (triangles < kParallelTriangles || max_threads <= 1) return 1;
    return std::min(max_threads, mesh_helpers().threads());
}

size_t piece_count(size_t triangles, int threads) {
    if (triangles == 0) return 0;
    if (threads <= 1) return 1;
    const size_t most = std::max<size_t>(1, triangles / kMinPieceTriangles);
    return std::min(static_cast<size_t>(threads) * kPiecesPerThread, most);
}

// Face normals, then (when lists are given) vertex sums, shared out in pieces among whoever
// takes part. Every face and every vertex is computed by exactly one thread with the same
// arithmetic, so the result does not depend on who took which piece.
struct NormalsTask {
    FacePass pass;
    size_t triangle_count = 0;
    size_t face_pieces = 0;
    size_t face_piece_size = 0;
    // Vertex sums: no pieces when only the faces are wanted.
    const int32_t* list_start = nullptr;
    const int32_t* triangle_list = nullptr;
    Vec3* sums = nullptr;
    size_t vertex_count = 0;
    size_t sum_pieces = 0;

    std::atomic<size_t> next_face{0};
    std::atomic<size_t> faces_done{0};
    std::atomic<size_t> next_sum{0};

    void work() {
        for (size_t p; (p = next_face.fetch_add(1, std::memory_order_relaxed)) < face_pieces;) {
            pass.run(p * face_piece_size, std::min(triangle_count, (p + 1) * face_piece_size));
            faces_done.fetch_add(1, std::memory_order_release);
        }
        if (sum_pieces == 0) return;
        // A list may name any triangle, so no sum starts before every face is there.
        while (faces_done.load(std::memory_order_acquire) < face_pieces) {
            std::this_thread::yield();
        }
        for (size_t p; (p = next_sum.fetch_add(1, std::memory_order_relaxed)) < sum_pieces;) {
            sum_lists(list_start, triangle_list, pass.faces, triangle_count, sums,
                      vertex_split(list_start, vertex_count, p, sum_pieces),
                      vertex_split(list_start, vertex_count, p + 1, sum_pieces));
        }
    }

    void run(int threads) {
        face_pieces = piece_count(triangle_count, threads);
        face_piece_size = face_pieces == 0 ? 0 : (triangle_count + face_pieces - 1) / face_pieces;
        if (threads <= 1) {
            work();
            return;
        }
        mesh_helpers().run([](void* task) { static_cast<NormalsTask*>(task)->work(); }, this,
                           threads - 1);
    }
};

}  // namespace

void set_face_normal_path(FaceNormalPath path) {
    face_normal_path.store(path, std::memory_order_relaxed);
}

void compute_face_normals(EditorState& state) {
    compute_face_normals(state, std::numeric_limits<int>::max());
}

void compute_face_normals(EditorState& state, int max_threads) {
    ObjectMesh& mesh = state.mesh;
    assert(mesh.face_normals.size() == mesh.triangles.size());
    NormalsTask task;
    task.triangle_count = std::min(mesh.face_normals.size(), mesh.triangles.size());
    task.pass = FacePass{mesh.displayed.data(), static_cast<int32_t>(mesh.displayed.size()),
                         mesh.triangles.data(), mesh.face_normals.data()};
    task.run(thread_count(task.triangle_count, max_threads));
}

void compute_vertex_normals(EditorState& state) {
    compute_vertex_normals(state, std::numeric_limits<int>::max());
}

void release_vertex_normals(ObjectMesh& mesh) {
    free_array(mesh.vertex_normals);
    free_array(mesh.list_start);
    free_array(mesh.triangle_list);
}

void compute_vertex_normals(EditorState& state, int max_threads) {
    ObjectMesh& mesh = state.mesh;
    assert(mesh.face_normals.size() == mesh.triangles.size());
    if (mesh.vertex_normals.size() != mesh.displayed.size()) {
        mesh.vertex_normals.assign(mesh.displayed.size(), Vec3{});
    }
    if (mesh.list_start.empty() && !mesh.displayed.empty()) {
        build_vertex_triangle_lists(static_cast<int32_t>(mesh.displayed.size()), mesh.triangles,
                                    mesh.list_start, mesh.triangle_list);
    }
    const size_t vertex_count = std::min(mesh.displayed.size(), mesh.vertex_normals.size());
    const size_t count = std::min(mesh.face_normals.size(), mesh.triangles.size());
    const FacePass pass{mesh.displayed.data(), static_cast<int32_t>(vertex_count),
                        mesh.triangles.data(), mesh.face_normals.data()};

    // Lists that do not describe these triangles (a state put together by hand) cannot be
    // walked; the one pass over the triangles needs none.
    const std::vector<int32_t>& starts = mesh.list_start;
    const bool lists_fit = starts.size() == vertex_count + 1 && starts[0] == 0 &&
                           static_cast<size_t>(starts[vertex_count]) == mesh.triangle_list.size() &&
                           mesh.triangle_list.size() <= 3 * count;
    if (!lists_fit) {
        scatter_normals(pass, count, mesh.vertex_normals.data(), vertex_count);
        return;
    }

    // Faces first, then each vertex sums its list. Walking a list in order adds the same
    // floats in the same order as scattering each face to its corners would.
    NormalsTask task;
    task.pass = pass;
    task.triangle_count = count;
    task.list_start = starts.data();
    task.triangle_list = mesh.triangle_list.data();
    task.sums = mesh.vertex_normals.data();
    task.vertex_count = vertex_count;
    const int threads = thread_count(count, max_threads);
    task.sum_pieces = vertex_count == 0 ? 0 : std::max<size_t>(1, piece_count(count, threads));
    task.run(threads);
}

}  // namespace warpkit
