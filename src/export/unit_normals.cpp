#include "export/unit_normals.h"

#include <cmath>
#include <cstring>
#include <unordered_map>

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

struct PositionHash {
    size_t operator()(const PositionKey& key) const {
        uint64_t h = 0x9E3779B97F4A7C15ull;
        for (uint32_t b : key.bits) h = (h ^ b) * 0xFF51AFD7ED558CCDull;
        return static_cast<size_t>(h ^ (h >> 32));
    }
};

}  // namespace

NormalWeld::NormalWeld(const std::vector<Vec3>& positions, const std::vector<Vec3>& normals,
                       double angle_degrees) {
    if (!(angle_degrees > 0.0)) return;
    const double closest = std::cos(angle_degrees * kPi / 180.0);
    const size_t count = positions.size();
    std::vector<int32_t> group(count);
    std::vector<Vec3> own(count);
    // The vertices at one position that lead a group, newest first, chained through `earlier`.
    std::unordered_map<PositionKey, int32_t, PositionHash> newest;
    newest.reserve(count);
    std::vector<int32_t> earlier(count, -1);
    std::vector<bool> leads(count, false);
    std::vector<int32_t> directionless;
    for (size_t i = 0; i < count; ++i) {
        const int32_t vertex = static_cast<int32_t>(i);
        group[i] = vertex;
        const Vec3& n = normals[i];
        if (n.x == 0.0f && n.y == 0.0f && n.z == 0.0f) {
            directionless.push_back(vertex);
            continue;
        }
        own[i] = unit_or_up(n);
        const auto [there, first] = newest.try_emplace(key_of(positions[i]), vertex);
        if (first) continue;
        int32_t joined = -1;
        int32_t candidate = there->second;
        for (int tried = 0; candidate >= 0 && tried < kMostCandidates; ++tried) {
            const Vec3& other = own[static_cast<size_t>(candidate)];
            const double cosine = static_cast<double>(own[i].x) * other.x +
                                  static_cast<double>(own[i].y) * other.y +
                                  static_cast<double>(own[i].z) * other.z;
            if (cosine > closest) {
                joined = candidate;
                break;
            }
            candidate = earlier[static_cast<size_t>(candidate)];
        }
        if (joined >= 0) {
            group[i] = joined;
            leads[static_cast<size_t>(joined)] = true;
            ++welded_;
        } else {
            earlier[i] = there->second;
            there->second = vertex;
        }
    }
    // A vertex only degenerate triangles use (the split pole of a sphere) has no normal of its
    // own; +z there would crease the surface, so it takes a group's at its position.
    for (int32_t vertex : directionless) {
        const auto there = newest.find(key_of(positions[static_cast<size_t>(vertex)]));
        if (there == newest.end()) continue;
        group[static_cast<size_t>(vertex)] = there->second;
        leads[static_cast<size_t>(there->second)] = true;
        ++welded_;
    }
    if (welded_ == 0) return;
    for (size_t i = 0; i < count; ++i) welded_ += leads[i];
    group_ = std::move(group);
}

std::vector<Vec3> NormalWeld::unit_normals(const std::vector<Vec3>& normals) const {
    std::vector<Vec3> out(normals.size());
    if (group_.empty()) {
        for (size_t i = 0; i < normals.size(); ++i) out[i] = unit_or_up(normals[i]);
        return out;
    }
    // Summed in vertex order, so every vertex of a group gets the same bits.
    std::vector<double> sums(3 * normals.size(), 0.0);
    for (size_t i = 0; i < normals.size(); ++i) {
        double* sum = &sums[3 * static_cast<size_t>(group_[i])];
        sum[0] += normals[i].x;
        sum[1] += normals[i].y;
        sum[2] += normals[i].z;
    }
    for (size_t i = 0; i < normals.size(); ++i) {
        const double* sum = &sums[3 * static_cast<size_t>(group_[i])];
        out[i] = unit_or_up(sum[0], sum[1], sum[2]);
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
