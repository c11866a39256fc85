#include "view/gl_view.h"

#include <GL/gl.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <QApplication>
#include <QExposeEvent>
#include <QImage>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QWindow>

#include "base/texts.h"
#include "view/scene_renderer.h"

namespace warpkit {

namespace {

Presentation next_presentation = Presentation::kNativeSurface;

// A software driver takes tens of MiB for binning each picture and frees them when it is done.
// By default the C library hands memory freed at the top of its heap back to the system, and
// the next picture takes it again page by page: thousands of page faults a picture, as much
// time as the draw itself for a small object. Freed memory is kept (up to 64 MiB) for the next
// picture instead; blocks of 4 MiB and more keep coming from mappings of their own, so the
// session's large arrays still go back to the system as soon as they are freed.
void keep_freed_memory_between_pictures() {
#if defined(__GLIBC__)
    static const bool once = [] {
        mallopt(M_MMAP_THRESHOLD, 4 << 20);
        mallopt(M_TRIM_THRESHOLD, 64 << 20);
        return true;
    }();
    (void)once;
#endif
}

}  // namespace

void set_presentation(Presentation presentation) {
    next_presentation = presentation;
}

// What the view needs of the thing it draws on.
class GlView::Surface {
public:
    virtual ~Surface() = default;
    virtual bool valid() const = 0;
    virtual bool make_current() = 0;
    virtual void done_current() = 0;
    // Draws the scene with the context current and shows it.
    virtual void draw_and_present() = 0;
    virtual QImage grab() = 0;
    virtual QWindow* window() { return nullptr; }
    // Once the view is shown.
    virtual void prepare() {}
    // Deletes the scene's GL objects on this surface's context, and the context if it is ours.
    virtual void release(SceneGl& scene_gl) = 0;
};

// A child window of the main window with a context of its own: a draw goes straight into its
// back buffer and a swap shows it.
class NativeSurface final : public QWindow, public GlView::Surface {
public:
    explicit NativeSurface(GlView& view) : view_(view) {
        setSurfaceType(QSurface::OpenGLSurface);
        setFormat(QSurfaceFormat::defaultFormat());
        // The keyboard stays with the main window, as it did when the preview was a widget
        // that took no focus: a click on the preview leaves shortcuts and arrow keys to it.
        setFlag(Qt::WindowDoesNotAcceptFocus);
    }

    // Makes the context once the window exists; reports a failure the first time.
    void prepare() override {
        if (context_ || tried_) return;
        tried_ = true;
        if (handle() == nullptr) create();
        auto context = std::make_unique<QOpenGLContext>();
        context->setFormat(requestedFormat());
        if (!context->create()) {
            view_.report(texts::kNoContext);
            return;
        }
        if (!context->makeCurrent(this)) {
            view_.report(texts::kNoMakeCurrent);
            return;
        }
        context_ = std::move(context);
        prepare_context_state();
        SetupLights();
    }

    void release(SceneGl& scene_gl) override {
        if (!context_) return;
        if (context_->makeCurrent(this)) scene_gl.release();
        context_->doneCurrent();
        context_.reset();
    }

    bool valid() const override { return context_ != nullptr; }
    bool make_current() override { return context_ && context_->makeCurrent(this); }
    void done_current() override {
        if (context_) context_->doneCurrent();
    }
    QWindow* window() override { return this; }

    void draw_and_present() override {
        // A surface not on the screen (not shown yet, or minimised during playback) would draw
        // a picture nobody sees; its expose draws the scene as it is by then.
        if (!isExposed()) return;
        view_.draw_current();
        context_->swapBuffers(this);
        ++view_.presented_frames_;
    }

    QImage grab() override {
        view_.draw_current();
        const QSize size = this->size() * devicePixelRatio();
        QImage picture(size, QImage::Format_RGBA8888);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadPixels(0, 0, size.width(), size.height(), GL_RGBA, GL_UNSIGNED_BYTE, picture.bits());
        return picture.mirrored().convertToFormat(QImage::Format_RGB32);
    }

protected:
    void exposeEvent(QExposeEvent*) override {
        if (isExposed()) view_.DrawScene();
    }

    bool event(QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress: {
                // The press that completes a double click comes again as the double click.
                auto* mouse = static_cast<QMouseEvent*>(event);
                if (mouse->flags() & Qt::MouseEventCreatedDoubleClick) return true;
                view_.mousePressEvent(mouse);
                return true;
            }
            case QEvent::MouseButtonRelease:
                view_.mouseReleaseEvent(static_cast<QMouseEvent*>(event));
                return true;
            case QEvent::MouseButtonDblClick:
                view_.mouseDoubleClickEvent(static_cast<QMouseEvent*>(event));
                return true;
            case QEvent::MouseMove: {
                auto* mouse = static_cast<QMouseEvent*>(event);
                if (mouse->buttons() != Qt::NoButton) view_.mouseMoveEvent(mouse);
                return true;
            }
            case QEvent::KeyPress:
            case QEvent::KeyRelease: {
                // Should the window system hand the keyboard to the preview all the same, keys
                // go where they would have gone in the main window.
                QWidget* main = view_.window();
                QWidget* target = main->focusWidget() != nullptr ? main->focusWidget() : main;
                QApplication::sendEvent(target, event);
                return true;
            }
            default:
                return QWindow::event(event);
        }
    }

private:
    GlView& view_;
    std::unique_ptr<QOpenGLContext> context_;
    bool tried_ = false;
};

