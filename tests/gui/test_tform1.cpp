// The main window as it comes up: its controls and their places, the menu, the timers, the
// configured folder, and the language switch.
#include <gtest/gtest.h>

#include <QAction>
#include <QActionGroup>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <map>

#include "app/configuration.h"
#include "app/morph_controller.h"
#include "controls/push_panel.h"
#include "support/form1_fixture.h"
#include "view/gl_view.h"

namespace warpkit {
namespace {

using testing::Form1Fixture;
using testing::TempFolder;

struct Place {
    int left, top, width, height;
};

QRect rect(const Place& p) {
    return QRect(p.left, p.top, p.width, p.height);
}

// Rows of the slot group, top to bottom: source, targets 1..8.
struct SlotRow {
    QPoint label;
    Place load, kill, edit, spinner, key;
};

const SlotRow kRows[9] = {
    {{9, 24}, {105, 21, 137, 20}, {}, {}, {}, {}},
    {{8, 55},
     {105, 51, 137, 20},
     {242, 51, 24, 20},
     {269, 52, 58, 21},
     {328, 52, 17, 20},
     {356, 51, 100, 20}},
    {{9, 87},
     {105, 83, 137, 20},
     {242, 83, 24, 20},
     {269, 84, 58, 21},
     {329, 85, 17, 20},
     {355, 82, 100, 20}},
    {{9, 120},
     {105, 114, 137, 20},
     {242, 115, 24, 20},
     {268, 116, 58, 21},
     {329, 117, 17, 20},
     {356, 115, 100, 20}},
    {{9, 152},
     {104, 147, 137, 20},
     {242, 147, 24, 20},
     {269, 148, 58, 21},
     {329, 149, 17, 20},
     {356, 147, 100, 20}},
    {{9, 184},
     {104, 180, 137, 20},
     {242, 180, 24, 20},
     {269, 180, 58, 21},
     {329, 181, 17, 20},
     {356, 180, 100, 20}},
    {{9, 216},
     {104, 212, 137, 20},
     {242, 212, 24, 20},
     {269, 212, 58, 21},
     {329, 212, 17, 20},
     {355, 212, 100, 20}},
    {{9, 248},
     {104, 243, 137, 20},
     {243, 244, 24, 20},
     {269, 244, 58, 21},
     {329, 245, 17, 20},
     {355, 243, 100, 20}},
    {{9, 280},
     {104, 276, 137, 20},
     {242, 276, 24, 20},
     {270, 276, 58, 21},
     {329, 277, 17, 20},
     {355, 276, 100, 20}},
};

// Captions of the menu: at start, after switching to Japanese, after switching to English.
struct MenuTexts {
    const char* item;
    const char* at_start;
    const char* japanese;
    const char* english;
};

const MenuTexts kMenu[] = {
    {"file1", "ファイル(&F)", "ファイル (&F)", "FILE(&F)"},
    {"OPEN1", "新規プロジェクト", "新規プロジェクト", "NEW PROJECT"},
    {"SAVEPROJECT1", "プロジェクト保存 ", "プロジェクト保存", "SAVE PROJECT"},
    {"LOADPROJECT1", "プロジェクト読込み", "プロジェクト読込み", "LOAD PROJECT"},
    {"QUIT1", "終了", "終了", "QUIT"},
    {"CONFIG1", "表示(&V)", "表示(&V)", "VIEW(&V)"},
    {"Quality", "描画設定", "描画設定", "VIEW QUALITY"},
    {"Wire", "ワイヤーフレーム", "ワイヤーフレーム", "WireFrame"},
    {"Flat", "フラットシェーディング", "フラットシェーディング", "FlatShading"},
    {"Smooth", "スムースシェーディング", "スムーズシェーディング", "SmoothShading"},
    {"Color", "色設定", "色設定", "SHADING COLOR"},
    {"Lang", "言語設定", "言語設定", "LANGUAGE"},
    {"Japan", "日本語", "日本語", "JAPANESE"},
    {"English", "英語", "英語", "ENGLISH"},
    {"PlaySpeed", "再生速度", "再生速度", "PLAYBACK SPEED"},
    {"PlayMax", "できるだけ速く", "できるだけ速く", "AS FAST AS POSSIBLE"},
    {"Play24", "毎秒 24 フレーム", "毎秒 24 フレーム", "24 FRAMES PER SECOND"},
    {"Play30", "毎秒 30 フレーム", "毎秒 30 フレーム", "30 FRAMES PER SECOND"},
    {"Play60", "毎秒 60 フレーム", "毎秒 60 フレーム", "60 FRAMES PER SECOND"},
    {"HELP", "ヘルプ(&H)", "ヘルプ(&H)", "Help(&H)"},
    {"ABOUT", "Tessel Warp について", "Tessel Warp について (&H)", "About Tessel Warp"},
};

// The caption of a menu item or a menu, found by its name.
QString caption_of(const TForm1& form, const char* name) {
    if (const auto* menu = form.findChild<QMenu*>(name)) return menu->title();
    if (const auto* action = form.findChild<QAction*>(name)) return action->text();
    ADD_FAILURE() << "no menu item " << name;
    return QString();
}

void expect_menu_captions(const TForm1& form, int column) {
    for (const MenuTexts& row : kMenu) {
        const char* expected =
            column == 0 ? row.at_start : (column == 1 ? row.japanese : row.english);
        EXPECT_EQ(caption_of(form, row.item).toStdString(), expected) << row.item;
    }
}

std::vector<std::string> names_of(const QMenu* menu) {
    std::vector<std::string> names;
    for (const QAction* action : menu->actions()) {
        names.push_back(action->menu() ? action->menu()->objectName().toStdString()
                                       : action->objectName().toStdString());
    }
    return names;
}

TEST(Form1StartUp, window_title_client_size_and_frame_strips) {
    Form1Fixture f;
    TForm1& form = *f.form;
    EXPECT_EQ(form.objectName(), "Form1");
    EXPECT_EQ(form.windowTitle(), "Warpkit");
    ASSERT_EQ(form.centralWidget(), form.client);
    EXPECT_EQ(form.centralWidget()->size(), QSize(809, 378));
    // A fixed window: it cannot be resized to another client size.
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);

