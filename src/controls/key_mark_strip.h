#pragma once
// The row of key marks below the timeline's track: a tick under the knob's left edge for
// every frame that holds a key, the edited target's ticks larger and red, and an arrow past
// the last frame when keys lie beyond it. It only draws what it is handed; a tick's tooltip
// text comes from whoever hands the marks, who knows the targets' names and the language.
#include <QWidget>
#include <functional>

#include "morph/key_marks.h"

namespace warpkit {

class KeyMarkStrip : public QWidget {
    Q_OBJECT
public:
    explicit KeyMarkStrip(QWidget* parent);

    // Repaints when the marks differ from those shown.
    void show_marks(KeyMarks marks);
    const KeyMarks& marks() const { return marks_; }
    void set_tip_text(std::function<QString(const KeyTick&)> tip_text);

    // The tick under x in the strip, if any: the nearest within reach of its drawn width.
    const KeyTick* tick_at(int x) const;

    static QColor tick_colour();
    static QColor current_colour();
    // Sizes of the ticks as drawn: a tick's left pixel column is the knob's left edge.
    static constexpr int kTickWidth = 2, kTickHeight = 6;
    static constexpr int kCurrentWidth = 4, kCurrentHeight = 9;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    KeyMarks marks_;
    std::function<QString(const KeyTick&)> tip_text_;
};

}  // namespace warpkit
