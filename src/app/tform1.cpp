#include "app/tform1.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QCursor>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>
#include <QTranslator>
#include <algorithm>

#include "app/edit_history.h"
#include "app/morph_controller.h"
#include "app/object_file_watch.h"
#include "app/project_commands.h"
#include "app/slot_commands.h"
#include "app/spinner_drag.h"
#include "app/timeline_controller.h"
#include "app/view_controller.h"
#include "base/display_text.h"
#include "base/texts.h"
#include "controls/key_mark_strip.h"
#include "controls/push_panel.h"
#include "model/qxm_reader.h"
#include "morph/frame_steps.h"
#include "morph/key_marks.h"
#include "session/file_command_guard.h"
#include "view/gl_view.h"

namespace warpkit {

namespace {

struct Rect {
    int left, top, width, height;
};

// Slot rows of GroupBox1: tops per row (source, targets 1..8) and the columns that differ.
constexpr int kLabelTop[9] = {24, 55, 87, 120, 152, 184, 216, 248, 280};
constexpr int kLoadTop[9] = {21, 51, 83, 114, 147, 180, 212, 243, 276};
constexpr int kKillTop[9] = {0, 51, 83, 115, 147, 180, 212, 244, 276};
constexpr int kEditTop[9] = {0, 52, 84, 116, 148, 180, 212, 244, 276};
constexpr int kSpinTop[9] = {0, 52, 85, 117, 149, 181, 212, 245, 277};
constexpr int kKeyTop[9] = {0, 51, 82, 115, 147, 180, 212, 243, 276};

int label_left(int k) {
    return k == 1 ? 8 : 9;
}
int load_left(int k) {
    return k >= 4 ? 104 : 105;
}
int kill_left(int k) {
    return k == 7 ? 243 : 242;
}
int edit_left(int k) {
    return k == 3 ? 268 : (k == 8 ? 270 : 269);
}
int spin_left(int k) {
    return k == 1 ? 328 : 329;
}
int key_left(int k) {
    return (k == 2 || k >= 6) ? 355 : 356;
}

QFrame* make_strip(QWidget* parent, const char* name, Rect r, bool bevel) {
    auto* frame = new QFrame(parent);
    frame->setObjectName(name);
    frame->setGeometry(r.left, r.top, r.width, r.height);
    frame->setFrameStyle(bevel ? (QFrame::Panel | QFrame::Raised) : QFrame::NoFrame);
    frame->setAutoFillBackground(true);
    return frame;
}

// A load button's caption: the object name, elided in the middle when it is wider than the
// button's text area (wide letters can make 15 bytes wider than the button), with the whole
// name as the tooltip; "LOAD" with no tooltip for an empty slot.
void show_slot_caption(QPushButton* button, bool loaded, const QString& name) {
    if (!loaded) {
        button->setText(texts::kLoad);
        button->setToolTip(QString());
        return;
    }
    QStyleOptionButton option;
    option.initFrom(button);
    const int room =
        button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width() -
        2 * button->style()->pixelMetric(QStyle::PM_ButtonMargin, &option, button);
    QString caption = button->fontMetrics().elidedText(name, Qt::ElideMiddle, room);
    // An ampersand in a name is a letter, not the mark of a shortcut key.
    button->setText(caption.replace('&', "&&"));
    button->setToolTip(name);
}

QLabel* add_picture(PushPanel* panel, const char* name, const QPixmap& picture, int left, int top) {
    auto* label = panel->addPicture(picture, QPoint(left, top));
    label->setObjectName(name);
    return label;
}

}  // namespace

TForm1::TForm1(EditorState& state, UserDialogs& dialogs, const std::string& configured_folder)
    : state_(state), dialogs_(dialogs) {
    setObjectName("Form1");
    setWindowTitle(texts::kAppTitle);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    QFont font = this->font();
    font.setFamily("sans-serif");
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    setFont(font);

    client = new QWidget(this);
    client->setObjectName("client");
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);

    // Start values of the session that the window itself owns.
    state_.current_frame = 0;
    state_.max_frame = 100;
    state_.playing_forward = 0;
    state_.playing_backward = 0;
    state_.ShadingMode = kFlat;
    state_.modified = 0;
    state_.drag_mode = 0;
    state_.UiLanguage = 1;
    state_.object_folder = configured_folder;
    state_.project_folder = configured_folder;

