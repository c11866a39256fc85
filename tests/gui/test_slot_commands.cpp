// Loading and removing the source and the targets through the slot rows, with scripted
// dialogs: what is asked, in which words, and what the rows and the picture show afterwards.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>
#include <filesystem>
#include <limits>
#include <tuple>

#include "controls/push_panel.h"
#include "controls/qt_user_dialogs.h"
#include "support/form1_fixture.h"
#include "view/gl_view.h"

namespace warpkit {
namespace {

using testing::Form1Fixture;
using testing::make_grid_object;
using testing::moved_grid;
using testing::QxmFileSpec;
using testing::QxmObjectSpec;

constexpr int32_t kJapanese = 1;
constexpr int32_t kEnglish = 0;
const char* const kObjectFilter = "QXM Rev3 files(*.qxm)|*.qxm";

// The grid moved within its plane, so the change shows in the picture.
QxmObjectSpec shifted_grid(const std::string& name, int columns, int rows, float dx, float dy) {
    QxmObjectSpec object = make_grid_object(name, columns, rows);
    for (Vec3& v : object.vertices) {
        v.x += dx;
        v.y += dy;
    }
    return object;
}

// A 3 x 3 grid source (16 vertices) and targets of the same vertex order.
struct Scene : Form1Fixture {
    explicit Scene(const std::string& configured = std::string()) : Form1Fixture(configured) {}

    std::string source_file() { return write_object("base.qxm", make_grid_object("base", 3, 3)); }
    std::string target_file(const std::string& name, float dz = 1.0f) {
        return write_object(name + ".qxm", moved_grid(name, 3, 3, dz));
    }
    std::string folder_file(const std::string& subfolder, const std::string& file_name,
                            const QxmObjectSpec& object) {
        std::filesystem::create_directories(folder.file(subfolder));
        QxmFileSpec file_spec;
        file_spec.objects.push_back(object);
        file_spec.colours = testing::make_palette(1);
        return testing::write_qxm(folder.file(subfolder + "/" + file_name), file_spec);
    }
};

// Everything a refused or cancelled command must leave as it was.
struct Snapshot {
    std::vector<std::string> names, paths;
    std::vector<int32_t> loaded, key_counts;
    std::vector<std::vector<Vec3>> vertices;
    std::vector<Vec3> displayed;
    int32_t vertex_count, triangle_count, modified;
    std::vector<QString> captions, fields;
    std::vector<bool> enabled;

    explicit Snapshot(const Form1Fixture& f) {
        const EditorState& s = f.state;
        for (int k = 0; k <= kTargetCount; ++k) {
            names.push_back(s.slots[k].name);
            paths.push_back(s.slots[k].path);
            loaded.push_back(s.slots[k].loaded);
            key_counts.push_back(s.slots[k].keys.count());
            vertices.push_back(s.slots[k].vertices);
            captions.push_back(f.form->load_buttons[k]->text());
            enabled.push_back(f.form->load_buttons[k]->isEnabled());
            if (k == 0) continue;
            captions.push_back(f.form->key_buttons[k]->text());
            fields.push_back(f.form->weight_fields[k]->text());
            enabled.push_back(f.form->kill_buttons[k]->isEnabled());
            enabled.push_back(f.form->key_buttons[k]->isEnabled());
            enabled.push_back(f.form->weight_fields[k]->isEnabled());
            enabled.push_back(f.form->spinner_panels[k]->isEnabled());
        }
        displayed = s.mesh.displayed;
        vertex_count = s.vertex_count;
        triangle_count = s.triangle_count;
        modified = s.modified;
    }
};

bool same(const std::vector<Vec3>& a, const std::vector<Vec3>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].x != b[i].x || a[i].y != b[i].y || a[i].z != b[i].z) return false;
    }
    return true;
}

void expect_unchanged(const Snapshot& before, const Form1Fixture& f) {
    const Snapshot now(f);
    EXPECT_EQ(now.names, before.names);
    EXPECT_EQ(now.paths, before.paths);
    EXPECT_EQ(now.loaded, before.loaded);
    EXPECT_EQ(now.key_counts, before.key_counts);
    for (size_t k = 0; k < before.vertices.size(); ++k)
        EXPECT_TRUE(same(now.vertices[k], before.vertices[k])) << "slot " << k;
    EXPECT_TRUE(same(now.displayed, before.displayed));
    EXPECT_EQ(now.vertex_count, before.vertex_count);
    EXPECT_EQ(now.triangle_count, before.triangle_count);
    EXPECT_EQ(now.modified, before.modified);
    EXPECT_EQ(now.captions, before.captions);
    EXPECT_EQ(now.fields, before.fields);
    EXPECT_EQ(now.enabled, before.enabled);
}

