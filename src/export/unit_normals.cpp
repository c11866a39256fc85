#include "export/unit_normals.h"

#include <cmath>
#include <cstring>

#include "model/normals.h"
#include "morph/key_track.h"

namespace warpkit::exporting {

namespace {

// A vertex compares its normal with at most this many others at its position: real seams put a
// handful of vertices on one point, and a file that piles thousands there must not make the
// export quadratic. A vertex that finds no partner among them keeps its own normal.
constexpr int kMostCandidates = 32;
constexpr double kPi = 3.14159265358979323846;

Vec3 unit_or_up(double x, double y, double z) {
    const double length = std::sqrt(x * x + y * y + z * z);
    if (!(length > 0.0) || !std::isfinite(length)) return {0.0f, 0.0f, 1.0f};
    return {static_cast<float>(x / length), static_cast<float>(y / length),
            static_cast<float>(z / length)};
}

Vec3 unit_or_up(const Vec3& n) {
    return unit_or_up(n.x, n.y, n.z);
}

// Exact positions as keys; -0 and +0 are one position.
struct PositionKey {
    uint32_t bits[3];
    bool operator==(const PositionKey& other) const {
        return bits[0] == other.bits[0] && bits[1] == other.bits[1] && bits[2] == other.bits[2];
    }
};

PositionKey key_of(const Vec3& p) {
    PositionKey key;
    const float values[3] = {p.x + 0.0f, p.y + 0.0f, p.z + 0.0f};
    std::memcpy(key.bits, values, sizeof key.bits);
    return key;
}

size_t hash_of(const PositionKey& key) {
    uint64_t h = 0x9E3779B97F4A7C15ull;
    for (uint32_t b : key.bits) h = (h ^ b) * 0xFF51AFD7ED558CCDull;
    return static_cast<size_t>(h ^ (h >> 32));
}

// The vertices that lead a group, by exact position: an open-addressed table of the newest
// leader at each position, so a million vertices take one pass and no allocation each.
class PositionTable {
public:
    explicit PositionTable(const std::vector<Vec3>& positions) : positions_(positions) {
        size_t capacity = 16;
        while (capacity < 2 * positions.size()) capacity <<= 1;
        newest_.assign(capacity, -1);
    }

