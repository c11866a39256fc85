#pragma once
// Every GL call of the preview. Plain GL and GLU on whatever context is current; the caller
// owns the context and presents the picture.
#include <memory>

namespace warpkit {

struct EditorState;

// Where the drawing surface lies in the main window's client area: its left edge and the
// number of client rows below it, in pixels.
struct SurfacePlace {
    int left = 0;
    int bottom = 0;
};

// Depth test, back-face culling and the black clear colour. Once per context.
void prepare_context_state();

// Material, light 0, light model and colour material. Once per context, after the above.
void SetupLights();

// The fixed viewport: (-30, 30, 384, 352) in client pixels whatever the surface's size,
// given in the surface's own pixels.
void FormResize(SurfacePlace place = {});

// What one context keeps between draws: the buffer object of the lean layout's indices and
// which layout it holds, and the last draw call. Filled by the draws; release() deletes the GL
// objects and must run with the context current before the context goes (a SceneGl dropped
// without it leaves them to the context's own end).
class SceneGl {
public:
    SceneGl();
    ~SceneGl();
    SceneGl(const SceneGl&) = delete;
    SceneGl& operator=(const SceneGl&) = delete;
    void release();

    struct Buffers;
    Buffers& buffers() { return *buffers_; }

private:
    std::unique_ptr<Buffers> buffers_;
};

// Draws the whole scene: viewport, clear, projection, light, camera and, when a source is
// loaded, every triangle in the current shading mode. Recomputes face normals in flat mode and
// vertex normals in smooth mode from the displayed shape. Ends with glFlush; presenting the
// picture is the caller's job.
void DrawScene(EditorState& state, SceneGl& gl, SurfacePlace place = {});

// Sends the triangles of the last DrawScene on this context once more, from the arrays or
// buffers as they are and with the GL state as it is: what the driver's draw costs alone, the
// reference benchmarks hold a whole step to. False (nothing sent) when that draw sent no
// triangles in bulk.
bool repeat_last_draw(SceneGl& gl);

// How DrawScene sends the triangles. Lean (the default): the lean layouts of model/draw_arrays.h,
// their indices in a buffer object that stays put, lit on the front side only: the same
// picture for less work per vertex and no copy of the shape kept anywhere but where it is
// computed. Vertex arrays lit on both sides are how earlier releases drew; one begin/end per
// triangle is the plain way. Both are kept as references: the pictures are checked against the
// per-triangle one, the times against the vertex arrays. Applies to every later draw on this
// thread.
enum class DrawPath { kLean, kVertexArrays, kPerTriangle };
void set_draw_path(DrawPath path);
DrawPath draw_path();

}  // namespace warpkit
