#include <gtest/gtest.h>

#include <QAction>
#include <QCursor>
#include <QGuiApplication>
#include <QImage>
#include <QTest>
#include <QTimer>
#include <set>

#include "app/view_controller.h"
#include "support/form1_fixture.h"
#include "view/gl_view.h"

void PrintTo(const QPoint& p, std::ostream* out) {
    *out << '(' << p.x() << ", " << p.y() << ')';
}

namespace warpkit {
namespace {

using testing::Form1Fixture;

// A dome of 6 x 6 squares: neighbouring triangles face different ways, so flat and smooth
// shading tell apart, and every other triangle takes the second of two palette colours.
testing::QxmObjectSpec dome() {
    testing::QxmObjectSpec object = testing::make_grid_object("dome", 6, 6, 2);
    for (Vec3& v : object.vertices) {
        const float dx = v.x - 3.0f;
        const float dy = v.y - 3.0f;
        v.z = 3.0f - 0.15f * (dx * dx + dy * dy);
    }
    return object;
}
constexpr int kDomeTriangles = 72;

uint32_t rgb(QRgb pixel) {
    return pixel & 0xffffffu;
}

// The distinct colours of a picture other than the black ground.
std::set<uint32_t> colours_in(const QImage& picture) {
    std::set<uint32_t> colours;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const uint32_t c = rgb(picture.pixel(x, y));
            if (c != 0) colours.insert(c);
        }
    }
    return colours;
}

int lit_pixels(const QImage& picture) {
    int count = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) count += rgb(picture.pixel(x, y)) != 0;
    }
    return count;
}

class ViewControl : public ::testing::Test {
protected:
    TForm1& form() { return *fx.form; }
    EditorState& state() { return fx.state; }
    GlView* view() { return fx.form->view; }

    void load_dome() { fx.load_source(fx.write_object("dome.qxm", dome(), 2)); }

    // A drag on the free part of the preview, measured from the screen cursor.
    void press(Qt::MouseButton button) {
        press_point_ = view()->mapToGlobal(kOnPreview);
        QCursor::setPos(press_point_);
        QTest::mousePress(view(), button, {}, kOnPreview);
    }
    void move_by(QPoint offset) {
        const QPoint to = press_point_ + offset;
        QCursor::setPos(to);
        QTest::mouseMove(view(), view()->mapFromGlobal(to));
    }
    void release(Qt::MouseButton button) {
        QTest::mouseRelease(view(), button, {}, view()->mapFromGlobal(QCursor::pos()));
    }
    void drag(Qt::MouseButton button, QPoint offset) {
        press(button);
        move_by(offset);
        release(button);
    }

    struct View {
        float yaw, pitch, distance;
    };
    View view_state() { return {state().yaw, state().pitch, state().view_distance}; }

    QImage picture() { return view()->grabFramebuffer(); }

    static constexpr QPoint kOnPreview{150, 150};
    Form1Fixture fx;
    QPoint press_point_;
};

TEST_F(ViewControl, left_drag_turns_by_four_hundredths_of_a_degree_per_pixel) {
    load_dome();
    ASSERT_EQ(state().yaw, -30.0f);
    ASSERT_EQ(state().pitch, -10.0f);
    const float distance = state().view_distance;
    const QImage before = picture();

    press(Qt::LeftButton);
    EXPECT_EQ(state().drag_mode, 1);
    move_by({100, 0});
    EXPECT_EQ(state().yaw, -34.0f);
    EXPECT_EQ(state().pitch, -10.0f);
    EXPECT_EQ(state().view_distance, distance);
    EXPECT_NE(picture(), before);
    release(Qt::LeftButton);

    // Down turns the pitch the same way: every move counts from the press point.
    press(Qt::LeftButton);
    move_by({0, 50});
    move_by({0, 50});
    EXPECT_EQ(state().yaw, -34.0f);
    EXPECT_EQ(state().pitch, -14.0f);
    release(Qt::LeftButton);
}

TEST_F(ViewControl, right_drag_zooms_by_one_unit_per_pixel) {
    load_dome();
    const View start = view_state();
    press(Qt::RightButton);
    EXPECT_EQ(state().drag_mode, 2);
    move_by({30, 10});
    EXPECT_EQ(state().view_distance, start.distance - 10.0f);
    EXPECT_EQ(state().yaw, start.yaw);
    EXPECT_EQ(state().pitch, start.pitch);
    release(Qt::RightButton);
    EXPECT_EQ(state().drag_mode, 0);
}

TEST_F(ViewControl, drag_hides_the_cursor_runs_the_drag_timer_and_gives_both_back_at_release) {
    load_dome();
    EXPECT_FALSE(form().Timer1->isActive());
    press(Qt::LeftButton);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BlankCursor);
    EXPECT_TRUE(form().Timer1->isActive());
    EXPECT_EQ(form().Timer1->interval(), 50);

    // The tick pulls the cursor back to the press point.
    QCursor::setPos(press_point_ + QPoint(40, 30));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QCursor::pos() == press_point_; }, 1000));

    move_by({20, 0});
    release(Qt::LeftButton);
    EXPECT_FALSE(form().Timer1->isActive());
    EXPECT_EQ(QCursor::pos(), press_point_);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(state().drag_mode, 0);

    // No move after the release turns anything.
    const View after = view_state();
    QTest::mouseMove(view(), kOnPreview + QPoint(30, 30));
    EXPECT_EQ(state().yaw, after.yaw);
}