    // The newest leader at the position of `p`, or -1 (then set it with the same reference).
    int32_t& newest_at(const Vec3& p) {
        const PositionKey key = key_of(p);
        const size_t mask = newest_.size() - 1;
        for (size_t slot = hash_of(key) & mask;; slot = (slot + 1) & mask) {
            int32_t& entry = newest_[slot];
            if (entry < 0 || key_of(positions_[static_cast<size_t>(entry)]) == key) return entry;
        }
    }

private:
    const std::vector<Vec3>& positions_;
    std::vector<int32_t> newest_;
};

double cosine_between(const Vec3& a, const Vec3& b) {
    const Vec3 u = unit_or_up(a);
    const Vec3 v = unit_or_up(b);
    return static_cast<double>(u.x) * v.x + static_cast<double>(u.y) * v.y +
           static_cast<double>(u.z) * v.z;
}

}  // namespace

NormalWeld::NormalWeld(const std::vector<Vec3>& positions, const std::vector<Vec3>& normals,
                       double angle_degrees) {
    if (!(angle_degrees > 0.0)) return;
    const double closest = std::cos(angle_degrees * kPi / 180.0);
    make_groups(positions, normals,
                [closest](const Vec3& a, const Vec3& b) { return cosine_between(a, b) > closest; });
}

NormalWeld NormalWeld::of_equal_normals(const std::vector<Vec3>& positions,
                                        const std::vector<Vec3>& file_normals, double distance) {
    // Compared as unit vectors by their distance: the cosine of two nearly equal normals is 1
    // within float noise, too coarse for a tolerance this small.
    const double most = distance * distance;
    NormalWeld weld;
    weld.make_groups(positions, file_normals, [most](const Vec3& a, const Vec3& b) {
        const Vec3 u = unit_or_up(a);
        const Vec3 v = unit_or_up(b);
        const double dx = double(u.x) - v.x, dy = double(u.y) - v.y, dz = double(u.z) - v.z;
        return dx * dx + dy * dy + dz * dz <= most;
    });
    return weld;
}

template <typename Joins>
void NormalWeld::make_groups(const std::vector<Vec3>& positions, const std::vector<Vec3>& normals,
                             const Joins& joins) {
    const size_t count = positions.size();
    PositionTable leaders(positions);
    std::vector<int32_t> earlier(count, -1);  // the leader at the same position before this one
    std::vector<int32_t> group(count, -1);    // the leader of a vertex's group; -1: alone
    std::vector<int32_t> directionless;
    for (size_t i = 0; i < count; ++i) {
        const int32_t vertex = static_cast<int32_t>(i);
        const Vec3& n = normals[i];
        if (n.x == 0.0f && n.y == 0.0f && n.z == 0.0f) {
            directionless.push_back(vertex);
            continue;
        }
        int32_t& newest = leaders.newest_at(positions[i]);
        int32_t joined = -1;
        int32_t candidate = newest;
        for (int tried = 0; candidate >= 0 && tried < kMostCandidates; ++tried) {
            if (joins(n, normals[static_cast<size_t>(candidate)])) {
                joined = candidate;
                break;
            }
            candidate = earlier[static_cast<size_t>(candidate)];
        }
        if (joined >= 0) {
            group[i] = joined;
            group[static_cast<size_t>(joined)] = joined;
        } else {
            earlier[i] = newest;
            newest = vertex;
        }
    }
    // A vertex only degenerate triangles use (the split pole of a sphere) has no normal of its
    // own; +z there would crease the surface, so it takes a group's at its position.
    for (int32_t vertex : directionless) {
        const int32_t leader = leaders.newest_at(positions[static_cast<size_t>(vertex)]);
        if (leader < 0) continue;
        group[static_cast<size_t>(vertex)] = leader;
        group[static_cast<size_t>(leader)] = leader;
    }

    // Only grouped vertices are kept, each with its group's number, so a shape's normals cost
    // a pass over the seams and not over the mesh.
    std::vector<int32_t>& number = earlier;  // per leader, its group's number
    for (size_t i = 0; i < count; ++i) {
        if (group[i] == static_cast<int32_t>(i)) number[i] = groups_++;
    }
    for (size_t i = 0; i < count; ++i) {
        if (group[i] < 0) continue;
        vertices_.push_back(static_cast<int32_t>(i));
        groups_of_.push_back(number[static_cast<size_t>(group[i])]);
    }
}

std::vector<Vec3> NormalWeld::unit_normals(const std::vector<Vec3>& normals) const {
    std::vector<Vec3> out(normals.size());
    for (size_t i = 0; i < normals.size(); ++i) out[i] = unit_or_up(normals[i]);
    // Summed in vertex order, so every vertex of a group gets the same bits.
    std::vector<double> sums(3 * static_cast<size_t>(groups_), 0.0);
    for (size_t e = 0; e < vertices_.size(); ++e) {
        const Vec3& n = normals[static_cast<size_t>(vertices_[e])];
        double* sum = &sums[3 * static_cast<size_t>(groups_of_[e])];
        sum[0] += n.x;
        sum[1] += n.y;
        sum[2] += n.z;
    }
    for (size_t e = 0; e < vertices_.size(); ++e) {
        const double* sum = &sums[3 * static_cast<size_t>(groups_of_[e])];
        out[static_cast<size_t>(vertices_[e])] = unit_or_up(sum[0], sum[1], sum[2]);
    }
    return out;
}

std::vector<Vec3> unit_vertex_normals(EditorState& state) {
    return unit_vertex_normals(state, NormalWeld());
}

std::vector<Vec3> unit_vertex_normals(EditorState& state, const NormalWeld& weld) {
    compute_vertex_normals(state);
    return weld.unit_normals(state.mesh.vertex_normals);
}

std::vector<Vec3> target_normal_offsets(EditorState& state, int slot,
                                        const std::vector<Vec3>& source_normals,
                                        const NormalWeld& weld) {
    // The shape the program shows with this target's weight at 100 and every other at 0.
    std::array<float, kTargetCount + 1> weights{};
    weights[slot] = 100.0f;
    blend(state, weights);
    std::vector<Vec3> offsets = unit_vertex_normals(state, weld);
    for (size_t i = 0; i < offsets.size(); ++i) {
        offsets[i] = {offsets[i].x - source_normals[i].x, offsets[i].y - source_normals[i].y,
                      offsets[i].z - source_normals[i].z};
    }
    return offsets;
}

}  // namespace warpkit::exporting
