// The push panel's mouse signals and pressed look, and the pixels of its pictures.
#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include "controls/push_panel.h"

namespace warpkit {
namespace {

bool is_black(const QImage& image, int x, int y) {
    const QRgb pixel = image.pixel(x, y);
    return qAlpha(pixel) == 255 && qRed(pixel) == 0 && qGreen(pixel) == 0 && qBlue(pixel) == 0;
}

bool is_clear(const QImage& image, int x, int y) {
    return qAlpha(image.pixel(x, y)) == 0;
}

// Every pixel is either opaque black or fully transparent: nothing was smoothed.
bool is_crisp(const QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!is_black(image, x, y) && !is_clear(image, x, y)) return false;
        }
    }
    return true;
}

QImage picture_image(const QPixmap& picture) {
    return picture.toImage().convertToFormat(QImage::Format_ARGB32);
}

class PushPanelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window.resize(200, 100);
        panel = new PushPanel(&window);
        panel->setGeometry(10, 10, 98, 16);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    QWidget window;
    PushPanel* panel = nullptr;
};

TEST_F(PushPanelTest, reports_the_button_of_each_press_and_release_and_moves_between) {
    QSignalSpy pressed(panel, &PushPanel::pressed);
    QSignalSpy moved(panel, &PushPanel::moved);
    QSignalSpy released(panel, &PushPanel::released);

    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
        pressed.clear();
        moved.clear();
        released.clear();
        QTest::mousePress(panel, button, {}, QPoint(5, 5));
        QTest::mouseMove(panel, QPoint(9, 2));
        QTest::mouseMove(panel, QPoint(50, 30));  // outside the panel: still its drag
        QTest::mouseRelease(panel, button, {}, QPoint(50, 30));

        ASSERT_EQ(pressed.count(), 1);
        EXPECT_EQ(pressed.at(0).at(0).value<Qt::MouseButton>(), button);
        EXPECT_EQ(moved.count(), 2);
        ASSERT_EQ(released.count(), 1);
        EXPECT_EQ(released.at(0).at(0).value<Qt::MouseButton>(), button);
        EXPECT_EQ(panel->heldButtons(), Qt::NoButton);
    }

    // With no button held, neither a move nor a stray release is reported.
    moved.clear();
    released.clear();
    QTest::mouseMove(panel, QPoint(3, 3));
    QTest::mouseRelease(panel, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(moved.count() + released.count(), 0);
}

