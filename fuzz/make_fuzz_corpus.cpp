// Writes the seed corpora of the fuzz targets with the project's own writers: object files of
// several shapes and their damaged variants (each behind the chooser byte the qxm target reads
// first), and project texts as the writer makes them, as a person may edit them, out of order,
// and broken.
//
// Usage: make_fuzz_corpus <folder>    (writes <folder>/qxm, <folder>/project, <folder>/gltf and
//                                      <folder>/obj)
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "model/qxm_reader.h"
#include "project/project_file.h"
#include "support/project_builders.h"
#include "support/qxm_writer.h"

namespace {

using warpkit::KeyTrack;
using warpkit::ProjectData;
using warpkit::ProjectTarget;
using warpkit::testing::QxmFileSpec;
using warpkit::testing::QxmObjectSpec;
namespace fs = std::filesystem;
namespace t = warpkit::testing;

// ---- object files ----

struct Shape {
    std::string name;
    std::vector<uint8_t> bytes;
    std::vector<uint8_t> controls;  // chooser bytes to write the shape with
};

std::vector<Shape> valid_shapes() {
    std::vector<Shape> shapes;
    const std::vector<uint8_t> all_answers = {0, 1, 2, 0xFF, 0xFD};
    shapes.push_back({"three-objects", t::build_qxm(t::three_object_file()), all_answers});

    QxmFileSpec zeros = t::three_object_file();
    zeros.junk_seed = 0;
    shapes.push_back({"three-objects-zero-junk", t::build_qxm(zeros), {0, 2}});

    QxmFileSpec one;
    one.objects.push_back(t::make_single_triangle("tri"));
    one.junk_seed = 0;
    shapes.push_back({"single-triangle-no-colours", t::build_qxm(one), {0}});

    QxmFileSpec padded = t::three_object_file();
    padded.header_extra = {9, 9, 9, 9};
    padded.aux_records = 2;
    shapes.push_back({"header-extra-and-aux", t::build_qxm(padded), {1}});

    QxmFileSpec twins;
    twins.objects.push_back(t::make_single_triangle("twin", 0));
    twins.objects.push_back(t::make_grid_object("twin", 1, 1, 2));
    twins.colours = t::make_palette(2);
    shapes.push_back({"same-names", t::build_qxm(twins), {1}});

    QxmFileSpec names;
    names.objects.push_back(t::make_single_triangle("abcdefghijklmnop"));  // no NUL
    names.objects.push_back(t::make_single_triangle("\x8a\xe7"));          // Shift-JIS
    names.objects.push_back(t::make_single_triangle("\xe9\xa1\x94"));      // UTF-8
    names.objects.push_back(t::make_single_triangle("\xff\xfe%s%n"));
    names.objects.push_back(t::make_single_triangle(""));
    names.colours = t::make_palette(1);
    shapes.push_back({"odd-names", t::build_qxm(names), {0, 1, 3, 4}});

    QxmFileSpec many;
    // Empty objects but the first keep the file small enough to be mutated quickly.
    many.objects.push_back(t::make_single_triangle("o0"));
    for (int i = 1; i < warpkit::kMaxListedObjects + 1; ++i) {
        many.objects.push_back(QxmObjectSpec{});
        many.objects.back().name = "o" + std::to_string(i);
    }
    many.colours = t::make_palette(1);
    many.junk_seed = 0;
    shapes.push_back({"hundred-and-one-objects", t::build_qxm(many), {0xFB, 0xFC}});

    QxmFileSpec none;
    shapes.push_back({"no-objects", t::build_qxm(none), {0}});

    QxmFileSpec empty_object;
    empty_object.objects.push_back(QxmObjectSpec{});
    empty_object.objects.back().name = "empty";
    empty_object.objects.push_back(t::make_single_triangle("tri"));
    shapes.push_back({"object-without-vertices", t::build_qxm(empty_object), {0, 1}});

    QxmFileSpec odd_numbers;
    odd_numbers.objects.push_back(t::make_single_triangle("odd"));
    odd_numbers.objects[0].vertices[0] = {std::numeric_limits<float>::quiet_NaN(),
                                          std::numeric_limits<float>::infinity(), -0.0f};
    odd_numbers.objects[0].vertices[1] = {std::numeric_limits<float>::denorm_min(),
                                          std::numeric_limits<float>::max(), -1e-30f};
    shapes.push_back({"nan-and-infinite-coordinates", t::build_qxm(odd_numbers), {0}});
    return shapes;
}

std::vector<Shape> damaged_shapes() {
    struct Damage {
        const char* name;
        std::function<void(QxmFileSpec&)> damage;
        uint8_t control;
    };
    const std::vector<Damage> damages = {
        {"negative-header-length", [](QxmFileSpec& s) { s.header_length = -4; }, 0},
        {"huge-header-length", [](QxmFileSpec& s) { s.header_length = 0x7FFFFFFF; }, 0},
        {"negative-object-count", [](QxmFileSpec& s) { s.object_count = -1; }, 0},
        {"negative-triangle-total", [](QxmFileSpec& s) { s.triangle_total = -2; }, 0},
        {"negative-vertex-total", [](QxmFileSpec& s) { s.vertex_total = -3; }, 0},
        {"negative-colour-count", [](QxmFileSpec& s) { s.colour_count = -5; }, 0},
        {"negative-aux-count", [](QxmFileSpec& s) { s.aux_count = -6; }, 0},
        {"oversized-object-count", [](QxmFileSpec& s) { s.object_count = 0x7FFFFFFF; }, 0},
        {"oversized-vertex-total", [](QxmFileSpec& s) { s.vertex_total = 1000; }, 0},
        {"oversized-triangle-total", [](QxmFileSpec& s) { s.triangle_total = 0x40000000; }, 0},
        {"oversized-colour-count", [](QxmFileSpec& s) { s.colour_count = 0x7FFFFFFF; }, 0},
        {"oversized-aux-count", [](QxmFileSpec& s) { s.aux_count = 0x7FFFFFFF; }, 0},
        {"vertex-run-past-section", [](QxmFileSpec& s) { s.objects[1].vertex_count = 100; }, 1},
        {"negative-first-vertex", [](QxmFileSpec& s) { s.objects[2].first_vertex = -1; }, 2},
        {"negative-vertex-count", [](QxmFileSpec& s) { s.objects[0].vertex_count = -7; }, 0},
        {"triangle-run-past-section",
         [](QxmFileSpec& s) { s.objects[2].first_triangle = 0x7FFFFFFF; }, 2},
        {"negative-triangle-count", [](QxmFileSpec& s) { s.objects[2].triangle_count = -1; }, 2},
        {"vertex-index-past-object", [](QxmFileSpec& s) { s.objects[2].triangles[0].v[2] = 3; }, 2},
        {"negative-vertex-index", [](QxmFileSpec& s) { s.objects[2].triangles[0].v[2] = -1; }, 2},
        {"vertex-index-near-int32-edge",
         [](QxmFileSpec& s) { s.objects[2].triangles[0].v[2] = 2147483630; }, 2},
        {"colour-index-past-palette", [](QxmFileSpec& s) { s.objects[2].triangles[0].colour = 4; },
         2},
        {"negative-colour-index", [](QxmFileSpec& s) { s.objects[2].triangles[0].colour = -1; }, 2},
        {"wrong-magic-digit", [](QxmFileSpec& s) { s.magic = "QXM v90"; }, 0},
        {"wrong-magic-case", [](QxmFileSpec& s) { s.magic = "qxm v91"; }, 0},
        {"object-count-larger-than-listed", [](QxmFileSpec& s) { s.object_count = 4; }, 3},
    };
    std::vector<Shape> shapes;
    for (const Damage& d : damages) {
        QxmFileSpec file_spec = t::three_object_file();
        d.damage(file_spec);
        shapes.push_back({d.name, t::build_qxm(file_spec), {d.control}});
    }

    // A file cut short inside each of its parts.
    QxmFileSpec file_spec = t::three_object_file();
    file_spec.header_extra = {9, 9};
    file_spec.aux_records = 1;
    const std::vector<uint8_t> whole = t::build_qxm(file_spec);
    const t::QxmLayout layout = t::qxm_layout(file_spec);
    const std::pair<const char*, int64_t> cuts[] = {
        {"empty", 0},
        {"inside-magic", 6},
        {"inside-header-length", 10},
        {"before-counts", layout.counts},
        {"inside-counts", layout.counts + 10},
        {"inside-object-table", layout.objects + 60},
        {"inside-vertices", layout.vertices + 100},
        {"inside-triangles", layout.triangles + 40},
        {"inside-colours", layout.colours + 6},
        {"last-byte-missing", layout.size - 1},
    };
    for (const auto& [name, length] : cuts) {
        shapes.push_back(
            {std::string("cut-") + name, t::truncated(whole, static_cast<size_t>(length)), {1}});
    }
    return shapes;
}

void write_qxm_seeds(const fs::path& folder) {
    std::vector<Shape> shapes = valid_shapes();
    for (Shape& shape : damaged_shapes()) shapes.push_back(std::move(shape));
    for (const Shape& shape : shapes) {
        for (const uint8_t control : shape.controls) {
            std::vector<uint8_t> bytes = {control};
            bytes.insert(bytes.end(), shape.bytes.begin(), shape.bytes.end());
            char suffix[8];
            std::snprintf(suffix, sizeof suffix, "-c%02x", control);
            t::write_file((folder / (shape.name + suffix)).string(), bytes);
        }
    }
}

// ---- project texts ----

ProjectData source_only(const std::string& path) {
    ProjectData data;
    data.source_path = path;
    data.source_name = "face";
    return data;
}

// The lines of a text, whatever ends them.
std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (const char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

std::string joined(const std::vector<std::string>& lines, const std::string& end) {
    std::string text;
    for (const std::string& line : lines) text += line + end;
    return text;
}

void write_text(const fs::path& file, const std::string& text) {
    t::write_file(file.string(), std::vector<uint8_t>(text.begin(), text.end()));
}

void write_project_seeds(const fs::path& folder) {
    std::vector<std::pair<std::string, ProjectData>> projects;
    projects.push_back({"source-only", source_only("/m/face.qxm")});
    projects.push_back({"blanks-in-path", source_only("C:\\My Models\\face  base.qxm")});
    projects.push_back({"upper-case-suffix", source_only("/m/FACE.QXM")});

    ProjectData one = source_only("/m/base.qxm");
    one.targets[0] = t::project_target("/m/smile.qxm", "smile", {{0, 0.0f}, {30, 100.0f}});
    projects.push_back({"one-target", one});

    ProjectData third = source_only("/m/base.qxm");
    third.max_frame = 1;
    third.targets[2] = t::project_target("/m/smile wide.qxm", "smile", {{0, 25.5f}});
    projects.push_back({"only-target-3", third});

    ProjectData all = source_only("/m/base.qxm");
    all.max_frame = 2147483647;
    for (int i = 0; i < warpkit::kTargetCount; ++i) {
        all.targets[i] =
            t::project_target("/m/t " + std::to_string(i) + ".Qxm", "t" + std::to_string(i),
                              {{0, 12.3456f}, {10 + i, -50.0f}, {2147483647, 1e30f}});
    }
    projects.push_back({"all-eight-targets", all});

    std::vector<std::vector<std::string>> edited;
    for (const auto& [name, data] : projects) {
        const std::string text = warpkit::write_project_text(data);
        write_text(folder / (name + ".twp"), text);
        edited.push_back(lines_of(text));
    }

    // As a person may have edited it: other line ends, labels, whitespace and number forms.
    const std::vector<std::string> base = edited[3];  // one-target
    write_text(folder / "lf-line-ends.twp", joined(base, "\n"));
    write_text(folder / "one-line.twp", joined(base, " "));
    std::vector<std::string> lines = base;
    lines[0] = "anything";
    lines[1] = "Frames:";
    lines[4] = "/m/my\tfolder/base.qxm";
    lines[10] = "count 2";
    lines[2] = "+24";
    lines[11] = "-0 +5.";
    lines[12] = "+30 1e2";
    write_text(folder / "edited-forms.twp", joined(lines, "\n"));
    lines = base;
    lines[4] = "/m/my\r\nbase.qxm";
    write_text(folder / "path-over-two-lines.twp", joined(lines, "\n"));
    write_text(folder / "trailing-text.twp", joined(base, "\r\n") + "Target9\r\nextra 1 2 3\r\n");

    // Read but put in order: each kind of repair once. Then broken: each kind of refusal once.
    const std::vector<std::pair<std::string, std::pair<int, std::string>>> replaced = {
        {"maximum-zero", {3, "0"}},
        {"first-key-not-at-0", {12, "5 0.00"}},
        {"frames-repeat", {13, "0 100.00"}},
        {"frames-unordered", {12, "40 0.00"}},
        {"negative-frame", {13, "-4 100.00"}},
        {"maximum-is-a-word", {3, "abc"}},
        {"maximum-has-a-tail", {3, "30abc"}},
        {"maximum-beyond-int32", {3, "2147483648"}},
        {"frame-is-a-word", {13, "x 100.00"}},
        {"weight-with-comma", {12, "0 1,5"}},
        {"weight-nan", {12, "0 nan"}},
        {"weight-beyond-float", {12, "0 1e39"}},
        {"key-count-zero", {11, "keys: 0"}},
        {"key-count-negative", {11, "keys: -1"}},
        {"key-count-huge", {11, "keys: 2147483647"}},
        {"path-never-ends", {9, "/m/smile.obj"}},
        {"path-past-capacity", {5, "/m/base.obj" + std::string(300, ' ') + "x"}},
        {"path-piece-too-long", {5, "/" + std::string(251, 'p') + ".qxm"}},
        {"label-too-long", {1, std::string(256, 'T')}},
        {"name-too-long", {10, std::string(16, 'n')}},
        {"nul-in-name", {10, std::string("sm") + '\0' + "ile"}},
        {"none-as-path-start", {9, "None /m/smile.qxm"}},
    };
    for (const auto& [name, change] : replaced) {
        lines = base;
        lines[static_cast<size_t>(change.first - 1)] = change.second;
        write_text(folder / (name + ".twp"), joined(lines, "\n"));
    }
    for (const int cut : {0, 2, 12, 32}) {
        lines = base;
        lines.resize(static_cast<size_t>(cut));
        write_text(folder / ("cut-after-line-" + std::to_string(cut) + ".twp"),
                   joined(lines, "\n"));
    }
}

}  // namespace

// fuzz/import_seeds.cpp: the seeds of the glTF and OBJ reader targets.
void write_import_seeds(const fs::path& root);

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    try {
        const fs::path root = argv[1];
        fs::create_directories(root / "qxm");
        fs::create_directories(root / "project");
        write_qxm_seeds(root / "qxm");
        write_project_seeds(root / "project");
        write_import_seeds(root);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_fuzz_corpus: %s\n", error.what());
        return 1;
    }
    return 0;
}