// The row of target k reads as an empty slot.
void expect_empty_row(const TForm1& form, int k, bool source_loaded) {
    SCOPED_TRACE("row " + std::to_string(k));
    EXPECT_EQ(form.load_buttons[k]->text(), "LOAD");
    EXPECT_EQ(form.load_buttons[k]->isEnabled(), source_loaded);
    EXPECT_FALSE(form.kill_buttons[k]->isEnabled());
    EXPECT_EQ(form.weight_fields[k]->text(), "0");
    EXPECT_FALSE(form.weight_fields[k]->isEnabled());
    EXPECT_FALSE(form.spinner_panels[k]->isEnabled());
    EXPECT_EQ(form.key_buttons[k]->text(), "MAKE KEY");
    EXPECT_FALSE(form.key_buttons[k]->isEnabled());
}

// Pixels of the preview (left of the slot group, between the frame strips) that are not the
// black background.
int lit_pixels(GlView* view) {
    const QImage picture = view->grabFramebuffer();
    int lit = 0;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            if ((picture.pixel(x, y) & 0xFFFFFF) != 0) ++lit;
        }
    }
    return lit;
}

QImage preview(GlView* view) {
    return view->grabFramebuffer();
}

// Loading the source.

TEST(SourceLoad, first_load_asks_only_for_the_file_and_the_object_in_japanese) {
    Scene f("/configured/models");
    const std::string path = f.source_file();
    f.dialogs.file_answers.push_back(path);
    f.dialogs.object_answers.push_back(0);
    QTest::mouseClick(f.form->load_buttons[0], Qt::LeftButton);

    ASSERT_EQ(f.dialogs.kinds(), "open_file choose_object");
    const auto& open = f.dialogs.shown[0];
    EXPECT_EQ(open.title, "ソースオブジェクトの読み込み");
    EXPECT_EQ(open.text, kObjectFilter);
    EXPECT_EQ(open.folder, "/configured/models");
    EXPECT_EQ(f.dialogs.shown[1].text, "ソースオブジェクトの選択");

    EXPECT_TRUE(f.state.source_loaded());
    EXPECT_EQ(f.state.slots[0].path, path);
    EXPECT_EQ(f.state.slots[0].name, "base");
    EXPECT_EQ(f.state.vertex_count, 16);
    EXPECT_EQ(f.state.triangle_count, 18);
    EXPECT_EQ(f.state.modified, 1);
    EXPECT_EQ(f.state.object_folder, f.folder.path());
    EXPECT_EQ(f.form->load_buttons[0]->text(), "base");
    EXPECT_TRUE(f.form->load_buttons[0]->isEnabled());
    for (int k = 1; k <= kTargetCount; ++k) expect_empty_row(*f.form, k, true);
}

TEST(SourceLoad, english_titles_and_prompt) {
    Scene f;
    f.state.UiLanguage = kEnglish;
    f.load_source(f.source_file());
    ASSERT_EQ(f.dialogs.kinds(), "open_file choose_object");
    EXPECT_EQ(f.dialogs.shown[0].title, "Load Source Ojbect");
    EXPECT_EQ(f.dialogs.shown[0].text, kObjectFilter);
    // No configured folder: the dialog starts wherever the process is.
    EXPECT_EQ(f.dialogs.shown[0].folder, "");
    EXPECT_EQ(f.dialogs.shown[1].text, "Select Source Object");
    EXPECT_TRUE(f.state.source_loaded());
}

TEST(SourceLoad, replacing_asks_first_whatever_the_modified_flag_and_cancel_keeps_everything) {
    for (int32_t language : {kJapanese, kEnglish}) {
        SCOPED_TRACE(language);
        Scene f;
        f.state.UiLanguage = language;
        f.load_source(f.source_file());
        f.load_target(2, f.target_file("smile"));
        f.state.modified = 0;
        f.dialogs.shown.clear();
        const Snapshot before(f);

        f.dialogs.confirm_answers.push_back(false);
        f.form->slots_->SourceLoad();
        ASSERT_EQ(f.dialogs.kinds(), "confirm");
        if (language == kJapanese) {
            EXPECT_EQ(f.dialogs.last().text,
                      "このコマンドは現在の情報をすべて破棄します。よろしいですか？");
            EXPECT_EQ(f.dialogs.last().title, "確認<TESSEL WARP>");
        } else {
            EXPECT_EQ(f.dialogs.last().text, "This command delete all data in Warpkit. OK?");
            EXPECT_EQ(f.dialogs.last().title, "Confirmation<TESSEL WARP>");
        }
        expect_unchanged(before, f);

        // OK, then Cancel in the file dialog.
        f.dialogs.confirm_answers.push_back(true);
        f.dialogs.file_answers.push_back(std::nullopt);
        f.form->slots_->SourceLoad();
        EXPECT_EQ(f.dialogs.kinds(), "confirm confirm open_file");
        expect_unchanged(before, f);
        EXPECT_TRUE(f.dialogs.all_answers_used());
    }
}

