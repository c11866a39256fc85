// The lean and vertex-array paths against one begin/end per triangle: the same scene drawn
// each way on the X display and read back must match pixel for pixel (smooth shading: within
// one level per channel, since the primitives interpolate from different corners).
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QTest>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "model/draw_arrays.h"
#include "model/object_mesh.h"
#include "view/gl_view.h"
#include "view/scene_renderer.h"

namespace warpkit {
namespace {

constexpr int kClientWidth = 809;
constexpr int kClientHeight = 378;
constexpr uint8_t kPaletteSize = 6;

// A hilly grid of columns x rows cells: hills hide parts of each other at the starting view,
// colours come in patches (so vertices on a patch border carry several colours), every
// eleventh triangle names a colour beyond the palette, and a few triangles repeat a corner.
ReadResult hilly_grid(int columns, int rows, float phase = 0.0f) {
    ReadResult r;
    const int stride = columns + 1;
    for (int row = 0; row <= rows; ++row) {
        for (int column = 0; column <= columns; ++column) {
            const float x = static_cast<float>(column) * 0.25f;
            const float y = static_cast<float>(row) * 0.25f;
            r.vertices.push_back({x, y, 1.5f * std::sin(0.9f * x + phase) * std::cos(1.3f * y)});
        }
    }
    auto add = [&](int a, int b, int c, int colour) {
        Triangle t;
        t.v[0] = a;
        t.v[1] = b;
        t.v[2] = c;
        t.colour = r.triangles.size() % 11 == 0 ? kPaletteSize + 3 : colour;
        r.triangles.push_back(t);
    };
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const int corner = row * stride + column;
            const int patch = (column / 7 + row / 5) % kPaletteSize;
            add(corner, corner + 1, corner + stride + 1, patch);
            add(corner, corner + stride + 1, corner + stride, (patch + 1) % kPaletteSize);
        }
    }
    add(0, 0, stride, 0);  // a corner named twice: nothing to fill, but it must not upset a path
    add(1, stride + 2, 1, 2);
    for (uint8_t j = 0; j < kPaletteSize; ++j) {
        r.red.push_back(static_cast<uint8_t>(40 * j + 20));
        r.green.push_back(static_cast<uint8_t>(250 - 37 * j));
        r.blue.push_back(static_cast<uint8_t>((90 * j) % 256));
    }
    r.vertex_count = static_cast<int32_t>(r.vertices.size());
    r.triangle_count = static_cast<int32_t>(r.triangles.size());
    r.colour_count = kPaletteSize;
    return r;
}

struct Difference {
    int pixels = 0;     // pixels that differ at all
    int largest = 0;    // largest difference of one channel
    int lit = 0;        // pixels that are not black in the reference
    std::string first;  // where the first difference lies
};

Difference compare(const QImage& reference, const QImage& arrays) {
    Difference d;
    for (int y = 0; y < reference.height(); ++y) {
        for (int x = 0; x < reference.width(); ++x) {
            const QRgb a = reference.pixel(x, y), b = arrays.pixel(x, y);
            if ((a & 0xffffffu) != 0) ++d.lit;
            const int channel =
                std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                          std::abs(qBlue(a) - qBlue(b))});
            if (channel == 0) continue;
            if (d.pixels++ == 0) d.first = std::to_string(x) + "," + std::to_string(y);
            d.largest = std::max(d.largest, channel);
        }
    }
    return d;
}

class RenderPaths : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = std::make_unique<QWidget>();
        window_->resize(kClientWidth, kClientHeight);
        view_ = new GlView(state_, window_.get());
        view_->setGeometry(0, 0, kClientWidth, kClientHeight);
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        ASSERT_TRUE(view_->isValid());
    }

    void TearDown() override { set_draw_path(DrawPath::kLean); }

    // A source set up as a load does, seen from its starting view.
    void load(const ReadResult& source) {
        state_.vertex_count = source.vertex_count;
        state_.triangle_count = source.triangle_count;
        state_.slots[0].vertices = source.vertices;
        state_.slots[0].loaded = 1;
        InitSource(state_, source);
    }

    QImage draw(DrawPath path) {
        set_draw_path(path);
        view_->DrawScene();
        return view_->grabFramebuffer();
    }

    // Draws the scene the reference way, then each other way; the reference goes first, so
    // whatever a path keeps from an earlier draw is put to the test. `tolerance` is the
    // largest difference of a channel allowed.
    void expect_same_picture(const std::string& what, int tolerance) {
        const QImage reference = draw(DrawPath::kPerTriangle);
        for (const DrawPath path : {DrawPath::kLean, DrawPath::kVertexArrays}) {
            const Difference d = compare(reference, draw(path));
            const std::string named =
                what + (path == DrawPath::kLean ? ", lean" : ", vertex arrays");
            EXPECT_GT(d.lit, 10000) << named << ": too little of the scene is on screen to tell";
            EXPECT_LE(d.largest, tolerance) << named << ": " << d.pixels << " pixels differ, up to "
                                            << d.largest << " levels, the first at " << d.first;
        }
    }
    void expect_identical(const std::string& what) { expect_same_picture(what, 0); }
    void expect_within_one_level(const std::string& what) { expect_same_picture(what, 1); }

    EditorState state_;
    std::unique_ptr<QWidget> window_;
    GlView* view_ = nullptr;
};

