#include "morph/morph_controller.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <array>

#include "app/session_edits.h"
#include "app/texts.h"
#include "app/tform1.h"
#include "morph/decimal.h"
#include "morph/key_track.h"

namespace warpkit {

MorphController::MorphController(TForm1& form) : QObject(&form), form_(form) {
    for (int k = 1; k <= kTargetCount; ++k) {
        connect(form.key_buttons[k], &QPushButton::clicked, this, [this, k] { KeyOperation(k); });
        connect(form.weight_fields[k], &QLineEdit::textChanged, this, [this] { EditChange(); });
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
}

void MorphController::refuse_number(const std::string& text) {
    const int32_t language = form_.state().UiLanguage;
    const MessageText& refusal = texts::kNumberRefusal;
    form_.dialogs().warn(format_text(pick(language, refusal.text), text.c_str()),
                         pick(language, refusal.title));
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
    if (key_caption_from_text(button->text().toStdString()) == KeyCaption::kMakeKey) {
        make_key_at_current_frame(state, k);
        button->setText(texts::kDeleteKey);
        button->setEnabled(true);
        return;
    }
    if (delete_key_at_current_frame(state, k)) scroll_go(0, 0);
}

void MorphController::EditEnter(int k) {
    EditorState& state = form_.state();
    QLineEdit* field = form_.weight_fields[k];
    entry_text_ = field->text().toStdString();
    state.edited_slot = k;
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
    set_key_weight_at_current_frame(state, slot, weight);
    return true;
}

bool MorphController::commit_focused_field() {
    if (focused_field_ == 0) return true;
    QLineEdit* field = form_.weight_fields[focused_field_];
    if (!field->isEnabled()) return true;
    if (!EditExit()) return false;
    // The field is still being edited: leaving it later starts from what was committed now.
    entry_text_ = field->text().toStdString();
    return true;
}

}  // namespace warpkit
