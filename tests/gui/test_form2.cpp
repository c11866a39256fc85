// The object selection dialog driven as a user would: what it shows, what each way of
// leaving it hands back, and where it opens.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <functional>
#include <tuple>
#include <vector>

#include "controls/form2.h"

namespace warpkit {
namespace {

constexpr int32_t kJapanese = 1;
constexpr int32_t kEnglish = 0;
const char* const kSourcePrompt = "Select Source Object";

ObjectEntry entry(const std::string& name, int32_t vertices, int32_t triangles) {
    ObjectEntry e;
    e.name = name;
    e.vertex_count = vertices;
    e.triangle_count = triangles;
    return e;
}

ObjectTable three_objects() {
    ObjectTable table;
    table.objects = {entry("head", 1234, 2400), entry("body", 56, 108), entry("tail", 1234567, 7)};
    return table;
}

// What the dialog looked like while it was open.
struct Seen {
    QString info;
    QString caption;
    QStringList names;
    int selected_items = -1;
    QPoint position;
};

Seen look_at(const TForm2& form) {
    Seen seen;
    seen.info = form.StaticText1->text();
    seen.caption = form.windowTitle();
    for (int i = 0; i < form.ListBox1->count(); ++i) seen.names << form.ListBox1->item(i)->text();
    seen.selected_items = static_cast<int>(form.ListBox1->selectedItems().size());
    seen.position = form.pos();
    return seen;
}

void click_name(TForm2& form, int row) {
    QListWidget* list = form.ListBox1;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(row)).center());
}

class Form2Test : public ::testing::Test {
protected:
    void SetUp() override {
        main_window.resize(400, 300);
        main_window.move(100, 150);
        main_window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&main_window));
    }

    // Opens the dialog with `table`, lets `act` play the user once it is shown, and returns
    // what choose() handed back. Should `act` leave the dialog open, it is closed by force so
    // that a failing test cannot hang.
    int32_t run(const ObjectTable& table, int32_t language, const std::function<void()>& act,
                const char* prompt = kSourcePrompt) {
        QTimer::singleShot(0, &form, [this, act] {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
            seen = look_at(form);
            act();
            if (form.isVisible()) {
                ADD_FAILURE() << "the dialog was left open";
                form.done(QDialog::Rejected);
            }
        });
        return form.choose(table, prompt, language);
    }

    QWidget main_window;
    TForm2 form{&main_window};
    Seen seen;
};

TEST_F(Form2Test, is_laid_out_as_the_form_defines) {
    EXPECT_EQ(form.objectName(), "Form2");
    EXPECT_EQ(form.size(), QSize(250, 228));
    EXPECT_EQ(form.SelectedIndex, -1);
    const Qt::WindowFlags no_buttons =
        Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint;
    EXPECT_FALSE(form.windowFlags() & no_buttons);
    EXPECT_EQ(form.font().family(), "Noto Sans CJK JP");
    EXPECT_EQ(form.font().pixelSize(), 12);

    struct Expected {
        const char* name;
        QRect geometry;
    };
    const Expected children[] = {{"StaticText1", QRect(5, 7, 241, 42)},
                                 {"ListBox1", QRect(4, 60, 134, 161)},
                                 {"Button1", QRect(156, 103, 80, 22)},
                                 {"Button2", QRect(155, 142, 80, 22)},
                                 {"GroupBox1", QRect(146, 78, 99, 106)}};
    for (const Expected& child : children) {
        auto* widget = form.findChild<QWidget*>(child.name);
        ASSERT_NE(widget, nullptr) << child.name;
        const QRect in_form(widget->mapTo(&form, QPoint(0, 0)), widget->size());
        EXPECT_EQ(in_form, child.geometry) << child.name;
    }
    EXPECT_EQ(form.StaticText1->alignment(), Qt::AlignCenter);
    EXPECT_EQ(form.StaticText1->frameShadow(), QFrame::Sunken);
    EXPECT_TRUE(form.GroupBox1->title().isEmpty());
    EXPECT_EQ(form.Button1->text(), "OK");
    EXPECT_EQ(form.Button2->text(), "Cancel");
    for (QPushButton* button : {form.Button1, form.Button2}) {
        EXPECT_FALSE(button->isDefault());
        EXPECT_FALSE(button->autoDefault());
    }
    EXPECT_EQ(form.ListBox1->selectionMode(), QAbstractItemView::SingleSelection);
}

