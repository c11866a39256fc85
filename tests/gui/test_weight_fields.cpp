// The weight side of the main window through its real widgets: typing into the weight fields,
// leaving them, the key buttons, frame mode and the previews, checked against the exact blend.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <limits>

#include "app/morph_controller.h"
#include "controls/push_panel.h"
#include "support/weight_fixture.h"

namespace warpkit {
namespace {

using testing::WeightFixture;

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

class WeightFieldsTest : public ::testing::Test, public WeightFixture {};

TEST_F(WeightFieldsTest, typing_previews_each_whole_percent_and_caps_the_text_at_100) {
    enter(1);
    ASSERT_TRUE(field(1)->hasFocus());
    EXPECT_EQ(field(1)->selectedText(), "0.0");  // typing replaces the whole text

    type(1, "5");
    EXPECT_EQ(text(1), "5");
    EXPECT_TRUE(shows(5, 0, 0));
    type(1, "5");
    EXPECT_EQ(text(1), "55");
    EXPECT_TRUE(shows(55, 0, 0));
    type(1, "5");
    EXPECT_EQ(text(1), "100");
    EXPECT_TRUE(shows(100, 0, 0));
    EXPECT_TRUE(f.dialogs.shown.empty());
}

TEST_F(WeightFieldsTest, a_typed_decimal_previews_its_whole_part_and_keys_one_decimal_on_leaving) {
    enter(1);
    type(1, "12.34");
    EXPECT_TRUE(shows(12, 0, 0));
    EXPECT_EQ(f.state.slots[1].keys.weights[0], 0.0f);  // no key changes while typing

    leave();
    EXPECT_FALSE(field(1)->hasFocus());
    EXPECT_EQ(text(1), "12.3");
    EXPECT_TRUE(shows(12, 0, 0));
    // Frame 0: the first key takes the tidied value, and that is a change to save.
    ASSERT_EQ(f.state.slots[1].keys.count(), 1);
    EXPECT_EQ(f.state.slots[1].keys.weights[0], 12.3f);
    EXPECT_EQ(f.state.modified, 1);
    EXPECT_TRUE(f.dialogs.shown.empty());
}

TEST_F(WeightFieldsTest, leaving_with_the_same_key_weight_is_no_change_to_save) {
    set_keys(2, {0}, {40.0f});
    go_to_frame(0);
    f.state.modified = 0;
    enter(2);
    type(2, "40");
    leave();
    EXPECT_EQ(text(2), "40.0");
    EXPECT_EQ(f.state.slots[2].keys.weights[0], 40.0f);
    EXPECT_EQ(f.state.modified, 0);
}

TEST_F(WeightFieldsTest, leaving_sets_only_the_key_on_the_current_frame) {
    set_keys(1, {0, 10, 20}, {5.0f, 30.0f, 60.0f});
    go_to_frame(10);
    f.state.modified = 0;
    enter(1);
    type(1, "12.34");
    leave();
    EXPECT_EQ(text(1), "12.3");
    EXPECT_EQ(f.state.slots[1].keys.weights, (std::vector<float>{5.0f, 12.3f, 60.0f}));
    EXPECT_EQ(f.state.modified, 1);

    // Between keys the typed weight only previews.
    go_to_frame(12);
    EXPECT_EQ(text(1), "21.8");  // 12.3 + (60 - 12.3) / 5, shown with one decimal
    enter(1);
    type(1, "80");
    leave();
    EXPECT_EQ(text(1), "80.0");
    EXPECT_TRUE(shows(80, 0, 0));
    EXPECT_EQ(f.state.slots[1].keys.weights, (std::vector<float>{5.0f, 12.3f, 60.0f}));
    EXPECT_EQ(f.state.slots[1].keys.frames, (std::vector<int32_t>{0, 10, 20}));
}

TEST_F(WeightFieldsTest, letters_preview_nothing_and_leaving_restores_the_entry_text) {
    set_keys(1, {0}, {40.0f});
    go_to_frame(0);
    enter(1);
    ASSERT_EQ(f.form->morph->entry_text(), "40.0");

    type(1, "1");
    EXPECT_TRUE(shows(1, 0, 0));
    mark_untouched();
    type(1, "a");
    EXPECT_EQ(text(1), "1a");
    EXPECT_TRUE(untouched());

    leave();
    EXPECT_EQ(text(1), "40.0");
    EXPECT_TRUE(shows(40, 0, 0));  // the restored text previews the entry value
    EXPECT_EQ(f.state.slots[1].keys.weights[0], 40.0f);
    EXPECT_TRUE(f.dialogs.shown.empty());
}

TEST_F(WeightFieldsTest, an_emptied_field_previews_nothing_and_gets_its_entry_text_back) {
    set_keys(3, {0}, {25.0f});
    go_to_frame(0);
    enter(3);
    mark_untouched();
    QTest::keyClick(field(3), Qt::Key_Delete);  // deletes the selected text
    EXPECT_EQ(text(3), "");
    EXPECT_TRUE(untouched());

    leave();
    EXPECT_EQ(text(3), "25.0");
    EXPECT_TRUE(shows(0, 0, 25));
    EXPECT_EQ(f.state.slots[3].keys.weights[0], 25.0f);
}

TEST_F(WeightFieldsTest, a_lone_point_previews_zero_and_is_tidied_to_zero) {
    set_keys(1, {0}, {40.0f});
    go_to_frame(0);
    enter(1);
    type(1, ".");
    EXPECT_TRUE(shows(0, 0, 0));
    leave();
    EXPECT_EQ(text(1), "0.0");
    EXPECT_EQ(f.state.slots[1].keys.weights[0], 0.0f);
    EXPECT_TRUE(f.dialogs.shown.empty());
}

TEST_F(WeightFieldsTest, two_points_are_refused_at_every_change_and_stop_every_blend) {
    enter(2);
    type(2, "1.2");
    EXPECT_TRUE(shows(0, 1, 0));
    EXPECT_TRUE(f.dialogs.shown.empty());

    mark_untouched();
    type(2, ".3");
    EXPECT_EQ(warnings(), (std::vector<std::string>{refusal_of("1.2."), refusal_of("1.2.3")}));
    EXPECT_TRUE(untouched());

    f.dialogs.shown.clear();
    leave();
    EXPECT_EQ(text(2), "1.2.3");  // left as typed
    EXPECT_EQ(warnings(), std::vector<std::string>{refusal_of("1.2.3")});
    EXPECT_EQ(f.state.slots[2].keys.weights[0], 0.0f);
    EXPECT_TRUE(untouched());

    // Every blend reads every field, so each one now stops at the same text.
    set_keys(1, {0}, {40.0f});
    f.dialogs.shown.clear();
    f.form->scroll_go(0, 0);
    f.form->scroll_go(1, 50);
    EXPECT_EQ(warnings(), (std::vector<std::string>{refusal_of("1.2.3"), refusal_of("1.2.3")}));
    EXPECT_TRUE(untouched());
    EXPECT_EQ(text(1), "0.0");  // frame mode stopped before writing any field
}

TEST_F(WeightFieldsTest, the_refusal_speaks_the_chosen_language) {
    f.form->EnglishClick();
    enter(1);
    type(1, "1..");
    EXPECT_EQ(warnings(), std::vector<std::string>{"\"1..\" is not a number."});
    EXPECT_EQ(f.dialogs.last().title, "Invalid number");
}

// Another window of the program, to take the activation away from the main window.
class OtherWindow {
public:
    OtherWindow() {
        window.setGeometry(20, 20, 120, 80);
        window.show();
    }
    void activate() {
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    QWidget window;
};

TEST_F(WeightFieldsTest, switching_windows_neither_leaves_nor_enters_the_field) {
    enter(1);
    type(1, "12.34");
    OtherWindow other;
    other.activate();
    EXPECT_EQ(text(1), "12.34");  // not tidied: the field was not left
    EXPECT_EQ(f.state.slots[1].keys.weights[0], 0.0f);

    f.form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f.form.get()));
    ASSERT_TRUE(field(1)->hasFocus());
    EXPECT_EQ(f.form->morph->entry_text(), "0.0");  // not entered again

