// The preview drawn for real on the X display and read back pixel by pixel.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <QWindow>
#include <array>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>

#include "app/tform1.h"
#include "model/object_mesh.h"
#include "support/form1_fixture.h"
#include "view/gl_view.h"
#include "view/scene_renderer.h"

namespace warpkit {
namespace {

constexpr int kClientWidth = 809;
constexpr int kClientHeight = 378;
constexpr float kDistance = 10.0f;

struct Rgb8 {
    uint8_t r, g, b;
};

// Where a point of the scene lands in the picture (origin top left) when the camera looks
// straight down -z from kDistance at the origin.
QPoint to_pixel(const Vec3& p) {
    const double f = 1.0 / std::tan(15.0 * 3.14159265358979 / 180.0);
    const double depth = kDistance - p.z;
    const double ndc_x = f / (320.0 / 294.0) * p.x / depth;
    const double ndc_y = f * p.y / depth;
    const double window_x = -30.0 + (ndc_x + 1.0) * 0.5 * 384.0;
    const double window_y = 30.0 + (ndc_y + 1.0) * 0.5 * 352.0;
    return QPoint(static_cast<int>(window_x), static_cast<int>(kClientHeight - window_y));
}

// Brightness of a lit channel facing the viewer along +z with the given surface normal:
// global ambient 0.5 and light diffuse 0.5 on the colour, plus a white highlight.
double lit_level(double colour, Vec3 n) {
    const double length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    const double nx = n.x / length, ny = n.y / length, nz = n.z / length;
    const double l = 1.0 / std::sqrt(3.0);
    const double n_dot_l = std::max(0.0, (nx + ny + nz) * l);
    // Half vector of the light and the non-local viewer (0, 0, 1).
    const double hx = l, hy = l, hz = l + 1.0;
    const double h_length = std::sqrt(hx * hx + hy * hy + hz * hz);
    const double n_dot_h = std::max(0.0, (nx * hx + ny * hy + nz * hz) / h_length);
    const double specular = n_dot_l > 0.0 ? std::pow(n_dot_h, 100.0) : 0.0;
    return 255.0 * std::min(1.0, colour * (0.5 + 0.5 * n_dot_l) + specular);
}

class SceneRenderer : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = std::make_unique<QWidget>();
        window_->resize(kClientWidth, kClientHeight);
        view_ = new GlView(state_, window_.get());
        view_->setGeometry(0, 0, kClientWidth, kClientHeight);
        view_->on_error = [this](const std::string& message) { errors_.push_back(message); };
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        ASSERT_TRUE(view_->isValid());
    }

    // A source set up as a load does, then looked at straight on from kDistance.
    void load(std::vector<Vec3> vertices, std::vector<Triangle> triangles,
              std::vector<Rgb8> palette = {}) {
        ReadResult source;
        source.vertices = std::move(vertices);
        source.triangles = std::move(triangles);
        source.vertex_count = static_cast<int32_t>(source.vertices.size());
        source.triangle_count = static_cast<int32_t>(source.triangles.size());
        source.colour_count = static_cast<int32_t>(palette.size());
        for (const Rgb8& c : palette) {
            source.red.push_back(c.r);
            source.green.push_back(c.g);
            source.blue.push_back(c.b);
        }
        state_.vertex_count = source.vertex_count;
        state_.triangle_count = source.triangle_count;
        state_.slots[0].vertices = source.vertices;
        state_.slots[0].loaded = 1;
        InitSource(state_, source);
        state_.yaw = 0.0f;
        state_.pitch = 0.0f;
        state_.view_centre = Vec3{};
        state_.view_distance = kDistance;
    }

    // The picture as the widget would compose it (this paints the widget afresh).
    QImage grab() {
        view_->DrawScene();
        return view_->grabFramebuffer();
    }

    // One pixel of what the X server shows in the preview's window, without letting anything
    // paint first.
    Rgb8 read_screen(QPoint p) {
        QWindow* surface = view_->surface();
        const QImage shown =
            surface->screen()->grabWindow(surface->winId(), p.x(), p.y(), 1, 1).toImage();
        const QRgb pixel = shown.pixel(0, 0);
        return Rgb8{static_cast<uint8_t>(qRed(pixel)), static_cast<uint8_t>(qGreen(pixel)),
                    static_cast<uint8_t>(qBlue(pixel))};
    }

