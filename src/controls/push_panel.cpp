#include "controls/push_panel.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <cstdlib>
#include <functional>

namespace warpkit {

PushPanel::PushPanel(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
    setAutoFillBackground(true);
}

void PushPanel::setCaption(const QString& caption) {
    if (caption == caption_) return;
    caption_ = caption;
    update();
}

QLabel* PushPanel::addPicture(const QPixmap& picture, QPoint top_left) {
    auto* label = new QLabel(this);
    label->setPixmap(picture);
    label->setGeometry(QRect(top_left, picture.size()));
    // Presses on the picture belong to the panel.
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->show();
    return label;
}

void PushPanel::setLowered(bool lowered) {
    setFrameShadow(lowered ? QFrame::Sunken : QFrame::Raised);
}

void PushPanel::shiftPicture(QLabel* picture, int dx, int dy) {
    Q_ASSERT(picture != nullptr && picture->parentWidget() == this);
    picture->move(picture->pos() + QPoint(dx, dy));
}

bool PushPanel::event(QEvent* event) {
    // A modal window opening or the window losing the activation takes the mouse: the release
    // goes elsewhere, and whoever handles this panel's presses ends the drag then.
    if (event->type() == QEvent::WindowBlocked || event->type() == QEvent::WindowDeactivate) {
        held_ = Qt::NoButton;
    }
    return QFrame::event(event);
}

void PushPanel::mousePressEvent(QMouseEvent* event) {
    // Qt's implicit grab keeps the mouse on this panel until every button is up.
    held_ |= event->button();
    event->accept();
    Q_EMIT pressed(event->button());
}

void PushPanel::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    if (held_ != Qt::NoButton) Q_EMIT moved();
}

void PushPanel::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    const Qt::MouseButton button = event->button();
    if (!held_.testFlag(button)) return;
    held_ &= ~Qt::MouseButtons(button);
    Q_EMIT released(button);
}

void PushPanel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (caption_.isEmpty()) return;
    QPainter painter(this);
    painter.drawText(contentsRect(), Qt::AlignCenter, caption_);
}

void PushPanel::changeEvent(QEvent* event) {
    QFrame::changeEvent(event);
    if (event->type() != QEvent::EnabledChange || isEnabled()) return;
    // A disabled widget gets no release, so a drag begun on this panel would never end
    // (with the cursor left hidden). End the hold here, once per held button.
    for (unsigned bit = 1; held_ != Qt::NoButton && bit <= Qt::MaxMouseButton; bit <<= 1) {
        const auto button = static_cast<Qt::MouseButton>(bit);
        if (!held_.testFlag(button)) continue;
        held_ &= ~Qt::MouseButtons(button);
        Q_EMIT released(button);
    }
}

DragSpinner::DragSpinner(QWidget* parent) : PushPanel(parent) {
    setFixedSize(kWidth, kHeight);
    image_ = addPicture(arrow_pair_picture(), kImageRest);
    image_->setObjectName("Image");
}

void DragSpinner::press_look() {
    if (pressed_look_) return;
    pressed_look_ = true;
    setLowered(true);
    shiftPicture(image_, 1, 1);
}

void DragSpinner::release_look() {
    if (!pressed_look_) return;
    pressed_look_ = false;
    setLowered(false);
    shiftPicture(image_, -1, -1);
}

namespace {

constexpr int kPictureWidth = 16;
constexpr int kButtonPictureHeight = 14;

// The pictures are built from horizontal runs of black pixels, so they stay crisp at any
// scale the style might otherwise smooth.
QPixmap draw_picture(int width, int height, const std::function<void(QPainter&)>& draw) {
    QPixmap picture(width, height);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing, false);
    draw(painter);
    return picture;
}

void run(QPainter& painter, int y, int first_x, int last_x) {
    painter.fillRect(first_x, y, last_x - first_x + 1, 1, Qt::black);
}

// The triangles of the timeline pictures: nine rows around row 6, five pixels at the middle.
constexpr int kTriangleTop = 2;
constexpr int kTriangleBottom = 10;
constexpr int kTriangleMiddle = 6;

void left_triangle(QPainter& painter, int apex_x) {
    for (int y = kTriangleTop; y <= kTriangleBottom; ++y) {
        run(painter, y, apex_x + std::abs(y - kTriangleMiddle), apex_x + 4);
    }
}

void right_triangle(QPainter& painter, int base_x) {
    for (int y = kTriangleTop; y <= kTriangleBottom; ++y) {
        run(painter, y, base_x, base_x + 4 - std::abs(y - kTriangleMiddle));
    }
}

void bar(QPainter& painter, int left_x) {
    painter.fillRect(left_x, kTriangleTop, 2, kTriangleBottom - kTriangleTop + 1, Qt::black);
}

QPixmap stop_picture() {
    return draw_picture(kPictureWidth, kButtonPictureHeight,
                        [](QPainter& p) { p.fillRect(4, 3, 7, 7, Qt::black); });
}

}  // namespace

QPixmap arrow_pair_picture() {
    return draw_picture(kPictureWidth, kPictureWidth, [](QPainter& p) {
        for (int r = 0; r < 6; ++r) {
            run(p, 1 + r, 7 - r, 8 + r);   // up: apex on row 1
            run(p, 9 + r, 2 + r, 13 - r);  // down: apex on row 14
        }
    });
}

QPixmap first_picture() {
    return draw_picture(kPictureWidth, kButtonPictureHeight, [](QPainter& p) {
        bar(p, 4);
        left_triangle(p, 6);
    });
}

QPixmap back_picture() {
    return draw_picture(kPictureWidth, kButtonPictureHeight,
                        [](QPainter& p) { left_triangle(p, 5); });
}

QPixmap back_playing_picture() {
    return stop_picture();
}

QPixmap fore_picture() {
    return draw_picture(kPictureWidth, kButtonPictureHeight,
                        [](QPainter& p) { right_triangle(p, 6); });
}

QPixmap fore_playing_picture() {
    return stop_picture();
}

QPixmap last_picture() {
    return draw_picture(kPictureWidth, kButtonPictureHeight, [](QPainter& p) {
        right_triangle(p, 5);
        bar(p, 10);
    });
}

}  // namespace warpkit