// The widget of earlier releases: the scene goes into a framebuffer of the widget's own,
// which Qt composes into the main window when the event loop next paints.
class ComposedSurface final : public QOpenGLWidget, public GlView::Surface {
public:
    explicit ComposedSurface(GlView& view) : QOpenGLWidget(&view), view_(view) {
        // The framebuffer keeps the last picture, so composition can show it without a redraw.
        setUpdateBehavior(QOpenGLWidget::PartialUpdate);
        setGeometry(view.rect());
    }

    bool valid() const override { return isValid(); }
    bool make_current() override {
        if (!isValid()) return false;
        makeCurrent();
        return true;
    }
    void done_current() override { doneCurrent(); }

    void draw_and_present() override {
        // Rendering here rather than through repaint(): a repaint asked for in quick
        // succession may return without painting, and the picture must be there on return.
        view_.draw_current();
        picture_current_ = true;
        update();
    }

    QImage grab() override { return grabFramebuffer(); }

    void release(SceneGl& scene_gl) override {
        if (!isValid()) return;
        makeCurrent();
        scene_gl.release();
        doneCurrent();
    }

protected:
    void initializeGL() override {
        if (context() == nullptr || !context()->isValid()) {
            view_.report(texts::kNoContext);
            return;
        }
        if (QOpenGLContext::currentContext() != context()) {
            view_.report(texts::kNoMakeCurrent);
            return;
        }
        prepare_context_state();
        SetupLights();
    }

    // The composition that a draw asks for finds its picture already drawn; any other paint
    // request (an expose, a new framebuffer after a resize) gets the whole scene drawn afresh.
    void paintGL() override {
        if (!picture_current_) view_.draw_current();
        picture_current_ = false;
        ++view_.presented_frames_;
    }

    void resizeGL(int, int) override { picture_current_ = false; }

    bool event(QEvent* event) override {
        const bool handled = QOpenGLWidget::event(event);
        // The base class makes its context on the first show and skips initializeGL when
        // that fails, so the failure is found here.
        if (event->type() == QEvent::Show && !isValid() && !size().isEmpty() &&
            QOpenGLWidget::window()->windowHandle() != nullptr) {
            view_.report(texts::kNoContext);
        }
        return handled;
    }

private:
    GlView& view_;
    bool picture_current_ = false;
};

GlView::GlView(EditorState& state, QWidget* parent)
    : QWidget(parent), state_(state), scene_gl_(std::make_unique<SceneGl>()) {
    keep_freed_memory_between_pictures();
    setObjectName("GlView");
    setMouseTracking(false);
    if (next_presentation == Presentation::kNativeSurface) {
        auto* native = new NativeSurface(*this);
        QWidget* container = QWidget::createWindowContainer(native, this);
        container->setObjectName("GlViewSurface");
        // Mouse input reaches the native window itself; the container only places it.
        container->setAttribute(Qt::WA_TransparentForMouseEvents);
        container->setFocusPolicy(Qt::NoFocus);
        container->setGeometry(rect());
        surface_ = native;
    } else {
        surface_ = new ComposedSurface(*this);
    }
}

GlView::~GlView() {
    surface_->release(*scene_gl_);
}

void GlView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Children are shown first: the native window exists by now, so its context can be made.
    surface_->prepare();
}

void GlView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        child->setGeometry(rect());
    }
}

void GlView::DrawScene() {
    if (!surface_->make_current()) return;
    surface_->draw_and_present();
}

QImage GlView::grabFramebuffer() {
    if (!surface_->make_current()) return QImage();
    return surface_->grab();
}

bool GlView::isValid() const {
    return surface_->valid();
}

void GlView::makeCurrent() {
    surface_->make_current();
}

void GlView::doneCurrent() {
    surface_->done_current();
}

QWindow* GlView::surface() const {
    return surface_->window();
}

bool GlView::repeat_last_draw() {
    return surface_->make_current() && warpkit::repeat_last_draw(*scene_gl_);
}

void GlView::draw_current() {
    SurfacePlace place;
    if (const QWidget* parent = parentWidget()) {
        place.left = x();
        place.bottom = parent->height() - (y() + height());
    }
    warpkit::DrawScene(state_, *scene_gl_, place);
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
