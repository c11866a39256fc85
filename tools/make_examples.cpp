// Writes the example object files: a head to load as the source, three targets with the same
// vertices in the same order (smile, squash, twist), one file holding all four, and a box with
// another vertex count that a target slot refuses.
//
// Usage: make_examples <folder>
#include <cmath>
#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "support/qxm_writer.h"

namespace {

using warpkit::Triangle;
using warpkit::Vec3;
using warpkit::testing::QxmColour;
using warpkit::testing::QxmFileSpec;
using warpkit::testing::QxmObjectSpec;

constexpr int kSegments = 32;  // around the vertical axis
constexpr int kRings = 22;     // from the crown to the chin
constexpr float kPi = 3.14159265f;

enum Colour : int32_t { kSkin = 0, kHair = 1, kEye = 2, kLips = 3 };

const std::vector<QxmColour> kHeadPalette = {
    {236, 188, 150},  // skin
    {74, 48, 32},     // hair
    {28, 30, 44},     // eyes
    {184, 56, 64},    // lips
};

float bump(float dx, float dy, float rx, float ry) {
    return std::exp(-(dx * dx) / (rx * rx) - (dy * dy) / (ry * ry));
}

int32_t region_of(const Vec3& p) {
    const bool front = p.z > 0.3f;
    if (front && std::fabs(std::fabs(p.x) - 0.3f) < 0.14f && std::fabs(p.y - 0.2f) < 0.1f) {
        return kEye;
    }
    if (front && std::fabs(p.x) < 0.3f && std::fabs(p.y + 0.42f) < 0.07f) return kLips;
    if (p.y > 0.55f || (p.z < -0.25f && p.y > -0.15f)) return kHair;
    return kSkin;
}

// Where on the unit sphere a vertex sits decides the regions; the head shape is laid on top.
struct Sphere {
    std::vector<Vec3> points;  // unit sphere, +z is the face, +y the crown
    std::vector<Triangle> triangles;
};

Sphere make_sphere() {
    Sphere sphere;
    sphere.points.push_back({0.0f, 1.0f, 0.0f});
    for (int ring = 1; ring < kRings; ++ring) {
        const float theta = kPi * static_cast<float>(ring) / kRings;
        for (int segment = 0; segment < kSegments; ++segment) {
            const float phi = 2.0f * kPi * static_cast<float>(segment) / kSegments;
            sphere.points.push_back({std::sin(theta) * std::sin(phi), std::cos(theta),
                                     std::sin(theta) * std::cos(phi)});
        }
    }
    const int bottom = static_cast<int>(sphere.points.size());
    sphere.points.push_back({0.0f, -1.0f, 0.0f});

    // Counter-clockwise seen from outside, so back faces can be culled.
    auto at = [](int ring, int segment) {
        return 1 + (ring - 1) * kSegments + segment % kSegments;
    };
    // Both triangles of a quad take the colour of the quad's centre, so regions have clean
    // edges along the rings and segments.
    auto add = [&](int a, int b, int c, int d) {
        Vec3 centre;
        for (int k : {a, b, c, d}) {
            const Vec3& p = sphere.points[static_cast<size_t>(k)];
            centre = {centre.x + p.x / 4, centre.y + p.y / 4, centre.z + p.z / 4};
        }
        Triangle t;
        t.colour = region_of(centre);
        t.v[0] = a, t.v[1] = b, t.v[2] = c;
        sphere.triangles.push_back(t);
        if (d == c) return;
        t.v[0] = a, t.v[1] = c, t.v[2] = d;
        sphere.triangles.push_back(t);
    };
    for (int segment = 0; segment < kSegments; ++segment) {
        add(0, at(1, segment), at(1, segment + 1), at(1, segment + 1));
    }
    for (int ring = 1; ring + 1 < kRings; ++ring) {
        for (int segment = 0; segment < kSegments; ++segment) {
            add(at(ring, segment), at(ring + 1, segment), at(ring + 1, segment + 1),
                at(ring, segment + 1));
        }
    }
    for (int segment = 0; segment < kSegments; ++segment) {
        add(at(kRings - 1, segment), bottom, at(kRings - 1, segment + 1),
            at(kRings - 1, segment + 1));
    }
    return sphere;
}

// Narrower jaw, a nose, shallow eye sockets, a little taller than wide.
Vec3 head_point(const Vec3& p) {
    Vec3 out = p;
    const float jaw = p.y < 0.0f ? 1.0f - 0.3f * p.y * p.y : 1.0f;
    out.x *= 0.8f * jaw;
    out.z *= 0.9f * jaw;
    if (p.z > 0.0f) {
        out.z += 0.18f * bump(p.x, p.y + 0.05f, 0.16f, 0.22f);
        out.z -= 0.06f * (bump(p.x - 0.32f, p.y - 0.2f, 0.16f, 0.12f) +
                          bump(p.x + 0.32f, p.y - 0.2f, 0.16f, 0.12f));
    }
    out.y *= 1.1f;
    return out;
}

QxmObjectSpec object_from(const std::string& name, const Sphere& sphere,
                          const std::function<Vec3(const Vec3& unit, const Vec3& head)>& shape) {
    QxmObjectSpec object;
    object.name = name;
    for (const Vec3& unit : sphere.points) object.vertices.push_back(shape(unit, head_point(unit)));
    object.triangles = sphere.triangles;
    return object;
}

// The mouth corners go up and out, the cheeks forward.
Vec3 smile(const Vec3& unit, const Vec3& head) {
    if (unit.z <= 0.0f) return head;
    const float weight = bump(unit.x, unit.y + 0.42f, 0.5f, 0.25f) * unit.z;
    const float corner = std::min(1.0f, (unit.x * unit.x) / (0.34f * 0.34f));
    Vec3 out = head;
    out.y += 0.2f * weight * corner;
    out.x += 0.08f * weight * unit.x / 0.34f;
    out.z += 0.06f * weight * corner;
    return out;
}

// Flattened onto the chin, bulging sideways.
Vec3 squash(const Vec3&, const Vec3& head) {
    const float chin = -1.1f;
    return {head.x * 1.2f, chin + (head.y - chin) * 0.7f, head.z * 1.2f};
}

// Crown and chin turned against each other about the vertical axis.
Vec3 twist(const Vec3&, const Vec3& head) {
    const float angle = 0.55f * head.y;
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    return {c * head.x + s * head.z, head.y, -s * head.x + c * head.z};
}

// Each face its own 4 x 4 grid, so it has its own corners: 150 vertices, not the head's.
QxmObjectSpec make_box() {
    QxmObjectSpec box;
    box.name = "box";
    constexpr int kCells = 4;
    const Vec3 axes[6][3] = {
        // origin corner, u direction, v direction (u x v points outward)
        {{-1, -1, 1}, {2, 0, 0}, {0, 2, 0}}, {{1, -1, -1}, {-2, 0, 0}, {0, 2, 0}},
        {{1, -1, 1}, {0, 0, -2}, {0, 2, 0}}, {{-1, -1, -1}, {0, 0, 2}, {0, 2, 0}},
        {{-1, 1, 1}, {2, 0, 0}, {0, 0, -2}}, {{-1, -1, -1}, {2, 0, 0}, {0, 0, 2}},
    };
    for (int face = 0; face < 6; ++face) {
        const Vec3& o = axes[face][0];
        const Vec3& u = axes[face][1];
        const Vec3& v = axes[face][2];
        const int first = static_cast<int>(box.vertices.size());
        for (int j = 0; j <= kCells; ++j) {
            for (int i = 0; i <= kCells; ++i) {
                const float a = static_cast<float>(i) / kCells;
                const float b = static_cast<float>(j) / kCells;
                box.vertices.push_back(
                    {o.x + a * u.x + b * v.x, o.y + a * u.y + b * v.y, o.z + a * u.z + b * v.z});
            }
        }
        for (int j = 0; j < kCells; ++j) {
            for (int i = 0; i < kCells; ++i) {
                const int corner = first + j * (kCells + 1) + i;
                Triangle t;
                t.colour = face % 4;
                t.v[0] = corner, t.v[1] = corner + 1, t.v[2] = corner + kCells + 2;
                box.triangles.push_back(t);
                t.v[0] = corner, t.v[1] = corner + kCells + 2, t.v[2] = corner + kCells + 1;
                box.triangles.push_back(t);
            }
        }
    }
    return box;
}

// A triangle whose normal points towards the object's centre would be culled from outside.
// Checked on the unit sphere and the box, both centred on the origin; the heads share the
// sphere's triangles.
bool faces_outward(const std::vector<Vec3>& vertices, const std::vector<Triangle>& triangles) {
    for (const Triangle& t : triangles) {
        const Vec3& a = vertices[static_cast<size_t>(t.v[0])];
        const Vec3& b = vertices[static_cast<size_t>(t.v[1])];
        const Vec3& c = vertices[static_cast<size_t>(t.v[2])];
        const Vec3 u{b.x - a.x, b.y - a.y, b.z - a.z};
        const Vec3 v{c.x - a.x, c.y - a.y, c.z - a.z};
        const Vec3 n{u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
        const Vec3 centre{(a.x + b.x + c.x) / 3, (a.y + b.y + c.y) / 3, (a.z + b.z + c.z) / 3};
        if (n.x * centre.x + n.y * centre.y + n.z * centre.z < 0.0f) return false;
    }
    return true;
}

QxmFileSpec file_of(std::vector<QxmObjectSpec> objects, std::vector<QxmColour> colours) {
    QxmFileSpec file_spec;
    file_spec.objects = std::move(objects);
    file_spec.colours = std::move(colours);
    file_spec.junk_seed = 0;
    return file_spec;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];

    const Sphere sphere = make_sphere();
    const QxmObjectSpec head =
        object_from("head", sphere, [](const Vec3&, const Vec3& shaped) { return shaped; });
    const QxmObjectSpec smiling = object_from("smile", sphere, smile);
    const QxmObjectSpec squashed = object_from("squash", sphere, squash);
    const QxmObjectSpec twisted = object_from("twist", sphere, twist);
    const QxmObjectSpec box = make_box();

    if (!faces_outward(sphere.points, sphere.triangles) ||
        !faces_outward(box.vertices, box.triangles)) {
        std::fprintf(stderr, "make_examples: a triangle faces inwards\n");
        return 1;
    }

    const struct {
        const char* file;
        QxmFileSpec file_spec;
    } files[] = {
        {"head.qxm", file_of({head}, kHeadPalette)},
        {"smile.qxm", file_of({smiling}, kHeadPalette)},
        {"squash.qxm", file_of({squashed}, kHeadPalette)},
        {"twist.qxm", file_of({twisted}, kHeadPalette)},
        {"expressions.qxm", file_of({head, smiling, squashed, twisted}, kHeadPalette)},
        {"box.qxm", file_of({box}, {{200, 60, 60}, {60, 170, 60}, {60, 90, 200}, {220, 200, 60}})},
    };
    try {
        for (const auto& entry : files) {
            warpkit::testing::write_qxm(folder + "/" + entry.file, entry.file_spec);
            std::printf("%s/%s\n", folder.c_str(), entry.file);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_examples: %s\n", error.what());
        return 1;
    }
    return 0;
}
