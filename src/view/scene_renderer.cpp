#include "view/scene_renderer.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cstddef>

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

DrawPath current_path = DrawPath::kVertexArrays;

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

void draw_triangles(EditorState& state) {
    const bool arrays = current_path == DrawPath::kVertexArrays;
    switch (state.ShadingMode) {
        case kWireFrame:
            glDisable(GL_LIGHTING);
            if (arrays) {
                draw_batch(GL_LINES, prepare_wire_frame(draw_arrays_of(state.mesh), state));
            } else {
                draw_wire_frame_per_triangle(state);
            }
            break;
        case kFlat:
            glEnable(GL_LIGHTING);
            compute_face_normals(state);
            glShadeModel(GL_FLAT);
            if (arrays) {
                draw_batch(GL_TRIANGLES, prepare_flat(draw_arrays_of(state.mesh), state));
            } else {
                draw_flat_per_triangle(state);
            }
            break;
        default:
            glEnable(GL_LIGHTING);
            compute_vertex_normals(state);
            glShadeModel(GL_SMOOTH);
            if (arrays) {
                draw_batch(GL_TRIANGLES, prepare_smooth(draw_arrays_of(state.mesh), state));
            } else {
                draw_smooth_per_triangle(state);
            }
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

void FormResize() {
    glViewport(-30, 30, 384, 352);
}

void DrawScene(EditorState& state) {
    FormResize();
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

    if (state.source_loaded()) draw_triangles(state);
    glFlush();
}

void set_draw_path(DrawPath path) {
    current_path = path;
}

DrawPath draw_path() {
    return current_path;
}

}  // namespace warpkit