    leave();
    EXPECT_EQ(text(1), "12.3");
    EXPECT_EQ(f.state.slots[1].keys.weights[0], 12.3f);
}

TEST_F(WeightFieldsTest, a_click_into_a_field_of_an_inactive_window_enters_it) {
    set_keys(2, {0}, {25.0f});
    go_to_frame(0);
    OtherWindow other;
    other.activate();
    // The click lands before the window is active again, so the field first gets the focus
    // as the window's activation hands it over.
    QTest::mouseClick(field(2), Qt::LeftButton);
    f.form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f.form.get()));
    ASSERT_TRUE(field(2)->hasFocus());
    QCoreApplication::processEvents();
    EXPECT_EQ(f.state.edited_slot, 2);
    EXPECT_EQ(f.form->morph->entry_text(), "25.0");

    field(2)->selectAll();
    type(2, "40");
    EXPECT_TRUE(shows(0, 40, 0));
    leave();
    EXPECT_EQ(text(2), "40.0");
    EXPECT_EQ(f.state.slots[2].keys.weights[0], 40.0f);
}

TEST_F(WeightFieldsTest, changes_made_by_the_program_before_any_field_was_entered_do_nothing) {
    ASSERT_EQ(f.state.edited_slot, 0);
    set_keys(1, {0}, {150.0f});  // above 100: only a project file can hold this
    mark_untouched();
    field(2)->setText("70");
    EXPECT_TRUE(untouched());
    go_to_frame(0);
    EXPECT_EQ(text(1), "150.0");    // not capped: no field is being edited
    EXPECT_TRUE(shows(150, 0, 0));  // the key is used as stored and extrapolates
}

