#include "app/spinner_drag.h"

#include <QCursor>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTimer>

#include "app/edit_history.h"
#include "app/morph_controller.h"
#include "app/tform1.h"
#include "controls/push_panel.h"
#include "morph/decimal.h"
#include "morph/key_track.h"
#include "session/session_edits.h"

namespace warpkit {

int spinner_step(int value, int dy) {
    const int sign = (dy > 0) - (dy < 0);
    int next = value - sign - dy / 10;
    if (next > 100) next = 100;
    if (next < 0) next = 0;
    return next;
}

SpinnerDrag::SpinnerDrag(TForm1& form) : QObject(&form), form_(form) {
    for (int n = 1; n <= kTargetCount; ++n) {
        DragSpinner* spinner = form.spinner_panels[n];
        connect(spinner, &PushPanel::pressed, this,
                [this, n](Qt::MouseButton button) { init_spin(n, button); });
        connect(spinner, &PushPanel::moved, this, [this] { move_spin(); });
        connect(spinner, &PushPanel::released, this, [this] { quit_spin(); });
    }
}

void SpinnerDrag::init_spin(int n, Qt::MouseButton button) {
    EditorState& state = form_.state();
    form_.end_stale_drags(button);
    if (active_ != 0 || state.drag_mode != 0 || !state.target_loaded(n)) return;
    // Every move blends, and a blend stops at a field that holds no number with a message
    // box: with the cursor hidden and pinned to the anchor the user could not answer it. So
    // no drag starts until every field reads as a number.
    if (const std::optional<std::string> refused = form_.morph->refused_field()) {
        form_.morph->refuse_number(*refused);
        return;
    }
    const std::string text = form_.weight_fields[n]->text().toStdString();
    const std::optional<int32_t> value = whole_percent(text);
    if (!value) {
        // A number, but far beyond any whole percent (an exponent typed and not yet left).
        form_.morph->refuse_number(text);
        return;
    }

    at_press_ = form_.morph->shown_view();
    form_.Timer1->setInterval(10);
    form_.Timer1->start();
    active_ = n;
    state.drag_mode = 1;
    state.spinner_active = 1;
    form_.anchor = QCursor::pos();
    QGuiApplication::setOverrideCursor(Qt::BlankCursor);
    form_.spinner_panels[n]->press_look();
    state.spinner_value = *value;
}

void SpinnerDrag::move_spin() {
    EditorState& state = form_.state();
    if (active_ == 0 || state.drag_mode == 0) return;
    const int dy = QCursor::pos().y() - form_.anchor.y();
    if (state.drag_mode != 1) return;
    const int n = active_;
    state.spinner_value = spinner_step(state.spinner_value, dy);
    form_.weight_fields[n]->setText(
        QString::fromStdString(format_weight(static_cast<double>(state.spinner_value))));
    form_.repaint();
    // A field may have been typed into while the mouse was held; the blend would then ask a
    // question the hidden cursor cannot answer, so the drag ends first.
    if (form_.morph->refused_field()) quit_spin();
    form_.scroll_go(n, state.spinner_value);
}

void SpinnerDrag::quit_spin() {
    EditorState& state = form_.state();
    if (active_ == 0) return;
    const int n = active_;
    form_.Timer1->stop();
    QCursor::setPos(form_.anchor);
    state.drag_mode = 0;
    state.spinner_active = 0;
    active_ = 0;
    QGuiApplication::restoreOverrideCursor();
    form_.spinner_panels[n]->release_look();

    if (!state.target_loaded(n)) return;
    const std::optional<double> weight =
        strict_decimal(form_.weight_fields[n]->text().toStdString());
    const std::optional<float> old = key_weight_at_current_frame(state, n);
    if (weight &&
        set_key_weight_at(state.slots[n].keys, state.current_frame, static_cast<float>(*weight))) {
        state.modified = 1;
        if (*old != static_cast<float>(*weight)) {
            EditStep step;
            step.change = KeyEdit{n, state.current_frame, old, static_cast<float>(*weight)};
            step.before = std::move(at_press_);
            form_.history->record(std::move(step));
        }
    }
}

}  // namespace warpkit
