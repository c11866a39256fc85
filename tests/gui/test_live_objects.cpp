// Object files rewritten under the running window, the way modellers save them: the window
// reads them again by itself, shows the new shape with the keys as they were, and counts it as
// no edit.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>
#include <QUndoStack>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

#include "app/edit_history.h"
#include "app/object_file_watch.h"
#include "project/project_file.h"
#include "support/form1_fixture.h"
#include "support/mesh_fixtures.h"

namespace warpkit {
namespace {

using testing::Form1Fixture;
using testing::QxmFileSpec;
using testing::QxmObjectSpec;

// Long enough for any reload on a loaded machine; the tests wait for what they expect, never
// for a set time, except to see that nothing happens.
constexpr int kPatienceMs = 20000;
// Well past the settle time: a reload that was to come has come.
constexpr int kQuietMs = 1500;

QxmObjectSpec grid(const std::string& name, float z, bool reversed = false, int columns = 3) {
    QxmObjectSpec object = testing::make_grid_object(name, columns, 3, 1, z);
    return reversed ? testing::in_reverse_order(std::move(object)) : object;
}

// A 3 x 3 grid of one quad a cell at height z, as a mesh file.
std::string obj_grid(float z) {
    std::string obj = "o base\n";
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 3; ++x) {
            obj +=
                "v " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(z) + "\n";
        }
    }
    return obj + "f 1 2 5 4\nf 2 3 6 5\nf 4 5 8 7\nf 5 6 9 8\n";
}

// A source at z 0 and target 1 at z 1, keyed to 50 % at frame 10 and shown there, saved (so
// not modified), in English. The source comes from a QXM file, or imported from a mesh file.
struct LiveWindow : Form1Fixture {
    explicit LiveWindow(bool source_imported = false) {
        form->EnglishClick();
        QxmObjectSpec target = grid("smile", 1.0f);
        if (source_imported) {
            source_path = folder.file("base.obj");
            testing::write_text(source_path, obj_grid(0.0f));
            load_source(source_path);
            // the target in the order the import kept the source in
            ObjectFileReader reader;
            EXPECT_TRUE(reader.ReadObject(state.slots[0].path, "base", true).ok());
            target.vertices = reader.result().vertices;
            for (Vec3& v : target.vertices) v.z += 1.0f;
            target.triangles = reader.result().triangles;
        } else {
            source_path = write_object("base.qxm", grid("base", 0.0f));
            load_source(source_path);
        }
        target_path = write_object("smile.qxm", target);
        load_target(1, target_path);
        state.slots[1].keys.frames = {0, 10};
        state.slots[1].keys.weights = {0.0f, 50.0f};
        state.current_frame = 10;
        form->refresh_timeline();
        form->scroll_go(0, 0);
        save();
    }

    // The state as saved now: what the no-edit checks compare with.
    void save() {
        form->history->mark_saved();
        saved = write_project_text(project_from_state(state));
        undo_steps = form->history->stack().count();
        shown_before = dialogs.shown.size();
    }

    void rewrite(const std::string& path, const QxmObjectSpec& object) {
        QxmFileSpec file;
        file.objects.push_back(object);
        file.colours = testing::make_palette(1);
        testing::write_qxm(path, file);
    }

    // A modeller's save: the new file written beside, then renamed over the old one.
    void rewrite_by_rename(const std::string& path, const QxmObjectSpec& object) {
        rewrite(path + ".part", object);
        ASSERT_EQ(std::rename((path + ".part").c_str(), path.c_str()), 0);
    }

    float shown_z() const { return state.mesh.displayed[0].z; }

    bool wait_for(const std::function<bool()>& done) { return QTest::qWaitFor(done, kPatienceMs); }

    // Nothing that Save writes, nothing to undo, nothing modified, and the keys as they were.
    void expect_no_edit() {
        EXPECT_EQ(state.modified, 0);
        EXPECT_EQ(form->history->stack().count(), undo_steps);
        EXPECT_EQ(write_project_text(project_from_state(state)), saved);
        EXPECT_EQ(state.slots[1].keys.weights, (std::vector<float>{0.0f, 50.0f}));
        EXPECT_EQ(state.current_frame, 10);
    }

    std::string source_path, target_path, saved;
    int undo_steps = 0;
    size_t shown_before = 0;
};

