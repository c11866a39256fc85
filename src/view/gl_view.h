#pragma once
// The preview: the session's scene drawn onto a native child surface of the main window with
// a context of its own, and presented by swapping its buffers, so a draw costs the driver's
// work and one copy of the preview's pixels to the screen. The surface covers only the free
// region it is placed on (the controls around it stay the main window's own); the fixed
// viewport is shifted by that place, so the picture lands on the same client pixels as if it
// covered the whole client area. Mouse input on the surface is handed on.
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

class QImage;
class QWindow;

namespace warpkit {

struct EditorState;
class SceneGl;

// How the picture reaches the screen. The native surface above is the program's way. The
// composed widget draws into an off-screen framebuffer that Qt then composes into the window,
// the way earlier releases did; it is kept as the reference the benchmarks measure the native
// surface against. Applies to views made afterwards.
enum class Presentation { kNativeSurface, kComposedWidget };
void set_presentation(Presentation presentation);

class GlView : public QWidget {
    Q_OBJECT

public:
    GlView(EditorState& state, QWidget* parent);
    ~GlView() override;

    // Draws the whole scene and presents it: when this returns, the new picture has been
    // swapped onto the screen (composed widget: it is in the widget's framebuffer and
    // composition has been asked for). Without a working context, or while the native surface
    // is not on the screen (its expose draws then), it does nothing.
    void DrawScene();

    // The scene drawn afresh and read back, as the preview shows it (size of the view).
    QImage grabFramebuffer();

    // A context was made and made current.
    bool isValid() const;
    // The preview's context, for callers that read pixels or finish drawing themselves.
    void makeCurrent();
    void doneCurrent();
    // The native surface, or nullptr for the composed widget.
    QWindow* surface() const;
    // Pictures shown so far: swaps of the native surface, compositions of a drawn picture by
    // the composed widget (which shows only the last of several draws between two).
    int presented_frames() const { return presented_frames_; }
    // The last draw call sent once more on the current context, nothing else: what the
    // driver's draw costs alone (scene_renderer.h). False when there is none to send.
    bool repeat_last_draw();

    // Told once when no context could be created or made current; the view then stays blank.
    std::function<void(const std::string&)> on_error;

    // Mouse input on the preview, for the view drags. A move arrives only while a button is
    // held. A left double click is reported, then every double click counts as the press it
    // also is, so each release has its press.
    std::function<void(Qt::MouseButton)> on_press;
    std::function<void()> on_move;
    std::function<void(Qt::MouseButton)> on_release;
    std::function<void()> on_double_click;

    class Surface;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    friend class NativeSurface;
    friend class ComposedSurface;

    // The scene drawn on the current context at this view's place in its parent.
    void draw_current();
    void report(const char* message);

    EditorState& state_;
    std::unique_ptr<SceneGl> scene_gl_;
    Surface* surface_ = nullptr;  // a child of this view (owned by Qt's parents)
    bool reported_ = false;
    int presented_frames_ = 0;
};

}  // namespace warpkit
