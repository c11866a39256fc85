#include "import/obj_reader.h"

#include <tiny_obj_loader.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <sstream>

#include "base/display_text.h"
#include "base/file_paths.h"
#include "import/file_bytes.h"
#include "import/inside_folder.h"

namespace warpkit {
namespace {

constexpr uint8_t kDefaultGrey = 220;

// tinyobjloader adds up an exponent's digits in an int that a ten-digit exponent can overflow
// (undefined behaviour); such a number is never meant, so its file is not handed over.
bool has_overlong_exponent(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != 'e' && text[i] != 'E') continue;
        size_t digit = i + 1;
        if (digit < text.size() && (text[digit] == '+' || text[digit] == '-')) ++digit;
        size_t end = digit;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
        if (end - digit >= 10) return true;
    }
    return false;
}

BilingualText overlong_exponent() {
    return {"指数が 10 桁以上の数があります", "a number has an exponent of ten or more digits"};
}

// tinyobjloader reads a face's vertex numbers with atoi, which wraps (or worse) past an int: the
// file's text is checked first, so 4294967299 is refused rather than taken for 3. Returns the
// first vertex number no int holds, with its line, or empty.
BilingualText overlong_face_index(const std::string& text) {
    size_t line = 1;
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find_first_of("\r\n", at), text.size());
        size_t i = text.find_first_not_of(" \t", at);
        if (i < end && text[i] == 'f' && i + 1 < end &&
            (text[i + 1] == ' ' || text[i + 1] == '\t')) {
            for (i += 2; i < end;) {
                i = std::min(text.find_first_not_of(" \t", i), end);
                const size_t token_end = std::min(text.find_first_of(" \t", i), end);
                // the vertex number: an optional sign, then digits up to the first '/'
                size_t digit = i < token_end && (text[i] == '+' || text[i] == '-') ? i + 1 : i;
                while (digit < token_end && text[digit] == '0') ++digit;
                size_t digits_end = digit;
                while (digits_end < token_end && text[digits_end] >= '0' && text[digits_end] <= '9')
                    ++digits_end;
                const std::string digits = text.substr(digit, digits_end - digit);
                if (digits.size() > 10 || (digits.size() == 10 && digits > "2147483647")) {
                    return format_both({"%zu 行目の面が頂点 %s を指定していますが、その v 行は"
                                        "ありません",
                                        "a face on line %zu names vertex %s, which no v line has"},
                                       line, text.substr(i, digits_end - i));
                }
                i = token_end;
            }
        }
        // "\r\n" ends one line
        at =
            end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n'
                ? end + 2
                : end + 1;
        ++line;
    }
    return {};
}

// Material libraries through the same checked reading as every other file of an import.
class LibraryReader : public tinyobj::MaterialReader {
public:
    LibraryReader(std::string folder, int64_t max_bytes)
        : folder_(std::move(folder)), max_bytes_(max_bytes) {}

    bool operator()(const std::string& name, std::vector<tinyobj::material_t>* materials,
                    std::map<std::string, int>* names, std::string* warn, std::string*) override {
        if (folder_.empty()) return false;
        // A library that leads out of the folder refuses the file (outside()); one that is
        // missing or cannot be read leaves its faces grey, the warning unshown.
        const NamedFile file = file_in_folder(folder_, name);
        if (!file.problem.empty()) {
            if (outside_.empty()) outside_ = file.problem;
            return false;
        }
        if (file.missing) return false;
        std::string bytes;
        BilingualText problem = read_file_bytes(file.path, max_bytes_, bytes);
        if (problem.empty() && has_overlong_exponent(bytes))
            problem = inside(same_in_both(name), overlong_exponent());
        if (!problem.empty()) {
            if (warn) *warn += problem.en + "\n";
            return false;
        }
        std::istringstream stream(bytes);
        tinyobj::LoadMtl(names, materials, &stream, warn, nullptr);
        return true;
    }

    // The first library named outside the folder, or empty.
    const BilingualText& outside() const { return outside_; }

private:
    std::string folder_;
    int64_t max_bytes_;
    BilingualText outside_;
};

// One `o` section as the callbacks see it: where its `v` lines start, and its faces.
struct Section {
    std::string name;
    size_t first_vertex = 0;
    size_t vertex_end = 0;
    std::vector<int64_t> corners;     // global, zero-based
    std::vector<size_t> face_starts;  // into corners
    std::vector<int32_t> materials;   // per face; -1 for none
};

struct ParseState {
    const ImportLimits* limits = nullptr;
    std::vector<Vec3> vertices;
    std::vector<Section> sections;
    int32_t material = -1;
    std::vector<tinyobj::material_t> materials;  // of every library read so far
    size_t corner_total = 0;
    BilingualText problem;  // the first one; later callbacks do nothing