TEST_F(Form2Test, opens_on_the_first_object_with_no_name_highlighted_in_english) {
    ObjectTable table = three_objects();
    int item_height = 0;
    const int32_t result = run(table, kEnglish, [&] {
        item_height = form.ListBox1->visualItemRect(form.ListBox1->item(1)).height();
        form.Button2->click();
    });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(seen.caption, "Select Object");
    EXPECT_EQ(seen.info, QString::fromUtf8("Select Source Object\nObject Name：head\n"
                                           "Vertices：  1234/Triangles：  2400"));
    EXPECT_EQ(seen.names, QStringList({"head", "body", "tail"}));
    EXPECT_EQ(seen.selected_items, 0);
    EXPECT_EQ(item_height, 12);
}

TEST_F(Form2Test, a_clicked_name_shows_its_data_in_japanese_and_is_handed_back_on_ok) {
    QString info_after_click;
    int32_t index_after_click = -2;
    const int32_t result = run(
        three_objects(), kJapanese,
        [&] {
            click_name(form, 2);
            info_after_click = form.StaticText1->text();
            index_after_click = form.SelectedIndex;
            QTest::mouseClick(form.Button1, Qt::LeftButton);
        },
        "ソースオブジェクトの選択");
    EXPECT_EQ(result, 2);
    EXPECT_EQ(index_after_click, 2);
    EXPECT_EQ(seen.caption, QString::fromUtf8("オブジェクトの選択"));
    EXPECT_EQ(seen.info, QString::fromUtf8("ソースオブジェクトの選択\nオブジェクト名：head\n"
                                           "頂点数：  1234/ポリゴン数：  2400"));
    // A count wider than its field is shown in full.
    EXPECT_EQ(info_after_click, QString::fromUtf8("ソースオブジェクトの選択\nオブジェクト名：tail\n"
                                                  "頂点数：1234567/ポリゴン数：     7"));
}

