// Targets whose vertices come in another order than the source's, loaded through a slot row
// and through a project: recognised, matched on request into a new file beside the original,
// loaded as they are, or not at all.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "project/project_commands.h"
#include "project/project_file.h"
#include "support/form1_fixture.h"
#include "support/project_builders.h"
#include "support/remeshed.h"

namespace warpkit {
namespace {

namespace fs = std::filesystem;
using testing::QxmObjectSpec;

std::string bytes_of(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

int matched_files_under(const std::string& folder) {
    int count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        count += entry.path().filename().string().find("-matched") != std::string::npos;
    }
    return count;
}

QxmObjectSpec object(const std::string& name, const testing::Renumbered& mesh) {
    QxmObjectSpec spec;
    spec.name = name;
    spec.vertices = mesh.vertices;
    spec.triangles = mesh.triangles;
    return spec;
}

// A hill on a 60 x 60 grid in three colours (large enough for the matcher to report progress);
// "plain.qxm", a target raising one flank; "shuffled/smile.qxm", the same renumbered;
// "other/other.qxm", another mesh no match pairs one-to-one; "shifted.qxm", the source moved
// far as a whole, which keeps the source's order.
struct OrderScene : testing::Form1Fixture {
    OrderScene() {
        hill = testing::make_grid_object("hill", 60, 60, 3);
        for (Vec3& v : hill.vertices) {
            v.z = 8.0f * std::exp(-((v.x - 30) * (v.x - 30) + (v.y - 30) * (v.y - 30)) / 200.0f);
        }
        QxmObjectSpec smile = hill;
        smile.name = "smile";
        for (Vec3& v : smile.vertices) v.z += v.x > 30 ? 0.1f * (v.x - 30) : 0.0f;
        QxmObjectSpec other = hill, shifted = hill;
        std::mt19937 random(3);
        std::uniform_real_distribution<float> jitter(-0.6f, 0.6f);
        for (Vec3& v : other.vertices) v.x += jitter(random), v.y += jitter(random);
        for (Vec3& v : shifted.vertices) v.x += 40.0f;
        base = write_object("base.qxm", hill, 3);
        plain = write_object("plain.qxm", smile, 3);
        write_object("shifted.qxm", shifted, 3);
        fs::create_directories(folder.file("shuffled"));
        fs::create_directories(folder.file("other"));
        write_object("shuffled/smile.qxm",
                     object("smile", testing::renumber(smile.vertices, smile.triangles, 7)), 3);
        write_object(
            "other/other.qxm",
            object("other", testing::renumber(other.vertices,
                                              testing::turned_diagonals(other.triangles), 11)),
            3);
    }

    // The shape shown with target k alone at 100 %.
    std::vector<Vec3> blended_alone(int k) {
        form->scroll_go(k, 100);
        return state.mesh.displayed;
    }