    qt_japanese_ = std::make_unique<QTranslator>();
    const QString translations = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!qt_japanese_->load("qtbase_ja", translations)) {
        qWarning(
            "Qt's Japanese texts (qtbase_ja) are missing in %s: message buttons and file "
            "dialogs stay in English",
            qPrintable(translations));
    }
    follow_language_in_qt_texts();

    build_preview();
    build_slot_rows();
    build_timeline();
    build_menu();

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(100);
    connect(Timer1, &QTimer::timeout, this, &TForm1::timer_ivent);
    Timer2 = new QTimer(this);
    Timer2->setObjectName("Timer2");
    Timer2->setInterval(1);

    slots_ = new SlotCommands(*this);
    morph = new MorphController(*this);
    spinners = new SpinnerDrag(*this);
    timeline = new TimelineController(*this);
    view_control = new ViewController(*this);
    projects = new ProjectCommands(*this);
    history = new EditHistory(*this);
    object_files = new ObjectFileWatch(*this);

    setFixedSize(sizeHint());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desktop = screen->availableGeometry();
        move(desktop.center() - QPoint(width() / 2, height() / 2));
    }
}

TForm1::~TForm1() = default;

void TForm1::build_preview() {
    // The preview covers the region the controls leave free, left of the slot group between
    // the strips at the top and the bottom; it draws on a native surface, which would lie over
    // any control it overlapped.
    view = new GlView(state_, client);
    view->setGeometry(0, 27, 334, 280);
    view->on_error = [this](const std::string& message) { dialogs_.plain(message); };

    Panel10 = make_strip(client, "Panel10", {-51, -2, 883, 29}, true);
    Panel13 = make_strip(client, "Panel13", {-72, -25, 883, 29}, true);
    Panel11 = make_strip(client, "Panel11", {-34, 307, 883, 100}, true);
    Panel12 = make_strip(client, "Panel12", {744, 5, 94, 375}, false);
}

void TForm1::build_slot_rows() {
    GroupBox1 = new QGroupBox(client);
    GroupBox1->setObjectName("GroupBox1");
    GroupBox1->setGeometry(334, 9, 466, 311);
    GroupBox1->setAutoFillBackground(true);

    for (int k = 0; k <= kTargetCount; ++k) {
        auto* label = new QLabel(GroupBox1);
        label->setObjectName(QString("Label%1").arg(k + 1));
        label->setText(k == 0 ? texts::kSourceLabel
                              : QString::fromStdString(format_text(texts::kTargetLabel, k)));
        label->setGeometry(label_left(k), kLabelTop[k], k == 0 ? 68 : 74, 13);
        // The labels size themselves to their text, as the fonts here run wider.
        label->adjustSize();
        labels[k] = label;

        auto* load = new QPushButton(texts::kLoad, GroupBox1);
        load->setObjectName(QString("Button%1").arg(k));
        load->setGeometry(load_left(k), kLoadTop[k], 137, 20);
        load->setEnabled(k == 0);
        load_buttons[k] = load;
        if (k == 0) continue;

        auto* kill = new QPushButton(texts::kKill, GroupBox1);
        kill->setObjectName(QString("Kill%1").arg(k));
        kill->setGeometry(kill_left(k), kKillTop[k], 24, 20);
        kill->setEnabled(false);
        kill_buttons[k] = kill;

        auto* edit = new QLineEdit("0", GroupBox1);
        edit->setObjectName(QString("Edit%1").arg(k));
        edit->setGeometry(edit_left(k), kEditTop[k], 58, 21);
        edit->setEnabled(false);
        edit->setMaxLength(255);
        weight_fields[k] = edit;

        auto* spinner = new DragSpinner(GroupBox1);
        spinner->setObjectName(QString("Panel%1").arg(k));
        spinner->move(spin_left(k), kSpinTop[k]);
        spinner->setEnabled(false);
        spinner_panels[k] = spinner;

        auto* key = new QPushButton(texts::kMakeKey, GroupBox1);
        key->setObjectName(QString("Key%1").arg(k));
        key->setGeometry(key_left(k), kKeyTop[k], 100, 20);
        key->setEnabled(false);
        key_buttons[k] = key;
    }
}

