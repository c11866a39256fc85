#pragma once
// Every fixed-function GL call of the preview. Plain GL and GLU on whatever context is current;
// the caller owns the context and the framebuffer the picture lands in.
namespace warpkit {

struct EditorState;

// Depth test, back-face culling and the black clear colour. Once per context.
void prepare_context_state();

// Material, light 0, light model and colour material. Once per context, after the above.
void SetupLights();

// The fixed viewport (-30, 30, 384, 352): it never follows the widget's size.
void FormResize();

// Draws the whole scene: viewport, clear, projection, light, camera and, when a source is
// loaded, every triangle in the current shading mode. Recomputes face normals in flat mode and
// vertex normals in smooth mode from the displayed shape. Ends with glFlush; presenting the
// picture is the caller's job.
void DrawScene(EditorState& state);

// How DrawScene sends the triangles. Vertex arrays (the default) send a frame in one draw call
// and give the same picture; one begin/end per triangle is the plain way, kept as the
// reference the arrays are checked against. Applies to every later draw on this thread.
enum class DrawPath { kVertexArrays, kPerTriangle };
void set_draw_path(DrawPath path);
DrawPath draw_path();

}  // namespace warpkit
