#include "view/scene_renderer.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <algorithm>
#include <cstddef>
#include <vector>

#include "app/editor_state.h"
#include "model/normals.h"
#include "view/draw_arrays.h"

namespace warpkit {

namespace {

// The projection keeps the aspect of a 320 x 294 preview area, not that of the viewport.
constexpr double kFieldOfView = 30.0;
constexpr float kAspect = 320.0f / 294.0f;
constexpr double kNear = 1.0;
constexpr double kFar = 65536.0;

DrawPath current_path = DrawPath::kBufferObjects;

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
// the per-triangle path never sees them.
void draw_batch(GLenum primitive, const ArrayBatch& batch) {
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
    glDrawElements(primitive, static_cast<GLsizei>(batch.index_count), GL_UNSIGNED_INT,
                   batch.indices);
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

void draw_client_arrays(EditorState& state) {
    switch (state.ShadingMode) {
        case kWireFrame:
            draw_batch(GL_LINES, prepare_wire_frame(draw_arrays_of(state.mesh), state));
            break;
        case kFlat:
            draw_batch(GL_TRIANGLES, prepare_flat(draw_arrays_of(state.mesh), state));
            break;
        default:
            draw_batch(GL_TRIANGLES, prepare_smooth(draw_arrays_of(state.mesh), state));
            break;
    }
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

// The buffer objects of one context, and the lean layout and colours they were filled for.
struct SceneGl::Buffers {
    QOpenGLExtraFunctions* gl = nullptr;
    bool checked = false;
    bool usable = false;        // buffer objects exist on this context
    bool can_map = false;       // and can be written in place
    std::vector<Vec3> staging;  // where data goes first when they cannot be mapped

    GLuint indices = 0, positions = 0, normals = 0, colours = 0;
    uint64_t lean_id = 0;  // the layout they hold (0: none)
    size_t vertex_count = 0;
    size_t index_count = 0;
    ColourChoice colours_filled;

    bool usable_here() {
        if (!checked) {
            checked = true;
            QOpenGLContext* context = QOpenGLContext::currentContext();
            if (context == nullptr) return false;
            gl = context->extraFunctions();
            usable = gl->hasOpenGLFeature(QOpenGLFunctions::Buffers);
            const QSurfaceFormat format = context->format();
            can_map = format.version() >= qMakePair(3, 0) ||
                      context->hasExtension("GL_ARB_map_buffer_range");
        }
        return usable;
    }

    void release() {
        if (gl != nullptr && indices != 0) {
            const GLuint names[] = {indices, positions, normals, colours};
            gl->glDeleteBuffers(4, names);
        }
        indices = positions = normals = colours = 0;
        lean_id = 0;
        checked = false;
        colours_filled = ColourChoice{};
        std::vector<Vec3>().swap(staging);
    }

    // Storage of `bytes` for the array buffer `name`, written by `fill(pointer)` in place:
    // through a mapping that tells the driver the old contents may go (so a GPU still
    // reading them is not waited for), or through a staging copy where mapping is missing.
    template <typename Fill>
    void write(GLuint name, size_t bytes, Fill&& fill) {
        gl->glBindBuffer(GL_ARRAY_BUFFER, name);
        void* mapped = nullptr;
        if (can_map) {
            mapped = gl->glMapBufferRange(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(bytes),
                                          GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_BUFFER_BIT);
        }
        if (mapped != nullptr) {
            fill(mapped);
            gl->glUnmapBuffer(GL_ARRAY_BUFFER);
        } else {
            staging.resize((bytes + sizeof(Vec3) - 1) / sizeof(Vec3));
            fill(static_cast<void*>(staging.data()));
            gl->glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(bytes), staging.data());
        }
        gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
    }

    // Indices from the layout and room for its vertex data, when they hold another layout.
    void take_layout(DrawArrays& arrays, size_t vertices) {
        if (indices == 0) {
            GLuint names[4];
            gl->glGenBuffers(4, names);
            indices = names[0];
            positions = names[1];
            normals = names[2];
            colours = names[3];
        }
        const std::vector<uint32_t>& layout = arrays.lean_indices;
        gl->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indices);
        gl->glBufferData(GL_ELEMENT_ARRAY_BUFFER,
                         static_cast<GLsizeiptr>(layout.size() * sizeof(uint32_t)), layout.data(),
                         GL_STATIC_DRAW);
        gl->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
        index_count = layout.size();
        release_lean_indices(arrays);
        // Vertex data is rewritten at every draw; colours only when they change. Buffers of
        // another layout shrink to nothing until they are needed again.
        const auto room = [this](GLuint name, size_t bytes) {
            gl->glBindBuffer(GL_ARRAY_BUFFER, name);
            gl->glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes), nullptr,
                             GL_DYNAMIC_DRAW);
        };
        room(positions, vertices * sizeof(Vec3));
        room(normals, vertices * sizeof(Vec3));
        room(colours, 0);
        gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
        vertex_count = vertices;
        lean_id = arrays.lean_id;
        colours_filled = ColourChoice{};
    }
};