void TForm1::build_timeline() {
    Panel9 = new QFrame(client);
    Panel9->setObjectName("Panel9");
    Panel9->setGeometry(-3, 349, 812, 20);
    Panel9->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel9->setAutoFillBackground(true);

    FrameSlide = new PushPanel(client);
    FrameSlide->setObjectName("FrameSlide");
    FrameSlide->setGeometry(4, 352, 103, 14);
    FrameSlide->setCaption("0 / 100");

    auto make_push = [this](const char* name, int left) {
        auto* panel = new PushPanel(client);
        panel->setObjectName(name);
        panel->setGeometry(left, 330, 98, 16);
        return panel;
    };
    First = make_push("First", 156);
    FirstImage = add_picture(First, "FirstImage", first_picture(), 41, 1);
    Back = make_push("Back", 256);
    BackImageA = add_picture(Back, "BackImageA", back_picture(), 41, 0);
    BackImageB = add_picture(Back, "BackImageB", back_playing_picture(), 41, 1);
    BackImageB->hide();
    Fore = make_push("Fore", 357);
    ForeImageA = add_picture(Fore, "ForeImageA", fore_picture(), 41, 0);
    ForeImageB = add_picture(Fore, "ForeImageB", fore_playing_picture(), 41, 1);
    ForeImageB->hide();
    Last = make_push("Last", 457);
    LastImage = add_picture(Last, "LastImage", last_picture(), 41, 0);

    // Below the track, on the bottom strip's face.
    KeyMarks = new KeyMarkStrip(client);
    KeyMarks->setObjectName("KeyMarks");
    KeyMarks->setGeometry(0, 369, kClientWidth, kClientHeight - 369);
    KeyMarks->set_tip_text([this](const KeyTick& tick) {
        return QString::fromStdString(key_tick_tip(state_, tick));
    });

    // On the bottom strip's face between the preview and the timeline buttons.
    Notice = new QLabel(client);
    Notice->setObjectName("Notice");
    Notice->setGeometry(6, 310, 326, 17);
    Notice->setTextFormat(Qt::PlainText);
    Notice->hide();
    notice_timer = new QTimer(this);
    notice_timer->setSingleShot(true);
    notice_timer->setInterval(6000);
    connect(notice_timer, &QTimer::timeout, Notice, &QLabel::hide);
}

void TForm1::show_notice(const QString& text) {
    // the whole text stays in the tooltip when a long file name does not fit
    Notice->setText(Notice->fontMetrics().elidedText(text, Qt::ElideMiddle, Notice->width()));
    Notice->setToolTip(text);
    Notice->show();
    Notice->raise();
    notice_timer->start();
}

void TForm1::build_menu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName("MainMenu1");
    auto action = [this](QMenu* menu, const char* name, QKeySequence shortcut = {}) {
        auto* item = new QAction(this);
        item->setObjectName(name);
        if (!shortcut.isEmpty()) item->setShortcut(shortcut);
        if (menu) menu->addAction(item);
        return item;
    };
    file1 = bar->addMenu(QString());
    file1->setObjectName("file1");
    OPEN1 = action(file1, "OPEN1", QKeySequence("Ctrl+N"));
    SAVEPROJECT1 = action(file1, "SAVEPROJECT1", QKeySequence("Ctrl+S"));
    LOADPROJECT1 = action(file1, "LOADPROJECT1", QKeySequence("Ctrl+L"));
    N1 = file1->addSeparator();
    N1->setObjectName("N1");
    N1->setEnabled(false);
    QUIT1 = action(file1, "QUIT1", QKeySequence("Ctrl+Q"));

    CONFIG1 = bar->addMenu(QString());
    CONFIG1->setObjectName("CONFIG1");
    Quality = CONFIG1->addMenu(QString());
    Quality->setObjectName("Quality");
    Wire = action(Quality, "Wire");
    Flat = action(Quality, "Flat");
    Smooth = action(Quality, "Smooth");
    Color = action(CONFIG1, "Color");
    // Radio items of one group, the first checked.
    auto radio_group = [this](std::initializer_list<QAction*> items) {
        auto* group = new QActionGroup(this);
        group->setExclusive(true);
        for (QAction* item : items) {
            item->setCheckable(true);
            group->addAction(item);
        }
        (*items.begin())->setChecked(true);
    };
    Lang = CONFIG1->addMenu(QString());
    Lang->setObjectName("Lang");
    Japan = action(Lang, "Japan");
    English = action(Lang, "English");
    radio_group({Japan, English});
    connect(Japan, &QAction::triggered, this, &TForm1::JapanClick);
    connect(English, &QAction::triggered, this, &TForm1::EnglishClick);
    PlaySpeed = CONFIG1->addMenu(QString());
    PlaySpeed->setObjectName("PlaySpeed");
    PlayMax = action(PlaySpeed, "PlayMax");
    Play24 = action(PlaySpeed, "Play24");
    Play30 = action(PlaySpeed, "Play30");
    Play60 = action(PlaySpeed, "Play60");
    radio_group({PlayMax, Play24, Play30, Play60});

    HELP = bar->addMenu(QString());
    HELP->setObjectName("HELP");
    ABOUT = action(HELP, "ABOUT");

    // Never shown; reached only by their shortcuts, so they belong to the window.
    xxx1 = action(nullptr, "xxx1", QKeySequence("Ctrl+D"));
    xxx1->setText("xxx ");
    zzz1 = action(nullptr, "zzz1", QKeySequence("Ctrl+C"));
    zzz1->setText("zzz");
    addAction(xxx1);
    addAction(zzz1);
    UNDO1 = action(nullptr, "UNDO1", QKeySequence("Ctrl+Z"));
    REDO1 = action(nullptr, "REDO1");
    REDO1->setShortcuts({QKeySequence("Ctrl+Shift+Z"), QKeySequence("Ctrl+Y")});
    addAction(UNDO1);
    addAction(REDO1);

    // Japanese captions stand taller than English ones; a menu bar of one height for both
    // keeps the client area in its place when the language is switched.
    int height = 0;
    for (int which : {2, 1, 0}) {
        apply_menu_captions(which);
        height = std::max(height, bar->sizeHint().height());
    }
    bar->setFixedHeight(height);
}