TEST_F(WeightFieldsTest, frame_mode_interpolates_keys_into_fields_and_captions) {
    set_keys(1, {0, 10}, {0.0f, 50.0f});
    set_keys(2, {0}, {25.0f});
    set_keys(3, {0, 3}, {0.0f, 10.0f});
    // An unloaded row keeps what it shows.
    f.form->weight_fields[5]->setText("77");

    struct Step {
        int frame;
        const char* text1;
        const char* caption1;
        const char* caption2;
        double weight1;
        double weight3;
    };
    const float third = static_cast<float>(10.0L / 3.0L);
    const Step steps[] = {
        {4, "20.0", "MAKE KEY", "MAKE KEY", 20, 10},
        {10, "50.0", "DELETE KEY", "MAKE KEY", 50, 10},
        {30, "50.0", "MAKE KEY", "MAKE KEY", 50, 10},
        {1, "5.0", "MAKE KEY", "MAKE KEY", 5, third},
        {0, "0.0", "APPLIED", "APPLIED", 0, 0},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.frame);
        go_to_frame(step.frame);
        EXPECT_EQ(text(1), step.text1);
        EXPECT_EQ(text(2), "25.0");
        EXPECT_EQ(caption(1), step.caption1);
        EXPECT_EQ(caption(2), step.caption2);
        const bool applied = step.frame == 0;
        EXPECT_EQ(key(1)->isEnabled(), !applied);
        EXPECT_EQ(key(2)->isEnabled(), !applied);
        // The blend takes the interpolated weight itself, not the one-decimal text.
        EXPECT_TRUE(shows(step.weight1, 25, step.weight3));
    }
    EXPECT_EQ(text(3), "0.0");
    EXPECT_EQ(f.form->weight_fields[5]->text(), "77");
    EXPECT_EQ(f.form->key_buttons[5]->text(), "MAKE KEY");
    EXPECT_FALSE(f.form->key_buttons[5]->isEnabled());
    EXPECT_TRUE(f.dialogs.shown.empty());
}