    const std::map<std::string, Place> strips = {{"Panel10", {-51, -2, 883, 29}},
                                                 {"Panel13", {-72, -25, 883, 29}},
                                                 {"Panel11", {-34, 307, 883, 100}},
                                                 {"Panel12", {744, 5, 94, 375}}};
    for (const auto& [name, place] : strips) {
        const auto* strip = form.client->findChild<QFrame*>(QString::fromStdString(name));
        ASSERT_NE(strip, nullptr) << name;
        EXPECT_EQ(strip->geometry(), rect(place)) << name;
    }
    EXPECT_EQ(form.Panel12->frameShape(), QFrame::NoFrame);
    EXPECT_EQ(form.GroupBox1->geometry(), QRect(334, 9, 466, 311));
    EXPECT_TRUE(form.GroupBox1->title().isEmpty());
    // The preview covers the region left free by the slot group and the strips.
    EXPECT_EQ(form.view->geometry(), QRect(0, 27, 334, 280));
}

TEST(Form1StartUp, is_placed_at_the_centre_of_the_desktop) {
    Form1Fixture f;
    const QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint offset = f.form->frameGeometry().center() - desktop.center();
    EXPECT_LE(std::abs(offset.x()), 2);
    EXPECT_LE(std::abs(offset.y()), 2);
}

TEST(Form1StartUp, slot_rows_stand_at_their_places_with_their_names_and_captions) {
    Form1Fixture f;
    TForm1& form = *f.form;
    for (int k = 0; k <= kTargetCount; ++k) {
        SCOPED_TRACE("row " + std::to_string(k));
        const SlotRow& row = kRows[k];
        QLabel* label = form.labels[k];
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->parentWidget(), form.GroupBox1);
        EXPECT_EQ(label->pos(), row.label);
        EXPECT_EQ(label->text().toStdString(),
                  k == 0 ? std::string("Source Object") : "Target Object " + std::to_string(k));

        QPushButton* load = form.load_buttons[k];
        ASSERT_NE(load, nullptr);
        EXPECT_EQ(load->parentWidget(), form.GroupBox1);
        EXPECT_EQ(load->objectName().toStdString(), "Button" + std::to_string(k));
        EXPECT_EQ(load->geometry(), rect(row.load));
        EXPECT_EQ(load->text(), "LOAD");
        // Only the source's button is usable before a source is loaded.
        EXPECT_EQ(load->isEnabled(), k == 0);
        if (k == 0) continue;

        const std::string n = std::to_string(k);
        QPushButton* kill = form.kill_buttons[k];
        EXPECT_EQ(kill->objectName().toStdString(), "Kill" + n);
        EXPECT_EQ(kill->geometry(), rect(row.kill));
        EXPECT_EQ(kill->text(), "X");
        EXPECT_FALSE(kill->isEnabled());

        QLineEdit* edit = form.weight_fields[k];
        EXPECT_EQ(edit->objectName().toStdString(), "Edit" + n);
        EXPECT_EQ(edit->geometry(), rect(row.edit));
        EXPECT_EQ(edit->text(), "0");
        EXPECT_FALSE(edit->isEnabled());

        DragSpinner* spinner = form.spinner_panels[k];
        EXPECT_EQ(spinner->objectName().toStdString(), "Panel" + n);
        EXPECT_EQ(spinner->geometry(), rect(row.spinner));
        EXPECT_FALSE(spinner->isEnabled());

        QPushButton* key = form.key_buttons[k];
        EXPECT_EQ(key->objectName().toStdString(), "Key" + n);
        EXPECT_EQ(key->geometry(), rect(row.key));
        EXPECT_EQ(key->text(), "MAKE KEY");
        EXPECT_FALSE(key->isEnabled());

        for (QWidget* control : {static_cast<QWidget*>(kill), static_cast<QWidget*>(edit),
                                 static_cast<QWidget*>(spinner), static_cast<QWidget*>(key)}) {
            EXPECT_EQ(control->parentWidget(), form.GroupBox1)
                << control->objectName().toStdString();
        }
    }
}