void TForm1::apply_menu_captions(int which) {
    for (int i = 0; i < texts::kMenuCaptionCount; ++i) {
        const texts::MenuCaption& caption = texts::kMenuCaptions[i];
        const char* text = which == 0 ? caption.at_start : (which == 1 ? caption.ja : caption.en);
        if (auto* item = findChild<QAction*>(caption.item)) {
            item->setText(QString::fromUtf8(text));
        } else if (auto* menu = findChild<QMenu*>(caption.item)) {
            menu->setTitle(QString::fromUtf8(text));
        }
    }
}

void TForm1::JapanClick() {
    Japan->setChecked(true);
    state_.UiLanguage = 1;
    apply_menu_captions(1);
    follow_language_in_qt_texts();
}

void TForm1::EnglishClick() {
    English->setChecked(true);
    state_.UiLanguage = 0;
    apply_menu_captions(2);
    follow_language_in_qt_texts();
}

void TForm1::follow_language_in_qt_texts() {
    // Installed once at most: Qt keeps a translator installed twice twice.
    QCoreApplication::removeTranslator(qt_japanese_.get());
    if (state_.japanese() && !qt_japanese_->isEmpty()) {
        QCoreApplication::installTranslator(qt_japanese_.get());
    }
}

bool TForm1::run_reading_command(const std::function<void()>& command,
                                 const std::function<void()>& let_go) {
    if (run_file_command(dialogs_, state_.UiLanguage, command, let_go)) return true;
    refresh_slot_rows();
    refresh_timeline();
    refresh_key_marks();
    DrawScene();
    return false;
}

void TForm1::DrawScene() {
    view->DrawScene();
}

void TForm1::scroll_go(int target, int percent) {
    morph->scroll_go(target, percent);
}

void TForm1::reblend_current() {
    morph->reblend_current();
}

void TForm1::refresh_slot_rows() {
    const bool source = state_.source_loaded();
    const auto name_of = [this](int k) {
        return QString::fromStdString(display_text(state_.slots[k].name));
    };
    show_slot_caption(load_buttons[0], source, name_of(0));
    for (int k = 1; k <= kTargetCount; ++k) {
        const bool loaded = source && state_.target_loaded(k);
        load_buttons[k]->setEnabled(source);
        show_slot_caption(load_buttons[k], loaded, name_of(k));
        // The field goes first: a focused control that is disabled hands the focus on, and it
        // must not pass through the field being emptied.
        weight_fields[k]->setEnabled(loaded);
        spinner_panels[k]->setEnabled(loaded);
        kill_buttons[k]->setEnabled(loaded);
        if (!loaded) {
            key_buttons[k]->setEnabled(false);
            key_buttons[k]->setText(texts::kMakeKey);
        }
    }
    if (morph != nullptr) morph->forget_empty_slots();
    refresh_key_marks();
    // a file just read is watched from what it held when it was read
    if (object_files != nullptr) object_files->look_at_files();
}

void TForm1::refresh_timeline() {
    FrameSlide->setCaption(QString("%1 / %2").arg(state_.current_frame).arg(state_.max_frame));
    FrameSlide->move(knob_left(state_.current_frame, state_.max_frame), FrameSlide->y());
}

void TForm1::refresh_key_marks() {
    KeyMarks->show_marks(key_marks(state_, morph != nullptr ? morph->focused_field() : 0));
}

void TForm1::timer_ivent() {
    if (state_.drag_mode != 0) QCursor::setPos(anchor);
}

void TForm1::end_drags() {
    if (timeline == nullptr) return;  // still being built
    timeline->FrameSlideLost();
    spinners->quit_spin();
    view_control->viewMup();
}

void TForm1::end_stale_drags(Qt::MouseButton button) {
    if (QGuiApplication::mouseButtons() == Qt::MouseButtons(button)) end_drags();
}

bool TForm1::event(QEvent* event) {
    if (event->type() == QEvent::WindowBlocked || event->type() == QEvent::WindowDeactivate) {
        end_drags();
    }
    return QMainWindow::event(event);
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (projects->QuitApp()) {
        event->accept();
    } else {
        event->ignore();
    }
}

void TForm1::keyPressEvent(QKeyEvent* event) {
    if (!view_control->FormKeyDown(event->key())) QMainWindow::keyPressEvent(event);
}

}  // namespace warpkit