TEST(SourceLoad, a_new_source_empties_every_target_row) {
    Scene f;
    f.load_source(f.source_file());
    f.load_target(1, f.target_file("a", 1.0f));
    f.load_target(3, f.target_file("b", 2.0f));
    f.load_target(8, f.target_file("c", 3.0f));
    f.form->weight_fields[3]->setText("40");
    f.state.current_frame = 10;
    f.state.max_frame = 60;

    const std::string other = f.write_object("tri.qxm", testing::make_single_triangle("tri"));
    f.load_source(other);
    EXPECT_EQ(f.state.slots[0].name, "tri");
    EXPECT_EQ(f.state.vertex_count, 3);
    EXPECT_EQ(f.form->load_buttons[0]->text(), "tri");
    for (int k = 1; k <= kTargetCount; ++k) {
        EXPECT_EQ(f.state.slots[k].loaded, 0);
        expect_empty_row(*f.form, k, true);
    }
    EXPECT_EQ(f.state.current_frame, 10);
    EXPECT_EQ(f.state.max_frame, 60);
    EXPECT_TRUE(f.dialogs.all_answers_used());
}

TEST(SourceLoad, an_object_without_vertices_is_refused_and_nothing_changes) {
    for (int32_t language : {kJapanese, kEnglish}) {
        SCOPED_TRACE(language);
        Scene f;
        f.state.UiLanguage = language;
        QxmObjectSpec empty;
        empty.name = "nothing";
        const std::string path = f.write_object("empty.qxm", empty);

        // Refused as the first source ...
        f.load_source(path);
        ASSERT_EQ(f.dialogs.kinds(), "open_file choose_object warn");
        if (language == kJapanese) {
            EXPECT_EQ(
                f.dialogs.last().text,
                "オブジェクト nothing には頂点がありません。ソースオブジェクトにできません。");
            EXPECT_EQ(f.dialogs.last().title, "不正なオブジェクトの選択");
        } else {
            EXPECT_EQ(f.dialogs.last().text,
                      "The object nothing has no vertices and cannot be the source object.");
            EXPECT_EQ(f.dialogs.last().title, "Incorrect object selected.");
        }
        EXPECT_FALSE(f.state.source_loaded());
        EXPECT_EQ(f.form->load_buttons[0]->text(), "LOAD");
        for (int k = 1; k <= kTargetCount; ++k) expect_empty_row(*f.form, k, false);

        // ... and in place of a loaded one.
        f.load_source(f.source_file());
        f.load_target(1, f.target_file("a"));
        const Snapshot before(f);
        f.load_source(path);
        EXPECT_EQ(f.dialogs.last().kind, "warn");
        expect_unchanged(before, f);
    }
}

TEST(SourceLoad, an_object_with_vertices_but_no_triangles_loads_and_draws_black) {
    Scene f;
    QxmObjectSpec points;
    points.name = "points";
    points.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 1}};
    f.load_source(f.write_object("points.qxm", points));
    EXPECT_EQ(f.dialogs.kinds(), "open_file choose_object");
    EXPECT_TRUE(f.state.source_loaded());
    EXPECT_EQ(f.state.triangle_count, 0);
    EXPECT_EQ(f.form->load_buttons[0]->text(), "points");
    EXPECT_TRUE(f.form->load_buttons[1]->isEnabled());
    EXPECT_EQ(lit_pixels(f.form->view), 0);
}

TEST(SourceLoad, a_loaded_source_shows_in_the_preview) {
    Scene f;
    EXPECT_EQ(lit_pixels(f.form->view), 0);
    f.load_source(f.source_file());
    EXPECT_GT(lit_pixels(f.form->view), 1000);
}

// Refused files.

TEST(ObjectFiles, a_wrong_magic_is_refused_with_the_format_message) {
    for (int32_t language : {kJapanese, kEnglish}) {
        SCOPED_TRACE(language);
        Scene f;
        f.state.UiLanguage = language;
        QxmFileSpec file_spec;
        file_spec.objects.push_back(make_grid_object("base", 3, 3));
        file_spec.colours = testing::make_palette(1);
        file_spec.magic = "QXM v90";
        const std::string path = testing::write_qxm(f.folder.file("old.qxm"), file_spec);

        f.dialogs.file_answers.push_back(path);
        f.form->slots_->SourceLoad();
        ASSERT_EQ(f.dialogs.kinds(), "open_file warn");
        if (language == kJapanese) {
            EXPECT_EQ(f.dialogs.last().text,
                      "Tessel Warp が開けるファイルは、現在<rev.3>フォーマットのみです。\n"
                      "<rev.3>フォーマットで保存し直してください。");
            EXPECT_EQ(f.dialogs.last().title, "フォーマットが異なります");
        } else {
            EXPECT_EQ(f.dialogs.last().text,
                      "Tessel Warp can only open QXM<rev.3>format. Please save the file as "
                      "<rev.3> format.");
            EXPECT_EQ(f.dialogs.last().title, "Incorrect format");
        }
        EXPECT_FALSE(f.state.source_loaded());

        // The same file as a target leaves the slot empty.
        f.load_source(f.source_file());
        const Snapshot before(f);
        f.dialogs.file_answers.push_back(path);
        f.form->slots_->TargetLoad(4);
        EXPECT_EQ(f.dialogs.last().kind, "warn");
        EXPECT_EQ(f.dialogs.last().title,
                  language == kJapanese ? "フォーマットが異なります" : "Incorrect format");
        expect_unchanged(before, f);
    }
}