TEST_F(RenderPaths, every_mode_matches_the_per_triangle_picture_with_either_colouring) {
    load(hilly_grid(70, 40));
    ASSERT_GT(state_.triangle_count, 5000);
    for (const int palette : {0, 1}) {
        state_.use_object_colours = palette;
        const std::string colours = palette ? "palette colours" : "object colour";
        state_.ShadingMode = kFlat;
        expect_identical("flat, " + colours);
        state_.ShadingMode = kWireFrame;
        expect_identical("wire frame, " + colours);
        state_.ShadingMode = kSmooth;
        expect_within_one_level("smooth, " + colours);
    }
    // Patch borders and the colours beyond the palette split vertices for smooth shading.
    EXPECT_FALSE(draw_arrays_of(state_.mesh).lean_corners.split_vertex.empty());
}

TEST_F(RenderPaths, the_composed_widget_of_earlier_releases_shows_the_same_picture) {
    load(hilly_grid(70, 40));
    state_.use_object_colours = 1;
    set_presentation(Presentation::kComposedWidget);
    QWidget other;
    other.resize(kClientWidth, kClientHeight);
    auto* composed = new GlView(state_, &other);
    set_presentation(Presentation::kNativeSurface);
    composed->setGeometry(0, 0, kClientWidth, kClientHeight);
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    ASSERT_TRUE(composed->isValid());
    EXPECT_EQ(composed->surface(), nullptr);
    // The two views share the session's layout; each keeps its own buffers of it.
    for (const int mode : {kFlat, kSmooth, kFlat}) {
        state_.ShadingMode = mode;
        const QImage native = draw(DrawPath::kLean);
        composed->DrawScene();
        // The two framebuffers store colours in other formats, which may round a smoothly
        // shaded pixel the other way.
        const Difference d = compare(native, composed->grabFramebuffer());
        EXPECT_LE(d.largest, mode == kSmooth ? 1 : 0) << "mode " << mode << ", at " << d.first;
    }
}

TEST_F(RenderPaths, arrays_follow_a_moved_shape_and_a_new_object_colour) {
    load(hilly_grid(70, 40));
    state_.use_object_colours = 1;
    state_.ShadingMode = kFlat;
    expect_identical("before the move");
    // What a blend does: every displayed vertex moves, the triangles stay.
    for (Vec3& v : state_.mesh.displayed) v.z = -0.5f * v.z + 0.1f * v.x;
    expect_identical("flat, after the move");
    state_.ShadingMode = kSmooth;
    expect_within_one_level("smooth, after the move");
    // Triangles beyond the palette take the object colour.
    state_.object_colour[0] = 0.1f;
    state_.object_colour[1] = 0.9f;
    state_.object_colour[2] = 0.3f;
    expect_within_one_level("smooth, new object colour");
    state_.ShadingMode = kFlat;
    expect_identical("flat, new object colour");
}

TEST_F(RenderPaths, a_new_source_gets_arrays_of_its_own) {
    load(hilly_grid(70, 40));
    for (const int mode : {kFlat, kSmooth, kWireFrame}) {
        state_.ShadingMode = mode;
        draw(DrawPath::kVertexArrays);
    }
    // Same sizes, other triangles: only a layout made afresh can show it right.
    ReadResult other = hilly_grid(70, 40, 1.0f);
    for (Triangle& t : other.triangles) std::swap(t.v[1], t.v[2]);
    load(other);
    state_.use_object_colours = 1;
    state_.yaw = 150.0f;  // the other side, which the swapped corners now face
    state_.ShadingMode = kFlat;
    expect_identical("flat, new source");
    state_.ShadingMode = kWireFrame;
    expect_identical("wire frame, new source");
    state_.ShadingMode = kSmooth;
    expect_within_one_level("smooth, new source");
}

TEST_F(RenderPaths, repeated_draws_reuse_the_arrays) {
    load(hilly_grid(30, 20));
    state_.use_object_colours = 1;
    state_.ShadingMode = kFlat;
    for (const DrawPath path : {DrawPath::kVertexArrays, DrawPath::kLean}) {
        draw(path);
        const DrawArrays* arrays = state_.mesh.draw_arrays.get();
        ASSERT_NE(arrays, nullptr);
        const bool lean = path == DrawPath::kLean;
        const std::vector<Vec3>& positions = lean ? arrays->lean_positions : arrays->flat_positions;
        const std::vector<float>& colours = lean ? arrays->lean_colours : arrays->flat_colours;
        const Vec3* positions_at = positions.data();
        const float* colours_at = colours.data();
        const uint64_t layout = arrays->lean_id;
        for (int step = 0; step < 3; ++step) {
            state_.mesh.displayed[5].z += 0.25f;
            draw(path);
        }
        EXPECT_EQ(state_.mesh.draw_arrays.get(), arrays);
        EXPECT_EQ(positions.data(), positions_at);
        EXPECT_EQ(colours.data(), colours_at);
        EXPECT_EQ(arrays->lean_id, layout);
        // The layout's indices are with GL now, not kept twice.
        if (lean) {
            EXPECT_TRUE(arrays->lean_indices.empty());
        }
        const auto moved = std::find_if(positions.begin(), positions.end(), [&](const Vec3& p) {
            return p.x == state_.mesh.displayed[5].x && p.y == state_.mesh.displayed[5].y;
        });
        ASSERT_NE(moved, positions.end());
        EXPECT_EQ(moved->z, state_.mesh.displayed[5].z);
    }
}

}  // namespace
}  // namespace warpkit