TEST_F(ViewControl, middle_button_changes_nothing_but_holds_the_cursor) {
    load_dome();
    const View start = view_state();
    press(Qt::MiddleButton);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BlankCursor);
    EXPECT_EQ(state().drag_mode, 0);
    EXPECT_TRUE(form().Timer1->isActive());
    move_by({60, 45});
    EXPECT_EQ(state().yaw, start.yaw);
    EXPECT_EQ(state().pitch, start.pitch);
    EXPECT_EQ(state().view_distance, start.distance);
    release(Qt::MiddleButton);
    EXPECT_EQ(QCursor::pos(), press_point_);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(form().Timer1->isActive());
}

TEST_F(ViewControl, second_button_joins_the_drag_and_one_release_ends_it) {
    load_dome();
    const View start = view_state();
    press(Qt::LeftButton);
    move_by({0, 5});
    // The right button switches the drag to zooming, measured from where the cursor now is.
    QTest::mousePress(view(), Qt::RightButton, {}, kOnPreview);
    EXPECT_EQ(state().drag_mode, 2);
    EXPECT_EQ(form().anchor, press_point_ + QPoint(0, 5));
    press_point_ = form().anchor;
    move_by({0, 10});
    EXPECT_EQ(state().view_distance, start.distance - 10.0f);
    EXPECT_EQ(state().pitch, start.pitch - 0.2f);

    release(Qt::RightButton);
    EXPECT_EQ(state().drag_mode, 0);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QCursor::pos(), press_point_);
    release(Qt::LeftButton);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(form().Timer1->isActive());
}

TEST_F(ViewControl, double_click_zeroes_both_angles_and_keeps_the_distance) {
    load_dome();
    drag(Qt::RightButton, {0, -25});
    const float distance = state().view_distance;
    const QImage before = picture();

    press_point_ = view()->mapToGlobal(kOnPreview);
    QCursor::setPos(press_point_);
    QTest::mouseClick(view(), Qt::LeftButton, {}, kOnPreview);
    QTest::mouseDClick(view(), Qt::LeftButton, {}, kOnPreview);
    QTest::mouseRelease(view(), Qt::LeftButton, {}, kOnPreview);

    EXPECT_EQ(state().yaw, 0.0f);
    EXPECT_EQ(state().pitch, 0.0f);
    EXPECT_EQ(state().view_distance, distance);
    EXPECT_NE(picture(), before);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(state().drag_mode, 0);
}

TEST_F(ViewControl, drags_before_a_source_change_the_view_state_only) {
    drag(Qt::LeftButton, {100, 0});
    drag(Qt::RightButton, {0, 10});
    EXPECT_EQ(state().yaw, -4.0f);
    EXPECT_EQ(state().view_distance, -10.0f);
    EXPECT_EQ(colours_in(picture()).size(), 0u);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    // The source brings its own view.
    load_dome();
    EXPECT_EQ(state().yaw, -30.0f);
    EXPECT_EQ(state().pitch, -10.0f);
    EXPECT_GT(state().view_distance, 1.0f);
    EXPECT_GT(lit_pixels(picture()), 0);
}

TEST_F(ViewControl, arrow_keys_turn_five_degrees_the_way_the_mouse_does) {
    load_dome();
    // 125 pixels of drag are 5 degrees.
    const struct {
        Qt::Key key;
        QPoint drag;
    } cases[] = {{Qt::Key_Right, {125, 0}},
                 {Qt::Key_Left, {-125, 0}},
                 {Qt::Key_Down, {0, 125}},
                 {Qt::Key_Up, {0, -125}}};
    form().setFocus();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        const View start = view_state();
        drag(Qt::LeftButton, c.drag);
        const View dragged = view_state();
        const QImage dragged_picture = picture();
        state().yaw = start.yaw;
        state().pitch = start.pitch;
        form().DrawScene();
        const QImage start_picture = picture();

        QTest::keyClick(&form(), c.key);
        EXPECT_FLOAT_EQ(state().yaw, dragged.yaw);
        EXPECT_FLOAT_EQ(state().pitch, dragged.pitch);
        EXPECT_EQ(state().view_distance, start.distance);
        const QImage keyed_picture = picture();
        EXPECT_NE(keyed_picture, start_picture);
        EXPECT_EQ(keyed_picture, dragged_picture);
    }
    // Other keys are not the view's.
    const View before = view_state();
    QTest::keyClick(&form(), Qt::Key_A);
    EXPECT_EQ(state().yaw, before.yaw);
    EXPECT_EQ(state().pitch, before.pitch);
}

class DisplaySettings : public ViewControl {};

