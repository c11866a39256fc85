// Targets whose vertices come in another order than the source's, loaded through a slot row
// and through a project: recognised, matched on request into a new file beside the original,
// loaded as they are, or not at all.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "app/project_commands.h"
#include "project/project_file.h"
#include "support/form1_fixture.h"
#include "support/project_builders.h"
#include "support/remeshed.h"

namespace warpkit {
namespace {

namespace fs = std::filesystem;
using testing::QxmObjectSpec;

// The object renumbered at random, over `triangles`.
QxmObjectSpec renumbered(QxmObjectSpec object, const std::vector<Triangle>& triangles, int seed) {
    const testing::Renumbered mesh = testing::renumber(object.vertices, triangles, seed);
    object.vertices = mesh.vertices;
    object.triangles = mesh.triangles;
    return object;
}

// A hill on a 60 x 60 grid in three colours (large enough for the matcher to report progress);
// "plain.qxm" raises one flank, "shuffled/smile.qxm" is that renumbered, "other.qxm" a
// mesh no match pairs one-to-one, "shifted.qxm" the hill moved far as a whole.
struct OrderScene : testing::Form1Fixture {
    OrderScene() {
        hill = testing::make_grid_object("hill", 60, 60, 3);
        for (Vec3& v : hill.vertices) {
            v.z = 8.0f * std::exp(-((v.x - 30) * (v.x - 30) + (v.y - 30) * (v.y - 30)) / 200.0f);
        }
        QxmObjectSpec smile = hill, other = hill, shifted = hill;
        std::mt19937 random(3);
        std::uniform_real_distribution<float> jitter(-0.6f, 0.6f);
        for (Vec3& v : smile.vertices) v.z += v.x > 30 ? 0.1f * (v.x - 30) : 0.0f;
        for (Vec3& v : other.vertices) v.x += jitter(random), v.y += jitter(random);
        for (Vec3& v : shifted.vertices) v.x += 40.0f;
        smile.name = "smile";
        fs::create_directories(folder.file("shuffled"));
        base = write_object("base.qxm", hill, 3);
        plain = write_object("plain.qxm", smile, 3);
        write_object("shifted.qxm", shifted, 3);
        write_object("shuffled/smile.qxm", renumbered(smile, smile.triangles, 7), 3);
        write_object("other.qxm", renumbered(other, testing::turned_diagonals(hill.triangles), 11),
                     3);
    }

