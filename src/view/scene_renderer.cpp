#include "view/scene_renderer.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <algorithm>
#include <cstddef>
#include <vector>

#include "base/editor_state.h"
#include "model/draw_arrays.h"
#include "model/normals.h"

namespace warpkit {

namespace {

// The projection keeps the aspect of a 320 x 294 preview area, not that of the viewport.
constexpr double kFieldOfView = 30.0;
constexpr float kAspect = 320.0f / 294.0f;
constexpr double kNear = 1.0;
constexpr double kFar = 65536.0;

DrawPath current_path = DrawPath::kLean;

bool in_range(int32_t index, size_t count) {
    return index >= 0 && static_cast<size_t>(index) < count;
}

bool drawable(const Triangle& t, size_t vertex_count) {
    return in_range(t.v[0], vertex_count) && in_range(t.v[1], vertex_count) &&
           in_range(t.v[2], vertex_count);
}

// A file without a colour table still names colour 0; such a triangle takes the object colour.
void set_triangle_colour(const EditorState& state, const Triangle& t) {
    const ObjectMesh& mesh = state.mesh;
    if (state.use_object_colours != 0 && in_range(t.colour, mesh.palette_red.size()) &&
        in_range(t.colour, mesh.palette_green.size()) &&
        in_range(t.colour, mesh.palette_blue.size())) {
        glColor3f(mesh.palette_red[t.colour], mesh.palette_green[t.colour],
                  mesh.palette_blue[t.colour]);
    } else {
        glColor3f(state.object_colour[0], state.object_colour[1], state.object_colour[2]);
    }
}

void vertex(const Vec3& p) {
    glVertex3f(p.x, p.y, p.z);
}

void normal(const Vec3& n) {
    glNormal3f(n.x, n.y, n.z);
}

void draw_wire_frame_per_triangle(const EditorState& state) {
    const ObjectMesh& mesh = state.mesh;
    for (const Triangle& t : mesh.triangles) {
        if (!drawable(t, mesh.displayed.size())) continue;
        set_triangle_colour(state, t);
        glBegin(GL_LINE_LOOP);
        for (int c = 0; c < 3; ++c) vertex(mesh.displayed[t.v[c]]);
        glEnd();
    }
}

void draw_flat_per_triangle(const EditorState& state) {
    const ObjectMesh& mesh = state.mesh;
    for (size_t k = 0; k < mesh.triangles.size(); ++k) {
        const Triangle& t = mesh.triangles[k];
        if (!drawable(t, mesh.displayed.size())) continue;
        set_triangle_colour(state, t);
        glBegin(GL_POLYGON);
        normal(mesh.face_normals[k]);
        for (int c = 0; c < 3; ++c) vertex(mesh.displayed[t.v[c]]);
        glEnd();
    }
}

void draw_smooth_per_triangle(const EditorState& state) {
    const ObjectMesh& mesh = state.mesh;
    const size_t vertex_count = std::min(mesh.displayed.size(), mesh.vertex_normals.size());
    for (const Triangle& t : mesh.triangles) {
        if (!drawable(t, vertex_count)) continue;
        set_triangle_colour(state, t);
        glBegin(GL_POLYGON);
        for (int c = 0; c < 3; ++c) {
            normal(mesh.vertex_normals[t.v[c]]);
            vertex(mesh.displayed[t.v[c]]);
        }
        glEnd();
    }
}

// One draw call for the whole batch; client arrays are switched on only for its length, so
// the per-triangle path never sees them. `indices`: the batch's own, or an offset into the
// bound element buffer.
void draw_batch(GLenum primitive, const ArrayBatch& batch, const void* indices) {
    if (batch.index_count == 0) return;
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, batch.positions);
    if (batch.normals != nullptr) {
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, 0, batch.normals);
    }
    if (batch.colours != nullptr) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(3, GL_FLOAT, 0, batch.colours);
    } else {
        glColor3f(batch.colour[0], batch.colour[1], batch.colour[2]);
    }
    glDrawElements(primitive, static_cast<GLsizei>(batch.index_count), GL_UNSIGNED_INT, indices);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

