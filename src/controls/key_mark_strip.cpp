#include "controls/key_mark_strip.h"

#include <QPainter>
#include <QPolygon>

#include "morph/frame_steps.h"

namespace warpkit {

namespace {

// The arrow for keys past the maximum: right of the last frame's tick, pointing on.
constexpr int kArrowLeft = kKnobFirstLeft + kKnobTravel + 5;

bool same(const KeyMarks& a, const KeyMarks& b) {
    return a.lefts == b.lefts && a.current_lefts == b.current_lefts &&
           a.past_maximum == b.past_maximum && a.current_past_maximum == b.current_past_maximum;
}

}  // namespace

KeyMarkStrip::KeyMarkStrip(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

QColor KeyMarkStrip::tick_colour() {
    return QColor(64, 64, 64);
}

QColor KeyMarkStrip::current_colour() {
    return QColor(208, 0, 0);
}

void KeyMarkStrip::show_marks(KeyMarks marks) {
    if (same(marks, marks_)) return;
    marks_ = std::move(marks);
    update();
}

void KeyMarkStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    for (const int left : marks_.lefts) painter.fillRect(left, 1, 1, 4, tick_colour());
    for (const int left : marks_.current_lefts)
        painter.fillRect(left - 1, 0, 3, 7, current_colour());
    if (marks_.past_maximum) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(marks_.current_past_maximum ? current_colour() : tick_colour());
        painter.drawPolygon(
            QPolygon({QPoint(kArrowLeft, 0), QPoint(kArrowLeft + 4, 3), QPoint(kArrowLeft, 6)}));
    }
}

}  // namespace warpkit
