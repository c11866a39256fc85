#include "controls/key_mark_strip.h"

#include <QHelpEvent>
#include <QPainter>
#include <QPolygon>
#include <QToolTip>
#include <cstdlib>

#include "morph/frame_steps.h"

namespace warpkit {

namespace {

// The arrow for keys past the maximum: right of the last frame's tick, pointing on.
constexpr int kArrowLeft = kKnobFirstLeft + kKnobTravel + 5;
// The red tick reaches one pixel left of the knob's edge, so both are centred on one axis.
constexpr int kCurrentShift = (KeyMarkStrip::kCurrentWidth - KeyMarkStrip::kTickWidth) / 2;

}  // namespace

KeyMarkStrip::KeyMarkStrip(QWidget* parent) : QWidget(parent) {}

// Dark on the window's light grey, so a single key shows at a glance.
QColor KeyMarkStrip::tick_colour() {
    return QColor(32, 32, 32);
}

QColor KeyMarkStrip::current_colour() {
    return QColor(208, 0, 0);
}

void KeyMarkStrip::show_marks(KeyMarks marks) {
    if (marks == marks_) return;
    marks_ = std::move(marks);
    update();
}

void KeyMarkStrip::set_tip_text(std::function<QString(const KeyTick&)> tip_text) {
    tip_text_ = std::move(tip_text);
}

const KeyTick* KeyMarkStrip::tick_at(int x) const {
    // Neighbouring ticks may touch on a dense track; the one whose drawn middle is nearest wins.
    const KeyTick* best = nullptr;
    int best_distance = kCurrentWidth;
    for (const KeyTick& tick : marks_.ticks) {
        const int distance = std::abs(2 * x - (2 * tick.left + kTickWidth - 1));
        if (distance < best_distance) {
            best = &tick;
            best_distance = distance;
        }
    }
    return best;
}

bool KeyMarkStrip::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QWidget::event(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const KeyTick* tick = tick_at(help->pos().x());
    if (tick == nullptr || !tip_text_) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    const QRect area(tick->left - kCurrentShift, 0, kCurrentWidth, height());
    QToolTip::showText(help->globalPos(), tip_text_(*tick), this, area);
    return true;
}

void KeyMarkStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    for (const KeyTick& tick : marks_.ticks)
        painter.fillRect(tick.left, 1, kTickWidth, kTickHeight, tick_colour());
    for (const int left : marks_.current_lefts)
        painter.fillRect(left - kCurrentShift, 0, kCurrentWidth, kCurrentHeight, current_colour());
    if (marks_.past_maximum) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(marks_.current_past_maximum ? current_colour() : tick_colour());
        painter.drawPolygon(
            QPolygon({QPoint(kArrowLeft, 0), QPoint(kArrowLeft + 4, 3), QPoint(kArrowLeft, 6)}));
    }
}

}  // namespace warpkit
