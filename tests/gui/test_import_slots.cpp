// Loading objects out of mesh files through the slot rows: the open dialog offers them, the
// object is kept in a QXM file that the slot and the project name, and a source with morph
// targets can bring them along into the target rows in one step.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <filesystem>
#include <sstream>

#include "app/edit_history.h"
#include "base/texts.h"
#include "export/export_tool.h"
#include "project/project_file.h"
#include "session/import_steps.h"
#include "session/project_session.h"
#include "support/form1_fixture.h"
#include "support/mesh_fixtures.h"

namespace warpkit {
namespace {

using testing::Form1Fixture;

constexpr int32_t kEnglish = 0;

using testing::grid_gltf;

struct ImportScene : Form1Fixture {
    ImportScene() { state.UiLanguage = kEnglish; }

    std::string write(const std::string& name, const std::string& text) {
        testing::write_text(folder.file(name), text);
        return folder.file(name);
    }

    // The source load of `path`, answering the question about its targets (when asked).
    void load_source_from(const std::string& path, std::optional<SaveAnswer> answer) {
        if (answer) dialogs.save_answers.push_back(*answer);
        load_source(path);
    }
};

// The window's load of mesh `mesh` of `path` against what `project` makes of the same file with
// the same animation ("": none, so no keys) for its first `targets` targets.
void expect_the_keys_project_makes(const ImportScene& f, const std::string& path, int mesh,
                                   const std::string& animation, int targets) {
    const std::string twp = f.folder.file("p.twp");
    std::vector<std::string> args = {"project", path, "-o", twp, "--mesh", std::to_string(mesh)};
    if (!animation.empty()) args.insert(args.end(), {"--animation", animation});
    std::ostringstream out, err;
    ASSERT_EQ(exporting::run_export_tool(args, out, err), 0) << err.str();
    ProjectData project;
    ASSERT_TRUE(read_project_file(twp, project).ok);
    EXPECT_EQ(f.state.slots[0].name, project.source_name);
    EXPECT_EQ(f.state.max_frame, animation.empty() ? 100 : project.max_frame);
    for (int k = 1; k <= targets; ++k) {
        const KeyTrack& keys = f.state.slots[k].keys;
        const KeyTrack& written = project.targets[k - 1].keys;
        EXPECT_EQ(keys.frames, animation.empty() ? std::vector<int32_t>{0} : written.frames) << k;
        EXPECT_EQ(keys.weights, animation.empty() ? std::vector<float>{0.0f} : written.weights)
            << k;
    }
}

TEST(ImportSlots, a_source_with_morph_targets_can_bring_them_into_the_target_rows) {
    struct Case {
        const char* what;
        SaveAnswer answer;
        int targets_loaded;
        const char* kinds;
    };
    const Case cases[] = {
        {"yes", SaveAnswer::kYes, 2, "open_file choose_object ask_save notify"},
        {"no", SaveAnswer::kNo, 0, "open_file choose_object ask_save notify"},
        {"cancel", SaveAnswer::kCancel, -1, "open_file choose_object ask_save"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImportScene f;
        const std::string path = f.write("grid face.gltf", grid_gltf(2));
        f.load_source_from(path, c.answer);
        EXPECT_EQ(f.dialogs.kinds(), c.kinds);
        EXPECT_TRUE(f.dialogs.all_answers_used());
        const testing::ShownDialog& open = f.dialogs.shown[0];
        EXPECT_EQ(open.text, "QXM Rev3 files(*.qxm)|*.qxm");
        EXPECT_EQ(open.more_filters, std::vector<std::string>{texts::kMeshFilter});
        EXPECT_EQ(f.dialogs.shown[2].text,
                  "The mesh grid_face has 2 morph targets. Load them into targets 1 to 8 along "
                  "with the source?\n"
                  "(Yes: source and targets, No: the source only)");
        const std::string kept = f.folder.file("grid_face.qxm");
        if (c.targets_loaded < 0) {
            EXPECT_FALSE(f.state.source_loaded());
            EXPECT_FALSE(std::filesystem::exists(kept));
            continue;
        }
        EXPECT_EQ(f.dialogs.last().text,
                  "grid_face from " + path + " was written to " + kept +
                      "; the project refers to that file.\n\nAn object file holds names of at "
                      "most 15 bytes, without blanks, each once; these names were stored as "
                      "follows:\nmesh \"grid face\" is stored as \"grid_face\"");
        ASSERT_TRUE(f.state.source_loaded());
        EXPECT_EQ(f.state.slots[0].path, kept);
        EXPECT_EQ(f.state.slots[0].name, "grid_face");
        EXPECT_EQ(f.form->load_buttons[0]->text(), "grid_face");
        EXPECT_EQ(f.state.vertex_count, 9);
        for (int k = 1; k <= 2; ++k) {
            const bool loaded = k <= c.targets_loaded;
            EXPECT_EQ(f.state.target_loaded(k), loaded) << k;
            if (!loaded) continue;
            EXPECT_EQ(f.state.slots[k].path, kept);
            EXPECT_EQ(f.state.slots[k].name, "t" + std::to_string(k - 1));
            EXPECT_EQ(f.state.slots[k].vertices[4].z, float(k));  // stored as offsets
            EXPECT_EQ(f.form->load_buttons[k]->text().toStdString(), "t" + std::to_string(k - 1));
            // the mesh's default weights (t0 at 0.5) are its keys at frame 0
            EXPECT_EQ(f.form->weight_fields[k]->text(), k == 1 ? "50.0" : "0.0");
            EXPECT_EQ(f.form->key_buttons[k]->text(), "APPLIED");
        }
        // The project names the kept file and loads back to the same slots.
        const ProjectData project = project_from_state(f.state);
        EXPECT_TRUE(project_data_problem(project).empty());
        const PreparedProject prepared = prepare_project(project);
        EXPECT_TRUE(prepared.refusal.empty());
        EXPECT_TRUE(prepared.warnings.empty());
    }
}

TEST(ImportSlots, an_animated_mesh_brings_the_keys_project_makes_when_its_animation_is_taken) {
    for (const SaveAnswer answer : {SaveAnswer::kYes, SaveAnswer::kNo}) {
        const bool taken = answer == SaveAnswer::kYes;
        SCOPED_TRACE(taken ? "yes" : "no");
        ImportScene f;
        f.state.current_frame = 15;
        const std::string path = f.write("blink.gltf", testing::animated_grid_gltf(9));
        f.dialogs.save_answers = {SaveAnswer::kYes, answer};
        f.load_source(path);
        EXPECT_EQ(f.dialogs.kinds(), "open_file choose_object ask_save ask_save notify");
        EXPECT_TRUE(f.dialogs.all_answers_used());
        EXPECT_EQ(f.dialogs.shown[3].text,
                  "The file animates the weights of the mesh grid_face with the animation "
                  "\"blink\" (1.2 seconds). Take it onto the timeline as keys at 30 frames a "
                  "second (frames 0 to 36)?\n"
                  "(Yes: the targets and their keys, No: the targets without keys)");
        EXPECT_EQ(f.dialogs.shown[3].title, "Animation");
        ASSERT_TRUE(f.state.target_loaded(8));

        // what warpkit-export project writes for the same file
        std::ostringstream out, err;
        ASSERT_EQ(exporting::run_export_tool({"project", path, "-o", f.folder.file("blink.twp")},
                                             out, err),
                  0)
            << err.str();
        ProjectData project;
        ASSERT_TRUE(read_project_file(f.folder.file("blink.twp"), project).ok);
        EXPECT_EQ(f.state.max_frame, taken ? project.max_frame : 100);
        EXPECT_EQ(f.state.current_frame, 15);
        for (int k = 1; k <= kTargetCount; ++k) {
            const KeyTrack& keys = f.state.slots[k].keys;
            const KeyTrack& written = project.targets[k - 1].keys;
            EXPECT_EQ(keys.frames, taken ? written.frames : std::vector<int32_t>{0}) << k;
            EXPECT_EQ(keys.weights, taken ? written.weights : std::vector<float>{0.0f}) << k;
        }
        // the rows at the current frame, 0.5 s: the animation's peak
        EXPECT_EQ(f.form->weight_fields[8]->text(), taken ? "80.0" : "0.0");

        // the whole load is one step
        f.form->history->undo();
        EXPECT_FALSE(f.state.source_loaded());
        EXPECT_EQ(f.state.max_frame, 100);
        EXPECT_EQ(f.state.current_frame, 15);
        f.form->history->redo();
        EXPECT_EQ(f.state.max_frame, taken ? 36 : 100);
        EXPECT_EQ(f.state.slots[8].keys.weights,
                  taken ? project.targets[7].keys.weights : std::vector<float>{0.0f});
    }
}

TEST(ImportSlots, a_mesh_with_several_animations_offers_them_in_a_list_and_takes_the_one_chosen) {
    struct Case {
        const char* what;
        int mesh;                      // chosen in the object dialog
        std::vector<ListAnswer> list;  // none: the question of one animation is asked
        const char* animation;         // what project is told to take; empty: no keys
        const char* kinds;
    };
    const Case cases[] = {
        {"talk",
         0,
         {{SaveAnswer::kYes, 1}},
         "talk",
         "open_file choose_object ask_save ask_save_from_list notify"},
        {"blink",
         0,
         {{SaveAnswer::kYes, 0}},
         "blink",
         "open_file choose_object ask_save ask_save_from_list notify"},
        {"no",
         0,
         {{SaveAnswer::kNo, 1}},
         "",
         "open_file choose_object ask_save ask_save_from_list notify"},
        {"cancel",
         0,
         {{SaveAnswer::kCancel, 1}},
         nullptr,
         "open_file choose_object ask_save ask_save_from_list"},
        {"teeth, talk alone", 1, {}, "talk", "open_file choose_object ask_save ask_save notify"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImportScene f;
        const std::string path = f.write("scene.gltf", testing::two_animations_gltf());
        f.dialogs.save_answers = {SaveAnswer::kYes};
        if (c.list.empty()) f.dialogs.save_answers.push_back(SaveAnswer::kYes);
        f.dialogs.list_answers.assign(c.list.begin(), c.list.end());
        f.load_source(path, c.mesh);
        EXPECT_EQ(f.dialogs.kinds(), c.kinds);
        EXPECT_TRUE(f.dialogs.all_answers_used());
        if (!c.list.empty()) {
            const testing::ShownDialog& question = f.dialogs.shown[3];
            EXPECT_EQ(question.text,
                      "The file animates the weights of the mesh grid_face with 2 animations. "
                      "Take the one chosen below onto the timeline as keys at 30 frames a "
                      "second?\n(Yes: the targets and the chosen animation's keys, No: the "
                      "targets without keys)");
            EXPECT_EQ(question.title, "Animation");
            EXPECT_EQ(question.items,
                      (std::vector<std::string>{
                          "> \"blink\" (0.2 seconds, frames 0 to 6 at 30 frames a second)",
                          "\"talk\" (3 seconds, frames 0 to 90 at 30 frames a second)"}));
        }
        if (!c.animation) {
            EXPECT_FALSE(f.state.source_loaded());
            continue;
        }
        expect_the_keys_project_makes(f, path, c.mesh, c.animation, c.mesh == 0 ? 2 : 1);
    }
}

// Blender writes one animation per action; either can be taken in the window.
TEST(ImportSlots, either_action_of_a_blender_file_can_be_taken) {
    for (const char* animation : {"blink", "talk"}) {
        SCOPED_TRACE(animation);
        ImportScene f;
        // a copy, as the object file is written beside it
        const std::string path = f.folder.file("face.glb");
        std::filesystem::copy_file(std::string(WARPKIT_TEST_DATA) + "/blender/face.glb", path);
        f.dialogs.save_answers = {SaveAnswer::kYes};
        const size_t item = animation == std::string("talk") ? 1 : 0;
        f.dialogs.list_answers = {{SaveAnswer::kYes, item}};
        f.load_source(path);
        EXPECT_EQ(f.dialogs.kinds(), "open_file choose_object ask_save ask_save_from_list notify");
        EXPECT_EQ(f.state.max_frame, animation == std::string("talk") ? 90 : 6);
        expect_the_keys_project_makes(f, path, 0, animation, 2);
    }
}

TEST(ImportSlots, targets_beyond_eight_are_named_as_left_out) {
    ImportScene f;
    f.load_source_from(f.write("many.gltf", grid_gltf(10)), SaveAnswer::kYes);
    EXPECT_NE(
        f.dialogs.shown[2].text.find("\nThere are 8 target slots; these 2 are left out: t8, t9"),
        std::string::npos)
        << f.dialogs.shown[2].text;
    for (int k = 1; k <= kTargetCount; ++k) EXPECT_TRUE(f.state.target_loaded(k)) << k;
    EXPECT_EQ(f.state.slots[8].name, "t7");
}

TEST(ImportSlots, the_notice_of_the_import_lists_the_names_it_changed_beside_the_full_ones) {
    ImportScene f;
    std::vector<std::string> names = {"mouthLowerDownLeft", "eyeBlinkLeft", std::string(5000, 'x')};
    names.resize(24, "expression_happy");
    const std::string path = f.write("face.glb", testing::named_grid_glb(names));
    f.load_source_from(path, SaveAnswer::kYes);
    ASSERT_TRUE(f.state.target_loaded(1));
    EXPECT_EQ(f.state.slots[1].name, "mouthLowerDownL");
    EXPECT_EQ(f.state.slots[5].name, "expression_ha~2");
    const std::string& text = f.dialogs.last().text;
    const std::string expected =
        "Face_Mesh from " + path + " was written to " + f.folder.file("face.qxm") +
        "; the project refers to that file.\n\n"
        "An object file holds names of at most 15 bytes, without blanks, each once; these names "
        "were stored as follows:\n"
        "mesh \"Face Mesh\" is stored as \"Face_Mesh\"\n"
        "mesh \"Face_Mesh\", morph target 1: \"mouthLowerDownLeft\" is stored as "
        "\"mouthLowerDownL\"\n"
        "mesh \"Face_Mesh\", morph target 3: \"" +
        std::string(200, 'x') +
        "...\" is stored as \"xxxxxxxxxxxxxxx\"\n"
        "mesh \"Face_Mesh\", morph target 4: \"expression_happy\" is stored as "
        "\"expression_happ\"\n";
    EXPECT_EQ(text.substr(0, expected.size()), expected);
    // the mesh and 23 targets: twenty lines shown, the rest counted
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2 + 20 + 1) << text;
    const std::string more = "\nand 4 more";
    EXPECT_EQ(text.substr(text.size() - more.size()), more);
}

TEST(ImportSlots, a_target_from_an_obj_is_kept_beside_it_without_replacing_a_file) {
    ImportScene f;
    f.load_source_from(f.write("grid.gltf", grid_gltf(0)), std::nullopt);
    std::string obj = "o raised\n";
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 3; ++x)
            obj += "v " + std::to_string(x) + " " + std::to_string(y) + " 2\n";
    }
    const std::string path = f.write("raised.obj", obj + "f 1 2 5 4\n");
    f.write("raised.qxm", "someone else's");
    f.dialogs.shown.clear();
    f.load_target(3, path);
    EXPECT_EQ(f.dialogs.kinds(), "open_file choose_object notify");
    ASSERT_TRUE(f.state.target_loaded(3));
    EXPECT_EQ(f.state.slots[3].path, f.folder.file("raised-2.qxm"));
    EXPECT_EQ(f.state.slots[3].name, "raised");
    EXPECT_EQ(f.state.slots[3].vertices[8].z, 2.0f);
}

TEST(ImportSlots, a_file_that_cannot_be_imported_is_refused_naming_it_in_both_languages) {
    for (const int32_t language : {1, kEnglish}) {
        ImportScene f;
        f.state.UiLanguage = language;
        const std::string path =
            f.write("broken.gltf",
                    "{\"asset\":{\"version\":\"2.0\"},\"meshes\":[{\"primitives\":"
                    "[{\"attributes\":{\"POSITION\":4}}]}]}");
        f.dialogs.file_answers.push_back(path);
        f.form->slots_->SourceLoad();
        EXPECT_EQ(f.dialogs.kinds(), "open_file warn");
        const std::string& text = f.dialogs.last().text;
        EXPECT_NE(text.find(path), std::string::npos) << text;
        const char* reason =
            language == 1
                ? "メッシュ 0：アクセサ 4 が指定されていますが、ファイルのアクセサは 0 個です"
                : "mesh 0: accessor 4 is named but the file has 0";
        EXPECT_NE(text.find(reason), std::string::npos) << text;
        EXPECT_EQ(f.dialogs.last().title, language == 1 ? "読み込みエラー" : "Import error");
        EXPECT_FALSE(f.state.source_loaded());
    }
}

TEST(ImportSlots, a_folder_that_cannot_be_written_makes_the_user_choose_where) {
    testing::TempFolder folder;
    ImportedMesh mesh{"tri", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {make_triangle(0, 1, 2)}, {}, {},
                      {}};
    ImportedScene scene;
    for (const bool cancelled : {true, false}) {
        testing::ScriptedDialogs dialogs;
        dialogs.file_answers.push_back(cancelled ? std::nullopt
                                                 : std::optional<std::string>(folder.file("mine")));
        const std::optional<std::string> kept =
            keep_imported_mesh(dialogs, kEnglish, "/no/such/folder/face.glb", mesh, scene);
        ASSERT_EQ(dialogs.kinds(), cancelled ? "warn save_file" : "warn save_file notify");
        EXPECT_NE(dialogs.shown[0].text.find("The folder /no/such/folder is not writable"),
                  std::string::npos);
        EXPECT_EQ(dialogs.shown[1].file_name, "face.qxm");
        EXPECT_EQ(dialogs.shown[1].suffix, "qxm");
        EXPECT_EQ(kept.has_value(), !cancelled);
        if (kept) {
            EXPECT_EQ(*kept, folder.file("mine.qxm"));
        }
    }
}

}  // namespace
}  // namespace warpkit