    static void expect_black(const QImage& image) {
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                ASSERT_EQ(image.pixel(x, y) & 0xffffffu, 0u) << "at " << x << "," << y;
            }
        }
    }

    EditorState state_;
    std::unique_ptr<QWidget> window_;
    GlView* view_ = nullptr;
    std::vector<std::string> errors_;
};

// A triangle facing the viewer with the origin inside.
const std::vector<Vec3> kFacing = {{-1, -1, 0}, {1, -1, 0}, {0, 1, 0}};

TEST_F(SceneRenderer, working_context_reports_nothing_and_names_the_widget) {
    EXPECT_TRUE(errors_.empty());
    EXPECT_EQ(view_->objectName(), "GlView");
    EXPECT_FALSE(view_->hasMouseTracking());
}

TEST_F(SceneRenderer, no_source_draws_black) {
    state_.view_distance = kDistance;
    expect_black(grab());
}

TEST_F(SceneRenderer, source_without_triangles_draws_black) {
    load({{0, 0, 0}, {1, 1, 0}, {-1, 0, 0}}, {});
    for (int mode : {kWireFrame, kFlat, kSmooth}) {
        state_.ShadingMode = mode;
        expect_black(grab());
    }
}

TEST_F(SceneRenderer, flat_triangle_is_lit_grey_where_it_stands) {
    load(kFacing, {make_triangle(0, 1, 2)});
    const QImage image = grab();
    const double expected = lit_level(220.0 / 255.0, Vec3{0, 0, 1});
    for (const Vec3& inside : {Vec3{0, 0, 0}, Vec3{-0.7f, -0.8f, 0}, Vec3{0.6f, -0.8f, 0}}) {
        const QRgb pixel = image.pixel(to_pixel(inside));
        EXPECT_NEAR(qRed(pixel), expected, 3.0);
        EXPECT_EQ(qRed(pixel), qGreen(pixel));
        EXPECT_EQ(qRed(pixel), qBlue(pixel));
    }
    // Just beyond the right edge, and far away from the triangle.
    EXPECT_EQ(image.pixel(to_pixel(Vec3{0.9f, 0.5f, 0})) & 0xffffffu, 0u);
    EXPECT_EQ(image.pixel(700, 40) & 0xffffffu, 0u);
}

TEST_F(SceneRenderer, object_colour_is_lit_through_colour_material) {
    load(kFacing, {make_triangle(0, 1, 2)});
    state_.object_colour[0] = 1.0f;
    state_.object_colour[1] = 0.0f;
    state_.object_colour[2] = 0.0f;
    const QRgb pixel = grab().pixel(to_pixel(Vec3{0, 0, 0}));
    EXPECT_NEAR(qRed(pixel), lit_level(1.0, Vec3{0, 0, 1}), 3.0);
    EXPECT_NEAR(qGreen(pixel), lit_level(0.0, Vec3{0, 0, 1}), 3.0);
}

TEST_F(SceneRenderer, triangle_turned_away_is_culled) {
    load(kFacing, {make_triangle(0, 2, 1)});
    expect_black(grab());
}

TEST_F(SceneRenderer, wire_frame_draws_unlit_outlines_in_palette_colours) {
    // Left triangle colour 1 (red), right triangle colour 2 (green).
    load(
        {{-2.5f, -1, 0}, {-0.5f, -1, 0}, {-1.5f, 1, 0}, {0.5f, -1, 0}, {2.5f, -1, 0}, {1.5f, 1, 0}},
        {make_triangle(0, 1, 2, 1), make_triangle(3, 4, 5, 2)},
        {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}});
    state_.ShadingMode = kWireFrame;
    state_.use_object_colours = 1;
    const QImage image = grab();
    const int middle = to_pixel(Vec3{0, 0, 0}).x();
    int red = 0, green = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y) & 0xffffffu;
            if (pixel == 0) continue;
            if (pixel == 0xff0000u && x < middle) {
                ++red;
            } else if (pixel == 0x00ff00u && x > middle) {
                ++green;
            } else {
                FAIL() << "pixel " << std::hex << pixel << " at " << std::dec << x << "," << y;
            }
        }
    }
    EXPECT_GT(red, 100);
    EXPECT_GT(green, 100);
    // Outlines only: the inside stays black.
    EXPECT_EQ(image.pixel(to_pixel(Vec3{-1.5f, -0.3f, 0})) & 0xffffffu, 0u);

    // Without the flag every outline takes the object colour.
    state_.use_object_colours = 0;
    const QImage grey = grab();
    for (int y = 0; y < grey.height(); ++y) {
        for (int x = 0; x < grey.width(); ++x) {
            const QRgb pixel = grey.pixel(x, y) & 0xffffffu;
            ASSERT_TRUE(pixel == 0 || pixel == 0xdcdcdcu) << std::hex << pixel;
        }
    }
}

