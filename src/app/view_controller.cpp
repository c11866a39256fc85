#include "app/view_controller.h"

#include <QAction>
#include <QCursor>
#include <QGuiApplication>
#include <QTimer>

#include "app/tform1.h"
#include "view/gl_view.h"

namespace warpkit {

namespace {
constexpr long double kDegreesPerPixel = 0.04L;
constexpr float kDegreesPerArrowKey = 5.0f;
constexpr int kDragTickMs = 50;
}  // namespace

ViewController::ViewController(TForm1& form) : QObject(&form), form_(form) {
    GlView* view = form.view;
    view->on_press = [this](Qt::MouseButton button) { viewMdown(button); };
    view->on_move = [this] { viewMmove(); };
    view->on_release = [this](Qt::MouseButton) { viewMup(); };
    view->on_double_click = [this] { ResetAng(); };
    connect(form.Wire, &QAction::triggered, this, &ViewController::WireClick);
    connect(form.Flat, &QAction::triggered, this, &ViewController::FlatClick);
    connect(form.Smooth, &QAction::triggered, this, &ViewController::SmoothClick);
    connect(form.Color, &QAction::triggered, this, &ViewController::ColorClick);
    connect(form.xxx1, &QAction::triggered, this, &ViewController::ShadingSet);
    connect(form.zzz1, &QAction::triggered, this, &ViewController::zzz1Click);
}

void ViewController::viewMdown(Qt::MouseButton button) {
    EditorState& state = form_.state();
    form_.end_stale_drags(button);
    form_.Timer1->start();
    form_.Timer1->setInterval(kDragTickMs);
    if (button == Qt::LeftButton) state.drag_mode = 1;
    if (button == Qt::RightButton) state.drag_mode = 2;
    form_.anchor = QCursor::pos();
    // A second button joins the drag under way (and may switch it between turning and
    // zooming); the cursor is hidden once, since one release ends the whole drag.
    if (pressed_) return;
    QGuiApplication::setOverrideCursor(Qt::BlankCursor);
    pressed_ = true;
}

void ViewController::viewMmove() {
    EditorState& state = form_.state();
    if (!pressed_ || state.drag_mode == 0) return;
    const QPoint cursor = QCursor::pos();
    const int dx = cursor.x() - form_.anchor.x();
    const int dy = cursor.y() - form_.anchor.y();
    if (state.drag_mode == 1) {
        state.yaw = static_cast<float>(state.yaw - dx * kDegreesPerPixel);
        state.pitch = static_cast<float>(state.pitch - dy * kDegreesPerPixel);
        form_.DrawScene();
    } else if (state.drag_mode == 2) {
        state.view_distance = state.view_distance - static_cast<float>(dy);
        form_.DrawScene();
    }
}

void ViewController::viewMup() {
    if (!pressed_) return;
    form_.Timer1->stop();
    QCursor::setPos(form_.anchor);
    form_.state().drag_mode = 0;
    QGuiApplication::restoreOverrideCursor();
    pressed_ = false;
}

void ViewController::ResetAng() {
    form_.state().yaw = 0.0f;
    form_.state().pitch = 0.0f;
    form_.DrawScene();
}

bool ViewController::FormKeyDown(int key) {
    // Up tilts the front of the object up, Left turns it to the left, as the mouse does when
    // it moves the same way.
    EditorState& state = form_.state();
    switch (key) {
        case Qt::Key_Up:
            state.pitch += kDegreesPerArrowKey;
            break;
        case Qt::Key_Down:
            state.pitch -= kDegreesPerArrowKey;
            break;
        case Qt::Key_Left:
            state.yaw += kDegreesPerArrowKey;
            break;
        case Qt::Key_Right:
            state.yaw -= kDegreesPerArrowKey;
            break;
        default:
            return false;
    }
    form_.DrawScene();
    return true;
}

void ViewController::set_shading(int mode) {
    if (!form_.state().source_loaded()) return;
    form_.state().ShadingMode = mode;
    form_.DrawScene();
}

void ViewController::WireClick() {
    set_shading(kWireFrame);
}
void ViewController::FlatClick() {
    set_shading(kFlat);
}
void ViewController::SmoothClick() {
    set_shading(kSmooth);
}

void ViewController::ShadingSet() {
    EditorState& state = form_.state();
    if (!state.source_loaded()) return;
    switch (state.ShadingMode) {
        case kWireFrame:
            state.ShadingMode = kFlat;
            break;
        case kFlat:
            state.ShadingMode = kSmooth;
            break;
        case kSmooth:
            state.ShadingMode = kWireFrame;
            break;
        default:
            return;
    }
    form_.DrawScene();
}

void ViewController::ColorClick() {
    EditorState& state = form_.state();
    if (!state.source_loaded()) return;
    const std::optional<Rgb> chosen = form_.dialogs().choose_colour(last_colour_);
    if (!chosen) return;
    last_colour_ = *chosen;
    state.object_colour[0] = static_cast<float>(chosen->red / 255.0L);
    state.object_colour[1] = static_cast<float>(chosen->green / 255.0L);
    state.object_colour[2] = static_cast<float>(chosen->blue / 255.0L);
    form_.DrawScene();
}

void ViewController::zzz1Click() {
    EditorState& state = form_.state();
    state.use_object_colours = state.use_object_colours == 1 ? 0 : 1;
    form_.DrawScene();
}

}  // namespace warpkit
