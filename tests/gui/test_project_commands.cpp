// The file menu end to end on a real main window: every question, notice and file dialog with
// its exact texts, and what each answer does to the session and to the files.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "app/morph_controller.h"
#include "app/project_commands.h"
#include "base/texts.h"
#include "controls/push_panel.h"
#include "project/project_file.h"
#include "support/form1_fixture.h"
#include "support/project_builders.h"

namespace warpkit {
namespace {

using testing::Form1Fixture;
using testing::make_grid_object;
using testing::moved_grid;
using testing::QxmObjectSpec;

constexpr int kEnglish = 0;
constexpr int kJapanese = 1;
const char* const kConfiguredFolder = "/srv/models";

std::string file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

int project_files_under(const std::string& folder) {
    int count = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.path().extension() == ".twp") ++count;
    }
    return count;
}

class ProjectCommandsTest : public ::testing::Test {
protected:
    ProjectCommandsTest() : f(kConfiguredFolder) {}

    void SetUp() override {
        // The tests close the main window; that must not end the test program.
        QApplication::setQuitOnLastWindowClosed(false);
        f.state.UiLanguage = kEnglish;
        f.form->projects->exit_program = [this](int status) { exits.push_back(status); };
        base = f.write_object("base.qxm", make_grid_object("base", 2, 2));
        smile = f.write_object("smile.qxm", moved_grid("smile", 2, 2, 1.0f));
        frown = f.write_object("frown.qxm", moved_grid("frown", 2, 2, -1.0f));
        wide = f.write_object("wide.qxm", make_grid_object("wide", 3, 2));
        QxmObjectSpec torn = make_grid_object("holey", 2, 2);
        torn.vertices[0].x = std::numeric_limits<float>::quiet_NaN();
        holey = f.write_object("holey.qxm", torn);
    }

    void TearDown() override { EXPECT_TRUE(f.dialogs.all_answers_used()); }

    // Source and target 1, keys (0, 0) and (10, 50) on target 1: an unsaved session.
    void make_session() {
        f.load_source(base);
        f.load_target(1, smile);
        make_key(1, 10, 50);
        ASSERT_EQ(f.state.modified, 1);
    }

    // Makes a key on target k at `frame` with `weight` as the user would: go to the frame,
    // type the weight, press MAKE KEY.
    void make_key(int k, int frame, int weight) {
        f.state.current_frame = frame;
        f.form->refresh_timeline();
        f.form->scroll_go(0, 0);
        f.form->weight_fields[k]->setText(QString::number(weight));
        f.form->scroll_go(k, weight);
        ASSERT_EQ(f.form->key_buttons[k]->text(), texts::kMakeKey);
        f.form->morph->KeyOperation(k);
    }

    void go_to_frame(int frame) {
        f.state.current_frame = frame;
        f.form->refresh_timeline();
        f.form->scroll_go(0, 0);
    }

    void save_to(const std::string& path) {
        f.dialogs.file_answers.push_back(path);
        f.form->SAVEPROJECT1->trigger();
    }

    // Everything a project command may change, as text, so a kept session compares whole.
    std::string describe() const {
        std::ostringstream out;
        const EditorState& s = f.state;
        out << "modified " << s.modified << ", frame " << s.current_frame << " / " << s.max_frame
            << ", " << s.vertex_count << " vertices, read-out "
            << f.form->FrameSlide->caption().toStdString() << "\n";
        for (int k = 0; k <= kTargetCount; ++k) {
            const TargetSlot& slot = s.slots[k];
            out << k << ": loaded " << slot.loaded;
            if (slot.loaded) {
                out << " " << slot.path << " '" << slot.name << "' " << slot.vertices.size()
                    << " vertices, z0 " << slot.vertices[0].z;
                if (k > 0) {
                    out << ", keys";
                    for (int i = 0; i < slot.keys.count(); ++i)
                        out << " " << slot.keys.frames[i] << "=" << slot.keys.weights[i];
                }
            }
            QPushButton* load = f.form->load_buttons[k];
            out << " | [" << load->text().toStdString() << "]" << load->isEnabled();
            if (k > 0) {
                out << " kill " << f.form->kill_buttons[k]->isEnabled() << " field '"
                    << f.form->weight_fields[k]->text().toStdString() << "' "
                    << f.form->weight_fields[k]->isEnabled() << " spinner "
                    << f.form->spinner_panels[k]->isEnabled() << " key ["
                    << f.form->key_buttons[k]->text().toStdString() << "]"
                    << f.form->key_buttons[k]->isEnabled();
            }
            out << "\n";
        }
        return out.str();
    }

