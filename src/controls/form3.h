#pragma once
// The frame dialog: one number field with its own spinner, which either sets the number of
// frames of the timeline (maximum mode) or jumps to a typed frame (jump mode). It changes only
// the maximum or the current frame of the session, and only through OK.
#include <QDialog>
#include <QPoint>
#include <QString>
#include <string>

#include "base/texts.h"
#include "session/user_dialogs.h"

class QGroupBox;
class QLineEdit;
class QPushButton;
class QTimer;

namespace warpkit {

class DragSpinner;
struct EditorState;

class TForm3 : public QDialog {
    Q_OBJECT
public:
    // The dialog is a child window of `main_window` (which owns it when given) and is placed
    // relative to it each time it is shown.
    TForm3(EditorState& state, UserDialogs& messages, QWidget* main_window);

    // Shows the dialog modally in `mode` and returns once it is closed.
    void run(FrameDialogMode mode);
    // The mode the next showing (or the present one) works in.
    void set_mode(FrameDialogMode mode) { mode_ = mode; }
    FrameDialogMode mode() const { return mode_; }
    bool spinning() const { return spinning_; }

    // Handlers, named after the events they serve.
    void OnActive();
    void Button1Click();
    void Button2Click();
    void EditEnter();
    void EditExit();
    void SpinDown(Qt::MouseButton button);
    void SpinMove();
    void SpinUp();
    void TimerIvent();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    bool maximum_mode() const { return mode_ == FrameDialogMode::kMaximum; }
    std::string field_text() const;
    void refuse(const MessageText& message, const std::string& text);

    EditorState& state_;
    UserDialogs& messages_;
    QWidget* main_window_;
    FrameDialogMode mode_ = FrameDialogMode::kMaximum;

    QPushButton* button1_ = nullptr;
    QPushButton* button2_ = nullptr;
    QGroupBox* group_box1_ = nullptr;
    QLineEdit* edit1_ = nullptr;
    DragSpinner* panel4_ = nullptr;
    QTimer* timer1_ = nullptr;

    QString entry_text_;
    bool spinning_ = false;
    int32_t spin_value_ = 0;
    QPoint anchor_;
};

}  // namespace warpkit
