#include "view/gl_view.h"

#include <QEvent>
#include <QMouseEvent>
#include <QOffscreenSurface>
#include <QOpenGLContext>

#include "app/texts.h"
#include "view/scene_renderer.h"

namespace warpkit {

GlView::GlView(EditorState& state, QWidget* parent) : QOpenGLWidget(parent), state_(state) {
    setObjectName("GlView");
    setMouseTracking(false);
    // The framebuffer keeps the last picture, so composition can show it without a redraw.
    setUpdateBehavior(QOpenGLWidget::PartialUpdate);
}

void GlView::DrawScene() {
    if (!isValid()) return;
    // Rendering here rather than through repaint(): a repaint of a GL widget asked for in quick
    // succession may return without painting, and the picture must be there on return.
    makeCurrent();
    warpkit::DrawScene(state_);
    doneCurrent();
    picture_current_ = true;
    update();
}

void GlView::initializeGL() {
    QOpenGLContext* current = QOpenGLContext::currentContext();
    if (context() == nullptr || !context()->isValid()) {
        report(texts::kNoContext);
        return;
    }
    if (current != context()) {
        report(texts::kNoMakeCurrent);
        return;
    }
    prepare_context_state();
    SetupLights();
}

// The composition that DrawScene asks for finds its picture already drawn; any other paint
// request (an expose, a new framebuffer after a resize) gets the whole scene drawn afresh.
void GlView::paintGL() {
    if (picture_current_) {
        picture_current_ = false;
        return;
    }
    warpkit::DrawScene(state_);
}

void GlView::resizeGL(int, int) { picture_current_ = false; }

bool GlView::event(QEvent* event) {
    const bool handled = QOpenGLWidget::event(event);
    // The base class sets the context up on the first show; it does not call initializeGL when
    // that fails, so the failure is found here.
    if (event->type() == QEvent::Show) report_failed_initialisation();
    return handled;
}

void GlView::report_failed_initialisation() {
    if (isValid() || size().isEmpty() || window()->windowHandle() == nullptr) return;
    // Tell the two failures apart with a context of our own.
    QOpenGLContext probe;
    probe.setFormat(format());
    if (!probe.create()) {
        report(texts::kNoContext);
        return;
    }
    QOffscreenSurface surface;
    surface.setFormat(probe.format());
    surface.create();
    if (!probe.makeCurrent(&surface)) {
        report(texts::kNoMakeCurrent);
        return;
    }
    probe.doneCurrent();
    report(texts::kNoContext);
}

void GlView::report(const char* message) {
    if (reported_) return;
    reported_ = true;
    if (on_error) on_error(message);
}

void GlView::mousePressEvent(QMouseEvent* event) {
    if (on_press) on_press(event->button());
}

void GlView::mouseMoveEvent(QMouseEvent*) {
    if (on_move) on_move();
}

void GlView::mouseReleaseEvent(QMouseEvent* event) {
    if (on_release) on_release(event->button());
}

void GlView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && on_double_click) on_double_click();
    if (on_press) on_press(event->button());
}

}  // namespace warpkit