TEST(LiveObjects, a_file_saved_again_in_any_way_shows_its_new_shape_with_the_keys_kept) {
    struct Case {
        const char* name;
        std::function<void(LiveWindow&)> save;
        float shown_z;  // target 1 at 50 %
    };
    const Case cases[] = {
        {"written in place", [](LiveWindow& w) { w.rewrite(w.target_path, grid("smile", 3.0f)); },
         1.5f},
        {"renamed over",
         [](LiveWindow& w) { w.rewrite_by_rename(w.target_path, grid("smile", 3.0f)); }, 1.5f},
        {"the source renamed over",
         [](LiveWindow& w) { w.rewrite_by_rename(w.source_path, grid("base", -1.0f)); }, 0.0f},
        {"removed, then back",
         [](LiveWindow& w) {
             std::remove(w.target_path.c_str());
             QTest::qWait(kQuietMs);
             EXPECT_EQ(w.shown_z(), 0.5f) << "a file gone keeps its object";
             EXPECT_EQ(w.dialogs.shown.size(), w.shown_before) << "and says nothing";
             w.rewrite(w.target_path, grid("smile", 3.0f));
         },
         1.5f},
        {"reordered, loaded as it is",
         [](LiveWindow& w) {
             w.dialogs.choice_answers.push_back(1);
             w.rewrite(w.target_path, grid("smile", 3.0f, true));
         },
         1.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LiveWindow w;
        ASSERT_FLOAT_EQ(w.shown_z(), 0.5f);
        c.save(w);
        EXPECT_TRUE(w.wait_for([&] { return w.form->Notice->isVisible(); }));
        EXPECT_FLOAT_EQ(w.shown_z(), c.shown_z);
        EXPECT_TRUE(w.form->Notice->toolTip().startsWith("Reloaded "))
            << w.form->Notice->toolTip().toStdString();
        EXPECT_TRUE(w.dialogs.all_answers_used());
        w.expect_no_edit();
    }
}

TEST(LiveObjects, an_imported_source_is_imported_again_and_kept_again_when_its_mesh_file_changes) {
    LiveWindow w(true);
    const std::string kept = w.state.slots[0].path;
    ASSERT_EQ(kept, w.folder.file("base.qxm"));
    ASSERT_FLOAT_EQ(w.shown_z(), 0.5f);
    testing::write_text(w.source_path, obj_grid(-1.0f));
    ASSERT_TRUE(w.wait_for([&] { return w.form->Notice->isVisible(); }));
    EXPECT_EQ(w.form->Notice->toolTip().toStdString(), "Reloaded the source base from base.obj");
    EXPECT_FLOAT_EQ(w.shown_z(), 0.0f);
    // the project names the kept file, which now holds the new shape
    ObjectFileReader reader;
    ASSERT_TRUE(reader.ReadObject(kept, "base", true).ok());
    EXPECT_FLOAT_EQ(reader.result().vertices[0].z, -1.0f);
    EXPECT_EQ(w.dialogs.shown.size(), w.shown_before);
    w.expect_no_edit();
    // the program's own write of the kept file is no second change
    w.form->Notice->hide();
    QTest::qWait(kQuietMs);
    EXPECT_FALSE(w.form->Notice->isVisible());
}

TEST(LiveObjects, a_target_matched_at_its_load_is_matched_again_when_its_original_changes) {
    LiveWindow w;
    const std::string original = w.write_object("frown.qxm", grid("frown", 2.0f, true));
    w.dialogs.choice_answers.push_back(0);  // match the order
    w.load_target(2, original);
    ASSERT_EQ(w.state.slots[2].path, w.folder.file("frown-matched.qxm"));
    const auto target2_z = [&w] {
        return w.state.slots[0].vertices[0].z + w.state.slots[2].vertices[0].z;
    };
    ASSERT_FLOAT_EQ(target2_z(), 2.0f);
    w.save();
    w.rewrite_by_rename(original, grid("frown", 4.0f, true));
    ASSERT_TRUE(w.wait_for([&] { return w.form->Notice->isVisible(); }));
    EXPECT_EQ(w.form->Notice->toolTip().toStdString(), "Reloaded target 2 frown from frown.qxm");
    EXPECT_FLOAT_EQ(target2_z(), 4.0f);
    EXPECT_EQ(w.state.slots[2].path, w.folder.file("frown-matched.qxm"));
    EXPECT_EQ(w.dialogs.kinds().substr(w.dialogs.kinds().size() - 8), "progress")
        << "asked nothing";
    w.expect_no_edit();
}

TEST(LiveObjects, a_source_of_another_vertex_count_is_refused_in_a_box_and_the_old_one_stays) {
    LiveWindow w;
    w.rewrite(w.source_path, grid("base", 2.0f, false, 4));
    ASSERT_TRUE(w.wait_for([&] { return w.dialogs.shown.size() > w.shown_before; }));
    EXPECT_EQ(w.dialogs.last().kind, "warn");
    EXPECT_NE(w.dialogs.last().text.find("it has 20 vertices where the source has 16"),
              std::string::npos);
    EXPECT_FALSE(w.form->Notice->isVisible());
    EXPECT_EQ(w.state.vertex_count, 16);
    EXPECT_FLOAT_EQ(w.shown_z(), 0.5f);
    w.expect_no_edit();
}

TEST(LiveObjects, a_change_during_a_drag_or_playback_waits_for_its_end) {
    for (int32_t EditorState::*busy : {&EditorState::drag_mode, &EditorState::playing_forward}) {
        LiveWindow w;
        w.state.*busy = 1;
        w.rewrite(w.target_path, grid("smile", 3.0f));
        QTest::qWait(kQuietMs);
        EXPECT_FLOAT_EQ(w.shown_z(), 0.5f);
        EXPECT_FALSE(w.form->object_files->idle());
        w.state.*busy = 0;
        EXPECT_TRUE(w.wait_for([&] { return w.form->Notice->isVisible(); }));
        EXPECT_FLOAT_EQ(w.shown_z(), 1.5f);
        w.expect_no_edit();
    }
}

}  // namespace
}  // namespace warpkit
