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
#include "app/project_commands.h"
#include "app/spinner_drag.h"
#include "app/timeline_controller.h"
#include "controls/push_panel.h"
#include "session/session_edits.h"
#include "support/session_text.h"
#include "support/weight_fixture.h"

namespace warpkit {
namespace {

using testing::moved_grid;

// Targets 1..3 keyed so that frame 10 shows 33.333..., a key (40) and a held weight, with a
// history as a project load leaves it.
struct History {
    History() {
        w.set_keys(1, {0, 30}, {0.0f, 100.0f});
        w.set_keys(2, {0, 10, 20}, {0.0f, 40.0f, 80.0f});
        w.set_keys(3, {0}, {10.0f});
        w.go_to_frame(10);
        form().history->clear(true);
    }
    TForm1& form() { return *w.f.form; }
    int modified() { return w.f.state.modified; }

    // The session and everything the window shows of it.
    std::string shown() {
        std::ostringstream out;
        out << testing::describe_session(w.f.state) << form().FrameSlide->caption().toStdString()
            << form().FrameSlide->x();
        for (int k = 0; k <= kTargetCount; ++k) {
            out << '\n' << form().load_buttons[k]->text().toStdString();
            if (k == 0) continue;
            out << form().load_buttons[k]->isEnabled() << form().kill_buttons[k]->isEnabled()
                << w.text(k) << w.field(k)->isEnabled() << w.caption(k) << w.key(k)->isEnabled();
        }
        return out.str();
    }
    void undo(QWidget* at = nullptr) {
        QTest::keyClick(at ? at : &form(), Qt::Key_Z, Qt::ControlModifier);
    }
    void redo(Qt::Key key = Qt::Key_Y) {
        const Qt::KeyboardModifiers shift = key == Qt::Key_Z ? Qt::ShiftModifier : Qt::NoModifier;
        QTest::keyClick(&form(), key, Qt::ControlModifier | shift);
    }
    void click_key(int k) { QTest::mouseClick(w.key(k), Qt::LeftButton); }

    testing::WeightFixture w;
};

TEST(History, every_edit_undoes_to_the_state_before_it_and_redoes_to_the_state_after) {
    const std::pair<const char*, std::function<void(History&)>> cases[] = {
        {"weight typed onto a key",
         [](History& h) { h.w.enter(2), h.w.type(2, "70"), h.w.leave(); }},
        {"spinner released on a key",
         [](History& h) {
             QCursor::setPos(h.form().spinner_panels[2]->mapToGlobal(QPoint(8, 10)));
             h.form().spinners->init_spin(2, Qt::LeftButton);
             QCursor::setPos(h.form().anchor + QPoint(0, -25));
             h.form().spinners->move_spin();
             h.form().spinners->quit_spin();
         }},
        {"key made", [](History& h) { h.click_key(1); }},
        {"key deleted", [](History& h) { h.click_key(2); }},
        {"maximum lowered below the frame",
         [](History& h) {
             h.w.f.dialogs.frame_answers.push_back(
                 [&h](FrameDialogMode) { set_max_frame(h.w.f.state, 5); });
             h.form().timeline->FrameSlideDown(Qt::RightButton);
             h.form().timeline->FrameSlideUp();
         }},
        {"target loaded",
         [](History& h) {
             h.w.f.load_target(4, h.w.f.write_object("4.qxm", moved_grid("4", 2, 2, 9)));
         }},
        {"target reloaded",
         [](History& h) {
             h.w.f.load_target(1, h.w.f.write_object("5.qxm", moved_grid("5", 2, 2, -4)));
         }},
        {"target removed",
         [](History& h) {
             h.w.f.dialogs.confirm_answers.push_back(true);
             h.form().slots_->TargetKill(3);
         }},
        {"source replaced",
         [](History& h) {
             h.w.f.load_source(h.w.f.write_object("s.qxm", moved_grid("s", 3, 1, 2)));
         }},
    };
    for (const auto& [name, edit] : cases) {
        SCOPED_TRACE(name);
        History h;
        const std::string before = h.shown();
        edit(h);
        ASSERT_TRUE(h.w.f.dialogs.all_answers_used());
        const std::string after = h.shown();
        ASSERT_NE(before, after);
        EXPECT_EQ(1, h.modified());
        h.undo();
        EXPECT_EQ(before, h.shown());  // the modified flag clear again among it
        h.redo();
        EXPECT_EQ(after, h.shown());
        h.undo();
        h.redo(Qt::Key_Z);
        EXPECT_EQ(after, h.shown());
    }
}

TEST(History, ctrl_z_in_a_weight_field_drops_the_typing_before_it_undoes_an_edit) {
    History h;
    const std::string saved = h.shown();
    h.click_key(1);
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
    EXPECT_EQ(0, h.modified());
    EXPECT_TRUE(h.form().history->stack().canRedo());
}

TEST(History, the_modified_flag_follows_the_saved_state_through_trims_loads_and_new) {
    History h;
    EditHistory& history = *h.form().history;
    ProjectCommands& projects = *h.form().projects;
    h.click_key(1);
    const std::string project = h.w.f.folder.file("p.twp");
    h.w.f.dialogs.file_answers.push_back(project);
    projects.SAVEPROJECT1Click();
    const std::string saved = h.shown();
    h.w.f.load_target(1, h.w.f.write_object("5.qxm", moved_grid("5", 2, 2, -4.0f)));
    const std::string reloaded = h.shown();
    h.click_key(3);
    h.undo();

    // The step before the save goes; the saved state and the undone step stay where they were.
    history.set_memory_cap(history.held() - 1);
    EXPECT_EQ(2, history.stack().count());
    EXPECT_EQ(1, h.modified());
    h.undo();
    h.undo();  // nothing older is kept
    EXPECT_EQ(saved, h.shown());
    h.redo();
    EXPECT_EQ(reloaded, h.shown());
    // A step larger than the cap is not kept at all, and the session stays changed.
    history.set_memory_cap(0);
    EXPECT_EQ(0, history.stack().count());
    EXPECT_EQ(1, h.modified());
    history.set_memory_cap(kHistoryMemoryCap);

    // A project read back as saved is clean; one that Load had to repair is not, even after
    // an edit is made and undone. New starts clean.
    std::ifstream in(project);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    text.replace(text.find("100", text.find("Max_Frame")), 3, "0");
    std::ofstream(h.w.f.folder.file("r.twp")) << text;
    h.w.f.dialogs.save_answers = {SaveAnswer::kNo, SaveAnswer::kNo};
    for (const std::string& path : {project, h.w.f.folder.file("r.twp")}) {
        h.w.f.dialogs.file_answers.push_back(path);
        projects.LOADPROJECT1Click();
        EXPECT_EQ(0, history.stack().count());
        EXPECT_EQ(path == project ? 0 : 1, h.modified());
    }
    h.click_key(1);
    h.undo();
    EXPECT_TRUE(history.stack().canRedo());
    EXPECT_EQ(1, h.modified());
    projects.OPEN1Click();
    EXPECT_EQ(0, history.stack().count());
    EXPECT_EQ(0, h.modified());
}

}  // namespace
}  // namespace warpkit