    Section& current() { return sections.back(); }
};

ParseState& state_of(void* user) {
    return *static_cast<ParseState*>(user);
}

void on_vertex(void* user, tinyobj::real_t x, tinyobj::real_t y, tinyobj::real_t z,
               tinyobj::real_t) {
    ParseState& state = state_of(user);
    if (!state.problem.empty()) return;
    if (static_cast<int64_t>(state.vertices.size()) >= state.limits->max_positions) {
        state.problem = format_both({"ファイルの v 行が読み込める %lld 行を超えています",
                                     "the file has more than the %lld v lines an import reads"},
                                    static_cast<long long>(state.limits->max_positions));
        return;
    }
    if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) {
        state.problem = format_both({"%zu 番目の v 行に有限の数でない座標があります",
                                     "v line %zu has a coordinate that is not a finite number"},
                                    state.vertices.size() + 1);
        return;
    }
    state.vertices.push_back(Vec3{x, y, z});
}

void on_face(void* user, tinyobj::index_t* indices, int count) {
    ParseState& state = state_of(user);
    if (!state.problem.empty()) return;
    Section& section = state.current();
    state.corner_total += static_cast<size_t>(count);
    if (static_cast<int64_t>(state.corner_total) > state.limits->max_positions) {
        state.problem = format_both({"ファイルの面の角が読み込める %lld 個を超えています",
                                     "the file has more than the %lld face corners an import "
                                     "reads"},
                                    static_cast<long long>(state.limits->max_positions));
        return;
    }
    section.face_starts.push_back(section.corners.size());
    section.materials.push_back(state.material);
    for (int i = 0; i < count; ++i) {
        // OBJ counts from 1; a negative number counts back from the last v line so far.
        const int64_t raw = indices[i].vertex_index;
        const int64_t index = raw > 0 ? raw - 1 : static_cast<int64_t>(state.vertices.size()) + raw;
        if (raw == 0 || index < 0) {
            state.problem = format_both({"%sの面が頂点 %lld を指定していますが、その v 行は"
                                         "ありません",
                                         "a face in %s names vertex %lld, which no v line has"},
                                        quoted_name(section.name), static_cast<long long>(raw));
            return;
        }
        section.corners.push_back(index);
    }
}

void on_material(void* user, const char*, int material) {
    state_of(user).material = material;
}

void on_library(void* user, const tinyobj::material_t* materials, int count) {
    state_of(user).materials.assign(materials, materials + std::max(count, 0));
}

void on_object(void* user, const char* name) {
    ParseState& state = state_of(user);
    state.sections.back().vertex_end = state.vertices.size();
    Section next;
    next.name = name;
    // tinyobjloader keeps the rest of the line, line end included.
    while (!next.name.empty() &&
           (next.name.back() == '\r' || next.name.back() == ' ' || next.name.back() == '\t')) {
        next.name.pop_back();
    }
    next.first_vertex = state.vertices.size();
    state.sections.push_back(std::move(next));
}

bool self_contained(const Section& section) {
    return std::all_of(section.corners.begin(), section.corners.end(), [&](int64_t c) {
        return c >= static_cast<int64_t>(section.first_vertex) &&
               c < static_cast<int64_t>(section.vertex_end);
    });
}

// A mesh of the `v` lines first .. end and the faces of `sections`, fanned from each face's
// first corner.
BilingualText build_mesh(const ParseState& state, const std::vector<const Section*>& sections,
                         size_t first, size_t end, int32_t& default_colour, ImportedScene& scene,
                         ImportedMesh& mesh) {
    mesh.vertices.assign(state.vertices.begin() + static_cast<std::ptrdiff_t>(first),
                         state.vertices.begin() + static_cast<std::ptrdiff_t>(end));
    for (const Section* section : sections) {
        for (size_t f = 0; f < section->face_starts.size(); ++f) {
            const size_t begin = section->face_starts[f];
            const size_t stop = f + 1 < section->face_starts.size() ? section->face_starts[f + 1]
                                                                    : section->corners.size();
            for (size_t c = begin; c < stop; ++c) {
                if (section->corners[c] >= static_cast<int64_t>(end)) {
                    return format_both({"面が頂点 %lld を指定していますが、ファイルの v 行は "
                                        "%zu 行です",
                                        "a face names vertex %lld but the file has %zu v lines"},
                                       static_cast<long long>(section->corners[c] + 1),
                                       state.vertices.size());
                }
            }
            int32_t colour = section->materials[f];
            if (colour < 0 || static_cast<size_t>(colour) >= state.materials.size()) {
                if (default_colour < 0) {
                    default_colour = static_cast<int32_t>(scene.palette.size());
                    scene.palette.red.push_back(kDefaultGrey);
                    scene.palette.green.push_back(kDefaultGrey);
                    scene.palette.blue.push_back(kDefaultGrey);
                }
                colour = default_colour;
            }
            const auto local = [&](size_t c) {
                return static_cast<int32_t>(section->corners[c] - static_cast<int64_t>(first));
            };
            for (size_t c = begin + 1; c + 1 < stop; ++c) {
                mesh.triangles.push_back(
                    make_triangle(local(begin), local(c), local(c + 1), colour));
            }
        }
    }
    return {};
}