TEST(ObjectFiles, a_damaged_file_is_refused_naming_the_file_and_the_session_is_unchanged) {
    for (int32_t language : {kJapanese, kEnglish}) {
        SCOPED_TRACE(language);
        Scene f;
        f.state.UiLanguage = language;
        f.load_source(f.source_file());
        f.load_target(5, f.target_file("a"));
        f.dialogs.shown.clear();

        QxmFileSpec file_spec;
        file_spec.objects.push_back(make_grid_object("base", 3, 3));
        file_spec.colours = testing::make_palette(1);
        const std::vector<uint8_t> whole = testing::build_qxm(file_spec);
        const std::string path = f.folder.file("cut.qxm");
        testing::write_file(path, testing::truncated(whole, whole.size() - 40));
        const Snapshot before(f);

        f.dialogs.confirm_answers.push_back(true);
        f.dialogs.file_answers.push_back(path);
        f.form->slots_->SourceLoad();
        ASSERT_EQ(f.dialogs.kinds(), "confirm open_file warn");
        const std::string expected_start =
            language == kJapanese
                ? "オブジェクトファイル " + path + " は壊れているため読み込めません："
                : "The object file " + path + " is damaged and cannot be read: ";
        EXPECT_EQ(f.dialogs.last().text.rfind(expected_start, 0), 0u) << f.dialogs.last().text;
        EXPECT_GT(f.dialogs.last().text.size(), expected_start.size());
        EXPECT_EQ(f.dialogs.last().title,
                  language == kJapanese ? "不正なファイル" : "Damaged file");
        expect_unchanged(before, f);

        // As a target over a loaded one: the old target stays.
        f.dialogs.confirm_answers.push_back(true);
        f.dialogs.file_answers.push_back(path);
        f.form->slots_->TargetLoad(5);
        EXPECT_EQ(f.dialogs.kinds(), "confirm open_file warn confirm open_file warn");
        expect_unchanged(before, f);
    }
}

TEST(ObjectFiles, a_pipe_or_a_device_is_refused_at_once_naming_the_file) {
    Scene f;
    f.state.UiLanguage = kEnglish;
    const std::string pipe = f.folder.file("pipe.qxm");
    const std::string zero = f.folder.file("zero.glb");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", zero.c_str()), 0);
    for (const std::string& path : {pipe, zero}) {
        f.dialogs.shown.clear();
        f.dialogs.file_answers.push_back(path);
        f.form->slots_->SourceLoad();
        ASSERT_EQ(f.dialogs.kinds(), "open_file warn") << path;
        EXPECT_EQ(f.dialogs.last().text,
                  "The object file " + path + " cannot be opened: not a regular file");
        EXPECT_FALSE(f.state.source_loaded());
    }
}

// A coordinate that is not a number, or a target so far from the source that the offset
// overflows, would draw nothing and silently spoil the preview; such an object is refused
// naming the file, the object and the first vertex at fault, and nothing changes.
TEST(ObjectChecks, objects_with_coordinates_that_are_not_finite_are_refused) {
    auto grid_with = [](const std::string& name, size_t vertex, Vec3 value) {
        QxmObjectSpec object = make_grid_object(name, 3, 3);
        object.vertices[vertex] = value;
        return object;
    };
    Scene f;
    f.load_source(f.write_object("spread.qxm", grid_with("spread", 4, {3e38f, 1, 0})));
    f.load_target(1, f.target_file("smile"));
    const Snapshot before(f);

    f.state.UiLanguage = kJapanese;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::string holey = f.write_object("holey.qxm", grid_with("holey", 0, {nan, 0, 0}));
    f.load_source(holey);
    EXPECT_EQ(f.dialogs.last().text,
              "オブジェクトファイル " + holey +
                  " のオブジェクト holey は壊れているため読み込めません：頂点 0 の座標に有限でない"
                  "数があります：(nan, 0, 0)");
    EXPECT_EQ(f.dialogs.last().title, "不正なファイル");

    f.state.UiLanguage = kEnglish;
    const std::string far = f.write_object("far.qxm", grid_with("far", 4, {-3e38f, 1, 0}));
    f.load_target(2, far);
    EXPECT_EQ(f.dialogs.last().text, "In the object file " + far +
                                         ", the object far cannot be a target: the offset of "
                                         "vertex 4 from the source is not finite: (-inf, 0, 0)");
    EXPECT_EQ(f.dialogs.last().title, "Incorrect object selected.");
    expect_unchanged(before, f);
    EXPECT_TRUE(f.dialogs.all_answers_used());
}

