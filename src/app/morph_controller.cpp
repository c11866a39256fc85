#include "app/morph_controller.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <array>

#include "app/edit_history.h"
#include "app/tform1.h"
#include "base/texts.h"
#include "morph/decimal.h"
#include "morph/key_track.h"
#include "session/session_edits.h"

namespace warpkit {

MorphController::MorphController(TForm1& form) : QObject(&form), form_(form) {
    for (int k = 1; k <= kTargetCount; ++k) {
        connect(form.key_buttons[k], &QPushButton::clicked, this, [this, k] { KeyOperation(k); });
        connect(form.weight_fields[k], &QLineEdit::textChanged, this, [this] { EditChange(); });
        connect(form.weight_fields[k], &QLineEdit::textEdited, this, [this, k] {
            if (k == focused_field_) typed_ = true;
        });
        form.weight_fields[k]->installEventFilter(this);
    }
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* now) { follow_focus(now); });
}

void MorphController::follow_focus(QWidget* now) {
    // Only the focus moving between the controls of the main window enters or leaves a field.
    // A message box, a dialog or another application holding the focus for a while does
    // neither, so the field is still the one being edited when the window comes back; and a
    // click into a field of a window that was not active enters it, whatever order the
    // activation and the click arrive in.
    if (now == nullptr || now->window() != form_.window()) return;
    int k = 0;
    for (int j = 1; j <= kTargetCount; ++j) {
        if (now == form_.weight_fields[j]) k = j;
    }
    if (k == focused_field_) return;
    if (focused_field_ != 0) {
        const int left = focused_field_;
        focused_field_ = 0;
        // A field disabled under the focus was not left by the user: its target has gone,
        // and its text is the slot's business.
        if (form_.weight_fields[left]->isEnabled()) EditExit();
    }
    if (k != 0) {
        focused_field_ = k;
        EditEnter(k);
    }
    form_.refresh_key_marks();
}