TEST_F(WeightFieldsTest, a_preview_takes_its_target_at_the_given_percent_and_the_rest_from_fields) {
    field(1)->setText("10.0");
    field(2)->setText("12.3");
    field(3)->setText("90.0");
    f.form->weight_fields[6]->setText("77");  // no target there: not counted
    f.form->scroll_go(3, 40);
    EXPECT_TRUE(shows(10, 12.3, 40));
    EXPECT_EQ(text(3), "90.0");

    // Unloaded targets and a missing source give no preview at all.
    mark_untouched();
    f.form->scroll_go(6, 40);
    EXPECT_TRUE(untouched());
    f.state.slots[0].loaded = 0;
    f.form->scroll_go(1, 40);
    f.form->scroll_go(0, 0);
    EXPECT_TRUE(untouched());
    EXPECT_EQ(text(1), "10.0");
    f.state.slots[0].loaded = 1;
}

TEST_F(WeightFieldsTest, the_blend_is_exact_float_arithmetic_in_target_order) {
    // The previewed target takes the given whole percent, the others their fields' weights,
    // each term (offset x weight) x 0.01 in float, summed in target order.
    f.form->scroll_go(2, 25);
    EXPECT_TRUE(shows_exactly(0, 25, 0));

    field(1)->setText("12.3");
    field(3)->setText("57.3");
    f.form->scroll_go(2, 33);
    EXPECT_TRUE(shows_exactly(12.3, 33, 57.3));
}

TEST_F(WeightFieldsTest, make_key_inserts_the_typed_weight_and_delete_key_shows_the_track_again) {
    set_keys(1, {0, 20}, {0.0f, 40.0f});
    go_to_frame(10);
    EXPECT_EQ(text(1), "20.0");
    EXPECT_EQ(caption(1), "MAKE KEY");
    ASSERT_TRUE(key(1)->isEnabled());

    enter(1);
    type(1, "30");
    f.state.modified = 0;
    // The click takes the focus first, so the field is left before the key is made.
    QTest::mouseClick(key(1), Qt::LeftButton);
    EXPECT_EQ(text(1), "30.0");
    EXPECT_EQ(f.state.slots[1].keys.frames, (std::vector<int32_t>{0, 10, 20}));
    EXPECT_EQ(f.state.slots[1].keys.weights, (std::vector<float>{0.0f, 30.0f, 40.0f}));
    EXPECT_EQ(caption(1), "DELETE KEY");
    EXPECT_TRUE(key(1)->isEnabled());
    EXPECT_EQ(f.state.modified, 1);
    EXPECT_TRUE(shows(30, 0, 0));

    // A key after the last one is appended.
    go_to_frame(50);
    QTest::mouseClick(key(1), Qt::LeftButton);
    EXPECT_EQ(f.state.slots[1].keys.frames, (std::vector<int32_t>{0, 10, 20, 50}));
    EXPECT_EQ(f.state.slots[1].keys.weights.back(), 40.0f);

    // Deleting is a change the project records as well.
    go_to_frame(10);
    EXPECT_EQ(caption(1), "DELETE KEY");
    f.state.modified = 0;
    QTest::mouseClick(key(1), Qt::LeftButton);
    EXPECT_EQ(f.state.slots[1].keys.frames, (std::vector<int32_t>{0, 20, 50}));
    EXPECT_EQ(text(1), "20.0");
    EXPECT_EQ(caption(1), "MAKE KEY");
    EXPECT_EQ(f.state.modified, 1);
    EXPECT_TRUE(shows(20, 0, 0));

    // The last key goes too; the first never does.
    go_to_frame(50);
    QTest::mouseClick(key(1), Qt::LeftButton);
    EXPECT_EQ(f.state.slots[1].keys.frames, (std::vector<int32_t>{0, 20}));
    EXPECT_EQ(caption(1), "MAKE KEY");
    EXPECT_TRUE(f.dialogs.shown.empty());
}