    const testing::ShownDialog& shown(size_t i) const { return f.dialogs.shown.at(i); }

    // The kinds of the last n dialogs shown, in order.
    std::string last_kinds(size_t n) const {
        std::string out;
        for (size_t i = f.dialogs.shown.size() - n; i < f.dialogs.shown.size(); ++i)
            out += (out.empty() ? "" : " ") + f.dialogs.shown[i].kind;
        return out;
    }

    Form1Fixture f;
    std::vector<int> exits;
    std::string base, smile, frown, wide, holey;
};

TEST_F(ProjectCommandsTest, saving_with_no_source_says_the_project_is_empty_and_writes_nothing) {
    f.form->SAVEPROJECT1->trigger();
    f.state.UiLanguage = kJapanese;
    EXPECT_FALSE(f.form->projects->SaveProject());

    ASSERT_EQ(f.dialogs.kinds(), "notify notify");
    EXPECT_EQ(shown(0).text, "Project is empty.");
    EXPECT_EQ(shown(0).title, "Confirmation<Tessel Warp>");
    EXPECT_EQ(shown(1).text, "プロジェクトは存在しません。");
    EXPECT_EQ(shown(1).title, "確認<Tessel Warp>");
    EXPECT_EQ(project_files_under(f.folder.path()), 0);
}

TEST_F(ProjectCommandsTest, save_writes_the_project_into_the_chosen_file_and_clears_modified) {
    make_session();
    const std::string first = f.folder.file("first.twp");
    save_to(first);

    ASSERT_EQ(f.dialogs.last().kind, "save_file");
    EXPECT_EQ(f.dialogs.last().title, "Save Project to File");
    EXPECT_EQ(f.dialogs.last().text, "Tessel Warp Project files|*.twp");
    EXPECT_EQ(f.dialogs.last().suffix, "twp");
    EXPECT_EQ(f.dialogs.last().folder, kConfiguredFolder);
    EXPECT_EQ(f.dialogs.last().file_name, "");
    EXPECT_EQ(file_bytes(first), write_project_text(project_from_state(f.state)));
    EXPECT_EQ(f.state.modified, 0);

    // Another change, saved in Japanese into a second file; the first keeps what it had.
    const std::string first_text = file_bytes(first);
    f.load_target(2, frown);
    f.state.UiLanguage = kJapanese;
    const std::string second = f.folder.file("second.twp");
    f.dialogs.file_answers.push_back(second);
    EXPECT_TRUE(f.form->projects->SaveProject());
    EXPECT_EQ(f.dialogs.last().title, "プロジェクトの保存");
    EXPECT_EQ(f.dialogs.last().text, "Tessel Warp Project files|*.twp");
    EXPECT_EQ(f.dialogs.last().folder, f.folder.path());
    EXPECT_EQ(f.dialogs.last().file_name, "first.twp");  // the name chosen last time
    EXPECT_EQ(file_bytes(second), write_project_text(project_from_state(f.state)));
    EXPECT_NE(file_bytes(second), first_text);
    EXPECT_EQ(file_bytes(first), first_text);
    EXPECT_EQ(f.state.modified, 0);
}

TEST_F(ProjectCommandsTest, the_project_folder_follows_saves_apart_from_the_object_folder) {
    make_session();
    const std::string projects = f.folder.file("projects");
    std::filesystem::create_directory(projects);
    save_to(projects + "/face.twp");
    EXPECT_EQ(f.state.project_folder, projects);
    EXPECT_EQ(f.state.object_folder, f.folder.path());

    // An object from elsewhere moves only the object folder.
    const std::string others = f.folder.file("others");
    std::filesystem::create_directory(others);
    const std::string elsewhere = others + "/frown.qxm";
    std::filesystem::copy_file(frown, elsewhere);
    f.load_target(3, elsewhere);
    EXPECT_EQ(f.state.object_folder, others);
    EXPECT_EQ(f.state.project_folder, projects);

    // The load dialog starts where the last save went; cancelling it changes nothing.
    const std::string before = describe();
    f.dialogs.save_answers.push_back(SaveAnswer::kNo);
    f.dialogs.file_answers.push_back(std::nullopt);
    f.form->LOADPROJECT1->trigger();
    ASSERT_EQ(f.dialogs.last().kind, "open_file");
    EXPECT_EQ(f.dialogs.last().folder, projects);
    EXPECT_EQ(describe(), before);
}