// A name with a blank loads, but no project could record it: the user hears so at once, in
// the current language, not after the work is done and the save is refused.
TEST(ObjectChecks, a_name_no_project_can_record_is_loaded_with_one_warning) {
    Scene f;
    const std::string spaced_source = f.write_object("a.qxm", make_grid_object("my base", 3, 3));
    const std::string spaced_target = f.write_object("b.qxm", moved_grid("wry\tsmile", 3, 3, 1));

    f.state.UiLanguage = kJapanese;
    f.load_source(spaced_source);
    ASSERT_EQ(f.dialogs.kinds(), "open_file choose_object warn");
    EXPECT_EQ(f.dialogs.last().text,
              "オブジェクト名「my base」はプロジェクトに記録できません（空の名前や空白を含む名前は"
              "記録できません）。オブジェクトの名前を変えてください。");
    EXPECT_EQ(f.dialogs.last().title, "オブジェクト名の確認");
    EXPECT_TRUE(f.state.source_loaded());
    EXPECT_EQ(f.form->load_buttons[0]->text(), "my base");

    f.state.UiLanguage = kEnglish;
    f.dialogs.shown.clear();
    f.load_target(3, spaced_target);
    ASSERT_EQ(f.dialogs.kinds(), "open_file choose_object warn");
    EXPECT_EQ(f.dialogs.last().text,
              "A project cannot record the object name \"wry\tsmile\" (a name must not be empty "
              "or hold blanks). Please rename the object.");
    EXPECT_EQ(f.dialogs.last().title, "Object name");
    EXPECT_TRUE(f.state.target_loaded(3));
}

TEST(ObjectFiles, declining_in_the_selection_dialog_is_silent_and_changes_nothing) {
    Scene f;
    f.load_source(f.source_file());
    f.load_target(2, f.target_file("a"));
    f.dialogs.shown.clear();
    const Snapshot before(f);

    f.dialogs.confirm_answers.push_back(true);
    f.dialogs.file_answers.push_back(f.target_file("b"));
    f.dialogs.object_answers.push_back(-1);
    f.form->slots_->TargetLoad(2);
    EXPECT_EQ(f.dialogs.kinds(), "confirm open_file choose_object");
    expect_unchanged(before, f);

    f.dialogs.confirm_answers.push_back(true);
    f.dialogs.file_answers.push_back(f.target_file("b"));
    f.dialogs.object_answers.push_back(-1);
    f.form->slots_->SourceLoad();
    expect_unchanged(before, f);
    EXPECT_TRUE(f.dialogs.all_answers_used());
}

// Loading targets.

TEST(TargetLoad, texts_of_the_dialogs_for_target_three_in_both_languages) {
    for (int32_t language : {kJapanese, kEnglish}) {
        SCOPED_TRACE(language);
        Scene f;
        f.state.UiLanguage = language;
        f.load_source(f.source_file());
        f.dialogs.shown.clear();
        f.dialogs.file_answers.push_back(f.target_file("smile"));
        f.dialogs.object_answers.push_back(0);
        QTest::mouseClick(f.form->load_buttons[3], Qt::LeftButton);
        ASSERT_EQ(f.dialogs.kinds(), "open_file choose_object");
        EXPECT_EQ(f.dialogs.shown[0].title,
                  language == kJapanese ? "3番ターゲットを読み込む" : "Load No.3 Target");
        EXPECT_EQ(f.dialogs.shown[0].text, kObjectFilter);
        EXPECT_EQ(f.dialogs.shown[0].folder, f.folder.path());
        EXPECT_EQ(f.dialogs.shown[1].text,
                  language == kJapanese ? "3番ターゲットの選択" : "Select No.3 Target ");
        EXPECT_TRUE(f.state.target_loaded(3));
    }
}

TEST(TargetLoad, at_frame_zero_the_row_shows_the_object_and_an_applied_key) {
    Scene f;
    f.load_source(f.source_file());
    f.state.modified = 0;
    f.load_target(3, f.target_file("smile", 2.0f));
    const TForm1& form = *f.form;
    EXPECT_EQ(form.load_buttons[3]->text(), "smile");
    EXPECT_TRUE(form.load_buttons[3]->isEnabled());
    EXPECT_TRUE(form.kill_buttons[3]->isEnabled());
    EXPECT_EQ(form.weight_fields[3]->text(), "0.0");
    EXPECT_TRUE(form.weight_fields[3]->isEnabled());
    EXPECT_TRUE(form.spinner_panels[3]->isEnabled());
    EXPECT_EQ(form.key_buttons[3]->text(), "APPLIED");
    EXPECT_FALSE(form.key_buttons[3]->isEnabled());
    EXPECT_EQ(f.state.modified, 1);
    ASSERT_EQ(f.state.slots[3].vertices.size(), 16u);
    EXPECT_EQ(f.state.slots[3].vertices[7].z, 2.0f);
    EXPECT_EQ(f.state.slots[3].vertices[7].x, 0.0f);
    // The other rows stay empty.
    for (int k : {1, 2, 4, 5, 6, 7, 8}) expect_empty_row(form, k, true);
}

TEST(TargetLoad, at_frame_ten_the_key_button_offers_a_key) {
    Scene f;
    f.load_source(f.source_file());
    f.state.current_frame = 10;
    f.load_target(3, f.target_file("smile"));
    EXPECT_EQ(f.form->key_buttons[3]->text(), "MAKE KEY");
    EXPECT_TRUE(f.form->key_buttons[3]->isEnabled());
    EXPECT_EQ(f.form->weight_fields[3]->text(), "0.0");
}