TEST(Form1StartUp, a_disabled_target_button_cannot_be_clicked_into_a_dialog) {
    Form1Fixture f;
    // Any question shown here would fail the test: the scripted dialogs have no answers.
    for (int k = 1; k <= kTargetCount; ++k) {
        QTest::mouseClick(f.form->load_buttons[k], Qt::LeftButton);
        QTest::mouseClick(f.form->kill_buttons[k], Qt::LeftButton);
    }
    EXPECT_TRUE(f.dialogs.shown.empty());
    EXPECT_FALSE(f.state.source_loaded());
}

TEST(Form1StartUp, session_starts_at_its_start_values) {
    Form1Fixture f;
    const EditorState& state = f.state;
    EXPECT_EQ(state.current_frame, 0);
    EXPECT_EQ(state.max_frame, 100);
    EXPECT_EQ(state.playing_forward, 0);
    EXPECT_EQ(state.playing_backward, 0);
    EXPECT_EQ(state.ShadingMode, kFlat);
    EXPECT_EQ(state.modified, 0);
    EXPECT_EQ(state.drag_mode, 0);
    EXPECT_EQ(state.UiLanguage, 1);
    EXPECT_FALSE(state.source_loaded());
    EXPECT_TRUE(f.form->morph != nullptr && f.form->morph->entry_text().empty());
}