TEST_F(ProjectCommandsTest, new_project_asks_after_a_key_was_made_and_cancel_keeps_everything) {
    make_session();
    const std::string before = describe();
    f.dialogs.save_answers = {SaveAnswer::kCancel, SaveAnswer::kCancel};
    f.form->OPEN1->trigger();
    f.state.UiLanguage = kJapanese;
    f.form->OPEN1->trigger();

    const size_t first = f.dialogs.shown.size() - 2;
    EXPECT_EQ(shown(first).kind, "ask_save");
    EXPECT_EQ(shown(first).text, "Project has been changed. Save it?");
    EXPECT_EQ(shown(first).title, "New Project Confirmation");
    EXPECT_EQ(shown(first + 1).text, "プロジェクトは変更されています。保存しますか？");
    EXPECT_EQ(shown(first + 1).title, "新規プロジェクト確認");
    EXPECT_EQ(describe(), before);
}

TEST_F(ProjectCommandsTest, new_project_answered_no_empties_every_slot_and_keeps_the_frames) {
    f.state.max_frame = 50;
    make_session();
    f.load_target(4, frown);
    go_to_frame(12);

    f.dialogs.save_answers.push_back(SaveAnswer::kNo);
    f.form->OPEN1->trigger();

    EXPECT_FALSE(f.state.source_loaded());
    EXPECT_EQ(f.state.modified, 0);
    EXPECT_EQ(f.state.current_frame, 12);
    EXPECT_EQ(f.state.max_frame, 50);
    EXPECT_EQ(f.form->FrameSlide->caption(), "12 / 50");
    EXPECT_EQ(f.form->load_buttons[0]->text(), "LOAD");
    EXPECT_TRUE(f.form->load_buttons[0]->isEnabled());
    for (int k = 1; k <= kTargetCount; ++k) {
        SCOPED_TRACE("target " + std::to_string(k));
        EXPECT_FALSE(f.state.target_loaded(k));
        EXPECT_EQ(f.form->load_buttons[k]->text(), "LOAD");
        EXPECT_FALSE(f.form->load_buttons[k]->isEnabled());
        EXPECT_FALSE(f.form->kill_buttons[k]->isEnabled());
        EXPECT_FALSE(f.form->weight_fields[k]->isEnabled());
        EXPECT_FALSE(f.form->spinner_panels[k]->isEnabled());
        EXPECT_EQ(f.form->key_buttons[k]->text(), "MAKE KEY");
        EXPECT_FALSE(f.form->key_buttons[k]->isEnabled());
    }
    // An empty project has nothing to save.
    EXPECT_FALSE(f.form->projects->SaveProject());
    EXPECT_EQ(f.dialogs.last().text, "Project is empty.");
}

TEST_F(ProjectCommandsTest, new_project_answered_yes_saves_first) {
    make_session();
    const std::string path = f.folder.file("kept.twp");
    const std::string expected = write_project_text(project_from_state(f.state));
    f.dialogs.save_answers.push_back(SaveAnswer::kYes);
    f.dialogs.file_answers.push_back(path);
    f.form->OPEN1->trigger();
    EXPECT_EQ(file_bytes(path), expected);
    EXPECT_FALSE(f.state.source_loaded());
}

TEST_F(ProjectCommandsTest, quit_right_after_a_save_ends_with_status_one_without_asking) {
    make_session();
    save_to(f.folder.file("done.twp"));
    const size_t shown_before = f.dialogs.shown.size();
    f.form->QUIT1->trigger();
    EXPECT_EQ(f.dialogs.shown.size(), shown_before);
    EXPECT_EQ(exits, std::vector<int>{1});
}