TEST(TargetLoad, one_vertex_too_many_is_refused_and_the_slot_keeps_what_it_had) {
    for (int32_t language : {kJapanese, kEnglish}) {
        SCOPED_TRACE(language);
        Scene f;
        f.state.UiLanguage = language;
        f.load_source(f.source_file());
        QxmObjectSpec bigger = moved_grid("big", 3, 3, 1.0f);
        bigger.vertices.push_back({9, 9, 9});
        const std::string big = f.write_object("big.qxm", bigger);
        f.dialogs.shown.clear();

        // An empty slot stays empty.
        Snapshot before(f);
        f.dialogs.file_answers.push_back(big);
        f.dialogs.object_answers.push_back(0);
        f.form->slots_->TargetLoad(6);
        ASSERT_EQ(f.dialogs.kinds(), "open_file choose_object warn");
        if (language == kJapanese) {
            EXPECT_EQ(f.dialogs.last().text,
                      "選択されたオブジェクトはソースオブジェクトと異なる頂点数です。");
            EXPECT_EQ(f.dialogs.last().title, "不正なオブジェクトの選択");
        } else {
            EXPECT_EQ(f.dialogs.last().text, "Selected Object has incorrect vertices");
            EXPECT_EQ(f.dialogs.last().title, "Incorrect object selected.");
        }
        expect_unchanged(before, f);

        // A loaded slot keeps its target and its keys.
        f.load_target(6, f.target_file("keep"));
        f.state.slots[6].keys.frames = {0, 30};
        f.state.slots[6].keys.weights = {0.0f, 80.0f};
        before = Snapshot(f);
        f.dialogs.confirm_answers.push_back(true);
        f.dialogs.file_answers.push_back(big);
        f.dialogs.object_answers.push_back(0);
        f.form->slots_->TargetLoad(6);
        EXPECT_EQ(f.dialogs.last().kind, "warn");
        expect_unchanged(before, f);
        EXPECT_EQ(f.state.slots[6].name, "keep");
        EXPECT_EQ(f.state.slots[6].keys.count(), 2);
    }
}

TEST(TargetLoad, a_target_with_other_triangles_is_taken_by_its_positions_only) {
    Scene f;
    f.load_source(f.source_file());
    QxmObjectSpec odd = moved_grid("odd", 3, 3, 0.5f);
    odd.triangles.resize(1);
    f.load_target(1, f.write_object("odd.qxm", odd, 3));
    EXPECT_TRUE(f.state.target_loaded(1));
    EXPECT_EQ(f.state.triangle_count, 18);
    EXPECT_EQ(f.state.mesh.triangles.size(), 18u);
    EXPECT_EQ(f.state.slots[1].vertices[15].z, 0.5f);
}

TEST(TargetLoad, reloading_asks_with_the_number_and_resets_the_keys) {
    for (int32_t language : {kJapanese, kEnglish}) {
        SCOPED_TRACE(language);
        Scene f;
        f.state.UiLanguage = language;
        f.load_source(f.source_file());
        f.load_target(3, f.target_file("first"));
        f.state.slots[3].keys.frames = {0, 10, 20};
        f.state.slots[3].keys.weights = {5.0f, 50.0f, 100.0f};
        f.dialogs.shown.clear();
        const Snapshot before(f);

        f.dialogs.confirm_answers.push_back(false);
        QTest::mouseClick(f.form->load_buttons[3], Qt::LeftButton);
        ASSERT_EQ(f.dialogs.kinds(), "confirm");
        if (language == kJapanese) {
            EXPECT_EQ(f.dialogs.last().text,
                      "3番目のターゲットは既にロードされています。読み直しますか？");
            EXPECT_EQ(f.dialogs.last().title, "確認<TESSEL WARP for QXMT>");
        } else {
            EXPECT_EQ(f.dialogs.last().text, " Target 3 is already loaded. Reload it?");
            EXPECT_EQ(f.dialogs.last().title, "Confirmation<TESSEL WARP>");
        }
        expect_unchanged(before, f);

        f.load_target(3, f.target_file("second", 4.0f));
        EXPECT_EQ(f.dialogs.kinds(), "confirm confirm open_file choose_object");
        EXPECT_EQ(f.state.slots[3].name, "second");
        EXPECT_EQ(f.form->load_buttons[3]->text(), "second");
        ASSERT_EQ(f.state.slots[3].keys.count(), 1);
        EXPECT_EQ(f.state.slots[3].keys.frames[0], 0);
        EXPECT_EQ(f.state.slots[3].keys.weights[0], 0.0f);
        EXPECT_EQ(f.state.slots[3].vertices[0].z, 4.0f);
    }
}

TEST(TargetLoad, a_long_path_and_a_full_object_name_are_kept) {
    Scene f;
    std::string sub;
    while (sub.size() < 300) sub += "a-rather-long-folder-name-for-models/";
    sub.pop_back();
    // A name field filled to its 16 bytes holds no end mark; the name is its first 15.
    const std::string path =
        f.folder_file(sub, "long.qxm", make_grid_object("sixteen_bytes_xy", 3, 3));
    ASSERT_GT(path.size(), 255u);
    f.load_source(path);
    EXPECT_EQ(f.state.slots[0].path, path);
    EXPECT_EQ(f.state.object_folder, f.folder.file(sub));
    EXPECT_EQ(f.state.slots[0].name, "sixteen_bytes_x");
    EXPECT_EQ(f.form->load_buttons[0]->text(), "sixteen_bytes_x");

    f.dialogs.file_answers.push_back(std::nullopt);
    f.form->slots_->TargetLoad(1);
    EXPECT_EQ(f.dialogs.last().folder, f.folder.file(sub));
}