TEST_F(SceneRenderer, colour_missing_from_the_palette_falls_back_to_the_object_colour) {
    // A file with no colour table: colour index 0 has no entry; another index beyond the table.
    load(kFacing, {make_triangle(0, 1, 2, 0)});
    state_.ShadingMode = kWireFrame;
    state_.use_object_colours = 1;
    const QImage image = grab();
    const QPoint corner = to_pixel(Vec3{0, -1, 0});  // on the bottom edge
    EXPECT_EQ(image.pixel(corner) & 0xffffffu, 0xdcdcdcu);

    load(kFacing, {make_triangle(0, 1, 2, 5)}, {{255, 0, 0}, {0, 255, 0}});
    state_.ShadingMode = kWireFrame;
    state_.use_object_colours = 1;
    EXPECT_EQ(grab().pixel(corner) & 0xffffffu, 0xdcdcdcu);
}

TEST_F(SceneRenderer, smooth_blends_across_shared_vertices_where_flat_shows_the_fold) {
    // A roof ridge along y at z = 0.5, its two panels falling to z = 0 on either side.
    load({{0, -1.5f, 0.5f}, {0, 1.5f, 0.5f}, {-1.5f, 0, 0}, {1.5f, 0, 0}},
         {make_triangle(0, 1, 2), make_triangle(0, 3, 1)});
    const QPoint outer_left = to_pixel(Vec3{-1.1f, 0, 0.13f});
    const QPoint ridge_left = to_pixel(Vec3{-0.08f, 0, 0.47f});
    const QPoint ridge_right = to_pixel(Vec3{0.08f, 0, 0.47f});

    state_.ShadingMode = kFlat;
    const QImage flat = grab();
    // Each panel is uniform; the right one faces the light more.
    EXPECT_NEAR(qRed(flat.pixel(outer_left)), qRed(flat.pixel(ridge_left)), 1);
    EXPECT_NEAR(qRed(flat.pixel(outer_left)), lit_level(220.0 / 255.0, Vec3{-1, 0, 3}), 3.0);
    EXPECT_GT(qRed(flat.pixel(ridge_right)) - qRed(flat.pixel(ridge_left)), 30);

    state_.ShadingMode = kSmooth;
    const QImage smooth = grab();
    // The ridge vertices share one upright normal, so the fold disappears there.
    EXPECT_LT(std::abs(qRed(smooth.pixel(ridge_right)) - qRed(smooth.pixel(ridge_left))), 6);
    EXPECT_GT(qRed(smooth.pixel(ridge_left)) - qRed(smooth.pixel(outer_left)), 10);
}

TEST_F(SceneRenderer, viewport_stays_on_the_same_client_pixels_wherever_the_surface_lies) {
    load(kFacing, {make_triangle(0, 1, 2)});
    // The whole client area, the preview's free region, and two sizes it never has.
    for (const QRect place : {QRect(0, 0, 809, 378), QRect(0, 27, 334, 280), QRect(0, 0, 500, 300),
                              QRect(20, 10, 700, 360)}) {
        view_->setGeometry(place);
        QApplication::processEvents();
        view_->DrawScene();
        view_->makeCurrent();
        std::array<GLint, 4> viewport{};
        glGetIntegerv(GL_VIEWPORT, viewport.data());
        const int bottom = kClientHeight - place.bottom() - 1;
        EXPECT_EQ(viewport, (std::array<GLint, 4>{-30 - place.left(), 30 - bottom, 384, 352}));
    }
    // So the triangle stands where it stood: the same pixels, read from the preview's region.
    view_->setGeometry(0, 0, kClientWidth, kClientHeight);
    const QImage whole = grab();
    view_->setGeometry(0, 27, 334, 280);
    QApplication::processEvents();
    EXPECT_EQ(grab(), whole.copy(0, 27, 334, 280));
}