TEST_F(ProjectCommandsTest, quit_with_changes_asks_and_only_cancel_or_a_failed_save_stays) {
    make_session();
    f.dialogs.save_answers = {SaveAnswer::kCancel, SaveAnswer::kYes, SaveAnswer::kCancel};
    f.dialogs.file_answers.push_back(std::nullopt);  // the save dialog of the Yes
    f.form->QUIT1->trigger();
    f.form->QUIT1->trigger();
    f.state.UiLanguage = kJapanese;
    f.form->QUIT1->trigger();
    EXPECT_TRUE(exits.empty());
    ASSERT_EQ(last_kinds(4), "ask_save ask_save save_file ask_save");
    const size_t n = f.dialogs.shown.size();
    EXPECT_EQ(shown(n - 4).text, "Project has beed changed. Save it?");
    EXPECT_EQ(shown(n - 4).title, "Application is going to quit");
    EXPECT_EQ(shown(n - 1).text, "プロジェクトは変更されています。保存しますか？");
    EXPECT_EQ(shown(n - 1).title, "アプリケーション終了確認");
    EXPECT_TRUE(f.state.target_loaded(1));

    f.dialogs.save_answers.push_back(SaveAnswer::kNo);
    f.form->QUIT1->trigger();
    EXPECT_EQ(exits, std::vector<int>{1});
}

TEST_F(ProjectCommandsTest, closing_with_changes_stays_open_on_cancel_or_a_cancelled_save) {
    f.load_source(base);
    f.load_target(1, smile);
    const std::string before = describe();

    f.dialogs.save_answers.push_back(SaveAnswer::kCancel);
    EXPECT_FALSE(f.form->close());
    EXPECT_TRUE(f.form->isVisible());
    EXPECT_EQ(f.dialogs.last().text, "Project has beed changed. Save it?");
    EXPECT_EQ(f.dialogs.last().title, "Application is going to quit");

    f.dialogs.save_answers.push_back(SaveAnswer::kYes);
    f.dialogs.file_answers.push_back(std::nullopt);
    EXPECT_FALSE(f.form->close());
    EXPECT_TRUE(f.form->isVisible());
    EXPECT_EQ(describe(), before);

    f.dialogs.save_answers.push_back(SaveAnswer::kNo);
    EXPECT_TRUE(f.form->close());
    EXPECT_FALSE(f.form->isVisible());
    EXPECT_TRUE(exits.empty());
}

TEST_F(ProjectCommandsTest, closing_after_a_save_asks_nothing) {
    f.load_source(base);
    save_to(f.folder.file("closed.twp"));
    const size_t shown_before = f.dialogs.shown.size();
    EXPECT_TRUE(f.form->close());
    EXPECT_EQ(f.dialogs.shown.size(), shown_before);
}

TEST_F(ProjectCommandsTest, load_project_rebuilds_the_session_at_the_current_frame) {
    make_session();
    f.load_target(3, frown);
    make_key(3, 20, 80);
    const std::string path = f.folder.file("face.twp");
    save_to(path);
    go_to_frame(15);
    const std::string saved = describe();

    f.form->OPEN1->trigger();  // nothing to ask: just saved
    ASSERT_FALSE(f.state.source_loaded());
    f.dialogs.file_answers.push_back(path);
    f.form->LOADPROJECT1->trigger();

    ASSERT_EQ(f.dialogs.last().kind, "open_file");
    EXPECT_EQ(f.dialogs.last().title, "Load Project File");
    EXPECT_EQ(f.dialogs.last().text, "Tessel Warp Projects|*.twp");
    EXPECT_EQ(f.dialogs.last().folder, f.folder.path());
    EXPECT_EQ(describe(), saved);
    EXPECT_EQ(f.form->load_buttons[1]->text(), "smile");
    EXPECT_EQ(f.form->key_buttons[1]->text(), "MAKE KEY");
    EXPECT_EQ(f.form->weight_fields[1]->text(), "50.0");
    EXPECT_EQ(f.form->FrameSlide->caption(), "15 / 100");

    // Loading over a changed session asks first, in either language.
    make_key(3, 5, 10);
    f.dialogs.save_answers = {SaveAnswer::kNo, SaveAnswer::kNo};
    f.dialogs.file_answers = {path, path};
    f.form->LOADPROJECT1->trigger();
    EXPECT_EQ(f.state.modified, 0);
    make_key(1, 5, 10);
    f.state.UiLanguage = kJapanese;
    f.form->LOADPROJECT1->trigger();
    const size_t n = f.dialogs.shown.size();
    ASSERT_EQ(shown(n - 4).kind, "ask_save");
    EXPECT_EQ(shown(n - 4).text, "Project has been changed. Save it?");
    EXPECT_EQ(shown(n - 4).title, "Confirmation<Tessel Warp>");
    EXPECT_EQ(shown(n - 2).text, "プロジェクトは変更されています。保存しますか？");
    EXPECT_EQ(shown(n - 2).title, "確認<Tessel Warp>");
    EXPECT_EQ(shown(n - 1).title, "プロジェクト読込み");
    go_to_frame(15);
    EXPECT_EQ(describe(), saved);
}

