#include "export/obj_frames.h"

#include <charconv>
#include <cstdio>
#include <filesystem>

#include "export/frame_weights.h"
#include "export/output_file.h"
#include "export/printable.h"
#include "export/shape_check.h"
#include "export/unit_normals.h"
#include "model/qxm_reader.h"

namespace warpkit::exporting {

namespace {

// The shortest text that reads back as the same float, whatever the locale.
void append_number(std::string& out, float value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

void append_triple(std::string& out, const char* tag, const Vec3& v) {
    out += tag;
    for (float c : {v.x, v.y, v.z}) {
        out += ' ';
        append_number(out, c);
    }
    out += '\n';
}

std::string material_name(int32_t colour) {
    return "colour_" + std::to_string(colour);
}

}  // namespace

std::string frame_file_name(int32_t frame) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%04d.obj", static_cast<int>(frame));
    return name;
}

std::string obj_text(const EditorState& state, const std::vector<Vec3>& normals,
                     const std::string& comment, const std::string& palette_file) {
    const ObjectMesh& mesh = state.mesh;
    const bool coloured = !mesh.palette_red.empty();
    std::string out = "# " + comment + "\n";
    if (coloured) out += "mtllib " + palette_file + "\n";
    out += "o " + printable(state.slots[0].name) + "\n";
    for (const Vec3& v : mesh.displayed) append_triple(out, "v", v);
    for (const Vec3& n : normals) append_triple(out, "vn", n);
    int32_t colour = -1;
    for (const Triangle& t : mesh.triangles) {
        if (coloured && t.colour != colour) {
            colour = t.colour;
            out += "usemtl " + material_name(colour) + "\n";
        }
        out += 'f';
        for (int corner = 0; corner < 3; ++corner) {
            const std::string index = std::to_string(t.v[corner] + 1);
            out += ' ' + index + "//" + index;
        }
        out += '\n';
    }
    return out;
}

std::string mtl_text(const EditorState& state) {
    const ObjectMesh& mesh = state.mesh;
    std::string out = "# colours of " + printable(state.slots[0].name) + "\n";
    for (size_t c = 0; c < mesh.palette_red.size(); ++c) {
        out += "newmtl " + material_name(static_cast<int32_t>(c)) + "\n";
        append_triple(out, "Kd",
                      {mesh.palette_red[c], mesh.palette_green[c], mesh.palette_blue[c]});
    }
    return out;
}

ObjExport write_obj_frames(EditorState& state, int32_t first, int32_t last, int32_t step,
                           const std::string& folder, Progress* progress) {
    namespace fs = std::filesystem;
    ObjExport result;
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
        result.problem = "cannot make the folder " + printable(folder) + ": " + error.message();
        return result;
    }
    const auto path_of = [&](const std::string& name) {
        return (fs::path(folder) / name).string();
    };
    const auto write = [&](const std::string& name, const std::string& text) {
        const std::string path = path_of(name);
        const FileOutcome written = write_output_file(path, text);
        if (!written.ok)
            result.problem = "cannot write " + printable(path) + ": " + written.reason.en;
        return written.ok;
    };

    // A link planted under one of the names stops the export before any file is written, so
    // the folder is not left with half the frames replaced.
    const bool coloured = !state.mesh.palette_red.empty();
    const auto refused = [&](const std::string& name) {
        const std::string problem = output_path_problem(path_of(name));
        if (!problem.empty())
            result.problem = "cannot write " + printable(path_of(name)) + ": " + problem;
        return !problem.empty();
    };
    if (coloured && refused(kPaletteFileName)) return result;
    for (int64_t next = first; next <= last; next += step) {
        if (refused(frame_file_name(static_cast<int32_t>(next)))) return result;
    }
    if (coloured && !write(kPaletteFileName, mtl_text(state))) return result;
    result.palette_written = coloured;
    const std::string source = printable(state.slots[0].name);
    for (int64_t next = first; next <= last; next += step) {
        const int32_t frame = static_cast<int32_t>(next);
        blend_at(state, frame);
        result.problem =
            non_finite_problem(state.mesh.displayed, "the shape at frame " + std::to_string(frame));
        if (!result.problem.empty()) return result;
        const std::string comment =
            source + " at frame " + std::to_string(frame) + ", written by warpkit-export";
        if (!write(frame_file_name(frame),
                   obj_text(state, unit_vertex_normals(state), comment, kPaletteFileName))) {
            return result;
        }
        ++result.written;
        if (progress) progress->advance(result.written);
    }
    result.ok = true;
    return result;
}

}  // namespace warpkit::exporting