// Earlier releases lit both sides of every triangle. Back faces are culled, so the back's
// lighting never shows: the lean path lights the front only, which halves the lighting work
// per vertex and gives the same pixels.
void set_two_sided_lighting(bool on) {
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, on ? 1 : 0);
}

void draw_client_arrays(EditorState& state, GLenum& primitive, ArrayBatch& batch) {
    DrawArrays& arrays = draw_arrays_of(state.mesh);
    switch (state.ShadingMode) {
        case kWireFrame:
            primitive = GL_LINES;
            batch = prepare_wire_frame(arrays, state);
            break;
        case kFlat:
            primitive = GL_TRIANGLES;
            batch = prepare_flat(arrays, state);
            break;
        default:
            primitive = GL_TRIANGLES;
            batch = prepare_smooth(arrays, state);
            break;
    }
    draw_batch(primitive, batch, batch.indices);
}

void draw_per_triangle(const EditorState& state) {
    switch (state.ShadingMode) {
        case kWireFrame:
            draw_wire_frame_per_triangle(state);
            break;
        case kFlat:
            draw_flat_per_triangle(state);
            break;
        default:
            draw_smooth_per_triangle(state);
            break;
    }
}

}  // namespace

// What one context keeps: the lean layout's indices in a buffer object (where the context has
// buffer objects; otherwise they stay with the layout), and the last draw.
struct SceneGl::Buffers {
    QOpenGLFunctions* gl = nullptr;
    bool checked = false;
    bool usable = false;  // buffer objects exist on this context

    GLuint indices = 0;
    uint64_t lean_id = 0;  // the layout they hold (0: none)

    // The last draw call, so it can be sent again as it was.
    DrawPath last_path = DrawPath::kPerTriangle;
    GLenum last_primitive = GL_TRIANGLES;
    ArrayBatch last_batch;
    bool last_outline = false;

    bool usable_here() {
        if (!checked) {
            checked = true;
            if (QOpenGLContext* context = QOpenGLContext::currentContext()) {
                gl = context->functions();
                usable = gl->hasOpenGLFeature(QOpenGLFunctions::Buffers);
            }
        }
        return usable;
    }

    void release() {
        if (gl != nullptr && indices != 0) gl->glDeleteBuffers(1, &indices);
        indices = 0;
        lean_id = 0;
        checked = false;
        last_path = DrawPath::kPerTriangle;
    }

    // The layout's indices into the buffer object, the CPU copy let go.
    void take_indices(DrawArrays& arrays) {
        if (indices == 0) gl->glGenBuffers(1, &indices);
        const std::vector<uint32_t>& layout = arrays.lean_indices;
        gl->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indices);
        gl->glBufferData(GL_ELEMENT_ARRAY_BUFFER,
                         static_cast<GLsizeiptr>(layout.size() * sizeof(uint32_t)), layout.data(),
                         GL_STATIC_DRAW);
        gl->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
        release_lean_indices(arrays);
        lean_id = arrays.lean_id;
    }
};

SceneGl::SceneGl() : buffers_(std::make_unique<Buffers>()) {}
SceneGl::~SceneGl() = default;

void SceneGl::release() {
    buffers_->release();
}

