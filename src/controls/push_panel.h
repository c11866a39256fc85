#pragma once
// A raised panel that stands in for a button: it reports presses, moves and releases of any
// mouse button, keeps the mouse while a button is held, and shows small pictures that ignore
// the mouse. What a press means is left to whoever connects to its signals.
#include <QFrame>
#include <QPixmap>
#include <QPoint>
#include <QString>

class QLabel;

namespace warpkit {

class PushPanel : public QFrame {
    Q_OBJECT
  public:
    explicit PushPanel(QWidget* parent = nullptr);

    // Text drawn centred on the panel (empty: none).
    void setCaption(const QString& caption);
    const QString& caption() const { return caption_; }

    // A picture at `top_left` inside the panel; the panel owns the returned label.
    QLabel* addPicture(const QPixmap& picture, QPoint top_left);

    // Lowered: the bevel of a pressed button; raised at rest.
    void setLowered(bool lowered);
    bool isLowered() const { return frameShadow() == QFrame::Sunken; }

    // Moves one of this panel's pictures by (dx, dy) pixels.
    void shiftPicture(QLabel* picture, int dx, int dy);

    // Buttons pressed on the panel and not yet released.
    Qt::MouseButtons heldButtons() const { return held_; }

  Q_SIGNALS:
    void pressed(Qt::MouseButton button);
    void moved();
    void released(Qt::MouseButton button);

  protected:
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    QString caption_;
    Qt::MouseButtons held_;
};

// The weight spinner: a 17 x 20 panel with the up-and-down arrow picture, which moves one
// pixel down and right while pressed.
class DragSpinner : public PushPanel {
    Q_OBJECT
  public:
    static constexpr int kWidth = 17;
    static constexpr int kHeight = 20;
    static constexpr QPoint kImageRest{0, 1};

    explicit DragSpinner(QWidget* parent = nullptr);

    QLabel* image() const { return image_; }

    // The pressed look (bevel lowered, picture shifted by 1, 1) and its undoing. Each is done
    // once however often it is asked for, so the picture never drifts from its place.
    void press_look();
    void release_look();

  private:
    QLabel* image_ = nullptr;
    bool pressed_look_ = false;
};

// Small black pictures on a transparent ground, drawn pixel-exact.
QPixmap arrow_pair_picture();    // 16 x 16: up triangle above down triangle
QPixmap first_picture();         // 16 x 14: bar and left triangle
QPixmap back_picture();          // 16 x 14: left triangle
QPixmap back_playing_picture();  // 16 x 14: stop square
QPixmap fore_picture();          // 16 x 14: right triangle
QPixmap fore_playing_picture();  // 16 x 14: stop square
QPixmap last_picture();          // 16 x 14: right triangle and bar

}  // namespace warpkit