TEST(TargetLoad, the_object_folder_follows_every_chosen_file_even_a_refused_one) {
    Scene f;
    f.load_source(f.folder_file("sources", "base.qxm", make_grid_object("base", 3, 3)));
    EXPECT_EQ(f.state.object_folder, f.folder.file("sources"));

    f.load_target(1, f.folder_file("targets", "a.qxm", moved_grid("a", 3, 3, 1.0f)));
    EXPECT_EQ(f.state.object_folder, f.folder.file("targets"));

    // Refused for its vertex count: the folder has followed all the same.
    f.dialogs.file_answers.push_back(
        f.folder_file("others", "tri.qxm", testing::make_single_triangle("tri")));
    f.dialogs.object_answers.push_back(0);
    f.form->slots_->TargetLoad(2);
    EXPECT_EQ(f.dialogs.last().kind, "warn");
    EXPECT_EQ(f.state.object_folder, f.folder.file("others"));

    // The next dialog starts there.
    f.dialogs.confirm_answers.push_back(true);
    f.dialogs.file_answers.push_back(std::nullopt);
    f.form->slots_->SourceLoad();
    EXPECT_EQ(f.dialogs.last().kind, "open_file");
    EXPECT_EQ(f.dialogs.last().folder, f.folder.file("others"));
    EXPECT_TRUE(f.dialogs.all_answers_used());
}

// Removing targets.

TEST(TargetKill, asks_with_the_number_and_cancel_keeps_the_target) {
    for (int32_t language : {kJapanese, kEnglish}) {
        SCOPED_TRACE(language);
        Scene f;
        f.state.UiLanguage = language;
        f.load_source(f.source_file());
        f.load_target(3, f.target_file("a"));
        f.state.modified = 0;
        f.dialogs.shown.clear();
        const Snapshot before(f);

        f.dialogs.confirm_answers.push_back(false);
        QTest::mouseClick(f.form->kill_buttons[3], Qt::LeftButton);
        ASSERT_EQ(f.dialogs.kinds(), "confirm");
        if (language == kJapanese) {
            EXPECT_EQ(f.dialogs.last().text, "3番目のターゲットを削除します。よろしいですか？");
            EXPECT_EQ(f.dialogs.last().title, "確認<TESSEL WARP>");
        } else {
            EXPECT_EQ(f.dialogs.last().text, "Delete Target No. 3. Is it OK?");
            EXPECT_EQ(f.dialogs.last().title, "Confirmation<TESSEL WARP>");
        }
        expect_unchanged(before, f);
    }
}

TEST(TargetKill, ok_empties_the_row_and_marks_the_session_modified) {
    Scene f;
    f.load_source(f.source_file());
    f.load_target(3, f.target_file("a"));
    f.load_target(4, f.target_file("b"));
    f.state.modified = 0;
    f.dialogs.confirm_answers.push_back(true);
    QTest::mouseClick(f.form->kill_buttons[3], Qt::LeftButton);
    EXPECT_EQ(f.state.slots[3].loaded, 0);
    EXPECT_TRUE(f.state.slots[3].vertices.empty());
    EXPECT_EQ(f.state.slots[3].keys.count(), 0);
    expect_empty_row(*f.form, 3, true);
    EXPECT_EQ(f.state.modified, 1);
    // The neighbour is untouched.
    EXPECT_EQ(f.form->load_buttons[4]->text(), "b");
    EXPECT_TRUE(f.form->kill_buttons[4]->isEnabled());
    EXPECT_TRUE(f.dialogs.all_answers_used());
}

// The removed or replaced target's shape does not linger.

TEST(SlotPicture, removing_a_target_takes_its_displacement_off_the_shape) {
    Scene f;
    f.load_source(f.source_file());
    const QImage source_only = preview(f.form->view);
    f.load_target(2, f.write_object("up.qxm", shifted_grid("up", 3, 3, 0.0f, 1.5f)));
    f.load_target(5, f.write_object("still.qxm", make_grid_object("still", 3, 3)));
    f.form->weight_fields[2]->setText("100");
    f.form->reblend_current();
    const QImage displaced = preview(f.form->view);
    ASSERT_NE(displaced, source_only);
    EXPECT_EQ(f.state.mesh.displayed[0].y, 1.5f);

    f.dialogs.confirm_answers.push_back(true);
    f.form->slots_->TargetKill(2);
    EXPECT_EQ(f.state.mesh.displayed[0].y, 0.0f);
    EXPECT_TRUE(same(f.state.mesh.displayed, f.state.slots[0].vertices));
    EXPECT_EQ(preview(f.form->view), source_only);
}