TEST_F(DisplaySettings, ctrl_d_cycles_flat_smooth_wire_frame_flat) {
    load_dome();
    form().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form()));
    ASSERT_EQ(state().ShadingMode, kFlat);
    for (int expected : {kSmooth, kWireFrame, kFlat}) {
        QTest::keyClick(&form(), Qt::Key_D, Qt::ControlModifier);
        EXPECT_EQ(state().ShadingMode, expected);
    }
}

TEST_F(DisplaySettings, shading_and_colour_wait_for_a_source_and_the_colour_flag_does_not) {
    form().Smooth->trigger();
    form().Wire->trigger();
    form().xxx1->trigger();
    form().Color->trigger();  // would ask for a colour: the scripted dialogs fail the test
    EXPECT_EQ(state().ShadingMode, kFlat);
    EXPECT_TRUE(fx.dialogs.shown.empty());

    form().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form()));
    QTest::keyClick(&form(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(state().use_object_colours, 1);
    QTest::keyClick(&form(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(state().use_object_colours, 0);
    QTest::keyClick(&form(), Qt::Key_C, Qt::ControlModifier);

    // The first source shows flat, in its own palette colours.
    load_dome();
    EXPECT_EQ(state().ShadingMode, kFlat);
    EXPECT_EQ(state().use_object_colours, 1);
    form().Wire->trigger();
    const std::set<uint32_t> outline = colours_in(picture());
    const std::set<uint32_t> palette = {qRgb(3, 255, 90) & 0xffffffu,
                                        qRgb(20, 244, 97) & 0xffffffu};
    EXPECT_EQ(outline, palette);
}

TEST_F(DisplaySettings, chosen_colour_is_drawn_and_the_chooser_opens_with_its_last_answer) {
    load_dome();
    form().Wire->trigger();
    EXPECT_EQ(colours_in(picture()), std::set<uint32_t>{qRgb(220, 220, 220) & 0xffffffu});

    fx.dialogs.colour_answers.push_back(Rgb{255, 128, 0});
    form().Color->trigger();
    EXPECT_EQ(fx.dialogs.last().text, "0,0,0");  // black the first time
    EXPECT_EQ(state().object_colour[0], 1.0f);
    EXPECT_FLOAT_EQ(state().object_colour[1], 128.0f / 255.0f);
    EXPECT_EQ(state().object_colour[2], 0.0f);
    // Unlit outlines show the colour exactly.
    EXPECT_EQ(colours_in(picture()), std::set<uint32_t>{qRgb(255, 128, 0) & 0xffffffu});

    // Cancelled: nothing changes, and the next showing still starts at the last colour chosen.
    fx.dialogs.colour_answers.push_back(std::nullopt);
    form().Color->trigger();
    EXPECT_EQ(fx.dialogs.last().text, "255,128,0");
    EXPECT_EQ(state().object_colour[0], 1.0f);
    fx.dialogs.colour_answers.push_back(Rgb{10, 20, 30});
    form().Color->trigger();
    EXPECT_EQ(fx.dialogs.last().text, "255,128,0");
    EXPECT_EQ(colours_in(picture()), std::set<uint32_t>{qRgb(10, 20, 30) & 0xffffffu});
}

TEST_F(DisplaySettings, new_source_brings_grey_back_and_keeps_mode_and_colour_flag) {
    load_dome();
    form().Wire->trigger();
    fx.dialogs.colour_answers.push_back(Rgb{255, 128, 0});
    form().Color->trigger();
    form().zzz1->trigger();
    form().zzz1->trigger();  // back to the object colour

    load_dome();
    for (float channel : state().object_colour) EXPECT_FLOAT_EQ(channel, 220.0f / 255.0f);
    EXPECT_EQ(state().ShadingMode, kWireFrame);
    EXPECT_EQ(state().use_object_colours, 0);
    EXPECT_EQ(colours_in(picture()), std::set<uint32_t>{qRgb(220, 220, 220) & 0xffffffu});

    form().zzz1->trigger();
    load_dome();
    EXPECT_EQ(state().use_object_colours, 1);
}

TEST_F(DisplaySettings, each_mode_draws_as_it_should) {
    load_dome();
    form().Wire->trigger();
    const QImage wire = picture();
    form().Flat->trigger();
    const QImage flat = picture();
    form().Smooth->trigger();
    const QImage smooth = picture();

    // Wire frame: unlit outlines in the object colour, the faces left black.
    EXPECT_EQ(colours_in(wire), std::set<uint32_t>{qRgb(220, 220, 220) & 0xffffffu});
    // Flat: filled and lit, one shade per triangle, and the dome's triangles differ.
    const std::set<uint32_t> flat_shades = colours_in(flat);
    EXPECT_GT(lit_pixels(flat), 2 * lit_pixels(wire));
    EXPECT_LE(flat_shades.size(), static_cast<size_t>(kDomeTriangles));
    EXPECT_GE(flat_shades.size(), 4u);
    // Smooth: shared vertices share a normal, so the shades blend across the triangles.
    EXPECT_GT(colours_in(smooth).size(), 2u * kDomeTriangles);
    EXPECT_EQ(lit_pixels(smooth), lit_pixels(flat));
}

}  // namespace
}  // namespace warpkit