TEST(Form1StartUp, knob_reads_zero_of_a_hundred_and_timers_are_stopped) {
    Form1Fixture f;
    TForm1& form = *f.form;
    EXPECT_EQ(form.FrameSlide->objectName(), "FrameSlide");
    EXPECT_EQ(form.FrameSlide->caption(), "0 / 100");
    EXPECT_EQ(form.FrameSlide->x(), 4);
    EXPECT_EQ(form.Timer1->objectName(), "Timer1");
    EXPECT_EQ(form.Timer1->interval(), 100);
    EXPECT_FALSE(form.Timer1->isActive());
    EXPECT_EQ(form.Timer2->objectName(), "Timer2");
    EXPECT_EQ(form.Timer2->interval(), 1);
    EXPECT_FALSE(form.Timer2->isActive());
}

TEST(Form1Menu, starts_with_the_forms_japanese_captions_and_japan_checked) {
    Form1Fixture f;
    expect_menu_captions(*f.form, 0);
    EXPECT_TRUE(f.form->Japan->isChecked());
    EXPECT_FALSE(f.form->English->isChecked());
}

TEST(Form1Menu, items_sit_in_their_menus_in_order_with_their_shortcuts) {
    Form1Fixture f;
    TForm1& form = *f.form;
    EXPECT_EQ(form.menuBar()->objectName(), "MainMenu1");
    std::vector<std::string> bar;
    for (const QAction* action : form.menuBar()->actions())
        bar.push_back(action->menu()->objectName().toStdString());
    EXPECT_EQ(bar, (std::vector<std::string>{"file1", "CONFIG1", "HELP"}));
    EXPECT_EQ(names_of(form.file1),
              (std::vector<std::string>{"OPEN1", "SAVEPROJECT1", "LOADPROJECT1", "N1", "QUIT1"}));
    EXPECT_TRUE(form.N1->isSeparator());
    EXPECT_EQ(names_of(form.CONFIG1),
              (std::vector<std::string>{"Quality", "Color", "Lang", "PlaySpeed"}));
    EXPECT_EQ(names_of(form.PlaySpeed),
              (std::vector<std::string>{"PlayMax", "Play24", "Play30", "Play60"}));
    EXPECT_EQ(names_of(form.Quality), (std::vector<std::string>{"Wire", "Flat", "Smooth"}));
    EXPECT_EQ(names_of(form.Lang), (std::vector<std::string>{"Japan", "English"}));
    EXPECT_EQ(names_of(form.HELP), (std::vector<std::string>{"ABOUT"}));

    EXPECT_EQ(form.OPEN1->shortcut(), QKeySequence("Ctrl+N"));
    EXPECT_EQ(form.SAVEPROJECT1->shortcut(), QKeySequence("Ctrl+S"));
    EXPECT_EQ(form.LOADPROJECT1->shortcut(), QKeySequence("Ctrl+L"));
    EXPECT_EQ(form.QUIT1->shortcut(), QKeySequence("Ctrl+Q"));
    // The shading items show no mode; the language items are one radio group.
    for (QAction* item : {form.Wire, form.Flat, form.Smooth}) EXPECT_FALSE(item->isCheckable());
    ASSERT_NE(form.Japan->actionGroup(), nullptr);
    EXPECT_EQ(form.Japan->actionGroup(), form.English->actionGroup());
    EXPECT_TRUE(form.Japan->actionGroup()->isExclusive());
    // The playback speeds are one radio group too, as fast as possible at start.
    EXPECT_TRUE(form.PlayMax->isChecked() && form.PlayMax->actionGroup()->isExclusive());
    EXPECT_EQ(form.Play60->actionGroup(), form.PlayMax->actionGroup());
}

