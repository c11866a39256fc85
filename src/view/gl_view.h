#pragma once
// The preview surface: a GL widget that draws the session's scene and hands its mouse input on.
// It covers the main window's whole client area beneath the other controls.
#include <QOpenGLWidget>
#include <functional>
#include <string>

namespace warpkit {

struct EditorState;

class GlView : public QOpenGLWidget {
    Q_OBJECT

  public:
    GlView(EditorState& state, QWidget* parent);

    // Draws the whole scene now: when this returns the new picture is in the widget's
    // framebuffer (grabFramebuffer() shows it) and composition has been asked for.
    // Without a working context it does nothing.
    void DrawScene();

    // Told once when no context could be created or made current; the view then stays blank.
    std::function<void(const std::string&)> on_error;

    // Mouse input on the preview, for the view drags. A move arrives only while a button is
    // held. A left double click is reported, then every double click counts as the press it
    // also is, so each release has its press.
    std::function<void(Qt::MouseButton)> on_press;
    std::function<void()> on_move;
    std::function<void(Qt::MouseButton)> on_release;
    std::function<void()> on_double_click;

  protected:
    void initializeGL() override;
    void paintGL() override;
    void resizeGL(int width, int height) override;
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    void report(const char* message);
    void report_failed_initialisation();

    EditorState& state_;
    bool reported_ = false;
    bool picture_current_ = false;  // DrawScene drew what the next paint must show
};

}  // namespace warpkit