TEST_F(Form2Test, ok_without_a_click_takes_the_shown_object_not_an_old_choice) {
    ObjectTable six = three_objects();
    six.objects.push_back(entry("arm", 3, 1));
    six.objects.push_back(entry("leg", 3, 1));
    six.objects.push_back(entry("foot", 3, 1));
    ASSERT_EQ(run(six, kEnglish,
                  [&] {
                      click_name(form, 5);
                      form.Button1->click();
                  }),
              5);

    // Opened again on a smaller file: the old choice is out of its range and not shown.
    const int32_t result = run(three_objects(), kEnglish, [&] { form.Button1->click(); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(seen.selected_items, 0);
    EXPECT_TRUE(seen.info.contains("Object Name：head"));
}

TEST_F(Form2Test, double_click_and_arrow_keys_choose_like_clicks) {
    EXPECT_EQ(run(three_objects(), kEnglish,
                  [&] {
                      QListWidget* list = form.ListBox1;
                      QTest::mouseDClick(list->viewport(), Qt::LeftButton, {},
                                         list->visualItemRect(list->item(1)).center());
                  }),
              1);

    QString info_after_key;
    EXPECT_EQ(run(three_objects(), kEnglish,
                  [&] {
                      click_name(form, 0);
                      QTest::keyClick(form.ListBox1, Qt::Key_Down);
                      info_after_key = form.StaticText1->text();
                      form.Button1->click();
                  }),
              1);
    EXPECT_TRUE(info_after_key.contains("Object Name：body"));
}

TEST_F(Form2Test, enter_and_escape_do_not_close_and_cancel_after_a_click_yields_nothing) {
    bool open_after_keys = false;
    EXPECT_EQ(run(three_objects(), kEnglish,
                  [&] {
                      click_name(form, 1);
                      QTest::keyClick(form.ListBox1, Qt::Key_Return);
                      QTest::keyClick(form.ListBox1, Qt::Key_Escape);
                      form.Button1->setFocus();
                      QTest::keyClick(form.Button1, Qt::Key_Enter);
                      QTest::keyClick(&form, Qt::Key_Escape);
                      QCoreApplication::processEvents();
                      open_after_keys = form.isVisible();
                      QTest::mouseClick(form.Button2, Qt::LeftButton);
                  }),
              -1);
    EXPECT_TRUE(open_after_keys);
    EXPECT_EQ(form.SelectedIndex, -1);

    // A close request from the window system is a Cancel too.
    EXPECT_EQ(run(three_objects(), kEnglish,
                  [&] {
                      click_name(form, 2);
                      form.close();
                  }),
              -1);
}

TEST_F(Form2Test, names_are_listed_decoded_unsorted_and_duplicates_by_position) {
    ObjectTable table;
    table.objects = {entry("zeta", 8, 12), entry("\x93\xaa", 8, 12),  // Shift-JIS bytes
                     entry("zeta", 30, 56)};
    const int32_t result = run(table, kEnglish, [&] {
        click_name(form, 2);
        form.Button1->click();
    });
    EXPECT_EQ(seen.names, QStringList({"zeta", QString::fromUtf8("頭"), "zeta"}));
    EXPECT_EQ(result, 2);
}

TEST_F(Form2Test, empty_table_says_so_and_hands_back_nothing) {
    const int32_t result = run(ObjectTable{}, kEnglish, [&] { form.Button1->click(); });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(seen.info, "Select Source Object\nThis file holds no object.");
    EXPECT_TRUE(seen.names.isEmpty());
}

TEST_F(Form2Test, opens_32_pixels_right_of_and_below_the_main_window) {
    run(three_objects(), kEnglish, [&] { form.Button2->click(); });
    EXPECT_EQ(seen.position, main_window.frameGeometry().topLeft() + QPoint(32, 32));

    main_window.move(420, 60);
    form.move(5, 5);
    QCoreApplication::processEvents();
    run(three_objects(), kEnglish, [&] { form.Button2->click(); });
    EXPECT_EQ(seen.position, QPoint(452, 92));
}

TEST_F(Form2Test, arrow_keys_start_at_the_first_name_on_every_opening) {
    // The second opening follows a click on Cancel, which left the focus on that button.
    for (int opening = 1; opening <= 2; ++opening) {
        int current_at_opening = -2;
        std::vector<int32_t> chosen;
        run(three_objects(), kEnglish, [&] {
            ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
            current_at_opening = form.ListBox1->currentRow();
            for (int key = 0; key < 2; ++key) {  // through the window, to what has the focus
                QTest::keyClick(form.windowHandle(), Qt::Key_Down);
                chosen.push_back(form.SelectedIndex);
            }
            QTest::mouseClick(form.Button2, Qt::LeftButton);
        });
        EXPECT_EQ(current_at_opening, -1) << opening;  // no focus frame on an unchosen name
        EXPECT_EQ(chosen, (std::vector<int32_t>{0, 1})) << opening;
    }
}

TEST_F(Form2Test, texts_too_wide_are_shrunk_and_names_elided_in_the_middle) {
    // Name bytes (none: a file without objects), the name as shown, whether it is elided.
    const std::tuple<const char*, const char*, bool> cases[] = {
        {nullptr, "", false},
        {"WWWWWWWWWWWWWWW", "WWWWWWWWWWWWWWW", true},
        {"\x82\x76\x82\x76\x82\x76\x82\x76\x82\x76\x82\x76\x82\x76", "ＷＷＷＷＷＷＷ", false}};
    for (const auto& [bytes, shown, elided] : cases) {
        ObjectTable table;
        if (bytes != nullptr) table.objects = {entry(bytes, 8, 12)};
        std::vector<InfoField::Line> lines;
        run(table, kJapanese, [&] {
            lines = form.StaticText1->fitted_lines();
            form.Button2->click();
        });
        SCOPED_TRACE(seen.info.toStdString());
        ASSERT_GE(lines.size(), 2u);
        for (const InfoField::Line& line : lines) {
            QFont font = form.StaticText1->font();
            font.setPixelSize(line.pixel_size);
            EXPECT_LE(QFontMetrics(font).horizontalAdvance(line.text),
                      form.StaticText1->contentsRect().width());
        }
        const QString name = QString::fromUtf8(shown);
        EXPECT_EQ(form.StaticText1->toolTip(), name);
        if (bytes == nullptr) {  // fixed text: whole, a little smaller
            EXPECT_EQ(lines[1].text,
                      QString::fromUtf8("このファイルにはオブジェクトがありません。"));
            EXPECT_EQ(lines[1].pixel_size, 11);
        } else {
            EXPECT_EQ(lines[1].text.contains(QChar(0x2026)), elided);
            EXPECT_EQ(lines[1].text.endsWith(name), !elided);
            EXPECT_EQ(form.ListBox1->item(0)->toolTip(), name);
        }
    }
}

}  // namespace
}  // namespace warpkit
