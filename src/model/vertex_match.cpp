#include "model/vertex_match.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <memory>
#include <nanoflann.hpp>
#include <numeric>
#include <tuple>
#include <unordered_map>
#include <utility>

namespace warpkit {

namespace {

constexpr int32_t kNone = -1;
constexpr double kUnbounded = std::numeric_limits<double>::infinity();
// Corners around one vertex beyond which the triangles at an edge are searched, not walked.
constexpr int32_t kLongWalk = 64;

// Rounds of colour refinement: each lets a vertex's colour see one ring further. Three tell
// a grid's corners and edges apart and keep the first seeds of a wrong growth from spreading.
constexpr int kColourRounds = 3;

uint64_t mix64(uint64_t x) {
    x += 0x9e3779b97f4a7c15ull;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

double squared_distance(const Vec3& a, const Vec3& b) {
    const double dx = static_cast<double>(a.x) - b.x;
    const double dy = static_cast<double>(a.y) - b.y;
    const double dz = static_cast<double>(a.z) - b.z;
    return dx * dx + dy * dy + dz * dz;
}

std::string text(const char* pattern, long long a, long long b = 0, long long c = 0) {
    char line[320];
    std::snprintf(line, sizeof line, pattern, a, b, c);
    return line;
}

// Asks the caller's progress callback every kMatchProgressInterval steps of work. The work
// comes in phases, each owning a stretch of the shares from 0 to 1.
class Ticker {
public:
    explicit Ticker(const MatchProgress& report) : report_(report) {}

    // The next phase covers shares `from` to `to` and takes about `steps` steps.
    void begin_phase(double from, double to, int64_t steps) {
        from_ = from;
        to_ = to;
        steps_ = std::max<int64_t>(steps, 1);
        done_ = 0;
    }

    // False once the caller has cancelled.
    bool add(int64_t steps) {
        done_ += steps;
        countdown_ -= steps;
        if (countdown_ > 0 || cancelled_ || !report_) return !cancelled_;
        countdown_ = kMatchProgressInterval;
        const double within = std::min(1.0, static_cast<double>(done_) / steps_);
        last_ = std::max(last_, from_ + (to_ - from_) * within);
        cancelled_ = !report_(last_);
        return !cancelled_;
    }

private:
    const MatchProgress& report_;
    double from_ = 0.0, to_ = 0.0, last_ = 0.0;
    int64_t steps_ = 1, done_ = 0;
    int64_t countdown_ = kMatchProgressInterval;
    bool cancelled_ = false;
};

// Why a mesh cannot be matched at all; empty when it can.
std::string mesh_problem(const std::vector<Vec3>& points, const std::vector<Triangle>& triangles,
                         const char* which) {
    const int64_t n = static_cast<int64_t>(points.size());
    if (n > std::numeric_limits<int32_t>::max() ||
        triangles.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max() / 3)) {
        return std::string("the ") + which + " is too large to match";
    }
    for (int64_t i = 0; i < n; ++i) {
        const Vec3& p = points[static_cast<size_t>(i)];
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
            return text("vertex %lld of the ", i) + which + " is not a finite point";
        }
    }
    for (size_t t = 0; t < triangles.size(); ++t) {
        for (int32_t v : triangles[t].v) {
            if (v < 0 || v >= n) {
                return text("triangle %lld of the ", static_cast<long long>(t)) + which +
                       text(" uses vertex %lld, outside its %lld vertices", v, n);
            }
        }
    }
    return std::string();
}

// --- the target in spatial order ----------------------------------------------------------

// Spreads the low 10 bits of x to every third bit.
uint32_t spread_bits(uint32_t x) {
    x &= 0x3ff;
    x = (x | (x << 16)) & 0x030000ff;
    x = (x | (x << 8)) & 0x0300f00f;
    x = (x | (x << 4)) & 0x030c30c3;
    x = (x | (x << 2)) & 0x09249249;
    return x;
}

// A mesh renumbered so that points near in space are near in memory. A target comes in any
// order, often a random one; the walks over it (around vertices, over edges, down the k-d tree)
// then hit memory at random, which costs several times the walk itself at a million vertices.
// Each of its three stages counts as a step per point; cancelled, it stops half made.
struct SpatialOrder {
    std::vector<Vec3> points;
    std::vector<Triangle> triangles;  // renumbered, in the order of their first corner
    std::vector<int32_t> original;    // the given index of each point
};

SpatialOrder in_spatial_order(const std::vector<Vec3>& points,
                              const std::vector<Triangle>& triangles, Ticker& ticker) {
    const size_t n = points.size();
    SpatialOrder order;
    if (n == 0) return order;

    // Morton code of each point in a 1024^3 grid over the bounding box
    Vec3 low = points[0], high = points[0];
    for (const Vec3& p : points) {
        low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    const auto cell = [](float value, float from, float to) {
        const double extent = static_cast<double>(to) - from;
        if (!(extent > 0.0)) return 0u;
        return static_cast<uint32_t>(std::min(1023.0, (value - from) / extent * 1024.0));
    };
    std::vector<uint64_t> keyed(n);
    for (size_t i = 0; i < n; ++i) {
        const Vec3& p = points[i];
        const uint32_t code = spread_bits(cell(p.x, low.x, high.x)) |
                              spread_bits(cell(p.y, low.y, high.y)) << 1 |
                              spread_bits(cell(p.z, low.z, high.z)) << 2;
        keyed[i] = static_cast<uint64_t>(code) << 32 | i;
    }
    if (!ticker.add(static_cast<int64_t>(n))) return order;
    std::sort(keyed.begin(), keyed.end());
    if (!ticker.add(static_cast<int64_t>(n))) return order;

    std::vector<int32_t> renumbered(n);
    order.points.resize(n);
    order.original.resize(n);
    for (size_t k = 0; k < n; ++k) {
        const uint32_t i = static_cast<uint32_t>(keyed[k]);
        order.original[k] = static_cast<int32_t>(i);
        renumbered[i] = static_cast<int32_t>(k);
        order.points[k] = points[i];
    }
    // triangles by their first corner's new number, so a walk around a vertex finds its
    // triangles near each other
    std::vector<int32_t> first(n + 1, 0);
    for (const Triangle& t : triangles) ++first[renumbered[t.v[0]] + 1];
    std::partial_sum(first.begin(), first.end(), first.begin());
    order.triangles.resize(triangles.size());
    for (const Triangle& t : triangles) {
        Triangle& out = order.triangles[first[renumbered[t.v[0]]]++];
        for (int k = 0; k < 3; ++k) out.v[k] = renumbered[t.v[k]];
        out.colour = t.colour;
    }
    return order;
}

// --- pairing by position -------------------------------------------------------------------

// nanoflann's view of a point array.
struct PointCloud {
    const std::vector<Vec3>& points;
    size_t kdtree_get_point_count() const { return points.size(); }
    float kdtree_get_pt(uint32_t i, size_t dim) const {
        const Vec3& p = points[i];
        return dim == 0 ? p.x : dim == 1 ? p.y : p.z;
    }
    template <class Box>
    bool kdtree_get_bbox(Box&) const {
        return false;
    }
};
using KdTree = nanoflann::KDTreeSingleIndexAdaptor<
    nanoflann::L2_Simple_Adaptor<float, PointCloud, float, uint32_t>, PointCloud, 3, uint32_t>;

// Pairs every target point with its nearest source point. A pair holds when no other target
// point has the same nearest source point and the move is below half the distance from that
// source point to its own nearest neighbour: then no other source point is as near, so the
// pairing is one-to-one and unambiguous. Coincident source points have no distance between
// them and so are never paired. Returns the number of source points without a partner (and
// fills target_of when it is 0), or -1 when cancelled.
int64_t pair_by_position(const std::vector<Vec3>& source, const std::vector<Vec3>& target,
                         std::vector<int32_t>& target_of, Ticker& ticker) {
    const size_t n = source.size();
    const PointCloud cloud{source};
    KdTree tree(3, cloud, nanoflann::KDTreeSingleIndexAdaptorParams(16));

    // local spacing: squared distance from each source point to its nearest other point
    std::vector<float> spacing(n);
    for (size_t i = 0; i < n; ++i) {
        uint32_t found[2];
        float distance[2];
        const float query[3] = {source[i].x, source[i].y, source[i].z};
        const size_t count = tree.knnSearch(query, 2, found, distance);
        spacing[i] = count < 2 ? std::numeric_limits<float>::infinity() : distance[1];
        if (!ticker.add(1)) return -1;
    }

    // nearest source point of each target point, kept only when the move is short enough
    std::vector<int32_t> nearest(n, kNone);
    std::vector<uint8_t> claims(n, 0);
    for (size_t u = 0; u < target.size(); ++u) {
        uint32_t found = 0;
        float distance = 0.0f;
        const float query[3] = {target[u].x, target[u].y, target[u].z};
        if (tree.knnSearch(query, 1, &found, &distance) == 1) {
            claims[found] = static_cast<uint8_t>(std::min(claims[found] + 1, 2));
            if (4.0f * distance < spacing[found]) nearest[u] = static_cast<int32_t>(found);
        }
        if (!ticker.add(1)) return -1;
    }

    int64_t paired = 0;
    for (size_t u = 0; u < target.size(); ++u) {
        if (nearest[u] != kNone && claims[static_cast<size_t>(nearest[u])] == 1) ++paired;
    }
    if (paired != static_cast<int64_t>(n)) return static_cast<int64_t>(n) - paired;
    target_of.assign(n, kNone);
    for (size_t u = 0; u < target.size(); ++u) {
        target_of[static_cast<size_t>(nearest[u])] = static_cast<int32_t>(u);
    }
    return 0;
}

// --- matching by topology ------------------------------------------------------------------

// One mesh as the topology match sees it. Corners are numbered 3 x triangle + corner.
struct Mesh {
    Mesh(const std::vector<Vec3>& p, const std::vector<Triangle>& t) : points(p), triangles(t) {}

    // A corner seen from its vertex, with the vertices after and before it in its triangle,
    // so walking around a vertex needs no look into the triangles.
    struct Corner {
        int32_t id;
        int32_t next;
        int32_t prev;
    };

    const std::vector<Vec3>& points;
    const std::vector<Triangle>& triangles;
    std::vector<int32_t> first_corner;  // per vertex, and one past the last vertex
    std::vector<Corner> corners;        // the corners at each vertex, in triangle order
    // Colour refinement: equal for vertices that no renumbering of the triangles tells apart
    // within kColourRounds rings, so a vertex can only correspond to one of its own colour.
    std::vector<uint64_t> colours;
    // Connected parts, numbered by their lowest vertex; a vertex no triangle uses is a part of
    // its own.
    struct Part {
        int32_t vertices = 0;
        int32_t triangles = 0;
        uint64_t colours = 0;  // sum of its vertices' colour hashes: alike for alike parts
        double x = 0.0, y = 0.0, z = 0.0;  // centroid
        bool same_kind(const Part& o) const {
            return vertices == o.vertices && triangles == o.triangles && colours == o.colours;
        }
    };
    std::vector<int32_t> part;  // per vertex
    std::vector<Part> parts;
    std::vector<int32_t> part_first, part_members;  // each part's vertices in order

    int32_t vertex_count() const { return static_cast<int32_t>(points.size()); }
    bool used(int32_t v) const { return first_corner[v + 1] > first_corner[v]; }
};

void list_corners(Mesh& mesh) {
    const int32_t n = mesh.vertex_count();
    mesh.first_corner.assign(static_cast<size_t>(n) + 1, 0);
    for (const Triangle& t : mesh.triangles) {
        for (int32_t v : t.v) ++mesh.first_corner[v + 1];
    }
    std::partial_sum(mesh.first_corner.begin(), mesh.first_corner.end(), mesh.first_corner.begin());
    mesh.corners.resize(mesh.triangles.size() * 3);
    std::vector<int32_t> fill(mesh.first_corner.begin(), mesh.first_corner.end() - 1);
    for (size_t t = 0; t < mesh.triangles.size(); ++t) {
        const int32_t* v = mesh.triangles[t].v;
        const int32_t id = static_cast<int32_t>(3 * t);
        mesh.corners[fill[v[0]]++] = {id, v[1], v[2]};
        mesh.corners[fill[v[1]]++] = {id + 1, v[2], v[0]};
        mesh.corners[fill[v[2]]++] = {id + 2, v[0], v[1]};
    }
}

// A vertex starts with the number of its corners; each round adds what its neighbours hold,
// those after it in a triangle apart from those before it, so a mirror image of a
// neighbourhood (the same triangles turned the other way) colours differently.
void start_colours(Mesh& mesh) {
    const int32_t n = mesh.vertex_count();
    mesh.colours.resize(static_cast<size_t>(n));
    for (int32_t v = 0; v < n; ++v) {
        mesh.colours[v] =
            mix64(static_cast<uint64_t>(mesh.first_corner[v + 1] - mesh.first_corner[v]));
    }
}

// `as_next` and `as_prev`: room for the round's hashes, one per vertex each.
bool refine_colours(Mesh& mesh, std::vector<uint64_t>& as_next, std::vector<uint64_t>& as_prev,
                    Ticker& ticker) {
    const int32_t n = mesh.vertex_count();
    for (int32_t v = 0; v < n; ++v) {
        as_next[v] = mix64(mesh.colours[v] ^ 0x6a09e667f3bcc909ull);
        as_prev[v] = mix64(mesh.colours[v] ^ 0xbb67ae8584caa73bull);
    }
    for (int32_t v = 0; v < n; ++v) {
        uint64_t sum = 0;
        for (int32_t k = mesh.first_corner[v]; k < mesh.first_corner[v + 1]; ++k) {
            sum += as_next[mesh.corners[k].next] + as_prev[mesh.corners[k].prev];
        }
        mesh.colours[v] = mix64(mesh.colours[v] * 0x100000001b3ull + sum);
    }
    return ticker.add(n);
}

uint64_t colour_hash(uint64_t colour) {
    return mix64(colour ^ 0x3c6ef372fe94f82bull);
}

// After the colours are final.
void find_parts(Mesh& mesh) {
    const int32_t n = mesh.vertex_count();
    // union-find whose root is the lowest vertex of its set
    std::vector<int32_t> parent(static_cast<size_t>(n));
    std::iota(parent.begin(), parent.end(), 0);
    const auto root = [&](int32_t v) {
        while (parent[v] != v) v = parent[v] = parent[parent[v]];
        return v;
    };
    const auto join = [&](int32_t a, int32_t b) {
        a = root(a);
        b = root(b);
        if (a < b) parent[b] = a;
        if (b < a) parent[a] = b;
    };
    for (const Triangle& t : mesh.triangles) {
        join(t.v[0], t.v[1]);
        join(t.v[0], t.v[2]);
    }
    mesh.part.resize(static_cast<size_t>(n));
    mesh.parts.clear();
    for (int32_t v = 0; v < n; ++v) {
        const int32_t r = root(v);
        if (r == v) {
            mesh.part[v] = static_cast<int32_t>(mesh.parts.size());
            mesh.parts.emplace_back();
        } else {
            mesh.part[v] = mesh.part[r];
        }
        Mesh::Part& part = mesh.parts[mesh.part[v]];
        ++part.vertices;
        part.colours += colour_hash(mesh.colours[v]);
        part.x += mesh.points[v].x;
        part.y += mesh.points[v].y;
        part.z += mesh.points[v].z;
    }
    mesh.part_first.assign(mesh.parts.size() + 1, 0);
    for (size_t p = 0; p < mesh.parts.size(); ++p) {
        Mesh::Part& part = mesh.parts[p];
        part.x /= part.vertices;
        part.y /= part.vertices;
        part.z /= part.vertices;
        mesh.part_first[p + 1] = mesh.part_first[p] + part.vertices;
    }
    for (const Triangle& t : mesh.triangles) ++mesh.parts[mesh.part[t.v[0]]].triangles;
    mesh.part_members.resize(static_cast<size_t>(n));
    std::vector<int32_t> fill(mesh.part_first.begin(), mesh.part_first.end() - 1);
    for (int32_t v = 0; v < n; ++v) mesh.part_members[fill[mesh.part[v]]++] = v;
}

// Order-free fingerprint of a mesh's colours: meshes with the same triangles up to
// renumbering have equal fingerprints.
std::pair<uint64_t, uint64_t> colour_fingerprint(const Mesh& mesh) {
    uint64_t sum = 0, squares = 0;
    for (uint64_t colour : mesh.colours) {
        const uint64_t h = colour_hash(colour);
        sum += h;
        squares += h * h;
    }
    return {sum, squares};
}

// How many of a mesh's used vertices have each colour.
class ColourCounts {
public:
    explicit ColourCounts(const Mesh& mesh) {
        size_t capacity = 16;
        while (capacity < 2 * mesh.points.size()) capacity *= 2;
        mask_ = capacity - 1;
        keys_.resize(capacity);
        counts_.assign(capacity, 0);
        for (int32_t v = 0; v < mesh.vertex_count(); ++v) {
            if (!mesh.used(v)) continue;
            const size_t slot = find(mesh.colours[v]);
            keys_[slot] = mesh.colours[v];
            ++counts_[slot];
        }
    }

    int32_t operator()(uint64_t colour) const { return counts_[find(colour)]; }

private:
    // The slot holding the colour, or the empty one where it would go.
    size_t find(uint64_t colour) const {
        size_t slot = mix64(colour) & mask_;
        while (counts_[slot] != 0 && keys_[slot] != colour) slot = (slot + 1) & mask_;
        return slot;
    }

    size_t mask_ = 0;
    std::vector<uint64_t> keys_;
    std::vector<int32_t> counts_;  // 0: an empty slot
};

// The target's parts, found by kind (vertex, triangle and colour counts) and then by place:
// the parts of each kind lie in a k-d tree over their centroids whose nodes count the parts
// still free below them, so a source part meets its candidates nearest first and never passes
// over the parts matched before it. Scanning every part for every part made meshes of many
// identical parts (bolts, teeth, leaves) take minutes.
class PartIndex {
public:
    explicit PartIndex(const Mesh& target) : target_(target), free_(target.parts.size(), 1) {
        by_kind_.resize(target.parts.size());
        std::iota(by_kind_.begin(), by_kind_.end(), 0);
        std::stable_sort(by_kind_.begin(), by_kind_.end(), [this](int32_t a, int32_t b) {
            return kind(target_.parts[a]) < kind(target_.parts[b]);
        });
        leaf_of_.resize(target.parts.size());
        root_of_.resize(target.parts.size());
        for (size_t lo = 0; lo < by_kind_.size();) {
            size_t hi = lo + 1;
            while (hi < by_kind_.size() &&
                   target.parts[by_kind_[hi]].same_kind(target.parts[by_kind_[lo]])) {
                ++hi;
            }
            build(static_cast<int32_t>(lo), static_cast<int32_t>(hi), kNone);
            lo = hi;
        }
    }

    void take(int32_t part) {
        free_[part] = 0;
        for (int32_t node = leaf_of_[part]; node != kNone; node = nodes_[node].parent) {
            --nodes_[node].free;
        }
    }

    // The free target parts of a source part's kind in the order of their bound (the source
    // part's vertex count times the squared distance between the centroids), then of their
    // number: the order a sort of every candidate by (bound, number) gives.
    class Nearest {
    public:
        Nearest(const PartIndex& index, const Mesh::Part& part) : index_(index), part_(part) {
            const auto first = std::lower_bound(index.by_kind_.begin(), index.by_kind_.end(), part,
                                                [&index](int32_t q, const Mesh::Part& p) {
                                                    return kind(index.target_.parts[q]) < kind(p);
                                                });
            if (first == index.by_kind_.end() || !index.target_.parts[*first].same_kind(part)) {
                return;
            }
            push_node(index.root_of_[static_cast<size_t>(first - index.by_kind_.begin())]);
        }

        // The next part and its bound without taking it; false when none is left. `steps`
        // grows by the nodes looked into, for the progress.
        bool peek(int32_t& part, double& bound, int64_t& steps) {
            while (!heap_.empty()) {
                const Entry top = heap_.front();
                if (top.is_part) {
                    part = top.id;
                    bound = top.bound;
                    return true;
                }
                pop();
                ++steps;
                const Node& node = index_.nodes_[top.id];
                if (node.left == kNone) {
                    for (int32_t k = node.lo; k < node.hi; ++k) {
                        const int32_t q = index_.by_kind_[k];
                        if (!index_.free_[q]) continue;
                        const Mesh::Part& o = index_.target_.parts[q];
                        const double dx = o.x - part_.x, dy = o.y - part_.y, dz = o.z - part_.z;
                        push({part_.vertices * (dx * dx + dy * dy + dz * dz), true, q});
                    }
                } else {
                    push_node(node.left);
                    push_node(node.right);
                }
            }
            return false;
        }

        void skip() { pop(); }

    private:
        struct Entry {
            double bound;
            bool is_part;  // nodes before parts of the same bound, so no part is passed over
            int32_t id;
            bool operator>(const Entry& o) const {
                return std::tie(bound, is_part, id) > std::tie(o.bound, o.is_part, o.id);
            }
        };

        void push_node(int32_t id) {
            const Node& node = index_.nodes_[id];
            if (node.free == 0) return;
            const auto gap = [](double at, double low, double high) {
                return at < low ? low - at : at > high ? at - high : 0.0;
            };
            const double dx = gap(part_.x, node.low[0], node.high[0]);
            const double dy = gap(part_.y, node.low[1], node.high[1]);
            const double dz = gap(part_.z, node.low[2], node.high[2]);
            push({part_.vertices * (dx * dx + dy * dy + dz * dz), false, id});
        }
        void push(const Entry& entry) {
            heap_.push_back(entry);
            std::push_heap(heap_.begin(), heap_.end(), std::greater<Entry>());
        }
        void pop() {
            std::pop_heap(heap_.begin(), heap_.end(), std::greater<Entry>());
            heap_.pop_back();
        }

        const PartIndex& index_;
        const Mesh::Part& part_;
        std::vector<Entry> heap_;
    };

private:
    static constexpr int32_t kLeafParts = 8;

    struct Node {
        int32_t lo, hi;  // its parts: by_kind_[lo .. hi)
        int32_t left = kNone, right = kNone, parent = kNone;
        int32_t free = 0;
        double low[3], high[3];  // the box around their centroids
    };

    static std::tuple<int32_t, int32_t, uint64_t> kind(const Mesh::Part& part) {
        return std::tie(part.vertices, part.triangles, part.colours);
    }
    static double axis(const Mesh::Part& part, int a) {
        return a == 0 ? part.x : a == 1 ? part.y : part.z;
    }

    // The subtree over by_kind_[lo .. hi), which it reorders; its root's number.
    int32_t build(int32_t lo, int32_t hi, int32_t parent) {
        const int32_t id = static_cast<int32_t>(nodes_.size());
        nodes_.push_back({});
        Node node;
        node.lo = lo;
        node.hi = hi;
        node.parent = parent;
        node.free = hi - lo;
        for (int a = 0; a < 3; ++a) {
            node.low[a] = node.high[a] = axis(target_.parts[by_kind_[lo]], a);
        }
        for (int32_t k = lo; k < hi; ++k) {
            for (int a = 0; a < 3; ++a) {
                const double at = axis(target_.parts[by_kind_[k]], a);
                node.low[a] = std::min(node.low[a], at);
                node.high[a] = std::max(node.high[a], at);
            }
        }
        if (parent == kNone) {
            for (int32_t k = lo; k < hi; ++k) root_of_[k] = id;
        }
        if (hi - lo <= kLeafParts) {
            for (int32_t k = lo; k < hi; ++k) leaf_of_[by_kind_[k]] = id;
        } else {
            int widest = 0;
            for (int a = 1; a < 3; ++a) {
                if (node.high[a] - node.low[a] > node.high[widest] - node.low[widest]) widest = a;
            }
            const int32_t mid = lo + (hi - lo) / 2;
            std::nth_element(by_kind_.begin() + lo, by_kind_.begin() + mid, by_kind_.begin() + hi,
                             [this, widest](int32_t a, int32_t b) {
                                 return axis(target_.parts[a], widest) <
                                        axis(target_.parts[b], widest);
                             });
            node.left = build(lo, mid, id);
            node.right = build(mid, hi, id);
        }
        nodes_[id] = node;
        return id;
    }

    const Mesh& target_;
    std::vector<int32_t> by_kind_;  // the parts by kind, each kind's run in its tree's order
    std::vector<int32_t> root_of_;  // per place in by_kind_: its kind's tree
    std::vector<int32_t> leaf_of_;  // per part
    std::vector<uint8_t> free_;     // per part
    std::vector<Node> nodes_;
};

// The least squared move a vertex of one mesh can make in any growth: to the nearest vertex of
// its colour in the other mesh, as no growth gives it another. Made only when growths contest,
// on shapes of many symmetries.
class LeastMoves {
public:
    explicit LeastMoves(const Mesh& other) {
        std::vector<int32_t> by_colour(other.points.size());
        std::iota(by_colour.begin(), by_colour.end(), 0);
        std::sort(by_colour.begin(), by_colour.end(), [&other](int32_t a, int32_t b) {
            return std::tie(other.colours[a], a) < std::tie(other.colours[b], b);
        });
        for (size_t lo = 0; lo < by_colour.size();) {
            const uint64_t colour = other.colours[by_colour[lo]];
            auto points = std::make_unique<std::vector<Vec3>>();
            for (; lo < by_colour.size() && other.colours[by_colour[lo]] == colour; ++lo) {
                if (other.used(by_colour[lo])) points->push_back(other.points[by_colour[lo]]);
            }
            Class& made = classes_[colour];
            made.points = std::move(points);
            if (made.points->size() > kSearchedAlone) {
                made.cloud = std::make_unique<PointCloud>(PointCloud{*made.points});
                made.tree = std::make_unique<KdTree>(3, *made.cloud,
                                                     nanoflann::KDTreeSingleIndexAdaptorParams(16));
            }
        }
    }

    // Slightly below the true least move, so float searches and sums never make it too high.
    double operator()(uint64_t colour, const Vec3& at) const {
        const auto found = classes_.find(colour);
        if (found == classes_.end() || found->second.points->empty()) return kUnbounded;
        const Class& c = found->second;
        double least = kUnbounded;
        if (c.tree) {
            uint32_t nearest = 0;
            float distance = 0.0f;
            const float query[3] = {at.x, at.y, at.z};
            c.tree->knnSearch(query, 1, &nearest, &distance);
            least = squared_distance(at, (*c.points)[nearest]);
        } else {
            for (const Vec3& p : *c.points) least = std::min(least, squared_distance(at, p));
        }
        return least * (1.0 - 1e-6);
    }

private:
    static constexpr size_t kSearchedAlone = 16;  // a colour of fewer vertices is simply tried
    struct Class {
        std::unique_ptr<std::vector<Vec3>> points;
        std::unique_ptr<PointCloud> cloud;
        std::unique_ptr<KdTree> tree;
    };
    std::unordered_map<uint64_t, Class> classes_;
};

enum class Outcome { kDone, kFailed, kDearer, kCancelled };

// The corners around each vertex of many, sorted by the vertex after them and by the one
// before: the triangles beyond an edge into the middle of a fan are then found by a search
// instead of a walk around it, which made a fan of 40 000 triangles take seconds.
struct FanCorners {
    std::vector<std::pair<int32_t, int32_t>> by_next, by_prev;  // (that vertex, corner id)
};
using Fans = std::unordered_map<int32_t, FanCorners>;

// What lies beyond the edge that starts at a corner.
struct Beyond {
    int32_t opposite = 0, same = 0;  // triangles with the edge turned back, and turned alike
    int32_t opposite_corner = kNone, same_corner = kNone;  // their corner at the edge's end
};

// A start for growing the correspondence: two triangles that are to meet.
struct Seed {
    int32_t source_triangle;
    int32_t target_triangle;
    int32_t rotation;  // source corner k meets target corner (k + rotation) % 3
    double cost;       // squared moves of the corners
};

// Where a contest draws its seeds from: groups of them (the target parts a source part may
// become), each with a lower bound of what any growth of a whole part in it costs, lowest first.
struct SeedGroups {
    // The next group's bound; false when no group is left or the match was cancelled.
    std::function<bool(double& bound)> peek;
    // Takes the next group and puts its seeds in `seeds`; false when cancelled.
    std::function<bool(std::vector<Seed>& seeds)> take;
};

class TopologyMatcher {
public:
    TopologyMatcher(const Mesh& source, const Mesh& target, Ticker& ticker)
        : s_(source),
          t_(target),
          ticker_(ticker),
          target_of_(source.points.size(), kNone),
          source_of_(target.points.size(), kNone),
          pair_of_(source.triangles.size(), kNone),
          rotation_(source.triangles.size(), 0),
          target_used_(target.triangles.size(), 0) {}

    // kDone when every vertex has its partner.
    Outcome run();

    const std::vector<int32_t>& target_of() const { return target_of_; }
    int32_t parts() const { return parts_; }

private:
    Outcome match_unused_vertices();
    Outcome match_part(int32_t part, int32_t seed_vertex, PartIndex& index);
    Outcome complete_part(const std::vector<int32_t>& triangles);
    Outcome contest(const SeedGroups& groups, int64_t whole);
    Outcome contest_growths(const SeedGroups& groups, int64_t whole);
    bool start_floor(size_t from, bool whole_parts);
    double target_floor(int32_t target_part);
    Outcome grow(const Seed& seed, double limit);
    Outcome spread();
    Beyond look(const Mesh& mesh, std::vector<Beyond>& known, Fans& fans, int32_t corner);
    Outcome cross_edge(int32_t source_corner, int32_t target_corner);
    Outcome pair(int32_t source_triangle, int32_t target_triangle, int32_t rotation);
    Outcome assign(int32_t source_vertex, int32_t target_vertex);
    void add_seed(int32_t source_triangle, int32_t target_triangle, int32_t rotation,
                  std::vector<Seed>& seeds) const;
    void undo(size_t vertices, size_t triangles);
    // Counts work that assigns nothing (looking for candidates and seeds); false once cancelled.
    bool tick(int64_t steps) {
        cancelled_ = cancelled_ || !ticker_.add(steps);
        return !cancelled_;
    }

    const Mesh& s_;
    const Mesh& t_;
    Ticker& ticker_;
    std::vector<int32_t> target_of_;  // per source vertex
    std::vector<int32_t> source_of_;  // per target vertex
    std::vector<int32_t> pair_of_;    // per source triangle: the target triangle it meets
    std::vector<int8_t> rotation_;    // per source triangle
    std::vector<uint8_t> target_used_;
    // What a growth did, so a growth that loses to another can be taken back.
    std::vector<int32_t> assigned_log_, paired_log_;
    // Paired source triangles whose edges are still to cross, last in first out: the growth
    // then creeps on from where it just was and stays in the cache, where a breadth-first
    // front would sweep across the whole mesh, in source and target alike.
    std::vector<int32_t> pending_;
    double cost_ = 0.0, limit_ = kUnbounded;
    int32_t parts_ = 0;
    bool cancelled_ = false;
    // Once growths from one seed triangle contest, each stops as soon as its cost and the least
    // moves of the vertices it has still to reach (all that the first winner reached) come to
    // the best cost: on a torus every vertex alike, a wrong turn is given up after a few
    // vertices where its cost alone would have to outgrow the whole winner's.
    std::unique_ptr<LeastMoves> least_moves_;
    std::vector<double> least_move_;  // per source vertex, of the contest's growths
    bool floored_ = false;
    double floor_ = 0.0;  // the least moves of every vertex a growth reaches
    double source_to_come_ = 0.0;
    // When the first winner took a whole part, every growth that completes takes the whole
    // target part it starts in, so the least moves from the target's side bound it as well:
    // those see the noise across the surface that the source's nearest vertices hide.
    std::unique_ptr<LeastMoves> target_least_moves_;
    std::vector<double> target_least_move_;  // per target vertex, of the parts floored
    std::vector<double> part_floor_;         // per target part; below 0: not yet summed
    bool target_floored_ = false;
    double target_to_come_ = 0.0;
    // What lies beyond each corner's edge, kept once growths contest: they all cross the same
    // source edges, and a wrong one crosses target edges the others crossed. kNone opposite:
    // not looked at yet.
    std::vector<Beyond> source_beyond_, target_beyond_;
    Fans source_fans_, target_fans_;
};

Outcome TopologyMatcher::assign(int32_t v, int32_t u) {
    const int32_t mapped = target_of_[v];
    if (mapped == u) return Outcome::kDone;
    if (mapped != kNone || source_of_[u] != kNone) return Outcome::kFailed;
    if (s_.colours[v] != t_.colours[u]) return Outcome::kFailed;
    target_of_[v] = u;
    source_of_[u] = v;
    assigned_log_.push_back(v);
    cost_ += squared_distance(s_.points[v], t_.points[u]);
    if (floored_) {
        source_to_come_ -= least_move_[v];
        if (target_floored_) target_to_come_ -= target_least_move_[u];
    }
    if (!ticker_.add(1)) return Outcome::kCancelled;
    return cost_ + std::max(source_to_come_, target_to_come_) >= limit_ ? Outcome::kDearer
                                                                        : Outcome::kDone;
}

Outcome TopologyMatcher::pair(int32_t a, int32_t b, int32_t rotation) {
    if (pair_of_[a] != kNone) return pair_of_[a] == b ? Outcome::kDone : Outcome::kFailed;
    if (target_used_[b]) return Outcome::kFailed;
    for (int32_t k = 0; k < 3; ++k) {
        const Outcome assigned =
            assign(s_.triangles[a].v[k], t_.triangles[b].v[(k + rotation) % 3]);
        if (assigned != Outcome::kDone) return assigned;
    }
    pair_of_[a] = b;
    rotation_[a] = static_cast<int8_t>(rotation);
    target_used_[b] = 1;
    paired_log_.push_back(a);
    pending_.push_back(a);
    return Outcome::kDone;
}

Beyond TopologyMatcher::look(const Mesh& mesh, std::vector<Beyond>& known, Fans& fans,
                             int32_t corner) {
    if (!known.empty() && known[corner].opposite != kNone) return known[corner];
    const int32_t self = corner / 3;
    const int32_t from = mesh.triangles[self].v[corner % 3];
    const int32_t to = mesh.triangles[self].v[(corner + 1) % 3];
    Beyond beyond;
    const int32_t around = mesh.first_corner[to + 1] - mesh.first_corner[to];
    if (around <= kLongWalk) {
        for (int32_t k = mesh.first_corner[to]; k < mesh.first_corner[to + 1]; ++k) {
            const Mesh::Corner& c = mesh.corners[k];
            if (c.id / 3 == self) continue;
            if (c.next == from) ++beyond.opposite, beyond.opposite_corner = c.id;
            if (c.prev == from) ++beyond.same, beyond.same_corner = c.id;
        }
    } else {
        const auto [at, made] = fans.try_emplace(to);
        FanCorners& fan = at->second;
        if (made) {
            for (int32_t k = mesh.first_corner[to]; k < mesh.first_corner[to + 1]; ++k) {
                const Mesh::Corner& c = mesh.corners[k];
                fan.by_next.emplace_back(c.next, c.id);
                fan.by_prev.emplace_back(c.prev, c.id);
            }
            std::sort(fan.by_next.begin(), fan.by_next.end());
            std::sort(fan.by_prev.begin(), fan.by_prev.end());
            tick(around);
        }
        const auto count = [&](const std::vector<std::pair<int32_t, int32_t>>& sorted,
                               int32_t& found, int32_t& corner_found) {
            for (auto c = std::lower_bound(sorted.begin(), sorted.end(), std::make_pair(from, 0));
                 c != sorted.end() && c->first == from; ++c) {
                if (c->second / 3 != self) ++found, corner_found = c->second;
            }
        };
        count(fan.by_next, beyond.opposite, beyond.opposite_corner);
        count(fan.by_prev, beyond.same, beyond.same_corner);
    }
    if (!known.empty()) known[corner] = beyond;
    return beyond;
}

// The triangles beyond the edge that starts at each corner: one on each side must meet one,
// or none none; where several share the edge (a non-manifold edge) the part's completion
// pairs them once their corners are known.
Outcome TopologyMatcher::cross_edge(int32_t source_corner, int32_t target_corner) {
    const Beyond s = look(s_, source_beyond_, source_fans_, source_corner);
    // an edge crossed before from the other side needs no second look at the target
    if (s.opposite + s.same == 1) {
        const int32_t beyond = (s.opposite == 1 ? s.opposite_corner : s.same_corner) / 3;
        if (pair_of_[beyond] != kNone) return Outcome::kDone;
    }
    const Beyond t = look(t_, target_beyond_, target_fans_, target_corner);
    if (cancelled_) return Outcome::kCancelled;
    if (s.opposite != t.opposite || s.same != t.same) return Outcome::kFailed;
    const auto meet = [&](int32_t sc, int32_t tc) {
        return pair(sc / 3, tc / 3, (tc % 3 - sc % 3 + 3) % 3);
    };
    if (s.opposite == 1) {
        const Outcome met = meet(s.opposite_corner, t.opposite_corner);
        if (met != Outcome::kDone) return met;
    }
    if (s.same == 1) return meet(s.same_corner, t.same_corner);
    return Outcome::kDone;
}

Outcome TopologyMatcher::spread() {
    while (!pending_.empty()) {
        const int32_t a = pending_.back();
        pending_.pop_back();
        const int32_t b = pair_of_[a];
        for (int32_t k = 0; k < 3; ++k) {
            const Outcome crossed = cross_edge(3 * a + k, 3 * b + (k + rotation_[a]) % 3);
            if (crossed != Outcome::kDone) return crossed;
        }
    }
    return Outcome::kDone;
}

Outcome TopologyMatcher::grow(const Seed& seed, double limit) {
    cost_ = 0.0;
    source_to_come_ = floored_ ? floor_ : 0.0;
    target_to_come_ = 0.0;
    if (target_floored_) {
        target_to_come_ = target_floor(t_.part[t_.triangles[seed.target_triangle].v[0]]);
        if (cancelled_) return Outcome::kCancelled;
    }
    limit_ = limit;
    pending_.clear();
    const Outcome paired = pair(seed.source_triangle, seed.target_triangle, seed.rotation);
    return paired == Outcome::kDone ? spread() : paired;
}

void TopologyMatcher::undo(size_t vertices, size_t triangles) {
    while (assigned_log_.size() > vertices) {
        const int32_t v = assigned_log_.back();
        assigned_log_.pop_back();
        source_of_[target_of_[v]] = kNone;
        target_of_[v] = kNone;
    }
    while (paired_log_.size() > triangles) {
        const int32_t a = paired_log_.back();
        paired_log_.pop_back();
        target_used_[pair_of_[a]] = 0;
        pair_of_[a] = kNone;
    }
}

void TopologyMatcher::add_seed(int32_t a, int32_t b, int32_t rotation,
                               std::vector<Seed>& seeds) const {
    double cost = 0.0;
    for (int32_t k = 0; k < 3; ++k) {
        const int32_t v = s_.triangles[a].v[k];
        const int32_t u = t_.triangles[b].v[(k + rotation) % 3];
        if (target_of_[v] != kNone ? target_of_[v] != u
                                   : source_of_[u] != kNone || s_.colours[v] != t_.colours[u]) {
            return;
        }
        cost += squared_distance(s_.points[v], t_.points[u]);
    }
    seeds.push_back({a, b, rotation, cost});
}

// Grows every seed that could still win and keeps the growth that moves the vertices least:
// the triangles decide whether a seed grows at all, the positions only between seeds that
// do (the sides of a symmetric shape, identical parts). Seeds come in groups (the target
// parts a source part may become), each with a lower bound of what any growth of a whole
// part in it costs, tried from the lowest bound and within a group cheapest seed first. A
// growth stops as soon as it costs as much as the best so far, and so does the contest once
// no bound is below it; of equal growths the first stays. The bounds hold only for growths
// that reach `whole` vertices.
Outcome TopologyMatcher::contest(const SeedGroups& groups, int64_t whole) {
    const Outcome outcome = contest_growths(groups, whole);
    floored_ = target_floored_ = false;
    return outcome;
}

// The least moves from the target's side over a target part.
double TopologyMatcher::target_floor(int32_t q) {
    double& floor = part_floor_[q];
    if (floor < 0.0) {
        floor = 0.0;
        for (int32_t k = t_.part_first[q]; k < t_.part_first[q + 1]; ++k) {
            const int32_t u = t_.part_members[k];
            target_least_move_[u] = (*target_least_moves_)(t_.colours[u], t_.points[u]);
            floor += target_least_move_[u];
        }
        tick(t_.part_first[q + 1] - t_.part_first[q]);
    }
    return floor;
}

// The least moves of the vertices the growth has assigned from assigned_log_[from] on: what
// every growth from the same source triangle reaches when it completes, as the source alone
// decides where a growth goes. False when cancelled.
bool TopologyMatcher::start_floor(size_t from, bool whole_parts) {
    if (!least_moves_) {
        least_moves_ = std::make_unique<LeastMoves>(t_);
        least_move_.assign(s_.points.size(), 0.0);
        source_beyond_.assign(s_.corners.size(), Beyond{kNone, 0, kNone, kNone});
        target_beyond_.assign(t_.corners.size(), Beyond{kNone, 0, kNone, kNone});
        if (!tick(t_.vertex_count())) return false;
    }
    floor_ = 0.0;
    for (size_t k = from; k < assigned_log_.size(); ++k) {
        const int32_t v = assigned_log_[k];
        least_move_[v] = (*least_moves_)(s_.colours[v], s_.points[v]);
        floor_ += least_move_[v];
    }
    floored_ = true;
    if (whole_parts) {
        if (!target_least_moves_) {
            target_least_moves_ = std::make_unique<LeastMoves>(s_);
            target_least_move_.assign(t_.points.size(), 0.0);
            part_floor_.assign(t_.parts.size(), -1.0);
            if (!tick(s_.vertex_count())) return false;
        }
        target_floored_ = true;
    }
    return tick(static_cast<int64_t>(assigned_log_.size() - from));
}

Outcome TopologyMatcher::contest_growths(const SeedGroups& groups, int64_t whole) {
    const size_t vertices = assigned_log_.size();
    const size_t triangles = paired_log_.size();
    bool bounded = true;
    // is there a group whose growths could still cost less than `limit`
    const auto group_below = [&](double limit) {
        double bound = 0.0;
        return groups.peek(bound) && (bounded ? bound : 0.0) < limit;
    };
    Seed best{};
    double best_cost = kUnbounded;
    std::vector<Seed> seeds;
    while (group_below(best_cost)) {
        seeds.clear();
        if (!groups.take(seeds)) return Outcome::kCancelled;
        std::stable_sort(seeds.begin(), seeds.end(),
                         [](const Seed& a, const Seed& b) { return a.cost < b.cost; });
        for (size_t i = 0; i < seeds.size() && seeds[i].cost < best_cost; ++i) {
            const Outcome grown = grow(seeds[i], best_cost);
            if (grown == Outcome::kCancelled) return grown;
            if (grown == Outcome::kDone) {
                best = seeds[i];
                best_cost = cost_;
                bounded = bounded && static_cast<int64_t>(assigned_log_.size() - vertices) >= whole;
                const bool rival = (i + 1 < seeds.size() && seeds[i + 1].cost < best_cost) ||
                                   group_below(best_cost);
                if (!rival) return cancelled_ ? Outcome::kCancelled : Outcome::kDone;
                if (whole > 0 && !floored_ && !start_floor(vertices, bounded)) {
                    return Outcome::kCancelled;
                }
            }
            undo(vertices, triangles);
        }
    }
    if (cancelled_) return Outcome::kCancelled;
    if (best_cost == kUnbounded) return Outcome::kFailed;
    return grow(best, kUnbounded);
}

// Triangles the growth could not reach over single edges (beyond non-manifold edges, or
// touching the rest at a vertex only) are paired once their corners are known, or grown from
// a corner that is.
Outcome TopologyMatcher::complete_part(const std::vector<int32_t>& triangles) {
    bool left = true, progress = true;
    while (left && progress) {
        left = progress = false;
        for (int32_t a : triangles) {
            if (!tick(1)) return Outcome::kCancelled;
            if (pair_of_[a] != kNone) continue;
            int32_t known = kNone, unknown = 0;
            for (int32_t k = 0; k < 3; ++k) {
                if (target_of_[s_.triangles[a].v[k]] != kNone) {
                    known = k;
                } else {
                    ++unknown;
                }
            }
            if (known == kNone) {
                left = true;
                continue;
            }
            progress = true;
            std::vector<Seed> seeds;
            const int32_t u = target_of_[s_.triangles[a].v[known]];
            for (int32_t k = t_.first_corner[u]; k < t_.first_corner[u + 1]; ++k) {
                const int32_t c = t_.corners[k].id;
                if (!target_used_[c / 3]) add_seed(a, c / 3, (c % 3 - known + 3) % 3, seeds);
            }
            // all corners known: any fitting triangle will do, the fitting ones are alike
            if (unknown == 0 && seeds.size() > 1) seeds.erase(seeds.begin() + 1, seeds.end());
            bool taken = false;
            const SeedGroups one{[&](double& bound) {
                                     bound = 0.0;
                                     return !taken;
                                 },
                                 [&](std::vector<Seed>& out) {
                                     taken = true;
                                     out.swap(seeds);
                                     return true;
                                 }};
            const Outcome grown = contest(one, 0);
            if (grown != Outcome::kDone) return grown;
        }
    }
    return left ? Outcome::kFailed : Outcome::kDone;
}

// The candidates are the target parts of the same kind not yet matched, nearest first. Over
// all vertices of a part, the squared moves add up to at least the vertex count times the
// squared distance between the centroids, which bounds each candidate part from below.
Outcome TopologyMatcher::match_part(int32_t p, int32_t seed_vertex, PartIndex& index) {
    const Mesh::Part& part = s_.parts[p];
    PartIndex::Nearest nearest(index, part);
    const int32_t seed_corner = s_.corners[s_.first_corner[seed_vertex]].id;
    const int32_t a = seed_corner / 3;
    const auto peek = [&](double& bound) {
        int32_t q = kNone;
        int64_t steps = 0;
        const bool found = nearest.peek(q, bound, steps);
        return tick(steps) && found;
    };
    const auto take = [&](std::vector<Seed>& seeds) {
        int32_t q = kNone;
        double bound = 0.0;
        int64_t steps = 0;
        nearest.peek(q, bound, steps);
        nearest.skip();
        for (int32_t k = t_.part_first[q]; k < t_.part_first[q + 1]; ++k) {
            const int32_t u = t_.part_members[k];
            if (t_.colours[u] != s_.colours[seed_vertex] || source_of_[u] != kNone) continue;
            for (int32_t c = t_.first_corner[u]; c < t_.first_corner[u + 1]; ++c) {
                const int32_t corner = t_.corners[c].id;
                if (target_used_[corner / 3]) continue;
                add_seed(a, corner / 3, (corner % 3 - seed_corner % 3 + 3) % 3, seeds);
            }
        }
        return tick(steps + t_.part_first[q + 1] - t_.part_first[q] +
                    static_cast<int64_t>(seeds.size()));
    };
    const Outcome outcome = contest({peek, take}, part.vertices);
    if (outcome == Outcome::kDone) index.take(t_.part[target_of_[seed_vertex]]);
    return outcome;
}

// Vertices that no triangle uses have no topology; they pair by position among themselves.
Outcome TopologyMatcher::match_unused_vertices() {
    std::vector<int32_t> source_ids, target_ids;
    std::vector<Vec3> source_points, target_points;
    for (int32_t v = 0; v < s_.vertex_count(); ++v) {
        if (!s_.used(v)) source_ids.push_back(v), source_points.push_back(s_.points[v]);
    }
    for (int32_t u = 0; u < t_.vertex_count(); ++u) {
        if (!t_.used(u)) target_ids.push_back(u), target_points.push_back(t_.points[u]);
    }
    if (source_ids.size() != target_ids.size()) return Outcome::kFailed;
    if (source_ids.empty()) return Outcome::kDone;
    std::vector<int32_t> local;
    const int64_t unmatched = pair_by_position(source_points, target_points, local, ticker_);
    if (unmatched < 0) return Outcome::kCancelled;
    if (unmatched > 0) return Outcome::kFailed;
    for (size_t i = 0; i < source_ids.size(); ++i) {
        target_of_[source_ids[i]] = target_ids[static_cast<size_t>(local[i])];
        source_of_[target_ids[static_cast<size_t>(local[i])]] = source_ids[i];
    }
    return Outcome::kDone;
}

Outcome TopologyMatcher::run() {
    const Outcome unused = match_unused_vertices();
    if (unused != Outcome::kDone) return unused;

    // seed of each part: a vertex of its rarest colour, so few target vertices can meet it
    const ColourCounts counts(s_);
    const size_t part_count = s_.parts.size();
    std::vector<int32_t> seed(part_count, kNone);
    std::vector<int32_t> rarity(part_count, std::numeric_limits<int32_t>::max());
    for (int32_t v = 0; v < s_.vertex_count(); ++v) {
        if (!s_.used(v)) continue;
        const int32_t count = counts(s_.colours[v]);
        if (count < rarity[s_.part[v]]) rarity[s_.part[v]] = count, seed[s_.part[v]] = v;
    }
    // each part's triangles, for its completion
    std::vector<std::vector<int32_t>> part_triangles(part_count);
    for (int32_t a = 0; a < static_cast<int32_t>(s_.triangles.size()); ++a) {
        part_triangles[s_.part[s_.triangles[a].v[0]]].push_back(a);
    }
    PartIndex index(t_);
    if (!tick(s_.vertex_count())) return Outcome::kCancelled;

    for (size_t p = 0; p < part_count; ++p) {
        if (seed[p] == kNone) continue;  // a vertex no triangle uses
        Outcome outcome = match_part(static_cast<int32_t>(p), seed[p], index);
        if (outcome == Outcome::kDone) outcome = complete_part(part_triangles[p]);
        if (outcome != Outcome::kDone) return outcome;
        ++parts_;
        part_triangles[p] = std::vector<int32_t>();
    }
    return Outcome::kDone;
}

}  // namespace

VertexMatch match_vertex_order(const std::vector<Vec3>& source_vertices,
                               const std::vector<Triangle>& source_triangles,
                               const std::vector<Vec3>& target_vertices,
                               const std::vector<Triangle>& target_triangles,
                               const MatchProgress& progress) {
    VertexMatch match;
    match.vertex_count = static_cast<int32_t>(source_vertices.size());
    const auto refuse = [&](MatchRefusal refusal, std::string reason) {
        match.status = MatchStatus::kRefused;
        match.refusal = refusal;
        match.reason = std::move(reason);
        return match;
    };
    if (target_vertices.size() != source_vertices.size()) {
        return refuse(MatchRefusal::kVertexCount,
                      text("the target has %lld vertices, the source %lld",
                           static_cast<long long>(target_vertices.size()),
                           static_cast<long long>(source_vertices.size())));
    }
    std::string problem = mesh_problem(source_vertices, source_triangles, "source");
    if (problem.empty()) problem = mesh_problem(target_vertices, target_triangles, "target");
    if (!problem.empty()) return refuse(MatchRefusal::kBadMesh, problem);
    const int64_t n = match.vertex_count;
    // The preparations count as a step per vertex each, so a cancel is seen between them.
    constexpr int64_t kPreparations = 7;
    const auto cancelled = [&] {
        match.status = MatchStatus::kCancelled;
        return match;
    };
    Ticker ticker(progress);
    ticker.begin_phase(0.0, 0.2, (2 * kColourRounds + kPreparations) * n);
    const SpatialOrder target = in_spatial_order(target_vertices, target_triangles, ticker);
    if (!ticker.add(n)) return cancelled();
    const auto matched = [&](MatchMethod method, const std::vector<int32_t>& target_of) {
        match.status = MatchStatus::kMatched;
        match.method = method;
        match.target_of.resize(target_of.size());
        for (int32_t i = 0; i < match.vertex_count; ++i) {
            match.target_of[i] = target.original[target_of[i]];
            match.renumbered += match.target_of[i] != i;
        }
        return match;
    };
    // by topology, when the triangles can be the same: meshes whose colours differ after
    // any round cannot be, which most other meshes show in the first rounds
    if (source_triangles.size() == target_triangles.size()) {
        Mesh source(source_vertices, source_triangles);
        Mesh other(target.points, target.triangles);
        for (Mesh* mesh : {&source, &other}) {
            list_corners(*mesh);
            start_colours(*mesh);
            if (!ticker.add(n)) return cancelled();
        }
        bool alike = colour_fingerprint(source) == colour_fingerprint(other);
        std::vector<uint64_t> as_next(static_cast<size_t>(n)), as_prev(static_cast<size_t>(n));
        for (int round = 0; alike && round < kColourRounds; ++round) {
            if (!refine_colours(source, as_next, as_prev, ticker) ||
                !refine_colours(other, as_next, as_prev, ticker)) {
                return cancelled();
            }
            alike = colour_fingerprint(source) == colour_fingerprint(other);
        }
        if (alike) {
            for (Mesh* mesh : {&source, &other}) {
                find_parts(*mesh);
                if (!ticker.add(n)) return cancelled();
            }
            // a vertex tried, and a part's look for candidates and seeds in the target
            constexpr int64_t kStepsPerPart = 40;
            ticker.begin_phase(0.2, 0.5,
                               2 * n + kStepsPerPart * static_cast<int64_t>(source.parts.size()));
            TopologyMatcher topology(source, other, ticker);
            const Outcome outcome = topology.run();
            if (outcome == Outcome::kCancelled) return cancelled();
            if (outcome == Outcome::kDone) {
                match.parts = topology.parts();
                return matched(MatchMethod::kTopology, topology.target_of());
            }
        }
    }

    // by nearest position
    ticker.begin_phase(0.5, 1.0, 2 * n);
    std::vector<int32_t> target_of;
    const int64_t unmatched = pair_by_position(source_vertices, target.points, target_of, ticker);
    if (unmatched < 0) return cancelled();
    if (unmatched == 0) return matched(MatchMethod::kPosition, target_of);
    match.unmatched = static_cast<int32_t>(unmatched);
    return refuse(MatchRefusal::kNoOneToOne,
                  text("%lld of %lld vertices could not be matched: the target's triangles are "
                       "not the source's renumbered, and by position those vertices have no "
                       "target vertex of their own within half the distance to their nearest "
                       "neighbour",
                       unmatched, n));
}

std::vector<Vec3> positions_in_source_order(const std::vector<Vec3>& target_vertices,
                                            const std::vector<int32_t>& target_of) {
    std::vector<Vec3> positions(target_of.size());
    for (size_t i = 0; i < target_of.size(); ++i) {
        positions[i] = target_vertices[static_cast<size_t>(target_of[i])];
    }
    return positions;
}

QxmObject matched_object(const ReadResult& source, const ReadResult& target,
                         const VertexMatch& match) {
    assert(match.status == MatchStatus::kMatched);
    QxmObject object;
    object.name = target.object_name;
    object.vertices = positions_in_source_order(target.vertices, match.target_of);
    object.triangles = source.triangles;
    return object;
}

}  // namespace warpkit