TEST(SlotPicture, reloading_a_target_takes_the_old_displacement_off_the_shape) {
    Scene f;
    f.load_source(f.source_file());
    const QImage source_only = preview(f.form->view);
    f.load_target(1, f.write_object("up.qxm", shifted_grid("up", 3, 3, 0.0f, 1.5f)));
    f.form->weight_fields[1]->setText("100");
    f.form->reblend_current();
    ASSERT_NE(preview(f.form->view), source_only);

    f.load_target(1, f.write_object("right.qxm", shifted_grid("right", 3, 3, 2.0f, 0.0f)));
    EXPECT_EQ(f.form->weight_fields[1]->text(), "0.0");
    EXPECT_TRUE(same(f.state.mesh.displayed, f.state.slots[0].vertices));
    EXPECT_EQ(preview(f.form->view), source_only);
}

// A name wider than its load button is elided in the middle; the whole name is the tooltip.
TEST(SlotCaptions, names_are_fitted_to_the_load_buttons_with_the_whole_name_as_tooltip) {
    Scene f;
    // Name bytes in the file, the name as shown, whether it is elided; slots 0, 1 and 2.
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"WWWWWWWWWWWWWWW", "WWWWWWWWWWWWWWW", true},
        {"\x82\x76\x82\x76\x82\x76\x82\x76\x82\x76\x82\x76\x82\x76", "ＷＷＷＷＷＷＷ", false},
        {"R&D", "R&D", false}};
    f.load_source(f.write_object("s.qxm", make_grid_object(std::get<0>(cases[0]), 3, 3)));
    for (int k = 1; k <= 2; ++k) {
        const QxmObjectSpec target = moved_grid(std::get<0>(cases[k]), 3, 3, 1.0f);
        f.load_target(k, f.write_object(std::to_string(k) + ".qxm", target));
    }
    for (int k = 0; k <= 2; ++k) {
        const auto& [bytes, shown, elided] = cases[k];
        QPushButton* button = f.form->load_buttons[k];
        const QString caption = button->text().replace("&&", "&");
        EXPECT_EQ(button->toolTip(), QString::fromUtf8(shown)) << k;
        EXPECT_EQ(caption == QString::fromUtf8(shown), !elided) << k;
        QStyleOptionButton option;
        option.initFrom(button);
        EXPECT_LE(button->fontMetrics().horizontalAdvance(caption),
                  button->style()
                      ->subElementRect(QStyle::SE_PushButtonContents, &option, button)
                      .width());
    }
}

// The real object open dialog, driven as a user would.

// Waits for the modal file dialog, lets `act` play the user, and closes it should `act` not.
void when_file_dialog_shows(const std::function<void(QFileDialog&)>& act) {
    QTimer::singleShot(0, [act] {
        QFileDialog* dialog = nullptr;
        for (int i = 0; i < 500 && !dialog; ++i) {
            dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog) QTest::qWait(10);
        }
        if (!dialog) {
            ADD_FAILURE() << "no file dialog was shown";
            return;
        }
        act(*dialog);
        if (dialog->isVisible()) {
            ADD_FAILURE() << "the dialog was left open";
            dialog->reject();
        }
    });
}

TEST(RealOpenDialog, starts_in_the_folder_with_the_title_and_filter_and_returns_the_file) {
    testing::TempFolder folder;
    const std::string path = testing::write_qxm(folder.file("base.qxm"), [] {
        QxmFileSpec file_spec;
        file_spec.objects.push_back(make_grid_object("base", 1, 1));
        return file_spec;
    }());
    QWidget owner;
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    QtUserDialogs dialogs;
    dialogs.attach(&owner, nullptr, nullptr);
    FileDialogRequest request;
    request.title = "ソースオブジェクトの読み込み";
    request.filter = kObjectFilter;
    request.folder = folder.path();

    QString title, directory;
    QStringList filters;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    when_file_dialog_shows([&](QFileDialog& dialog) {
        title = dialog.windowTitle();
        directory = dialog.directory().absolutePath();
        filters = dialog.nameFilters();
        mode = dialog.fileMode();
        auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setText("base.qxm");
        QTest::keyClick(name, Qt::Key_Return);
    });
    const std::optional<std::string> chosen = dialogs.open_file(request);
    EXPECT_EQ(title.toStdString(), "ソースオブジェクトの読み込み");
    EXPECT_EQ(directory.toStdString(), folder.path());
    EXPECT_EQ(filters, QStringList{"QXM Rev3 files(*.qxm)"});
    EXPECT_EQ(mode, QFileDialog::ExistingFile);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, path);

    when_file_dialog_shows([](QFileDialog& dialog) { dialog.reject(); });
    EXPECT_FALSE(dialogs.open_file(request).has_value());
}

TEST(RealOpenDialog, a_filter_without_patterns_in_its_description_gets_them_added) {
    EXPECT_EQ(qt_name_filter("QXM Rev3 files(*.qxm)|*.qxm"), "QXM Rev3 files(*.qxm)");
    EXPECT_EQ(qt_name_filter("Tessel Warp Projects|*.twp"), "Tessel Warp Projects (*.twp)");
    EXPECT_EQ(qt_name_filter("All files"), "All files");
}

}  // namespace
}  // namespace warpkit