TEST_F(SceneRenderer, every_draw_is_on_screen_when_it_returns) {
    load(kFacing, {make_triangle(0, 1, 2)});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view_->surface()));
    const QPoint centre = to_pixel(Vec3{0, 0, 0});
    // Quick succession, without the event loop in between: each draw must be on the screen.
    for (int round = 0; round < 6; ++round) {
        const bool red = round % 2 == 0;
        state_.object_colour[0] = 1.0f;
        state_.object_colour[1] = red ? 0.0f : 1.0f;
        state_.object_colour[2] = red ? 0.0f : 1.0f;
        view_->DrawScene();
        const Rgb8 pixel = read_screen(centre);
        EXPECT_GT(pixel.r, 150);
        if (red) {
            EXPECT_LT(pixel.g, 5) << "round " << round;
        } else {
            EXPECT_GT(pixel.g, 150) << "round " << round;
        }
    }
    // Off the screen nothing is drawn; coming back, the surface shows the scene as it is then.
    window_->hide();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view_->surface()->isExposed(); }));
    const int presented = view_->presented_frames();
    view_->DrawScene();
    EXPECT_EQ(view_->presented_frames(), presented);
    state_.object_colour[1] = 0.0f;
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view_->surface()));
    EXPECT_LT(read_screen(centre).g, 5);
}

TEST_F(SceneRenderer, mouse_input_is_handed_on_and_a_double_click_is_also_a_press) {
    std::vector<std::string> seen;
    view_->on_press = [&](Qt::MouseButton b) { seen.push_back("press " + std::to_string(b)); };
    view_->on_move = [&] { seen.push_back("move"); };
    view_->on_release = [&](Qt::MouseButton b) { seen.push_back("release " + std::to_string(b)); };
    view_->on_double_click = [&] { seen.push_back("double"); };
    const std::string left = std::to_string(Qt::LeftButton);
    const std::string right = std::to_string(Qt::RightButton);

    // Events sent to the view as a widget, in the order a window system delivers a left
    // double click with a drag in between (the second press comes as the double click).
    const QPoint at(100, 100);
    auto send = [&](QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, at, view_->mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(view_, &event);
    };
    send(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
    send(QEvent::MouseButtonDblClick, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
    // A right double click is no reset, but still a press.
    send(QEvent::MouseButtonDblClick, Qt::RightButton, Qt::RightButton);
    send(QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton);
    const std::vector<std::string> expected = {
        "press " + left,   "move",           "release " + left, "double", "press " + left,
        "release " + left, "press " + right, "release " + right};
    EXPECT_EQ(seen, expected);

    // The same through the native surface, which sees every press and then the double click;
    // a move with no button held is no drag.
    seen.clear();
    QWindow* surface = view_->surface();
    ASSERT_NE(surface, nullptr);
    QTest::mouseMove(surface, at);
    QTest::mousePress(surface, Qt::LeftButton, {}, at);
    QTest::mouseMove(surface, at + QPoint(5, 5));
    QTest::mouseRelease(surface, Qt::LeftButton, {}, at + QPoint(5, 5));
    QTest::mouseDClick(surface, Qt::LeftButton, {}, at);  // press, release, press, release
    QTest::mouseDClick(surface, Qt::RightButton, {}, at);
    EXPECT_EQ(seen,
              (std::vector<std::string>{"press " + left, "move", "release " + left, "press " + left,
                                        "release " + left, "double", "press " + left,
                                        "release " + left, "press " + right, "release " + right,
                                        "press " + right, "release " + right}));
}

// Run by its own test entry with OpenGL switched off in Qt (QT_XCB_GL_INTEGRATION=none).
TEST(WithoutOpenGl, the_view_says_once_that_it_has_no_context_and_the_program_runs_on) {
    if (std::getenv("WARPKIT_EXPECT_NO_GL") == nullptr) GTEST_SKIP() << "OpenGL is on here";
    EditorState state;
    QWidget window;
    window.resize(kClientWidth, kClientHeight);
    auto* view = new GlView(state, &window);
    view->setGeometry(0, 27, 334, 280);
    std::vector<std::string> errors;
    view->on_error = [&](const std::string& message) { errors.push_back(message); };
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_FALSE(view->isValid());
    view->DrawScene();
    window.hide();
    window.show();
    EXPECT_TRUE(view->grabFramebuffer().isNull());
    EXPECT_EQ(errors, std::vector<std::string>{":-)~ hrc == NULL"});
}

// The main window with the keyboard on the preview, that is on the window itself with no
// control holding it (the preview is the window's own region, and arrow keys reach the view
// only then): every shortcut and arrow key must reach its command, whether the keys come to
// the window that holds the focus after a click on the preview or to the preview's surface.
class PreviewKeys : public ::testing::Test {
protected:
    void SetUp() override {
        form_ = fx_.form.get();
        form_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form_));
        testing::QxmObjectSpec grid = testing::make_grid_object("grid", 6, 4);
        fx_.load_source(fx_.write_object("grid.qxm", grid, 3));
        surface_ = form_->view->surface();
        ASSERT_NE(surface_, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(surface_));
        form_->setFocus();
        // A click on the preview (a turn of nothing) must leave the keyboard where it was.
        QTest::mouseClick(surface_, Qt::LeftButton, {}, QPoint(150, 150));
        ASSERT_EQ(QGuiApplication::focusWindow(), form_->windowHandle());
        ASSERT_EQ(QApplication::focusWidget(), form_);
        fx_.dialogs.shown.clear();
    }

    // What the session and the dialogs show after `act`, as one line.
    std::string effect_of(const std::function<void()>& act) {
        fx_.dialogs.save_answers = {SaveAnswer::kCancel};
        fx_.dialogs.file_answers = {std::nullopt};
        const EditorState& s = fx_.state;
        const EditorState before = s;
        act();
        std::string effect;
        for (const auto& shown : fx_.dialogs.shown)
            effect += shown.kind + " '" + shown.title + "' ";
        fx_.dialogs.shown.clear();
        effect += "shading " + std::to_string(s.ShadingMode - before.ShadingMode);
        effect += " colours " + std::to_string(s.use_object_colours - before.use_object_colours);
        effect += " yaw " + std::to_string(std::lround(s.yaw - before.yaw));
        effect += " pitch " + std::to_string(std::lround(s.pitch - before.pitch));
        return effect;
    }

    testing::Form1Fixture fx_;
    TForm1* form_ = nullptr;
    QWindow* surface_ = nullptr;
};

