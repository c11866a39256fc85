#include "controls/form3.h"

#include <QCursor>
#include <QFocusEvent>
#include <QFont>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <limits>

#include "base/editor_state.h"
#include "controls/push_panel.h"
#include "morph/decimal.h"
#include "session/session_edits.h"

namespace warpkit {

namespace {

constexpr int kClientWidth = 273;
constexpr int kClientHeight = 107;
constexpr int kSpinTickMs = 10;
constexpr int kPlacementOffset = 32;

// Focus that comes and goes with the whole window (another program activated, a message box
// or a context menu opened) is not the user moving between the dialog's controls.
bool moves_between_controls(const QEvent* event) {
    const auto reason = static_cast<const QFocusEvent*>(event)->reason();
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

}  // namespace

TForm3::TForm3(EditorState& state, UserDialogs& messages, QWidget* main_window)
    : QDialog(main_window, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      state_(state),
      messages_(messages),
      main_window_(main_window) {
    setObjectName("Form3");
    setFixedSize(kClientWidth, kClientHeight);
    QFont font("Noto Sans CJK JP");
    font.setPixelSize(12);
    setFont(font);
    setWindowTitle(QString::fromUtf8(texts::kMaxFrameCaption.ja));

    // Created in tab order: Cancel, OK, then the group box with the field.
    button2_ = new QPushButton(QString::fromUtf8(texts::kCancel), this);
    button2_->setObjectName("Button2");
    button2_->setGeometry(162, 82, 76, 20);
    button1_ = new QPushButton(QString::fromUtf8(texts::kOk), this);
    button1_->setObjectName("Button1");
    button1_->setGeometry(39, 81, 76, 20);
    // Return in the field must not click a button behind the field's back: OK only counts
    // once the field has been left, so that its text is checked first.
    for (QPushButton* button : {button1_, button2_}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    group_box1_ = new QGroupBox(QString::fromUtf8(texts::kMaxFrameGroup.ja), this);
    group_box1_->setObjectName("GroupBox1");
    group_box1_->setGeometry(6, 15, 260, 59);
    edit1_ = new QLineEdit(group_box1_);
    edit1_->setObjectName("Edit1");
    edit1_->setGeometry(83, 24, 77, 20);
    edit1_->installEventFilter(this);

    panel4_ = new DragSpinner(group_box1_);
    panel4_->setObjectName("Panel4");
    panel4_->setGeometry(161, 25, DragSpinner::kWidth, DragSpinner::kHeight);
    panel4_->image()->setObjectName("Image4");

    setTabOrder(button2_, button1_);
    setTabOrder(button1_, edit1_);

    timer1_ = new QTimer(this);
    timer1_->setObjectName("Timer1");

    connect(button1_, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(button2_, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(panel4_, &PushPanel::pressed, this, [this](Qt::MouseButton b) { SpinDown(b); });
    connect(panel4_, &PushPanel::moved, this, [this] { SpinMove(); });
    connect(panel4_, &PushPanel::released, this, [this] { SpinUp(); });
    connect(timer1_, &QTimer::timeout, this, [this] { TimerIvent(); });
}

void TForm3::run(FrameDialogMode mode) {
    mode_ = mode;
    exec();
}

std::string TForm3::field_text() const {
    return edit1_->text().toStdString();
}

void TForm3::refuse(const MessageText& message, const std::string& text) {
    const int32_t language = state_.UiLanguage;
    messages_.warn(shown_message(language, message, text.c_str()));
}

void TForm3::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    OnActive();
}

void TForm3::hideEvent(QHideEvent* event) {
    // Closed in the middle of a drag (by a key or the window system): end it, or the cursor
    // would stay hidden and the timer keep pulling the pointer.
    if (spinning_) SpinUp();
    QDialog::hideEvent(event);
}

void TForm3::OnActive() {
    if (main_window_ != nullptr) {
        move(main_window_->frameGeometry().topLeft() + QPoint(kPlacementOffset, kPlacementOffset));
    }
    const int32_t language = state_.UiLanguage;
    if (maximum_mode()) {
        setWindowTitle(QString::fromUtf8(pick(language, texts::kMaxFrameCaption)));
        group_box1_->setTitle(QString::fromUtf8(pick(language, texts::kMaxFrameGroup)));
        edit1_->setText(QString::number(state_.max_frame));
    } else {
        setWindowTitle(QString::fromUtf8(pick(language, texts::kJumpFrameCaption)));
        group_box1_->setTitle(QString::fromUtf8(pick(language, texts::kJumpFrameGroup)));
        edit1_->setText(QString::number(state_.current_frame));
    }
    // Every showing starts on the first control of the tab order, so the field is entered
    // (and its entry text taken) only when the user goes there.
    entry_text_ = edit1_->text();
    button2_->setFocus(Qt::OtherFocusReason);
}

void TForm3::Button1Click() {
    const std::string text = field_text();
    const std::optional<int32_t> value = strict_integer(text);
    if (!value) {
        refuse(texts::kWholeNumberRefusal, text);
        return;
    }
    if (maximum_mode()) {
        // The timeline divides by the maximum frame.
        if (*value < 1) {
            refuse(texts::kMaxFrameRefusal, text);
            return;
        }
        set_max_frame(state_, *value);
    } else {
        set_current_frame(state_, *value);
    }
    done(QDialog::Accepted);
}

void TForm3::Button2Click() {
    done(QDialog::Accepted);
}

void TForm3::EditEnter() {
    entry_text_ = edit1_->text();
}

void TForm3::EditExit() {
    if (!digits_and_points(field_text())) edit1_->setText(entry_text_);
    if (!maximum_mode() && tolerant_decimal(field_text()) > state_.max_frame) {
        edit1_->setText(QString::number(state_.max_frame));
    }
}

bool TForm3::event(QEvent* event) {
    // A message box or another window has taken the mouse: the spinner's release will not come
    // here, so the drag ends now, as that release would end it.
    if (event->type() == QEvent::WindowBlocked || event->type() == QEvent::WindowDeactivate) {
        if (spinning_) SpinUp();
    }
    return QDialog::event(event);
}

bool TForm3::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edit1_) {
        if (event->type() == QEvent::FocusIn && moves_between_controls(event)) EditEnter();
        if (event->type() == QEvent::FocusOut && moves_between_controls(event)) EditExit();
    }
    return QDialog::eventFilter(watched, event);
}

void TForm3::SpinDown(Qt::MouseButton button) {
    if (button == Qt::RightButton) return;
    if (spinning_) {
        // A second button pressed during a drag must not hide the cursor a second time; a
        // press of this button alone means the drag's release went elsewhere unseen.
        if (QGuiApplication::mouseButtons() != Qt::MouseButtons(button)) return;
        SpinUp();
    }
    // The field is checked only when it is left, and a press here does not take the focus.
    const std::string text = field_text();
    const std::optional<int32_t> value = whole_percent(text);
    if (!value) {
        refuse(texts::kNumberRefusal, text);
        return;
    }
    timer1_->start(kSpinTickMs);
    spinning_ = true;
    anchor_ = QCursor::pos();
    QGuiApplication::setOverrideCursor(Qt::BlankCursor);
    spin_value_ = *value;
    panel4_->press_look();
}

void TForm3::SpinMove() {
    if (!spinning_) return;
    const int dy = QCursor::pos().y() - anchor_.y();
    if (dy > 0 && spin_value_ > std::numeric_limits<int32_t>::min()) --spin_value_;
    if (dy < 0 && spin_value_ < std::numeric_limits<int32_t>::max()) ++spin_value_;
    if (!maximum_mode() && spin_value_ > state_.max_frame) spin_value_ = state_.max_frame;
    // The timeline needs at least one frame; a jump may go to frame 0.
    const int32_t lowest = maximum_mode() ? 1 : 0;
    if (spin_value_ < lowest) spin_value_ = lowest;
    edit1_->setText(QString::number(spin_value_));
    repaint();
}

void TForm3::TimerIvent() {
    if (spinning_) QCursor::setPos(anchor_);
}

void TForm3::SpinUp() {
    if (!spinning_) return;
    timer1_->stop();
    QCursor::setPos(anchor_);
    spinning_ = false;
    QGuiApplication::restoreOverrideCursor();
    panel4_->release_look();
}

}  // namespace warpkit