    QxmObjectSpec hill;
    std::string base, plain;
};

struct LoadCase {
    const char* name;
    const char* file;          // the target chosen, under the scene's folder
    std::vector<int> answers;  // to the questions, in turn
    const char* what_else;     // "cancel": Cancel in the progress; "taken": smile-matched.qxm is
                               // there; "gone": the target's folder goes while the question shows
    const char* kinds;         // the dialogs after the open and selection dialogs
    const char* slot_file;     // what slot 1 holds afterwards; "" for nothing
};

// clang-format off
const LoadCase kLoadCases[] = {
    {"matched", "shuffled/smile.qxm", {0}, "", "ask_choice progress notify",
     "shuffled/smile-matched.qxm"},
    {"name_taken", "shuffled/smile.qxm", {0}, "taken", "ask_choice progress notify",
     "shuffled/smile-matched-2.qxm"},
    {"folder_not_writable", "shuffled/smile.qxm", {0}, "gone",
     "ask_choice progress warn save_file notify", "elsewhere.qxm"},
    {"as_it_is", "shuffled/smile.qxm", {1}, "", "ask_choice", "shuffled/smile.qxm"},
    {"cancelled", "shuffled/smile.qxm", {2}, "", "ask_choice", ""},
    {"cancelled_in_progress", "shuffled/smile.qxm", {0}, "cancel", "ask_choice progress", ""},
    {"refused_loaded_as_it_is", "other.qxm", {0, 0}, "", "ask_choice progress ask_choice",
     "other.qxm"},
    {"refused_not_loaded", "other.qxm", {0, 1}, "", "ask_choice progress ask_choice", ""},
    {"moved_as_a_whole_asks_nothing", "shifted.qxm", {}, "", "", "shifted.qxm"},
};
// clang-format on

TEST(TargetOrder, a_target_in_another_order_is_matched_loaded_as_it_is_or_not_as_answered) {
    for (const LoadCase& c : kLoadCases) {
        SCOPED_TRACE(c.name);
        OrderScene f;
        const bool japanese = (&c - kLoadCases) % 2 == 1;
        f.state.UiLanguage = japanese ? 1 : 0;
        f.load_source(f.base);
        const std::string target = f.folder.file(c.file);
        if (std::strcmp(c.what_else, "taken") == 0) {
            std::ofstream(f.folder.file("shuffled/smile-matched.qxm")) << "taken";
        }
        f.dialogs.shown.clear();
        f.dialogs.file_answers.push_back(target);
        f.dialogs.object_answers.push_back(0);
        if (std::strcmp(c.what_else, "gone") == 0) {
            f.dialogs.while_message_shown = [&] { fs::remove_all(f.folder.file("shuffled")); };
            f.dialogs.file_answers.push_back(f.folder.file("elsewhere.qxm"));
        }
        f.dialogs.choice_answers.assign(c.answers.begin(), c.answers.end());
        if (std::strcmp(c.what_else, "cancel") == 0) f.dialogs.cancel_progress_at = 0.0;
        f.form->slots_->TargetLoad(1);

        EXPECT_EQ(f.dialogs.kinds(),
                  std::string("open_file choose_object") + (*c.kinds ? " " : "") + c.kinds);
        EXPECT_TRUE(f.dialogs.all_answers_used());
        const std::string asked = *c.kinds ? f.dialogs.shown[2].title : "";
        EXPECT_EQ(asked, !*c.kinds ? "" : japanese ? "頂点の順番の確認" : "Vertex order");
        if (!*c.slot_file) {
            EXPECT_FALSE(f.state.target_loaded(1));
            EXPECT_FALSE(fs::exists(f.folder.file("shuffled/smile-matched.qxm")));
            continue;
        }
        ASSERT_TRUE(f.state.target_loaded(1));
        EXPECT_EQ(f.state.slots[1].path, f.folder.file(c.slot_file));
        if (std::strcmp(c.slot_file, c.file) == 0) continue;

        // the new file holds the source's triangles and colours ...
        ObjectFileReader reader;
        ASSERT_TRUE(reader.ReadObject(f.state.slots[1].path, "smile", true).ok());
        const ReadResult& matched = reader.result();
        ASSERT_EQ(matched.triangles.size(), f.hill.triangles.size());
        EXPECT_EQ(0, std::memcmp(matched.triangles.data(), f.hill.triangles.data(),
                                 f.hill.triangles.size() * sizeof(Triangle)));
        const std::vector<testing::QxmColour> palette = testing::make_palette(3);
        ASSERT_EQ(matched.colour_count, 3);
        for (int j = 0; j < 3; ++j) {
            EXPECT_TRUE(matched.red[j] == palette[j].red && matched.green[j] == palette[j].green &&
                        matched.blue[j] == palette[j].blue);
        }
        // ... and blends to the shape of the target in the source's order
        f.load_target(2, f.plain);
        f.form->scroll_go(2, 100);
        const std::vector<Vec3> expected = f.state.mesh.displayed;
        f.form->scroll_go(1, 100);
        EXPECT_EQ(0, std::memcmp(f.state.mesh.displayed.data(), expected.data(),
                                 expected.size() * sizeof(Vec3)));
    }
}

struct ProjectCase {
    const char* name;
    std::vector<int> answers;  // slot 2's, then slot 3's (which loads as it is)
    bool cancel_progress;
    const char* kinds;  // after the open dialog
    const char* slot2;  // the file of slot 2 afterwards; "" for no project loaded
    int modified;
};

// clang-format off
const ProjectCase kProjectCases[] = {
    {"matched", {0, 1}, false, "ask_choice progress notify ask_choice",
     "shuffled/smile-matched.qxm", 1},
    // a cancelled match keeps the target as the project names it, and its keys with it
    {"cancelled_in_progress", {0, 1}, true, "ask_choice progress ask_choice",
     "shuffled/smile.qxm", 0},
    // Cancel stops the whole load, and the file matched for slot 2 goes again
    {"cancelled", {0, 2}, false, "ask_choice progress notify ask_choice", "", 0},
};
// clang-format on

TEST(TargetOrder, a_project_naming_a_target_in_another_order_is_loaded_as_answered) {
    for (const ProjectCase& c : kProjectCases) {
        SCOPED_TRACE(c.name);
        OrderScene f;
        f.state.UiLanguage = 0;
        ProjectData data;
        data.source_path = f.base;
        data.source_name = "hill";
        const std::string shuffled = f.folder.file("shuffled/smile.qxm");
        data.targets[1] = testing::project_target(shuffled, "smile", {{0, 0.0f}, {10, 100.0f}});
        data.targets[2] = testing::project_target(shuffled, "smile", {{0, 50.0f}});
        const std::string project = f.folder.file("face.twp");
        ASSERT_TRUE(save_project_file(project, data).ok);
        f.dialogs.file_answers.push_back(project);
        f.dialogs.choice_answers.assign(c.answers.begin(), c.answers.end());
        if (c.cancel_progress) f.dialogs.cancel_progress_at = 0.0;
        f.form->projects->LOADPROJECT1Click();

        EXPECT_EQ(f.dialogs.kinds(), std::string("open_file ") + c.kinds);
        EXPECT_TRUE(f.dialogs.all_answers_used());
        EXPECT_EQ(f.state.modified, c.modified);
        EXPECT_EQ(fs::exists(f.folder.file("shuffled/smile-matched.qxm")), c.modified == 1);
        if (!*c.slot2) {
            EXPECT_FALSE(f.state.source_loaded());
            continue;
        }
        // what a save would write names the matched file, with the target's keys
        const ProjectData now = project_from_state(f.state);
        EXPECT_EQ(now.targets[1].path, f.folder.file(c.slot2));
        EXPECT_EQ(now.targets[1].keys.frames, data.targets[1].keys.frames);
        EXPECT_EQ(now.targets[2].path, shuffled);
    }
}

}  // namespace
}  // namespace warpkit
