#pragma once
// Puts a target's vertices into the source's order, for a target that was re-exported,
// re-meshed or edited in another tool and came back with its vertices renumbered.
//
// Two ways, tried in this order:
// - By topology, when both meshes have the same triangles up to renumbering (a triangle's
//   corners may also be rotated, and the triangles may come in any order). The correspondence
//   grows over shared edges from one seed per connected part, so it is exact however far the
//   target moves its vertices. Where the triangles alone allow several correspondences (a
//   symmetric shape, identical parts such as two eyes), the one that moves the vertices least
//   is taken.
// - By nearest position, when the triangles differ: each target vertex goes to its nearest
//   source vertex, accepted only when no two target vertices share one and every move is
//   below half the distance from that source vertex to its own nearest neighbour, so the
//   pairing is one-to-one and no vertex could as well have gone elsewhere.
// When neither pairs every vertex one-to-one the match is refused with the number of vertices
// left without a partner; there is never a partial result.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/geometry.h"
#include "model/qxm_reader.h"
#include "model/qxm_writer.h"

namespace warpkit {

enum class MatchStatus { kMatched, kRefused, kCancelled };
enum class MatchMethod { kNone, kTopology, kPosition };
enum class MatchRefusal {
    kNone,
    kVertexCount,  // the two meshes have different vertex counts
    kBadMesh,      // a point that is no finite number, or a triangle index out of range
    kNoOneToOne,   // neither way pairs every vertex; `unmatched` says how many are left
};

struct VertexMatch {
    MatchStatus status = MatchStatus::kRefused;
    MatchMethod method = MatchMethod::kNone;
    // For each source vertex, the target vertex that takes its place; a permutation of
    // 0 .. vertex_count - 1 when matched, empty otherwise.
    std::vector<int32_t> target_of;
    int32_t vertex_count = 0;  // the source's
    int32_t renumbered = 0;    // matched: vertices whose index the match changes
    int32_t parts = 0;         // by topology: connected parts, each grown from its own seed
    MatchRefusal refusal = MatchRefusal::kNone;
    int32_t unmatched = 0;  // kNoOneToOne: vertices without a one-to-one partner by position
    std::string reason;     // refused: English words naming the numbers
};

// Called on the matching thread about every kMatchProgressInterval steps of work (a vertex
// prepared or tried, a candidate part or seed looked at) with the share done so far (0 to 1,
// never decreasing); returning false cancels the match, which then returns kCancelled at once,
// and the callback is not called again. The match reads only its arguments, so a caller may run
// it on a worker thread and let this read a cancel flag, or run it on its own thread and let its
// event loop run in here.
using MatchProgress = std::function<bool(double share_done)>;
constexpr int64_t kMatchProgressInterval = 16384;

// Matches the target's vertex order to the source's. Triangles give three vertex indices
// each; their colours play no part. Both meshes are only read. A million vertices take about
// a second either way, also as many identical parts (bench/bench_match.cpp). On a shape that
// looks the same from many places (a torus, every vertex alike) the work grows with the
// square of the target's moves over the edge length, hence the progress.
VertexMatch match_vertex_order(const std::vector<Vec3>& source_vertices,
                               const std::vector<Triangle>& source_triangles,
                               const std::vector<Vec3>& target_vertices,
                               const std::vector<Triangle>& target_triangles,
                               const MatchProgress& progress = {});

// The target's positions in the source's order: result[i] = target_vertices[target_of[i]].
std::vector<Vec3> positions_in_source_order(const std::vector<Vec3>& target_vertices,
                                            const std::vector<int32_t>& target_of);

// What a matched target is saved as: the target's object name and its positions in the
// source's order, over the source's triangles; written with the source's palette
// (palette_of(source)). Precondition: `match` matched these two objects.
QxmObject matched_object(const ReadResult& source, const ReadResult& target,
                         const VertexMatch& match);

}  // namespace warpkit