TEST_F(WeightFieldsTest, a_key_button_acts_by_its_own_caption) {
    set_keys(2, {0, 10}, {0.0f, 50.0f});
    go_to_frame(10);
    ASSERT_EQ(caption(2), "DELETE KEY");

    // Reading "MAKE KEY" on a frame that holds a key: nothing added, the caption follows.
    key(2)->setText("MAKE KEY");
    f.state.modified = 0;
    QTest::mouseClick(key(2), Qt::LeftButton);
    EXPECT_EQ(f.state.slots[2].keys.frames, (std::vector<int32_t>{0, 10}));
    EXPECT_EQ(caption(2), "DELETE KEY");
    EXPECT_EQ(f.state.modified, 1);

    // Reading "DELETE KEY" on a frame without a key: nothing removed, nothing redrawn.
    go_to_frame(5);
    key(2)->setText("DELETE KEY");
    f.state.modified = 0;
    mark_untouched();
    QTest::mouseClick(key(2), Qt::LeftButton);
    EXPECT_EQ(f.state.slots[2].keys.frames, (std::vector<int32_t>{0, 10}));
    EXPECT_EQ(caption(2), "DELETE KEY");
    EXPECT_EQ(f.state.modified, 1);
    EXPECT_TRUE(untouched());
}

TEST_F(WeightFieldsTest, removing_a_target_reblends_the_others_at_their_weights) {
    field(1)->setText("50.0");
    field(2)->setText("30.0");
    f.form->scroll_go(1, 50);
    ASSERT_TRUE(shows(50, 30, 0));

    f.dialogs.confirm_answers.push_back(true);
    QTest::mouseClick(f.form->kill_buttons[2], Qt::LeftButton);
    ASSERT_FALSE(f.state.target_loaded(2));
    EXPECT_EQ(text(2), "0");  // the focus passing over the emptied row leaves it alone
    EXPECT_TRUE(shows(50, kNone, 0));
    EXPECT_EQ(f.dialogs.kinds(), "confirm");

    // Even a field holding no number does not keep a removed shape on screen.
    field(1)->setText("1.2.3");
    f.dialogs.confirm_answers.push_back(true);
    QTest::mouseClick(f.form->kill_buttons[3], Qt::LeftButton);
    ASSERT_FALSE(f.state.target_loaded(3));
    EXPECT_TRUE(shows(50, kNone, kNone));
    EXPECT_EQ(f.dialogs.kinds(), "confirm confirm");
}

TEST_F(WeightFieldsTest, loading_a_target_over_another_drops_the_old_shape) {
    field(1)->setText("50.0");
    field(2)->setText("30.0");
    f.form->scroll_go(2, 30);
    ASSERT_TRUE(shows(50, 30, 0));

    // The new target 2 lies where the source does; it arrives at weight 0 anyway.
    f.load_target(
        2, f.write_object("flat.qxm", testing::moved_grid("flat", kColumns, kRows, kSourceZ)));
    ASSERT_TRUE(f.state.target_loaded(2));
    EXPECT_EQ(text(2), "0.0");
    EXPECT_TRUE(shows(50, kNone, 0));
}

TEST_F(WeightFieldsTest, a_spinner_press_on_a_field_holding_no_number_starts_no_drag) {
    enter(1);
    type(1, "1.2.3");
    leave();
    ASSERT_EQ(text(1), "1.2.3");
    f.dialogs.shown.clear();

    DragSpinner* spinner = f.form->spinner_panels[1];
    QTest::mousePress(spinner, Qt::LeftButton);
    EXPECT_EQ(warnings(), std::vector<std::string>{refusal_of("1.2.3")});
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(f.form->Timer1->isActive());
    EXPECT_EQ(f.state.drag_mode, 0);
    EXPECT_EQ(f.state.spinner_active, 0);
    EXPECT_FALSE(spinner->isLowered());
    QTest::mouseMove(spinner, QPoint(5, 2));
    QTest::mouseRelease(spinner, Qt::LeftButton);
    EXPECT_EQ(text(1), "1.2.3");
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(f.state.slots[1].keys.weights[0], 0.0f);
    EXPECT_EQ(warnings().size(), 1u);
}

}  // namespace
}  // namespace warpkit