namespace {

// The lean draw: vertex data from client arrays, which the driver reads where they are (a GPU
// driver streams them, as it must every step since they change every step), the indices from
// the buffer object, which stay put. Wire frame draws each triangle's outline as polygons in
// line mode, with culling off so back faces show their edges as lines always did.
void send_lean(const SceneGl::Buffers& buffers, const ArrayBatch& batch, bool outline) {
    if (buffers.usable) buffers.gl->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers.indices);
    if (outline) {
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        glDisable(GL_CULL_FACE);
    }
    draw_batch(GL_TRIANGLES, batch, buffers.usable ? nullptr : batch.indices);
    if (outline) {
        glEnable(GL_CULL_FACE);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    }
    if (buffers.usable) buffers.gl->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

void draw_lean(EditorState& state, SceneGl::Buffers& buffers) {
    DrawArrays& arrays = draw_arrays_of(state.mesh);
    const int32_t mode = state.ShadingMode;
    const LeanLayout layout = mode == kFlat ? LeanLayout::kFlat : LeanLayout::kCorners;
    const bool in_buffer = buffers.usable_here();
    const bool held = in_buffer && buffers.lean_id != 0 && buffers.lean_id == arrays.lean_id &&
                      arrays.lean == layout;
    prepare_lean(arrays, state.mesh, layout, !held);
    if (in_buffer && buffers.lean_id != arrays.lean_id) buffers.take_indices(arrays);
    const bool outline = mode == kWireFrame;
    buffers.last_batch = lean_batch(arrays, state, !outline);
    buffers.last_outline = outline;
    send_lean(buffers, buffers.last_batch, outline);
}

void draw_triangles(EditorState& state, SceneGl::Buffers& buffers) {
    const DrawPath path = current_path;
    set_two_sided_lighting(path != DrawPath::kLean);
    // What only smooth shading reads goes while the shape is shown otherwise.
    if (state.ShadingMode == kWireFrame || state.ShadingMode == kFlat) {
        release_vertex_normals(state.mesh);
    }
    switch (state.ShadingMode) {
        case kWireFrame:
            glDisable(GL_LIGHTING);
            break;
        case kFlat:
            glEnable(GL_LIGHTING);
            compute_face_normals(state);
            glShadeModel(GL_FLAT);
            break;
        default:
            glEnable(GL_LIGHTING);
            compute_vertex_normals(state);
            glShadeModel(GL_SMOOTH);
            break;
    }
    switch (path) {
        case DrawPath::kLean:
            draw_lean(state, buffers);
            break;
        case DrawPath::kVertexArrays:
            draw_client_arrays(state, buffers.last_primitive, buffers.last_batch);
            break;
        case DrawPath::kPerTriangle:
            draw_per_triangle(state);
            break;
    }
    buffers.last_path = path;
}

}  // namespace

void prepare_context_state() {
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
}

void SetupLights() {
    const GLfloat black[] = {0.0f, 0.0f, 0.0f, 1.0f};
    const GLfloat white[] = {1.0f, 1.0f, 1.0f, 1.0f};
    const GLfloat half_grey[] = {0.5f, 0.5f, 0.5f, 1.0f};

    // material
    glMaterialfv(GL_FRONT, GL_AMBIENT, black);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, white);
    glMaterialfv(GL_FRONT, GL_SPECULAR, white);
    glMaterialf(GL_FRONT, GL_SHININESS, 100.0f);

    // light 0; its position is set per draw, in eye coordinates
    glLightfv(GL_LIGHT0, GL_AMBIENT, black);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, half_grey);
    glLightfv(GL_LIGHT0, GL_SPECULAR, white);

    // light model
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, half_grey);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);

    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_NORMALIZE);

    // the colour given per triangle becomes its ambient and diffuse reflectance
    glColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);
}

void FormResize(SurfacePlace place) {
    glViewport(-30 - place.left, 30 - place.bottom, 384, 352);
}

void DrawScene(EditorState& state, SceneGl& gl, SurfacePlace place) {
    FormResize(place);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    // projection
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(kFieldOfView, kAspect, kNear, kFar);

    // light fixed to the viewer: set before the camera moves the model-view matrix
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const GLfloat light_position[] = {1.0f, 1.0f, 1.0f, 0.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, light_position);

    // camera
    glTranslatef(0.0f, 0.0f, -state.view_distance);
    glRotated(-static_cast<double>(state.yaw), 0.0, 1.0, 0.0);
    glRotated(-static_cast<double>(state.pitch), 1.0, 0.0, 0.0);
    glTranslatef(-state.view_centre.x, -state.view_centre.y, -state.view_centre.z);

    if (state.source_loaded()) draw_triangles(state, gl.buffers());
    glFlush();
}

bool repeat_last_draw(SceneGl& gl) {
    const SceneGl::Buffers& buffers = gl.buffers();
    switch (buffers.last_path) {
        case DrawPath::kLean:
            send_lean(buffers, buffers.last_batch, buffers.last_outline);
            return true;
        case DrawPath::kVertexArrays:
            draw_batch(buffers.last_primitive, buffers.last_batch, buffers.last_batch.indices);
            return true;
        case DrawPath::kPerTriangle:
            break;
    }
    return false;
}

void set_draw_path(DrawPath path) {
    current_path = path;
}

DrawPath draw_path() {
    return current_path;
}

}  // namespace warpkit
