#pragma once
// Undo and redo of the edits that change what Save would write, on Qt's undo stack. The steps
// are the core's (session/session_history.h); this keeps them in order, brings the window in line
// with the session after each undo and redo, keeps the modified flag on the stack's clean
// state, and lets go of the oldest steps when their objects grow past the memory cap.
#include <QObject>
#include <cstddef>
#include <memory>

#include "session/session_history.h"

class QEvent;
class QUndoStack;

namespace warpkit {

class TForm1;

class EditHistory : public QObject {
    Q_OBJECT
public:
    explicit EditHistory(TForm1& form);
    ~EditHistory() override;

    // A step for `change`, about to be made, with the window as it is now as its `before`.
    EditStep begin(EditChange change) const;
    // Records an edit just made; its `after` is the window as it is now.
    void record(EditStep step);

    // Ctrl+Z: in a weight field with typing not yet committed, drops that typing; otherwise
    // undoes the last edit. Ctrl+Shift+Z and Ctrl+Y redo.
    void undo();
    void redo();

    // An edit begun and cut short by an exception, never to be recorded: the session takes back
    // what `step` took out of it, and the window shows it as before the edit.
    void abandon(EditStep& step);

    // New and Load: no step is kept. `clean`: the session is what its file holds.
    void clear(bool clean);
    // A save: the session as it is now is what its file holds.
    void mark_saved();

    QUndoStack& stack() { return *stack_; }
    // What the steps hold together, in bytes.
    size_t held() const;
    // The most they may hold (tests shrink it); steps go at once when they hold more.
    void set_memory_cap(size_t bytes);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class StepCommand;
    friend class StepCommand;

    // After an undo or redo: the window shows the view of `step` that is now in force.
    void show(const EditStep& step, bool undone);
    void trim();
    void follow_clean_state();

    TForm1& form_;
    std::unique_ptr<QUndoStack> stack_;
    size_t memory_cap_ = kHistoryMemoryCap;
    bool rebuilding_ = false;  // steps pushed again after a trim change nothing
};

}  // namespace warpkit
