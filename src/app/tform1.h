#pragma once
// The main window: owns the widgets at their pixel places, the menu and the timers, and wires
// events to the command modules. The rules live in those modules and in the core.
#include <QMainWindow>
#include <QPoint>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "base/editor_state.h"
#include "session/user_dialogs.h"

class QAction;
class QActionGroup;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;
class QTranslator;

namespace warpkit {

class GlView;
class PushPanel;
class DragSpinner;
class EditHistory;
class KeyMarkStrip;
class SlotCommands;
class MorphController;
class TimelineController;
class ViewController;
class ProjectCommands;
class SpinnerDrag;
class ObjectFileWatch;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 809;
    static constexpr int kClientHeight = 378;

    // `configured_folder` is the model-data folder read at start-up (empty for none).
    TForm1(EditorState& state, UserDialogs& dialogs, const std::string& configured_folder);
    ~TForm1() override;

    EditorState& state() { return state_; }
    UserDialogs& dialogs() { return dialogs_; }

    // The full synchronous redraw of the preview.
    void DrawScene();
    // The one blend-and-redraw routine: 0 frame mode, 1..8 preview of that target at percent.
    void scroll_go(int target, int percent);
    // Blends the loaded targets at their fields' weights and redraws.
    void reblend_current();
    // Brings the load/kill/field/spinner enabled states and the load captions in line with
    // the slots (key captions and field texts are set by the commands that know them).
    void refresh_slot_rows();
    // The knob's read-out ("12 / 100") and place.
    void refresh_timeline();
    // The key marks below the track, after keys, the maximum frame, the slots or the edited
    // field changed.
    void refresh_key_marks();
    // The shared drag anchor and the drag timer of the view and the spinners.
    QPoint anchor;
    void timer_ivent();
    // Ends the drag under way (knob, spinner or view) as its release where the pointer was last
    // seen would, but opening no dialog: a message box or another window has taken the mouse,
    // so the release will not come here.
    void end_drags();
    // Called by each press: a press of `button` alone while a drag still runs means that drag's
    // release went elsewhere unseen, so it is ended before the press starts anything.
    void end_stale_drags(Qt::MouseButton button);

    // Runs a command that reads files through the one guard (session/file_command_guard.h);
    // when it was stopped, the window is shown again as the session holds it. True when the
    // command ran to its end. `let_go`: see run_file_command().
    bool run_reading_command(const std::function<void()>& command,
                             const std::function<void()>& let_go = {});

    // A short line below the preview that tells of something done unasked (an object read
    // again after its file changed); it goes by itself after a few seconds.
    void show_notice(const QString& text);

    // Language switch.
    void JapanClick();
    void EnglishClick();

    // Widgets, named as the forms name them.
    QWidget* client = nullptr;
    GlView* view = nullptr;
    QFrame* Panel10 = nullptr;
    QFrame* Panel11 = nullptr;
    QFrame* Panel12 = nullptr;
    QFrame* Panel13 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    std::array<QLabel*, kTargetCount + 1> labels{};
    std::array<QPushButton*, kTargetCount + 1> load_buttons{};    // Button0..Button8
    std::array<QPushButton*, kTargetCount + 1> kill_buttons{};    // [1..8]: Kill1..Kill8
    std::array<QPushButton*, kTargetCount + 1> key_buttons{};     // [1..8]: Key1..Key8
    std::array<QLineEdit*, kTargetCount + 1> weight_fields{};     // [1..8]: Edit1..Edit8
    std::array<DragSpinner*, kTargetCount + 1> spinner_panels{};  // [1..8]: Panel1..Panel8

    QFrame* Panel9 = nullptr;
    PushPanel* FrameSlide = nullptr;
    PushPanel* First = nullptr;
    PushPanel* Back = nullptr;
    PushPanel* Fore = nullptr;
    PushPanel* Last = nullptr;
    QLabel* FirstImage = nullptr;
    QLabel* BackImageA = nullptr;
    QLabel* BackImageB = nullptr;
    QLabel* ForeImageA = nullptr;
    QLabel* ForeImageB = nullptr;
    QLabel* LastImage = nullptr;
    KeyMarkStrip* KeyMarks = nullptr;  // ticks below the track where keys lie
    QLabel* Notice = nullptr;          // show_notice(); hidden when there is nothing to tell
    QTimer* notice_timer = nullptr;

    QTimer* Timer1 = nullptr;  // drag timer of the view and the spinners
    QTimer* Timer2 = nullptr;  // playback tick

    QMenu* file1 = nullptr;
    QMenu* CONFIG1 = nullptr;
    QMenu* Quality = nullptr;
    QMenu* Lang = nullptr;
    QMenu* PlaySpeed = nullptr;
    QMenu* HELP = nullptr;
    QAction* OPEN1 = nullptr;
    QAction* SAVEPROJECT1 = nullptr;
    QAction* LOADPROJECT1 = nullptr;
    QAction* N1 = nullptr;
    QAction* QUIT1 = nullptr;
    QAction* Wire = nullptr;
    QAction* Flat = nullptr;
    QAction* Smooth = nullptr;
    QAction* Color = nullptr;
    QAction* Japan = nullptr;
    QAction* English = nullptr;
    QAction* PlayMax = nullptr;  // playback speeds: as fast as possible, 24, 30, 60 a second
    QAction* Play24 = nullptr;
    QAction* Play30 = nullptr;
    QAction* Play60 = nullptr;
    QAction* ABOUT = nullptr;
    QAction* xxx1 = nullptr;   // hidden, Ctrl+D
    QAction* zzz1 = nullptr;   // hidden, Ctrl+C
    QAction* UNDO1 = nullptr;  // hidden, Ctrl+Z
    QAction* REDO1 = nullptr;  // hidden, Ctrl+Shift+Z and Ctrl+Y

    // Command modules, one per subsystem.
    SlotCommands* slots_ = nullptr;
    MorphController* morph = nullptr;
    SpinnerDrag* spinners = nullptr;
    TimelineController* timeline = nullptr;
    ViewController* view_control = nullptr;
    ProjectCommands* projects = nullptr;
    EditHistory* history = nullptr;
    ObjectFileWatch* object_files = nullptr;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void build_preview();
    void build_slot_rows();
    void build_timeline();
    void build_menu();
    void apply_menu_captions(int which);  // 0 start, 1 Japanese, 2 English
    // Qt's own texts (the standard buttons of message boxes, the file and colour dialogs) in
    // the interface language: Qt's Japanese translation is installed while Japanese is chosen.
    void follow_language_in_qt_texts();

    EditorState& state_;
    UserDialogs& dialogs_;
    std::unique_ptr<QTranslator> qt_japanese_;
};

}  // namespace warpkit