TEST_F(ProjectCommandsTest, load_brings_the_current_frame_into_the_projects_timeline) {
    f.state.max_frame = 30;
    make_session();
    const std::string path = f.folder.file("short.twp");
    save_to(path);
    f.state.max_frame = 100;
    go_to_frame(80);

    f.dialogs.file_answers.push_back(path);
    f.form->LOADPROJECT1->trigger();
    EXPECT_EQ(f.state.current_frame, 30);
    EXPECT_EQ(f.state.max_frame, 30);
    EXPECT_EQ(f.form->FrameSlide->caption(), "30 / 30");
    EXPECT_EQ(f.form->FrameSlide->x(), 704);  // the knob at the end of its 700-pixel track
    EXPECT_EQ(f.form->weight_fields[1]->text(), "50.0");
    EXPECT_EQ(f.form->key_buttons[1]->text(), "MAKE KEY");
}

TEST_F(ProjectCommandsTest, a_weight_field_left_half_typed_does_not_spoil_the_next_session) {
    make_session();
    const std::string path = f.folder.file("face.twp");
    save_to(path);
    go_to_frame(10);
    const std::string saved = describe();

    // Target 1's field emptied and a third field mid-edit when the project is loaded again.
    f.form->weight_fields[1]->setText("");
    f.form->weight_fields[3]->setText("1.2.");
    f.dialogs.file_answers.push_back(path);
    f.form->LOADPROJECT1->trigger();
    EXPECT_EQ(f.dialogs.last().kind, "open_file");  // no number refused
    EXPECT_EQ(describe(), saved);

    // The same for a new project: every row's field can be blended again afterwards.
    f.form->weight_fields[1]->setText("");
    f.form->OPEN1->trigger();
    EXPECT_EQ(f.form->weight_fields[1]->text(), "0");
    f.load_source(base);
    f.load_target(2, smile);
    const size_t shown_before = f.dialogs.shown.size();
    go_to_frame(3);
    EXPECT_EQ(f.dialogs.shown.size(), shown_before);
    EXPECT_EQ(f.form->key_buttons[2]->text(), "MAKE KEY");
}