TEST_F(PreviewKeys, shortcuts_and_arrow_keys_work_with_the_focus_on_the_preview) {
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        QAction* action;   // the menu command the key stands for, or nullptr
        const char* turn;  // what an arrow key does to the view
    };
    const Case cases[] = {
        {Qt::Key_N, Qt::ControlModifier, form_->OPEN1, nullptr},
        {Qt::Key_S, Qt::ControlModifier, form_->SAVEPROJECT1, nullptr},
        {Qt::Key_L, Qt::ControlModifier, form_->LOADPROJECT1, nullptr},
        {Qt::Key_Q, Qt::ControlModifier, form_->QUIT1, nullptr},
        {Qt::Key_D, Qt::ControlModifier, form_->xxx1, nullptr},
        {Qt::Key_C, Qt::ControlModifier, form_->zzz1, nullptr},
        {Qt::Key_Right, Qt::NoModifier, nullptr, "shading 0 colours 0 yaw -5 pitch 0"},
        {Qt::Key_Left, Qt::NoModifier, nullptr, "shading 0 colours 0 yaw 5 pitch 0"},
        {Qt::Key_Down, Qt::NoModifier, nullptr, "shading 0 colours 0 yaw 0 pitch -5"},
        {Qt::Key_Up, Qt::NoModifier, nullptr, "shading 0 colours 0 yaw 0 pitch 5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QKeySequence(c.key | c.modifiers).toString().toStdString());
        const std::string expected =
            c.action != nullptr ? effect_of([&] { c.action->trigger(); }) : c.turn;
        // Ctrl+D and Ctrl+C step on from where the menu left them: undo the menu's step.
        if (c.action == form_->xxx1) {
            form_->xxx1->trigger();
            form_->xxx1->trigger();
        }
        if (c.action == form_->zzz1) form_->zzz1->trigger();
        for (QWindow* target : {QGuiApplication::focusWindow(), surface_}) {
            EXPECT_EQ(effect_of([&] { QTest::keyClick(target, c.key, c.modifiers); }), expected)
                << (target == surface_ ? "sent to the preview's surface" : "sent to the window");
            if (c.action == form_->xxx1) {
                form_->xxx1->trigger();
                form_->xxx1->trigger();
            }
            if (c.action == form_->zzz1) form_->zzz1->trigger();
        }
    }
}

}  // namespace
}  // namespace warpkit
