// Undo and redo in the window: every kind of edit undone by Ctrl+Z shows the window and the
// session exactly as before it, and redone shows them as after it; a weight field drops its
// typing first; the modified flag follows the saved state; the oldest steps go past the cap.
#include <gtest/gtest.h>

#include <QCursor>
#include <QTest>
#include <QUndoStack>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "app/edit_history.h"
#include "app/session_edits.h"
#include "controls/push_panel.h"
#include "controls/spinner_drag.h"
#include "morph/timeline_controller.h"
#include "project/project_commands.h"
#include "support/session_text.h"
#include "support/weight_fixture.h"

namespace warpkit {
namespace {

using testing::moved_grid;
using testing::WeightFixture;

// Targets 1..3 keyed so that frame 10 shows 33.333..., a key (40) and a held weight, with a
// history as a project load leaves it.
class History {
public:
    History() {
        w.set_keys(1, {0, 30}, {0.0f, 100.0f});
        w.set_keys(2, {0, 10, 20}, {0.0f, 40.0f, 80.0f});
        w.set_keys(3, {0}, {10.0f});
        w.go_to_frame(10);
        form().history->clear(true);
    }
    TForm1& form() { return *w.f.form; }
    EditorState& state() { return w.f.state; }

    // The session and everything the window shows of it.
    std::string shown() {
        std::ostringstream out;
        out << testing::describe_session(state()) << form().FrameSlide->caption().toStdString()
            << " at " << form().FrameSlide->x() << '\n';
        for (int k = 0; k <= kTargetCount; ++k) {
            const QPushButton* load = form().load_buttons[k];
            out << load->text().toStdString() << load->isEnabled();
            if (k > 0) {
                out << ' ' << form().kill_buttons[k]->isEnabled() << ' ' << w.text(k)
                    << w.field(k)->isEnabled() << ' ' << w.caption(k) << w.key(k)->isEnabled();
            }
            out << '\n';
        }
        return out.str();
    }
    void undo(QWidget* at = nullptr) {
        QTest::keyClick(at ? at : &form(), Qt::Key_Z, Qt::ControlModifier);
    }
    void redo_by_y() { QTest::keyClick(&form(), Qt::Key_Y, Qt::ControlModifier); }
    void redo_by_shift_z() {
        QTest::keyClick(&form(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    }

    WeightFixture w;
};

TEST(History, every_edit_undoes_to_the_state_before_it_and_redoes_to_the_state_after) {
    struct Case {
        const char* name;
        std::function<void(History&)> edit;
    };
    const Case cases[] = {
        {"weight typed onto a key",
         [](History& h) {
             h.w.enter(2);
             h.w.type(2, "70");
             h.w.leave();
         }},
        {"spinner released on a key",
         [](History& h) {
             SpinnerDrag& spinners = *h.form().spinners;
             QCursor::setPos(h.form().spinner_panels[2]->mapToGlobal(QPoint(8, 10)));
             spinners.init_spin(2, Qt::LeftButton);
             QCursor::setPos(h.form().anchor + QPoint(0, -25));
             spinners.move_spin();
             spinners.quit_spin();
         }},
        {"key made", [](History& h) { QTest::mouseClick(h.w.key(1), Qt::LeftButton); }},
        {"key deleted", [](History& h) { QTest::mouseClick(h.w.key(2), Qt::LeftButton); }},
        {"maximum lowered below the frame",
         [](History& h) {
             h.w.f.dialogs.frame_answers.push_back(
                 [&h](FrameDialogMode) { set_max_frame(h.state(), 5); });
             h.form().timeline->FrameSlideDown(Qt::RightButton);
             h.form().timeline->FrameSlideUp();
         }},
        {"target loaded",
         [](History& h) {
             h.w.f.load_target(4, h.w.f.write_object("t4.qxm", moved_grid("t4", 2, 2, 9.0f)));
         }},
        {"target reloaded",
         [](History& h) {
             h.w.f.load_target(1, h.w.f.write_object("t5.qxm", moved_grid("t5", 2, 2, -4.0f)));
         }},
        {"target removed",
         [](History& h) {
             h.w.f.dialogs.confirm_answers.push_back(true);
             h.form().slots_->TargetKill(3);
         }},
        {"source replaced",
         [](History& h) {
             h.w.f.load_source(h.w.f.write_object("other.qxm", moved_grid("other", 3, 1, 2.0f)));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        History h;
        const std::string before = h.shown();
        c.edit(h);
        ASSERT_TRUE(h.w.f.dialogs.all_answers_used());
        const std::string after = h.shown();
        ASSERT_NE(before, after);
        EXPECT_EQ(1, h.state().modified);
        h.undo();
        EXPECT_EQ(before, h.shown());  // the modified flag clear again among it
        h.redo_by_y();
        EXPECT_EQ(after, h.shown());
        h.undo();
        h.redo_by_shift_z();
        EXPECT_EQ(after, h.shown());
    }
}

TEST(History, ctrl_z_in_a_weight_field_drops_the_typing_before_it_undoes_an_edit) {
    History h;
    const std::string saved = h.shown();
    QTest::mouseClick(h.w.key(1), Qt::LeftButton);
    const std::string keyed = h.shown();
    h.w.enter(3);
    h.w.type(3, "55");
    ASSERT_TRUE(h.w.shows(33.3, 40.0, 55.0));
    h.undo(h.w.field(3));
    EXPECT_EQ(keyed, h.shown());
    EXPECT_TRUE(h.w.field(3)->hasFocus());
    h.undo(h.w.field(3));
    EXPECT_EQ(saved, h.shown());
    // Left now, the field commits what the undo put there: no edit, and the redo stays.
    h.w.leave();
    EXPECT_EQ(0, h.state().modified);
    EXPECT_TRUE(h.form().history->stack().canRedo());
}

TEST(History, the_modified_flag_follows_the_saved_state_through_trims_loads_and_new) {
    History h;
    EditHistory& history = *h.form().history;
    QTest::mouseClick(h.w.key(1), Qt::LeftButton);
    const std::string project = h.w.f.folder.file("p.twp");
    h.w.f.dialogs.file_answers.push_back(project);
    h.form().projects->SAVEPROJECT1Click();
    const std::string saved = h.shown();
    h.w.f.load_target(1, h.w.f.write_object("t5.qxm", moved_grid("t5", 2, 2, -4.0f)));
    const std::string reloaded = h.shown();
    QTest::mouseClick(h.w.key(3), Qt::LeftButton);
    h.undo();

    // The step before the save goes; the saved state and the undone step stay where they were.
    history.set_memory_cap(history.held() - 1);
    EXPECT_EQ(2, history.stack().count());
    EXPECT_EQ(1, h.state().modified);
    h.undo();
    h.undo();  // nothing older is kept
    EXPECT_EQ(saved, h.shown());
    h.redo_by_y();
    EXPECT_EQ(reloaded, h.shown());
    // A step larger than the cap is not kept at all, and the session stays changed.
    history.set_memory_cap(0);
    EXPECT_EQ(0, history.stack().count());
    EXPECT_EQ(1, h.state().modified);
    history.set_memory_cap(kHistoryMemoryCap);

    // A project read back as saved is clean; one that Load had to repair is not, even after
    // an edit is made and undone. New starts clean.
    std::ifstream in(project);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    text.replace(text.find("100", text.find("Max_Frame")), 3, "0");
    const std::string repaired = h.w.f.folder.file("r.twp");
    std::ofstream(repaired) << text;
    h.w.f.dialogs.save_answers.push_back(SaveAnswer::kNo);
    for (const std::string& path : {project, repaired}) {
        h.w.f.dialogs.file_answers.push_back(path);
        h.form().projects->LOADPROJECT1Click();
        EXPECT_EQ(0, history.stack().count());
        EXPECT_EQ(path == repaired ? 1 : 0, h.state().modified);
    }
    QTest::mouseClick(h.w.key(1), Qt::LeftButton);
    h.undo();
    EXPECT_TRUE(history.stack().canRedo());
    EXPECT_EQ(1, h.state().modified);
    h.w.f.dialogs.save_answers.push_back(SaveAnswer::kNo);
    h.form().projects->OPEN1Click();
    EXPECT_EQ(0, history.stack().count());
    EXPECT_EQ(0, h.state().modified);
}

}  // namespace
}  // namespace warpkit
