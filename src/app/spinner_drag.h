#pragma once
// The weight spinners' drag: a press hides and anchors the cursor, every move steps the
// target's whole-percent weight by the vertical offset and previews it, the release gives the
// weight to the key on the current frame.
#include <QObject>

#include "session/session_history.h"

namespace warpkit {

class TForm1;

class SpinnerDrag : public QObject {
    Q_OBJECT
public:
    explicit SpinnerDrag(TForm1& form);

    void init_spin(int n, Qt::MouseButton button);
    void move_spin();
    void quit_spin();

    int active_spinner() const { return active_; }

private:
    TForm1& form_;
    int active_ = 0;       // target number of the held spinner, 0 when none
    WeightView at_press_;  // the rows when the spinner was pressed, for undoing its weight
};

// One move's new value: up raises, each offset changes it by its sign plus its tenths,
// clamped to 0..100.
int spinner_step(int value, int dy);

}  // namespace warpkit