SceneGl::SceneGl() : buffers_(std::make_unique<Buffers>()) {}
SceneGl::~SceneGl() = default;

void SceneGl::release() {
    buffers_->release();
}

namespace {

void draw_buffer_objects(EditorState& state, SceneGl::Buffers& buffers) {
    ObjectMesh& mesh = state.mesh;
    DrawArrays& arrays = draw_arrays_of(mesh);
    const int32_t mode = state.ShadingMode;
    const LeanLayout layout = mode == kFlat ? LeanLayout::kFlat : LeanLayout::kCorners;
    const bool held =
        buffers.lean_id != 0 && buffers.lean_id == arrays.lean_id && arrays.lean == layout;
    const size_t vertices = prepare_lean(arrays, mesh, layout, !held);
    if (buffers.lean_id != arrays.lean_id) buffers.take_layout(arrays, vertices);
    if (buffers.index_count == 0) return;

    // vertex data for this draw, normals only where lighting reads them
    const bool lit = mode != kWireFrame;
    const size_t bytes = vertices * sizeof(Vec3);
    buffers.write(buffers.positions, bytes,
                  [&](void* out) { write_lean_positions(arrays, mesh, static_cast<Vec3*>(out)); });
    if (lit) {
        buffers.write(buffers.normals, bytes, [&](void* out) {
            write_lean_normals(arrays, mesh, static_cast<Vec3*>(out));
        });
    }
    const bool palette = state.use_object_colours != 0;
    if (palette && colours_changed(buffers.colours_filled, state)) {
        QOpenGLExtraFunctions* gl = buffers.gl;
        gl->glBindBuffer(GL_ARRAY_BUFFER, buffers.colours);
        gl->glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes), nullptr, GL_STATIC_DRAW);
        buffers.write(buffers.colours, bytes, [&](void* out) {
            write_lean_colours(arrays, state, static_cast<float*>(out));
        });
        remember_colours(buffers.colours_filled, state);
    }

    // one draw call; wire frame draws each triangle's outline, back faces included
    QOpenGLExtraFunctions* gl = buffers.gl;
    glEnableClientState(GL_VERTEX_ARRAY);
    gl->glBindBuffer(GL_ARRAY_BUFFER, buffers.positions);
    glVertexPointer(3, GL_FLOAT, 0, nullptr);
    if (lit) {
        glEnableClientState(GL_NORMAL_ARRAY);
        gl->glBindBuffer(GL_ARRAY_BUFFER, buffers.normals);
        glNormalPointer(GL_FLOAT, 0, nullptr);
    }
    if (palette) {
        glEnableClientState(GL_COLOR_ARRAY);
        gl->glBindBuffer(GL_ARRAY_BUFFER, buffers.colours);
        glColorPointer(3, GL_FLOAT, 0, nullptr);
    } else {
        glColor3f(state.object_colour[0], state.object_colour[1], state.object_colour[2]);
    }
    gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
    gl->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers.indices);
    if (!lit) {
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        glDisable(GL_CULL_FACE);
    }
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(buffers.index_count), GL_UNSIGNED_INT,
                   nullptr);
    if (!lit) {
        glEnable(GL_CULL_FACE);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    }
    gl->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void draw_triangles(EditorState& state, SceneGl::Buffers& buffers) {
    DrawPath path = current_path;
    if (path == DrawPath::kBufferObjects && !buffers.usable_here()) path = DrawPath::kVertexArrays;
    set_two_sided_lighting(path != DrawPath::kBufferObjects);
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
        case DrawPath::kBufferObjects:
            draw_buffer_objects(state, buffers);
            break;
        case DrawPath::kVertexArrays:
            draw_client_arrays(state);
            break;
        case DrawPath::kPerTriangle:
            draw_per_triangle(state);
            break;
    }
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

void set_draw_path(DrawPath path) {
    current_path = path;
}

DrawPath draw_path() {
    return current_path;
}

}  // namespace warpkit