TEST_F(PushPanelTest, disabled_panel_emits_nothing) {
    panel->setEnabled(false);
    QSignalSpy pressed(panel, &PushPanel::pressed);
    QSignalSpy moved(panel, &PushPanel::moved);
    QSignalSpy released(panel, &PushPanel::released);
    QTest::mousePress(panel, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseMove(panel, QPoint(6, 9));
    QTest::mouseRelease(panel, Qt::LeftButton, {}, QPoint(6, 9));
    EXPECT_EQ(pressed.count() + moved.count() + released.count(), 0);
}

TEST_F(PushPanelTest, disabling_a_held_panel_ends_the_hold_once) {
    QSignalSpy released(panel, &PushPanel::released);
    QTest::mousePress(panel, Qt::RightButton, {}, QPoint(5, 5));
    panel->setEnabled(false);
    ASSERT_EQ(released.count(), 1);
    EXPECT_EQ(released.at(0).at(0).value<Qt::MouseButton>(), Qt::RightButton);

    panel->setEnabled(true);
    QTest::mouseRelease(panel, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_EQ(released.count(), 1);
}

TEST_F(PushPanelTest, pictures_ignore_the_mouse_and_shift_by_the_given_offset) {
    QLabel* picture = panel->addPicture(first_picture(), QPoint(41, 1));
    EXPECT_EQ(picture->geometry(), QRect(41, 1, 16, 14));
    EXPECT_EQ(panel->childAt(QPoint(48, 7)), nullptr);

    panel->setLowered(true);
    panel->shiftPicture(picture, 1, 1);
    EXPECT_TRUE(panel->isLowered());
    EXPECT_EQ(picture->pos(), QPoint(42, 2));
    panel->setLowered(false);
    panel->shiftPicture(picture, -1, -1);
    EXPECT_FALSE(panel->isLowered());
    EXPECT_EQ(panel->frameShadow(), QFrame::Raised);
    EXPECT_EQ(picture->pos(), QPoint(41, 1));
}

TEST(DragSpinner, pressed_look_is_lowered_and_shifted_and_undone_exactly) {
    DragSpinner spinner;
    EXPECT_EQ(spinner.size(), QSize(17, 20));
    ASSERT_NE(spinner.image(), nullptr);
    EXPECT_EQ(spinner.image()->objectName(), "Image");
    EXPECT_EQ(spinner.image()->geometry(), QRect(0, 1, 16, 16));
    EXPECT_FALSE(spinner.isLowered());

    // Two presses (two buttons held) still move the picture one pixel only.
    spinner.press_look();
    spinner.press_look();
    EXPECT_TRUE(spinner.isLowered());
    EXPECT_EQ(spinner.image()->pos(), QPoint(1, 2));
    spinner.release_look();
    spinner.release_look();
    EXPECT_FALSE(spinner.isLowered());
    EXPECT_EQ(spinner.image()->pos(), QPoint(0, 1));
}

TEST(Pictures, are_crisp_black_on_transparent_at_their_sizes) {
    const QPixmap pictures[] = {first_picture(), back_picture(),         back_playing_picture(),
                                fore_picture(),  fore_playing_picture(), last_picture()};
    for (const QPixmap& picture : pictures) {
        EXPECT_EQ(picture.size(), QSize(16, 14));
        EXPECT_TRUE(is_crisp(picture_image(picture)));
    }
    EXPECT_EQ(arrow_pair_picture().size(), QSize(16, 16));
    EXPECT_TRUE(is_crisp(picture_image(arrow_pair_picture())));

    // While playing, the picture changes (to the stop square).
    EXPECT_NE(picture_image(back_playing_picture()), picture_image(back_picture()));
    EXPECT_NE(picture_image(fore_playing_picture()), picture_image(fore_picture()));
    EXPECT_TRUE(is_black(picture_image(back_playing_picture()), 7, 6));
}

TEST(Pictures, arrow_pair_points_up_above_and_down_below_a_gap) {
    const QImage image = picture_image(arrow_pair_picture());
    // Narrow tips at the outer rows, wide bases next to the gap.
    EXPECT_TRUE(is_black(image, 7, 1) && is_black(image, 8, 1));
    EXPECT_TRUE(is_clear(image, 6, 1) && is_clear(image, 9, 1));
    EXPECT_TRUE(is_black(image, 2, 6) && is_black(image, 13, 6));
    EXPECT_TRUE(is_black(image, 2, 9) && is_black(image, 13, 9));
    EXPECT_TRUE(is_black(image, 7, 14) && is_black(image, 8, 14));
    EXPECT_TRUE(is_clear(image, 6, 14));
    for (int x = 0; x < 16; ++x) {
        EXPECT_TRUE(is_clear(image, x, 0) && is_clear(image, x, 7) && is_clear(image, x, 8));
        EXPECT_TRUE(is_clear(image, x, 15));
    }
    EXPECT_EQ(image, image.mirrored(true, false));
}

TEST(Pictures, left_pictures_point_left_and_mirror_the_right_ones) {
    const QImage first = picture_image(first_picture());
    const QImage back = picture_image(back_picture());
    // The tip of a left-pointing triangle is its leftmost pixel, on the middle row only.
    EXPECT_TRUE(is_black(back, 5, 6));
    EXPECT_TRUE(is_clear(back, 5, 5) && is_clear(back, 5, 7));
    EXPECT_TRUE(is_black(back, 9, 2) && is_black(back, 9, 10));
    EXPECT_TRUE(is_clear(back, 4, 6) && is_clear(back, 10, 6));
    // First: a bar left of the triangle.
    EXPECT_TRUE(is_black(first, 4, 2) && is_black(first, 5, 10));
    EXPECT_TRUE(is_black(first, 6, 6) && is_clear(first, 6, 5));

    EXPECT_EQ(picture_image(fore_picture()), back.mirrored(true, false));
    EXPECT_EQ(picture_image(last_picture()), first.mirrored(true, false));
}

}  // namespace
}  // namespace warpkit