    QxmObjectSpec hill;
    std::string base, plain;
};

struct LoadCase {
    const char* name;
    int language;
    const char* file;  // the target chosen, under the scene's folder
    std::vector<int> choices;
    bool cancel_progress;
    const char* kinds;        // the dialogs after the open and selection dialogs
    const char* said;         // a piece of the texts shown
    const char* slot_file;    // what slot 1 holds afterwards; "" for nothing
    int matched_files;        // files named "-matched" afterwards
    const char* before = "";  // "taken": smile-matched.qxm is there; "gone": the target's
                              // folder disappears while the question is shown
};

const LoadCase kLoadCases[] = {
    {"matched",
     0,
     "shuffled/smile.qxm",
     {0},
     false,
     "ask_choice progress notify",
     "has as many vertices as the source, but ",
     "shuffled/smile-matched.qxm",
     1},
    {"name_taken",
     1,
     "shuffled/smile.qxm",
     {0},
     false,
     "ask_choice progress notify",
     "はソースと同じ頂点数ですが、",
     "shuffled/smile-matched-2.qxm",
     2,
     "taken"},
    {"folder_not_writable",
     0,
     "shuffled/smile.qxm",
     {0},
     false,
     "ask_choice progress warn save_file notify",
     "Please choose where to save it.",
     "elsewhere.qxm",
     0,
     "gone"},
    {"as_it_is",
     1,
     "shuffled/smile.qxm",
     {1},
     false,
     "ask_choice",
     "頂点の順番をソースに合わせますか",
     "shuffled/smile.qxm",
     0},
    {"cancelled", 0, "shuffled/smile.qxm", {2}, false, "ask_choice", "Vertex order", "", 0},
    {"cancelled_in_progress",
     1,
     "shuffled/smile.qxm",
     {0},
     true,
     "ask_choice progress",
     "頂点の順番の照合",
     "",
     0},
    {"refused_loaded_as_it_is",
     0,
     "other/other.qxm",
     {0, 0},
     false,
     "ask_choice progress ask_choice",
     "of 3721 vertices could not be matched: ",
     "other/other.qxm",
     0},
    {"refused_not_loaded",
     1,
     "other/other.qxm",
     {0, 1},
     false,
     "ask_choice progress ask_choice",
     "個の頂点（全 3721 個中）に一対一の相手が見つかりません。",
     "",
     0},
    {"moved_as_a_whole_asks_nothing", 0, "shifted.qxm", {}, false, "", "", "shifted.qxm", 0},
};

TEST(TargetOrder, a_target_in_another_order_is_matched_loaded_as_it_is_or_not_as_answered) {
    for (const LoadCase& c : kLoadCases) {
        SCOPED_TRACE(c.name);
        OrderScene f;
        f.state.UiLanguage = c.language;
        f.load_source(f.base);
        const std::string target = f.folder.file(c.file);
        const std::string original = bytes_of(target);
        if (std::strcmp(c.before, "taken") == 0) {
            std::ofstream(f.folder.file("shuffled/smile-matched.qxm")) << "taken";
        }
        f.dialogs.shown.clear();
        f.dialogs.file_answers.push_back(target);
        f.dialogs.object_answers.push_back(0);
        if (std::strcmp(c.before, "gone") == 0) {
            f.dialogs.while_message_shown = [&] { fs::remove_all(f.folder.file("shuffled")); };
            f.dialogs.file_answers.push_back(f.folder.file("elsewhere.qxm"));
        }
        f.dialogs.choice_answers.assign(c.choices.begin(), c.choices.end());
        if (c.cancel_progress) f.dialogs.cancel_progress_at = 0.0;
        f.form->slots_->TargetLoad(1);

        EXPECT_EQ(f.dialogs.kinds(),
                  std::string("open_file choose_object") + (*c.kinds ? " " : "") + c.kinds);
        EXPECT_TRUE(f.dialogs.all_answers_used());
        std::string texts;
        for (const auto& shown : f.dialogs.shown) texts += shown.text + shown.title + "\n";
        EXPECT_NE(texts.find(c.said), std::string::npos) << texts;
        if (fs::exists(target)) {
            EXPECT_EQ(bytes_of(target), original);
        }
        EXPECT_EQ(matched_files_under(f.folder.path()), c.matched_files);
        if (!*c.slot_file) {
            EXPECT_FALSE(f.state.target_loaded(1));
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
        EXPECT_EQ(std::memcmp(matched.triangles.data(), f.hill.triangles.data(),
                              f.hill.triangles.size() * sizeof(Triangle)),
                  0);
        EXPECT_EQ(matched.colour_count, 3);
        // ... and blends to the shape of the target in the source's order
        f.load_target(2, f.plain);
        const std::vector<Vec3> expected = f.blended_alone(2);
        const std::vector<Vec3> shown = f.blended_alone(1);
        ASSERT_EQ(shown.size(), expected.size());
        EXPECT_EQ(std::memcmp(shown.data(), expected.data(), shown.size() * sizeof(Vec3)), 0);
    }
}

struct ProjectCase {
    const char* name;
    std::vector<int> choices;
    bool cancel_progress;
    const char* kinds;  // after the open dialog
    const char* slot2;  // the file of slot 2 afterwards (slot 3 is loaded as it is); "" nothing
    int modified;
};

const ProjectCase kProjectCases[] = {
    {"matched",
     {0, 1},
     false,
     "ask_choice progress notify ask_choice",
     "shuffled/smile-matched.qxm",
     1},
    {"as_it_is", {1, 1}, false, "ask_choice ask_choice", "shuffled/smile.qxm", 0},
    // a cancelled match keeps the target as the project names it, and its keys with it
    {"cancelled_in_progress",
     {0, 1},
     true,
     "ask_choice progress ask_choice",
     "shuffled/smile.qxm",
     0},
    // Cancel stops the whole load, and the file matched for slot 2 goes again
    {"cancelled", {0, 2}, false, "ask_choice progress notify ask_choice", "", 0},
};

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
        f.dialogs.choice_answers.assign(c.choices.begin(), c.choices.end());
        if (c.cancel_progress) f.dialogs.cancel_progress_at = 0.0;
        f.form->projects->LOADPROJECT1Click();

        EXPECT_EQ(f.dialogs.kinds(), std::string("open_file ") + c.kinds);
        EXPECT_TRUE(f.dialogs.all_answers_used());
        EXPECT_EQ(f.state.modified, c.modified);
        EXPECT_EQ(matched_files_under(f.folder.path()), c.modified);
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