ImportOutcome read_obj(const std::string& text, const std::string& folder,
                       const std::string& fallback_name, const ImportLimits& limits,
                       ImportedScene& scene) {
    scene = ImportedScene{};
    if (has_overlong_exponent(text)) return ImportOutcome{false, overlong_exponent()};
    BilingualText wrapping = overlong_face_index(text);
    if (!wrapping.empty()) return ImportOutcome{false, std::move(wrapping)};
    std::istringstream stream(text);
    ParseState state;
    state.limits = &limits;
    state.sections.emplace_back();
    state.sections.back().name = fallback_name;

    tinyobj::callback_t callbacks;
    callbacks.vertex_cb = on_vertex;
    callbacks.index_cb = on_face;
    callbacks.usemtl_cb = on_material;
    callbacks.mtllib_cb = on_library;
    callbacks.object_cb = on_object;
    LibraryReader libraries(folder, limits.max_file_bytes);
    std::string warn;
    std::string err;
    tinyobj::LoadObjWithCallback(stream, callbacks, &state, &libraries, &warn, &err);
    if (!state.problem.empty()) return ImportOutcome{false, state.problem};
    if (!libraries.outside().empty()) return ImportOutcome{false, libraries.outside()};
    state.sections.back().vertex_end = state.vertices.size();

    // the palette: every material of the libraries, by index
    for (const tinyobj::material_t& material : state.materials) {
        const auto byte = [](tinyobj::real_t c) {
            return static_cast<uint8_t>(
                std::lround(std::clamp(std::isfinite(c) ? c : 0.0f, 0.0f, 1.0f) * 255.0f));
        };
        scene.palette.red.push_back(byte(material.diffuse[0]));
        scene.palette.green.push_back(byte(material.diffuse[1]));
        scene.palette.blue.push_back(byte(material.diffuse[2]));
    }

    // one mesh per section when every section keeps to its own vertices, else one for the file
    int32_t default_colour = -1;
    const bool split = std::all_of(state.sections.begin(), state.sections.end(), self_contained);
    if (split) {
        for (const Section& section : state.sections) {
            if (section.first_vertex == section.vertex_end && section.face_starts.empty()) continue;
            ImportedMesh mesh;
            mesh.name = section.name;
            BilingualText problem = build_mesh(state, {&section}, section.first_vertex,
                                               section.vertex_end, default_colour, scene, mesh);
            if (!problem.empty()) return ImportOutcome{false, problem};
            scene.meshes.push_back(std::move(mesh));
        }
    } else {
        ImportedMesh mesh;
        std::vector<const Section*> all;
        // named after the first section with faces: files that list every vertex first name
        // their objects only where the faces start
        for (const Section& section : state.sections) {
            all.push_back(&section);
            if (mesh.name.empty() && !section.face_starts.empty()) mesh.name = section.name;
        }
        if (mesh.name.empty()) mesh.name = state.sections.front().name;
        BilingualText problem =
            build_mesh(state, all, 0, state.vertices.size(), default_colour, scene, mesh);
        if (!problem.empty()) return ImportOutcome{false, problem};
        scene.meshes.push_back(std::move(mesh));
    }
    if (scene.meshes.empty()) {
        return ImportOutcome{
            false, {"ファイルには v 行も面もありません", "the file has no v lines and no faces"}};
    }
    return ImportOutcome{true, {}};
}

}  // namespace

ImportOutcome read_obj_file(const std::string& path, const ImportLimits& limits,
                            ImportedScene& scene) {
    try {
        std::string bytes;
        BilingualText problem = read_file_bytes(path, limits.max_file_bytes, bytes);
        if (!problem.empty()) return ImportOutcome{false, std::move(problem)};
        return read_obj(bytes, folder_of(path), stem_part(path), limits, scene);
    } catch (const std::bad_alloc&) {
        scene = ImportedScene{};
        return ImportOutcome{false, out_of_memory(same_in_both(display_text(path)))};
    }
}

ImportOutcome read_obj_text(const std::string& text, const std::string& fallback_name,
                            const ImportLimits& limits, ImportedScene& scene) {
    try {
        return read_obj(text, std::string(), fallback_name, limits, scene);
    } catch (const std::bad_alloc&) {
        scene = ImportedScene{};
        return ImportOutcome{false, out_of_memory({"OBJ ファイル", "the OBJ file"})};
    }
}

}  // namespace warpkit