TEST_F(ProjectCommandsTest, a_project_that_cannot_be_loaded_is_refused_and_the_session_kept) {
    make_session();
    const std::string before = describe();

    const std::string damaged = f.folder.file("damaged.twp");
    std::ofstream(damaged) << "Tessel_Warp_Project_File_v01\r\nMax_Frame\r\nmany\r\n";
    ProjectData lost;
    lost.source_path = base;
    lost.source_name = "nosuch";
    const std::string no_object = f.folder.file("no object.twp");
    std::ofstream(no_object, std::ios::binary) << write_project_text(lost);
    ProjectData torn;
    torn.source_path = holey;
    torn.source_name = "holey";
    const std::string torn_source = f.folder.file("torn.twp");
    std::ofstream(torn_source, std::ios::binary) << write_project_text(torn);

    struct Case {
        int language;
        std::string path;
        std::string text;
        std::string title;
    };
    const std::vector<Case> cases = {
        {kEnglish, damaged,
         "The project file " + damaged + " cannot be loaded: line 3: ", "Project load error"},
        {kJapanese, damaged, "プロジェクトファイル " + damaged + " の 3 行目を読み込めません：",
         "プロジェクト読込みエラー"},
        {kEnglish, no_object,
         "The project file " + no_object + " cannot be loaded: " + base +
             " holds no object named nosuch",
         "Project load error"},
        {kJapanese, no_object,
         "プロジェクトファイル " + no_object + " を読み込めません：" + base +
             " にはオブジェクト nosuch がありません",
         "プロジェクト読込みエラー"},
        {kJapanese, torn_source,
         "プロジェクトファイル " + torn_source + " を読み込めません：" + holey +
             " のソースオブジェクト holey は壊れています：頂点 0 の座標に有限でない数があります："
             "(nan, 0, 0)",
         "プロジェクト読込みエラー"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        f.state.UiLanguage = c.language;
        f.dialogs.save_answers.push_back(SaveAnswer::kNo);
        f.dialogs.file_answers.push_back(c.path);
        f.form->LOADPROJECT1->trigger();
        ASSERT_EQ(f.dialogs.last().kind, "warn");
        EXPECT_EQ(f.dialogs.last().text.substr(0, c.text.size()), c.text);
        EXPECT_EQ(f.dialogs.last().title, c.title);
        EXPECT_EQ(describe(), before);
    }
}

TEST_F(ProjectCommandsTest, targets_that_cannot_be_used_are_reported_and_the_rest_loads) {
    ProjectData project;
    project.source_path = base;
    project.source_name = "base";
    const std::string gone = f.folder.file("gone.qxm");
    auto set_target = [&project](int k, const std::string& path, const std::string& name) {
        ProjectTarget& target = project.targets[k - 1];
        target.present = true;
        target.path = path;
        target.name = name;
        target.keys.frames = {0};
        target.keys.weights = {100.0f};
    };
    set_target(2, wide, "wide");
    set_target(4, gone, "gone");
    set_target(5, smile, "smile");
    set_target(6, holey, "holey");
    const std::string path = f.folder.file("partly.twp");
    std::ofstream(path, std::ios::binary) << write_project_text(project);

    for (const int language : {kEnglish, kJapanese}) {
        f.state.UiLanguage = language;
        f.dialogs.shown.clear();
        if (f.state.modified) f.dialogs.save_answers.push_back(SaveAnswer::kNo);
        f.dialogs.file_answers.push_back(path);
        f.form->LOADPROJECT1->trigger();

        ASSERT_EQ(f.dialogs.kinds(), "open_file warn warn warn");
        if (language == kEnglish) {
            EXPECT_EQ(shown(1).text, "Target No.2 has incorrect vertices. It will not be loaded.");
            EXPECT_EQ(shown(1).title, "Incorrect object selected");
            EXPECT_EQ(shown(2).text, "Target No.4 (object gone in " + gone +
                                         ") cannot be loaded: the object file " + gone +
                                         " cannot be opened");
            EXPECT_EQ(shown(2).title, "Incorrect object selected");
            EXPECT_EQ(shown(3).text, "Target No.6 (object holey in " + holey +
                                         ") cannot be loaded: the coordinates of vertex 0 are not "
                                         "all finite numbers: (nan, 0, 0)");
        } else {
            EXPECT_EQ(
                shown(1).text,
                "2番目のターゲットの頂点数はソースオブジェクトと異なります。ロードできません");
            EXPECT_EQ(shown(1).title, "不正なオブジェクト指定");
            EXPECT_EQ(shown(2).text, "4番目のターゲット（オブジェクト gone、ファイル " + gone +
                                         "）を読み込めません：オブジェクトファイル " + gone +
                                         " を開けません");
            EXPECT_EQ(shown(2).title, "不正なオブジェクト指定");
            EXPECT_EQ(shown(3).text, "6番目のターゲット（オブジェクト holey、ファイル " + holey +
                                         "）を読み込めません：頂点 0 の座標に有限でない数があり"
                                         "ます：(nan, 0, 0)");
        }
        for (int k = 1; k <= kTargetCount; ++k) {
            EXPECT_EQ(f.state.target_loaded(k), k == 5) << "target " << k;
            EXPECT_EQ(f.form->load_buttons[k]->text(), k == 5 ? "smile" : "LOAD");
            EXPECT_TRUE(f.form->load_buttons[k]->isEnabled());
        }
        EXPECT_EQ(f.form->weight_fields[5]->text(), "100.0");
        EXPECT_EQ(f.state.modified, 0);
    }
}

// Files written by hand or by other tools may hold keys out of order; they load put in order,
// with one warning listing every change, and the session is marked modified since what is on
// screen is no longer what the file holds.
TEST_F(ProjectCommandsTest, a_project_out_of_order_loads_in_order_with_one_warning_and_modified) {
    ProjectData project;
    project.max_frame = 0;
    project.source_path = base;
    project.source_name = "base";
    project.targets[0] = testing::project_target(smile, "smile", {{0, 0}, {30, 100}, {10, 50}});
    const std::string path = f.folder.file("by hand.twp");
    std::ofstream(path, std::ios::binary) << write_project_text(project);

    const std::vector<std::pair<int, std::string>> messages = {
        {kEnglish,
         "The project file " + path +
             " was loaded with these changes:\n"
             "line 3: the maximum frame count 0 is below 1 and becomes 1\n"
             "target 1, line 14: the keys are put in frame order (frame 10 came after frame 30)"},
        {kJapanese, "プロジェクトファイル " + path +
                        " を次のように直して読み込みました：\n"
                        "3 行目：最大フレーム数 0 は 1 未満のため 1 にしました\n"
                        "ターゲット 1、14 行目：キーをフレーム順に並べ替えました（フレーム 10 "
                        "がフレーム 30 の後に"
                        "ありました）"},
    };
    for (const auto& [language, text] : messages) {
        f.state.UiLanguage = language;
        f.dialogs.shown.clear();
        if (f.state.modified) f.dialogs.save_answers.push_back(SaveAnswer::kNo);
        f.dialogs.file_answers.push_back(path);
        f.form->LOADPROJECT1->trigger();

        ASSERT_EQ(last_kinds(2), "open_file warn");
        EXPECT_EQ(f.dialogs.last().text, text);
        EXPECT_EQ(f.dialogs.last().title,
                  language == kEnglish ? "Project repaired" : "プロジェクトの修正");
        EXPECT_EQ(f.state.modified, 1);
        EXPECT_EQ(f.state.max_frame, 1);
        EXPECT_EQ(f.state.slots[1].keys.frames, (std::vector<int32_t>{0, 10, 30}));
        EXPECT_EQ(f.state.slots[1].keys.weights, (std::vector<float>{0, 50, 100}));
    }
}

TEST_F(ProjectCommandsTest, a_failed_save_says_so_keeps_the_old_file_and_the_modified_flag) {
    make_session();
    const std::string nowhere = f.folder.file("nowhere/p.twp");
    const std::string directory = f.folder.file("taken.twp");
    std::filesystem::create_directory(directory);

    struct Case {
        int language;
        std::string path;
        std::string text;
        std::string title;
    };
    const std::string missing = f.folder.file("nowhere");
    const std::vector<Case> cases = {
        {kEnglish, nowhere,
         "The project file " + nowhere + " could not be saved: the folder " + missing +
             " does not exist",
         "Save error"},
        {kJapanese, nowhere,
         "プロジェクトファイル " + nowhere + " を保存できません：フォルダ " + missing +
             " がありません",
         "保存エラー"},
        {kEnglish, directory,
         "The project file " + directory + " could not be saved: the name belongs to a folder",
         "Save error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        f.state.UiLanguage = c.language;
        f.dialogs.file_answers.push_back(c.path);
        EXPECT_FALSE(f.form->projects->SaveProject());
        ASSERT_EQ(f.dialogs.last().kind, "warn");
        EXPECT_EQ(f.dialogs.last().text, c.text);
        EXPECT_EQ(f.dialogs.last().title, c.title);
        EXPECT_EQ(f.state.modified, 1);
    }
    EXPECT_FALSE(std::filesystem::exists(f.folder.file("nowhere")));
    EXPECT_TRUE(std::filesystem::is_directory(directory));

    // An object name that would not read back is refused; the file saved before stays whole.
    const std::string path = f.folder.file("good.twp");
    save_to(path);
    const std::string good = file_bytes(path);
    QxmObjectSpec spaced = moved_grid("wry smile", 2, 2, 2.0f);
    f.load_target(2, f.write_object("spaced.qxm", spaced));
    f.state.UiLanguage = kEnglish;
    save_to(path);
    EXPECT_EQ(f.dialogs.last().kind, "warn");
    EXPECT_EQ(file_bytes(path), good);
    EXPECT_EQ(f.state.modified, 1);
}

TEST_F(ProjectCommandsTest, a_failed_save_in_a_save_question_stops_the_command) {
    make_session();
    const std::string before = describe();
    const std::string nowhere = f.folder.file("nowhere/p.twp");

    f.dialogs.save_answers = {SaveAnswer::kYes, SaveAnswer::kYes, SaveAnswer::kYes};
    f.dialogs.file_answers = {nowhere, nowhere, nowhere};
    f.form->OPEN1->trigger();
    f.form->LOADPROJECT1->trigger();
    f.form->QUIT1->trigger();
    EXPECT_EQ(last_kinds(9),
              "ask_save save_file warn ask_save save_file warn ask_save save_file warn");
    EXPECT_TRUE(exits.empty());
    EXPECT_EQ(describe(), before);

    f.dialogs.save_answers.push_back(SaveAnswer::kYes);
    f.dialogs.file_answers.push_back(nowhere);
    EXPECT_FALSE(f.form->close());
    EXPECT_TRUE(f.form->isVisible());
}

TEST_F(ProjectCommandsTest, the_about_box_names_the_program_in_both_languages) {
    f.form->ABOUT->trigger();
    f.state.UiLanguage = kJapanese;
    f.form->ABOUT->trigger();
    ASSERT_EQ(f.dialogs.kinds(), "notify notify");
    EXPECT_EQ(shown(0).text, "Tessel Warp Project Maker for Shapeforge ver.1.0");
    EXPECT_EQ(shown(0).title, "Version information");
    EXPECT_EQ(shown(1).text, "Tessel Warp Project Maker for Shapeforge ver.1.0");
    EXPECT_EQ(shown(1).title, "バージョン情報");
}

TEST_F(ProjectCommandsTest, the_menu_shortcuts_reach_the_commands) {
    f.form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f.form.get()));
    QWidget* target = f.form.get();

    QTest::keyClick(target, Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(f.dialogs.kinds(), "notify");
    EXPECT_EQ(f.dialogs.last().text, "Project is empty.");

    f.dialogs.file_answers.push_back(std::nullopt);
    QTest::keyClick(target, Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(f.dialogs.last().title, "Load Project File");

    f.load_source(base);
    f.dialogs.save_answers = {SaveAnswer::kCancel, SaveAnswer::kCancel};
    QTest::keyClick(target, Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(f.dialogs.last().title, "New Project Confirmation");
    QTest::keyClick(target, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(f.dialogs.last().title, "Application is going to quit");
    EXPECT_TRUE(exits.empty());
    EXPECT_TRUE(f.state.source_loaded());
}

// A weight typed into a field and not yet left is what every file command works with: it is
// committed as leaving the field would commit it, and a text that is no number stops the command.
TEST_F(ProjectCommandsTest, a_field_being_typed_into_is_committed_before_each_command) {
    f.load_source(base);
    f.load_target(1, smile);
    f.form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f.form.get()));
    QLineEdit* field = f.form->weight_fields[1];
    const std::string saved = f.folder.file("typed.twp");
    const auto ctrl = [field](Qt::Key key) {
        return [field, key] { QTest::keyClick(field, key, Qt::ControlModifier); };
    };
    // Each command, and what it asks next once the weight is committed (and modified).
    const std::pair<std::function<void()>, const char*> commands[] = {
        {[&] { f.form->SAVEPROJECT1->trigger(); }, "save_file"},
        {ctrl(Qt::Key_S), "save_file"},
        {ctrl(Qt::Key_N), "ask_save"},
        {ctrl(Qt::Key_L), "ask_save"},
        {ctrl(Qt::Key_Q), "ask_save"},
        {[&] { f.form->close(); }, "ask_save"}};
    for (size_t i = 0; i < std::size(commands); ++i) {
        SCOPED_TRACE(i);
        const auto& [run, asks] = commands[i];
        f.state.slots[1].keys.weights = {0.0f};
        go_to_frame(0);
        f.state.modified = 0;
        QTest::mouseClick(field, Qt::LeftButton);
        field->selectAll();
        QTest::keyClicks(field, "1.2.");
        f.dialogs.shown.clear();
        run();  // refused: the command goes no further
        EXPECT_EQ(f.dialogs.kinds(), "warn");
        EXPECT_TRUE(f.form->isVisible());

        field->selectAll();
        QTest::keyClicks(field, "30");
        f.dialogs.shown.clear();
        f.dialogs.file_answers = {saved};
        f.dialogs.save_answers = {SaveAnswer::kCancel};
        run();
        EXPECT_EQ(f.dialogs.kinds(), asks);
        EXPECT_EQ(field->text(), "30.0");
        EXPECT_EQ(f.state.slots[1].keys.weights[0], 30.0f);
        f.dialogs.file_answers.clear();
        f.dialogs.save_answers.clear();
    }
    EXPECT_NE(file_bytes(saved).find("\n0 30.00\r\n"), std::string::npos);
    EXPECT_TRUE(exits.empty());
}

}  // namespace
}  // namespace warpkit