bool MorphController::eventFilter(QObject* watched, QEvent* event) {
    // The rows as they are just before the user changes a field; its text changes, and the
    // preview blends, before the change is told as typing.
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::InputMethod:
        case QEvent::MouseButtonPress:
        case QEvent::Drop:
            if (!typed_ && focused_field_ != 0 && watched == form_.weight_fields[focused_field_]) {
                before_typing_ = shown_view();
            }
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

WeightRow MorphController::shown_row(int k) const {
    WeightRow row;
    row.text = form_.weight_fields[k]->text().toStdString();
    row.caption = key_caption_from_text(form_.key_buttons[k]->text().toStdString());
    row.weight = form_.state().slots[k].weight;
    row.blended = blended_[k];
    return row;
}

WeightView MorphController::shown_view() const {
    WeightView view;
    view.current_frame = form_.state().current_frame;
    for (int k = 1; k <= kTargetCount; ++k) view.rows[k] = shown_row(k);
    return view;
}

void MorphController::show_view(const WeightView& view) {
    EditorState& state = form_.state();
    writing_fields_ = true;
    for (int j = 1; j <= kTargetCount; ++j) {
        const WeightRow& row = view.rows[j];
        form_.weight_fields[j]->setText(QString::fromStdString(row.text));
        state.slots[j].weight = row.weight;
        const bool loaded = state.source_loaded() && state.target_loaded(j);
        blended_[j] = loaded ? row.blended : 0.0f;
        if (!loaded) continue;
        form_.key_buttons[j]->setText(key_caption_text(row.caption));
        form_.key_buttons[j]->setEnabled(row.caption != KeyCaption::kApplied);
    }
    writing_fields_ = false;
    if (state.source_loaded()) blend(state, blended_);
    form_.DrawScene();
    typed_ = false;
    if (focused_field_ != 0) {
        entry_text_ = form_.weight_fields[focused_field_]->text().toStdString();
        before_typing_ = view;
    }
}

bool MorphController::drop_typing() {
    if (!typed_ || focused_field_ == 0) return false;
    const int k = focused_field_;
    show_view(before_typing_);
    form_.weight_fields[k]->selectAll();
    return true;
}

void MorphController::edit_recorded(const WeightView& after) {
    if (!typed_ || focused_field_ == 0) return;
    const WeightRow typed_from = before_typing_.rows[focused_field_];
    before_typing_ = after;
    before_typing_.rows[focused_field_] = typed_from;
}

void MorphController::forget_empty_slots() {
    const EditorState& state = form_.state();
    for (int j = 1; j <= kTargetCount; ++j) {
        if (!state.source_loaded() || !state.target_loaded(j)) blended_[j] = 0.0f;
    }
}

void MorphController::refuse_number(const std::string& text) {
    const int32_t language = form_.state().UiLanguage;
    const MessageText& refusal = texts::kNumberRefusal;
    form_.dialogs().warn(shown_message(language, refusal, text.c_str()));
}

std::optional<std::string> MorphController::refused_field() const {
    for (int j = 1; j <= kTargetCount; ++j) {
        std::string text = form_.weight_fields[j]->text().toStdString();
        if (!strict_decimal(text)) return text;
    }
    return std::nullopt;
}

bool MorphController::refresh_weights_from_fields() {
    EditorState& state = form_.state();
    for (int j = 1; j <= kTargetCount; ++j) {
        const std::string text = form_.weight_fields[j]->text().toStdString();
        const std::optional<double> value = strict_decimal(text);
        if (!value) {
            refuse_number(text);
            return false;
        }
        state.slots[j].weight = static_cast<float>(*value);
    }
    return true;
}

void MorphController::blend_and_draw(int preview_target, int percent) {
    EditorState& state = form_.state();
    std::array<float, kTargetCount + 1> weights{};
    for (int j = 1; j <= kTargetCount; ++j) weights[j] = state.slots[j].weight;
    if (preview_target >= 1) weights[preview_target] = static_cast<float>(percent);
    blend(state, weights);
    for (int j = 1; j <= kTargetCount; ++j)
        blended_[j] = state.target_loaded(j) ? weights[j] : 0.0f;
    form_.DrawScene();
}

void MorphController::scroll_go(int target, int percent) {
    EditorState& state = form_.state();
    if (!state.source_loaded()) return;
    if (target >= 1 && target <= kTargetCount && !state.target_loaded(target)) return;
    if (!refresh_weights_from_fields()) return;

    if (target >= 1) {
        blend_and_draw(target, percent);
        return;
    }

    // Frame mode: every loaded target's weight from its keys at the current frame.
    writing_fields_ = true;
    for (int j = 1; j <= kTargetCount; ++j) {
        if (!state.target_loaded(j)) continue;
        const FrameEvaluation at = evaluate_track(state.slots[j].keys, state.current_frame);
        state.slots[j].weight = at.weight;
        QPushButton* key = form_.key_buttons[j];
        key->setText(key_caption_text(at.caption));
        key->setEnabled(at.caption != KeyCaption::kApplied);
        form_.weight_fields[j]->setText(QString::fromStdString(format_weight(at.weight)));
    }
    writing_fields_ = false;
    // Whatever was typed has been written over.
    typed_ = false;
    blend_and_draw(0, 0);
}

void MorphController::reblend_current() {
    EditorState& state = form_.state();
    if (!state.source_loaded()) {
        form_.DrawScene();
        return;
    }
    // No refusal here: this tidies up after a confirmed command, and stopping would leave the
    // shape of a target that is gone on screen. The next edit reports the field.
    for (int j = 1; j <= kTargetCount; ++j) {
        const std::optional<double> value =
            strict_decimal(form_.weight_fields[j]->text().toStdString());
        if (value) state.slots[j].weight = static_cast<float>(*value);
    }
    blend_and_draw(0, 0);
}

void MorphController::KeyOperation(int k) {
    EditorState& state = form_.state();
    if (!state.target_loaded(k)) return;
    QPushButton* button = form_.key_buttons[k];
    const int32_t frame = state.current_frame;
    if (key_caption_from_text(button->text().toStdString()) == KeyCaption::kMakeKey) {
        EditStep step =
            form_.history->begin(KeyEdit{k, frame, std::nullopt, state.slots[k].weight});
        const bool made = make_key_at_current_frame(state, k);
        button->setText(texts::kDeleteKey);
        button->setEnabled(true);
        if (made) form_.history->record(std::move(step));
        return;
    }
    EditStep step = form_.history->begin(
        KeyEdit{k, frame, key_weight_at_current_frame(state, k), std::nullopt});
    if (delete_key_at_current_frame(state, k)) {
        scroll_go(0, 0);
        form_.history->record(std::move(step));
    }
}

void MorphController::EditEnter(int k) {
    EditorState& state = form_.state();
    QLineEdit* field = form_.weight_fields[k];
    entry_text_ = field->text().toStdString();
    state.edited_slot = k;
    typed_ = false;
    before_typing_ = shown_view();
    // Selected after the click that gave the focus has placed the caret.
    QTimer::singleShot(0, field, [field] {
        if (field->hasFocus()) field->selectAll();
    });
}

void MorphController::EditChange() {
    EditorState& state = form_.state();
    if (state.spinner_active || writing_fields_) return;
    if (state.edited_slot < 1) return;
    QLineEdit* field = form_.weight_fields[state.edited_slot];
    const std::string text = field->text().toStdString();
    if (text.empty() || !digits_and_points(text)) return;
    if (tolerant_decimal(text) > 100.0) {
        field->setText("100");
        return;
    }
    const std::optional<int32_t> percent = whole_percent(text);
    if (!percent) {
        refuse_number(text);
        return;
    }
    scroll_go(state.edited_slot, *percent);
    form_.repaint();
}

bool MorphController::EditExit() {
    EditorState& state = form_.state();
    if (state.edited_slot < 1) return true;
    const int slot = state.edited_slot;
    QLineEdit* field = form_.weight_fields[slot];
    // What an undo of the weight committed here goes back to: the rows before the typing.
    EditStep step;
    step.before = typed_ ? before_typing_ : shown_view();
    const std::string text = field->text().toStdString();
    if (!digits_and_points(text)) {
        field->setText(QString::fromStdString(entry_text_));
    } else {
        if (text.empty()) field->setText(QString::fromStdString(entry_text_));
        const std::string now = field->text().toStdString();
        const std::optional<int32_t> percent = whole_percent(now);
        if (!percent) {
            refuse_number(now);
            return false;
        }
        scroll_go(slot, *percent);
    }

    const std::string current = field->text().toStdString();
    const std::optional<double> value = strict_decimal(current);
    if (!value) {
        refuse_number(current);
        return false;
    }
    const std::string tidy = format_weight(*value);
    field->setText(QString::fromStdString(tidy));
    if (!state.target_loaded(slot)) return true;

    const float weight = static_cast<float>(strict_decimal(tidy).value_or(0.0));
    const std::optional<float> old = key_weight_at_current_frame(state, slot);
    set_key_weight_at_current_frame(state, slot, weight);
    typed_ = false;
    if (old && *old != weight) {
        step.change = KeyEdit{slot, state.current_frame, old, weight};
        form_.history->record(std::move(step));
    }
    return true;
}

bool MorphController::commit_focused_field() {
    if (focused_field_ == 0) return true;
    QLineEdit* field = form_.weight_fields[focused_field_];
    if (!field->isEnabled()) return true;
    if (!EditExit()) return false;
    // The field is still being edited: leaving it later starts from what was committed now.
    entry_text_ = field->text().toStdString();
    before_typing_ = shown_view();
    return true;
}

}  // namespace warpkit