TEST(Form1Menu, hidden_items_are_in_no_menu_but_their_shortcuts_reach_the_window) {
    Form1Fixture f;
    TForm1& form = *f.form;
    EXPECT_EQ(form.xxx1->text(), "xxx ");
    EXPECT_EQ(form.zzz1->text(), "zzz");
    EXPECT_EQ(form.xxx1->shortcut(), QKeySequence("Ctrl+D"));
    EXPECT_EQ(form.zzz1->shortcut(), QKeySequence("Ctrl+C"));
    for (QAction* hidden : {form.xxx1, form.zzz1, form.UNDO1, form.REDO1}) {
        for (const QMenu* menu : form.findChildren<QMenu*>()) {
            EXPECT_FALSE(menu->actions().contains(hidden)) << menu->objectName().toStdString();
        }
        EXPECT_TRUE(form.actions().contains(hidden));
    }

    // Pressed on the window, the shortcut fires the hidden item.
    int fired = 0;
    QObject::connect(form.zzz1, &QAction::triggered, [&fired] { ++fired; });
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QTest::keyClick(&form, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(fired, 1);
}

// The language switch.

TEST(Form1Language, english_then_japanese_rewrites_every_menu_caption) {
    Form1Fixture f;
    TForm1& form = *f.form;
    form.English->trigger();
    EXPECT_EQ(f.state.UiLanguage, 0);
    EXPECT_TRUE(form.English->isChecked());
    EXPECT_FALSE(form.Japan->isChecked());
    expect_menu_captions(form, 2);

    form.Japan->trigger();
    EXPECT_EQ(f.state.UiLanguage, 1);
    EXPECT_TRUE(form.Japan->isChecked());
    EXPECT_FALSE(form.English->isChecked());
    // The switched Japanese captions, not the form's own.
    expect_menu_captions(form, 1);
}

TEST(Form1Language, the_client_area_keeps_its_place_and_fills_the_window_in_both_languages) {
    Form1Fixture f;
    TForm1& form = *f.form;
    const QPoint place = form.client->mapTo(&form, QPoint(0, 0));
    const QSize window = form.size();
    for (QAction* language : {form.English, form.Japan, form.English}) {
        language->trigger();
        QTest::qWait(20);
        EXPECT_EQ(form.client->mapTo(&form, QPoint(0, 0)), place);
        EXPECT_EQ(form.size(), window);
        EXPECT_EQ(form.client->geometry().bottom() + 1, form.height());
        EXPECT_EQ(form.client->size(), QSize(809, 378));
    }
}

TEST(Form1Language, choosing_the_checked_language_still_rewrites_the_captions) {
    Form1Fixture f;
    f.form->Japan->trigger();
    EXPECT_TRUE(f.form->Japan->isChecked());
    EXPECT_EQ(f.state.UiLanguage, 1);
    expect_menu_captions(*f.form, 1);
}

TEST(Form1Language, switching_touches_no_slot_caption_and_not_the_modified_flag) {
    Form1Fixture f;
    const std::string source = f.write_object("src.qxm", testing::make_grid_object("base", 2, 2));
    const std::string target = f.write_object("tgt.qxm", testing::moved_grid("smile", 2, 2, 1.0f));
    f.load_source(source);
    f.load_target(2, target);
    TForm1& form = *f.form;

    auto captions = [&form] {
        std::vector<QString> texts;
        for (int k = 0; k <= kTargetCount; ++k) {
            texts.push_back(form.labels[k]->text());
            texts.push_back(form.load_buttons[k]->text());
            if (k == 0) continue;
            texts.push_back(form.kill_buttons[k]->text());
            texts.push_back(form.key_buttons[k]->text());
            texts.push_back(form.weight_fields[k]->text());
        }
        texts.push_back(form.windowTitle());
        return texts;
    };
    const std::vector<QString> before = captions();
    ASSERT_EQ(form.load_buttons[2]->text(), "smile");

    for (int32_t modified : {0, 1}) {
        f.state.modified = modified;
        form.English->trigger();
        EXPECT_EQ(f.state.modified, modified);
        EXPECT_EQ(captions(), before);
        form.Japan->trigger();
        EXPECT_EQ(f.state.modified, modified);
        EXPECT_EQ(captions(), before);
    }
    EXPECT_TRUE(f.dialogs.all_answers_used());
}

// The configured model-data folder.

class ConfiguredFolder : public ::testing::Test {
protected:
    // Points the system-wide settings at a folder of this test.
    void SetUp() override {
        QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope,
                           QString::fromStdString(settings.path()));
    }
    void TearDown() override {
        QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope,
                           QString::fromStdString(settings.file("none")));
    }
    std::string write_configuration(const std::string& text) {
        std::filesystem::create_directories(settings.file("Halvtorn"));
        const std::string file = settings.file("Halvtorn/Shapeforge.conf");
        std::ofstream(file, std::ios::binary) << text;
        return file;
    }

    TempFolder settings;
};

