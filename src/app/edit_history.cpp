#include "app/edit_history.h"

#include <QAction>
#include <QKeyEvent>
#include <QLineEdit>
#include <QUndoCommand>
#include <QUndoStack>
#include <utility>
#include <vector>

#include "app/morph_controller.h"
#include "app/tform1.h"

namespace warpkit {

// One step on Qt's stack. The edit is made before it is recorded, so the push's own redo
// changes nothing; so do the undo and redo calls while the stack is built again after a trim.
class EditHistory::StepCommand : public QUndoCommand {
public:
    StepCommand(EditHistory& history, std::shared_ptr<EditStep> step)
        : history_(history), step_(std::move(step)) {}

    void undo() override {
        if (history_.rebuilding_) return;
        undo_step(history_.form_.state(), *step_);
        history_.show(*step_, true);
    }
    void redo() override {
        if (!pushed_ || history_.rebuilding_) {
            pushed_ = true;
            return;
        }
        redo_step(history_.form_.state(), *step_);
        history_.show(*step_, false);
    }

    const std::shared_ptr<EditStep>& step() const { return step_; }

private:
    EditHistory& history_;
    std::shared_ptr<EditStep> step_;
    bool pushed_ = false;
};

EditHistory::EditHistory(TForm1& form)
    : QObject(&form), form_(form), stack_(std::make_unique<QUndoStack>()) {
    connect(form.UNDO1, &QAction::triggered, this, &EditHistory::undo);
    connect(form.REDO1, &QAction::triggered, this, &EditHistory::redo);
    for (int k = 1; k <= kTargetCount; ++k) form.weight_fields[k]->installEventFilter(this);
}

EditHistory::~EditHistory() = default;

bool EditHistory::eventFilter(QObject* watched, QEvent* event) {
    // A line edit claims Ctrl+Z and its redo keys for its own undo; left unclaimed here, they
    // reach the window's actions, which drop the field's typing first.
    if (event->type() == QEvent::ShortcutOverride) {
        const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
        for (const QAction* action : {form_.UNDO1, form_.REDO1}) {
            if (action->shortcuts().contains(pressed)) return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

EditStep EditHistory::begin(EditChange change) const {
    EditStep step;
    step.change = std::move(change);
    step.before = form_.morph->shown_view();
    return step;
}

void EditHistory::record(EditStep step) {
    step.after = form_.morph->shown_view();
    auto shared = std::make_shared<EditStep>(std::move(step));
    stack_->push(new StepCommand(*this, shared));
    form_.morph->edit_recorded(shared->after);
    trim();
    follow_clean_state();
    form_.refresh_key_marks();
}

void EditHistory::undo() {
    form_.end_drags();
    if (form_.morph->drop_typing()) return;
    stack_->undo();
    trim();
    follow_clean_state();
}

void EditHistory::redo() {
    form_.end_drags();
    // Typing not committed would be committed over the redone edit when the field is left.
    form_.morph->drop_typing();
    stack_->redo();
    trim();
    follow_clean_state();
}

void EditHistory::abandon(EditStep& step) {
    undo_step(form_.state(), step);
    show(step, true);
}

void EditHistory::clear(bool clean) {
    stack_->clear();
    // Qt's clear leaves an empty stack's clean state as it was, so it is set either way.
    if (clean) {
        stack_->setClean();
    } else {
        stack_->resetClean();
    }
    follow_clean_state();
    form_.refresh_key_marks();
}

void EditHistory::mark_saved() {
    stack_->setClean();
    follow_clean_state();
}

void EditHistory::show(const EditStep& step, bool undone) {
    form_.refresh_slot_rows();
    form_.refresh_timeline();
    form_.morph->show_view(undone ? step.before : step.after);
    form_.refresh_key_marks();
}

void EditHistory::follow_clean_state() {
    form_.state().modified = stack_->isClean() ? 0 : 1;
}

size_t EditHistory::held() const {
    size_t bytes = 0;
    for (int i = 0; i < stack_->count(); ++i) {
        bytes += held_bytes(*static_cast<const StepCommand*>(stack_->command(i))->step());
    }
    return bytes;
}

void EditHistory::set_memory_cap(size_t bytes) {
    memory_cap_ = bytes;
    trim();
    follow_clean_state();
}

void EditHistory::trim() {
    const int count = stack_->count();
    std::vector<std::shared_ptr<EditStep>> steps;
    std::vector<size_t> held;
    for (int i = 0; i < count; ++i) {
        steps.push_back(static_cast<const StepCommand*>(stack_->command(i))->step());
        held.push_back(held_bytes(*steps.back()));
    }
    const int index = stack_->index();
    const HistoryTrim trim = trim_history(held, static_cast<size_t>(index), memory_cap_);
    if (trim.oldest == 0 && trim.newest == 0) return;

    // Qt's stack lets no command go from its bottom, so it is built again from the steps kept,
    // with the same index and clean state where that is still among them.
    const int first = static_cast<int>(trim.oldest);
    const int kept = count - first - static_cast<int>(trim.newest);
    const int clean = stack_->cleanIndex() - first;
    rebuilding_ = true;
    stack_->clear();
    stack_->resetClean();
    for (int i = 0; i < kept; ++i) {
        if (i == clean) stack_->setClean();
        stack_->push(new StepCommand(*this, steps[static_cast<size_t>(first + i)]));
    }
    if (clean == kept) stack_->setClean();
    stack_->setIndex(index - first);
    rebuilding_ = false;
}

}  // namespace warpkit
