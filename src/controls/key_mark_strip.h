#pragma once
// The row of key marks below the timeline's track: a tick under the knob's left edge for
// every frame that holds a key, the edited target's ticks larger and red, and an arrow past
// the last frame when keys lie beyond it. It only draws what it is handed.
#include <QWidget>

#include "morph/key_marks.h"

namespace warpkit {

class KeyMarkStrip : public QWidget {
    Q_OBJECT
public:
    explicit KeyMarkStrip(QWidget* parent);

    // Repaints when the marks differ from those shown.
    void show_marks(KeyMarks marks);
    const KeyMarks& marks() const { return marks_; }

    static QColor tick_colour();
    static QColor current_colour();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    KeyMarks marks_;
};

}  // namespace warpkit