TEST_F(ConfiguredFolder, value_reaches_both_folders_and_the_object_dialog) {
    const std::string file = write_configuration("[path]\nmodeldata=/srv/models/heads\n");
    const std::string folder = read_model_data_folder();
    EXPECT_EQ(folder, "/srv/models/heads");

    Form1Fixture f(folder);
    EXPECT_EQ(f.state.object_folder, "/srv/models/heads");
    EXPECT_EQ(f.state.project_folder, "/srv/models/heads");
    f.dialogs.file_answers.push_back(std::nullopt);
    f.form->slots_->SourceLoad();
    ASSERT_EQ(f.dialogs.kinds(), "open_file");
    EXPECT_EQ(f.dialogs.last().folder, "/srv/models/heads");
}

TEST_F(ConfiguredFolder, an_absent_file_or_an_empty_value_leaves_both_folders_empty) {
    EXPECT_EQ(read_model_data_folder(), "");
    // Reading creates nothing where the setting would be.
    EXPECT_TRUE(std::filesystem::is_empty(settings.path()));

    write_configuration("[path]\nmodeldata=\n");
    const std::string folder = read_model_data_folder();
    EXPECT_EQ(folder, "");
    Form1Fixture f(folder);
    EXPECT_EQ(f.state.object_folder, "");
    EXPECT_EQ(f.state.project_folder, "");
}

TEST_F(ConfiguredFolder, only_the_products_own_key_counts) {
    // An organisation-wide file is not the product's key.
    std::filesystem::create_directories(settings.path());
    std::ofstream(settings.file("Halvtorn.conf")) << "[path]\nmodeldata=/elsewhere\n";
    EXPECT_EQ(read_model_data_folder(), "");
    write_configuration("[other]\nmodeldata=/wrong/group\n");
    EXPECT_EQ(read_model_data_folder(), "");
}

TEST_F(ConfiguredFolder, keeps_a_folder_with_commas_and_non_ascii_bytes_whole) {
    write_configuration("[path]\nmodeldata=/srv/models,v2/頭\n");
    EXPECT_EQ(read_model_data_folder(), "/srv/models,v2/頭");
}

TEST_F(ConfiguredFolder, is_never_written_back) {
    const std::string file =
        write_configuration("[path]\nmodeldata=/srv/models\n; a remark of the administrator\n");
    const auto before = std::filesystem::last_write_time(file);
    {
        Form1Fixture f(read_model_data_folder());
        f.state.object_folder = "/somewhere/else";
        f.form->EnglishClick();
    }
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "[path]\nmodeldata=/srv/models\n; a remark of the administrator\n");
    EXPECT_EQ(std::filesystem::last_write_time(file), before);
    std::vector<std::string> entries;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(settings.path()))
        entries.push_back(entry.path().filename().string());
    EXPECT_EQ(entries, (std::vector<std::string>{"Halvtorn", "Shapeforge.conf"}));
}

}  // namespace
}  // namespace warpkit
