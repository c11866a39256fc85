// Hostile inputs for the two file readers, checked against everything the readers promise
// (support/input_checks.h): the inputs the fuzzers once broke a promise with, kept in
// fuzz/regressions, and a sweep of hostile values over every field of a valid file, so that
// a plain build catches the same faults a fuzz run would.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/import_checks.h"
#include "support/input_checks.h"
#include "support/mesh_fixtures.h"
#include "support/qxm_writer.h"
#include "base/sanitized.h"

namespace warpkit {
namespace {

namespace fs = std::filesystem;
using testing::QxmFileSpec;
using testing::TempFolder;

fs::path regressions(const std::string& target) {
    return fs::path(__FILE__).parent_path().parent_path().parent_path() / "fuzz" / "regressions" /
           target;
}

std::vector<fs::path> files_in(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string bytes_of(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ---- saved findings ----

TEST(HostileInputs, saved_object_file_findings_keep_every_promise) {
    const fs::path folder = regressions("qxm");
    ASSERT_TRUE(fs::is_directory(folder)) << folder;
    TempFolder scratch;
    const std::string path = scratch.file("finding.qxm");
    for (const fs::path& file : files_in(folder)) {
        SCOPED_TRACE(file.filename().string());
        const std::string input = bytes_of(file);
        ASSERT_FALSE(input.empty());
        // As the fuzz target reads it: the chooser's answer first, then the file.
        testing::write_file(path, std::vector<uint8_t>(input.begin() + 1, input.end()));
        EXPECT_EQ("", testing::check_object_file(path, static_cast<uint8_t>(input[0])));
    }
}

TEST(HostileInputs, saved_project_text_findings_keep_every_promise) {
    const fs::path folder = regressions("project");
    ASSERT_TRUE(fs::is_directory(folder)) << folder;
    for (const fs::path& file : files_in(folder)) {
        SCOPED_TRACE(file.filename().string());
        EXPECT_EQ("", testing::check_project_text(bytes_of(file)));
    }
}

TEST(HostileInputs, saved_mesh_file_findings_keep_every_promise) {
    for (const char* target : {"gltf", "obj"}) {
        const fs::path folder = regressions(target);
        ASSERT_TRUE(fs::is_directory(folder)) << folder;
        for (const fs::path& file : files_in(folder)) {
            SCOPED_TRACE(file.filename().string());
            const std::string input = bytes_of(file);
            EXPECT_EQ("", std::string(target) == "gltf" ? testing::check_gltf_bytes(input)
                                                        : testing::check_obj_text(input));
        }
    }
}

// The sweeps below pass only if the checks can fail: each broken promise is named.
TEST(HostileInputs, the_checks_name_each_broken_promise_of_a_read) {
    ObjectEntry entry;
    entry.name = "tri";
    entry.vertex_count = 3;
    entry.triangle_count = 1;
    ReadResult valid;
    valid.object_name = "tri";
    valid.vertex_count = 3;
    valid.vertices.resize(3);
    valid.triangle_count = 1;
    valid.triangles.resize(1);
    valid.triangles[0].v[2] = 2;
    valid.triangles[0].colour = 1;
    valid.colour_count = 2;
    valid.red = valid.green = valid.blue = {0, 0};
    ASSERT_EQ("", testing::check_read_result(valid, entry, 2));

    struct Case {
        const char* words;
        void (*breaks)(ReadResult&);
    };
    const Case cases[] = {
        {"named unlike", [](ReadResult& r) { r.object_name = "other"; }},
        {"vertex count", [](ReadResult& r) { r.vertices.pop_back(); }},
        {"triangle count", [](ReadResult& r) { r.triangle_count = 2; }},
        {"uses vertex 3 of 3", [](ReadResult& r) { r.triangles[0].v[0] = 3; }},
        {"uses vertex -1", [](ReadResult& r) { r.triangles[0].v[1] = -1; }},
        {"uses colour 2 of 2", [](ReadResult& r) { r.triangles[0].colour = 2; }},
        {"colour array", [](ReadResult& r) { r.green.pop_back(); }},
    };
    for (const Case& c : cases) {
        ReadResult broken = valid;
        c.breaks(broken);
        EXPECT_NE(std::string::npos, testing::check_read_result(broken, entry, 2).find(c.words))
            << c.words;
    }
    // An empty palette is never looked up, so its indices are free.
    ReadResult no_palette = valid;
    no_palette.colour_count = 0;
    no_palette.red.clear(), no_palette.green.clear(), no_palette.blue.clear();
    no_palette.triangles[0].colour = 99;
    EXPECT_EQ("", testing::check_read_result(no_palette, entry, 0));
}

// ---- object files: hostile values in every field ----

QxmFileSpec three_objects() {
    QxmFileSpec file_spec;
    file_spec.objects.push_back(testing::make_grid_object("first", 2, 1, 3, 1.0f));
    file_spec.objects.push_back(testing::make_grid_object("second", 1, 1, 3, 2.0f));
    file_spec.objects.push_back(testing::make_single_triangle("third", 2));
    file_spec.colours = testing::make_palette(3);
    file_spec.header_extra = {1, 2, 3, 4};
    file_spec.aux_records = 1;
    return file_spec;
}

// The offsets of every int32 field the reader uses.
std::vector<int64_t> int_fields(const QxmFileSpec& file_spec) {
    const testing::QxmLayout layout = testing::qxm_layout(file_spec);
    std::vector<int64_t> fields = {8};  // header length
    for (int i = 0; i < 5; ++i) fields.push_back(layout.counts + 4 * i);
    for (size_t i = 0; i < file_spec.objects.size(); ++i) {
        const int64_t record = layout.objects + 52 * static_cast<int64_t>(i);
        for (const int64_t at : {20, 24, 28, 32}) fields.push_back(record + at);
    }
    const int64_t triangles = (layout.colours - 20 - layout.triangles) / 32;
    for (int64_t t = 0; t < triangles; ++t) {
        for (const int64_t at : {0, 4, 8, 24}) fields.push_back(layout.triangles + 32 * t + at);
    }
    return fields;
}

TEST(HostileInputs, hostile_values_in_every_object_file_field_keep_every_promise) {
    const QxmFileSpec file_spec = three_objects();
    const std::vector<uint8_t> valid = testing::build_qxm(file_spec);
    TempFolder scratch;
    const std::string path = scratch.file("hostile.qxm");
    testing::write_file(path, valid);
    ASSERT_EQ("", testing::check_object_file(path, 1));

    const int32_t values[] = {
        0,           1,          2,          3,
        4,           7,          100,        101,
        -1,          -2,         INT_MIN,    INT_MAX,
        INT_MAX - 2, 0x40000000, 0x08000000, static_cast<int32_t>(valid.size())};
    // Answers: the first object, the last, and one past the table (odd ones by name with a NUL).
    const uint8_t controls[] = {0, 2, 3};
    int checked = 0;
    for (const int64_t field : int_fields(file_spec)) {
        for (const int32_t value : values) {
            std::vector<uint8_t> bytes = valid;
            testing::put_int32(bytes, field, value);
            testing::write_file(path, bytes);
            for (const uint8_t control : controls) {
                const std::string fault = testing::check_object_file(path, control);
                ASSERT_EQ("", fault) << "field at " << field << " = " << value << ", answer "
                                     << testing::chooser_answer(control);
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 1000);
}

TEST(HostileInputs, names_without_nul_and_in_any_bytes_keep_every_promise) {
    QxmFileSpec file_spec = three_objects();
    file_spec.objects[0].name = "abcdefghijklmnop";                  // fills the field, no NUL
    file_spec.objects[1].name = std::string("\x81\x00\xff\x80", 4);  // broken Shift-JIS, inner NUL
    file_spec.objects[2].name = "%s%n%d\xe3\x81";                    // format codes, cut UTF-8
    TempFolder scratch;
    const std::string path = testing::write_qxm(scratch.file("names.qxm"), file_spec);
    for (const uint8_t control : {0, 1, 2, 3, 0xFF}) {
        SCOPED_TRACE(static_cast<int>(control));
        EXPECT_EQ("", testing::check_object_file(path, control));
    }
}

// ---- project texts: hostile tokens in every place ----

std::vector<std::string> valid_project_tokens() {
    ProjectData data;
    data.source_path = "/m/my models/base.qxm";
    data.source_name = "base";
    data.targets[0].present = true;
    data.targets[0].path = "/m/smile.qxm";
    data.targets[0].name = "smile";
    data.targets[0].keys.frames = {0, 30};
    data.targets[0].keys.weights = {0.0f, 100.0f};
    const std::string text = write_project_text(data);
    std::vector<std::string> tokens;
    std::string token;
    for (const char c : text) {
        if (c == ' ' || c == '\r' || c == '\n') {
            if (!token.empty()) tokens.push_back(token);
            token.clear();
        } else {
            token += c;
        }
    }
    return tokens;
}

std::string joined(const std::vector<std::string>& tokens, const std::string& gap) {
    std::string text;
    for (const std::string& token : tokens) text += token + gap;
    return text;
}

TEST(HostileInputs, hostile_tokens_in_every_project_place_keep_every_promise) {
    const std::vector<std::string> tokens = valid_project_tokens();
    ASSERT_EQ("", testing::check_project_text(joined(tokens, "\n")));
    const std::vector<std::string> hostile = {
        "",
        "None",
        "-1",
        "0",
        "2147483647",
        "2147483648",
        "-2147483649",
        "nan",
        "inf",
        "1e39",
        "-1e-50",
        "0x10",
        "1.2.3",
        "+",
        ".qxm",
        "a.QXM",
        "keys:",
        std::string(256, 'x'),
        std::string(16, 'n'),
        std::string("a\0b", 3),
        "\xff\xfe",
        "%s%n",
    };
    int checked = 0;
    for (size_t place = 0; place < tokens.size(); ++place) {
        for (const std::string& replacement : hostile) {
            std::vector<std::string> changed = tokens;
            changed[place] = replacement;
            for (const char* gap : {"\n", " ", "\t\r\n"}) {
                const std::string fault = testing::check_project_text(joined(changed, gap));
                ASSERT_EQ("", fault)
                    << "token " << place << " replaced by \"" << replacement << "\"";
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 1000);
}

TEST(HostileInputs, every_prefix_and_doubled_project_keep_every_promise) {
    const std::string text = joined(valid_project_tokens(), "\r\n");
    for (size_t length = 0; length <= text.size(); ++length) {
        ASSERT_EQ("", testing::check_project_text(text.substr(0, length))) << length;
    }
    EXPECT_EQ("", testing::check_project_text(text + text));
}

// ---- mesh files: shapes that once cost gigabytes, wrapped or left their folder ----

// One import in a forked child allowed 1 GiB of address space more than it has (not under
// AddressSanitizer, which reserves far more), so a reader that still believes a file's claims
// fails here instead of filling the machine. Returns "1" or "0", the reason's English and
// Japanese, and sets how far the import raised the child's peak resident memory.
std::vector<std::string> import_forked(const std::string& path, const ImportLimits& limits,
                                       long& peak_mib) {
    const std::string answer = testing::in_child([&] {
#ifndef WARPKIT_SANITIZED
        testing::limit_address_space(rlim_t{1} << 30);
#endif
        ImportSettings settings;
        settings.limits = limits;
        ImportedScene scene;
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        const ImportOutcome out = import_meshes(path, object_file_kind(path), settings, scene);
        getrusage(RUSAGE_SELF, &after);
        return (out.ok ? "1\n" : "0\n") + out.reason.en + "\n" + out.reason.ja + "\n" +
               std::to_string((after.ru_maxrss - before.ru_maxrss) / 1024);
    });
    std::vector<std::string> lines(1);
    for (const char c : answer) {
        if (c == '\n') {
            lines.emplace_back();
        } else {
            lines.back() += c;
        }
    }
    peak_mib = lines.size() == 4 ? std::stol(lines.back()) : -1;
    lines.resize(std::min<size_t>(lines.size(), 3));
    return lines;
}

TEST(HostileInputs, hostile_mesh_files_are_refused_naming_the_problem_in_little_memory) {
    TempFolder scratch;
    const std::string inner = scratch.file("inner");
    fs::create_directories(inner + "/sub");
    const auto mesh = [](const char* mode, size_t empty_targets, int meshes = 1) {
        std::string targets = "[";
        for (size_t t = 0; t < empty_targets; ++t) targets += t ? ",{}" : "{}";
        std::string list;
        for (int m = 0; m < meshes; ++m) {
            list += std::string(m ? "," : "") +
                    "{\"primitives\":[{\"attributes\":{\"POSITION\":0}" + ",\"mode\":" + mode +
                    ",\"targets\":" + targets + "]}]}";
        }
        return "\"meshes\":[" + list + "]";
    };
    const auto claims = [&](const std::string& count, size_t targets) {  // not one byte
        return "{\"asset\":{\"version\":\"2.0\"},\"accessors\":[{\"componentType\":5126,"
               "\"count\":" +
               count + ",\"type\":\"VEC3\"}]," + mesh("4", targets) + "}";
    };
    const auto points = [](size_t count) {
        testing::GltfBuilder builder;
        std::vector<Vec3> list(count);
        for (size_t i = 0; i < count; ++i) list[i] = Vec3{float(i % 1000), float(i / 1000), 0};
        builder.add_points(list);
        return builder;
    };
    const std::string triangle = points(3).gltf(mesh("4", 0));
    const auto edited = [](std::string text, const std::string& from, const std::string& to) {
        const size_t at = text.find(from);
        return text.replace(at, at == std::string::npos ? 0 : from.size(), to);
    };
    const auto uri = [&](const std::string& to) {  // the buffer as a file of its own
        const size_t from = triangle.find("data:");
        return triangle.substr(0, from) + to + triangle.substr(triangle.find('"', from));
    };
    const std::string strided =
        edited(edited(triangle, "\"count\":3", "\"count\":134217728"), "\"byteLength\":36}",
               "\"byteLength\":36,\"byteStride\":252}");
    const std::string many_targets = points(100000).gltf(mesh("4", 2000));
    const std::string obj = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    ImportLimits unbounded;
    unbounded.max_positions = int64_t{1} << 40;

    struct Case {
        std::string name;  // in the folder "inner"
        std::string bytes;
        const char* words;  // in the refusal; null: the file is read
        ImportLimits limits;
    };
    std::vector<Case> cases = {
        {"a.gltf", claims("134217727", 0), "no buffer view but claims 134217727 elements", {}},
        {"a.gltf", claims("1000000", 2000), "no buffer view but claims 1000000", {}},
        {"a.gltf", claims("10000000", 99), "no buffer view but claims 10000000", {}},
        {"a.gltf", strided, "of buffer view 0, which has 36", {}},
        {"a.gltf", many_targets, "its 100000 vertices and 2000 morph targets would take", {}},
        {"a.gltf", points(20000).gltf(mesh("4", 99, 100)), "elements an import reads", {}},
        {"a.obj", obj + "p 1 2 3\nl 1 2\n", "has no triangles", {}},
        {"a.obj", obj + "f 1 2 4294967299\n", "line 4 names vertex 4294967299", {}},
        {"a.obj", obj + "f 1 2 99999999999999999999\n", "names vertex 99999999999999999999", {}},
        {"a.obj", obj + "f 1 2 -4294967295/1/1\n", "names vertex -4294967295", {}},
        {"a.obj", obj + "f 1 2 000000000003\n", nullptr, {}},
        {"a.gltf", uri("../x.bin"), "../x.bin lies outside", {}},
        {"a.gltf", uri("..%2Fx.bin"), "../x.bin lies outside", {}},
        {"a.gltf", uri(scratch.file("x.bin")), "lies outside", {}},
        {"a.gltf", uri("out.bin"), "out.bin lies outside", {}},  // a link out of the folder
        {"a.gltf",
         edited(triangle, "\"meshes\"", "\"images\":[{\"uri\":\"../x.png\"}],\"meshes\""),
         "../x.png lies outside",
         {}},
        {"a.obj", "mtllib ../x.mtl\n" + obj + "f 1 2 3\n", "../x.mtl lies outside", {}},
        {"a.obj", "mtllib " + scratch.file("x.mtl") + "\n" + obj + "f 1 2 3\n", "lies outside", {}},
        {"a.gltf", uri("sub/../in.bin"), nullptr, {}},
        {"a.gltf", uri("in%2Dlink.bin"), nullptr, {}},  // a link inside
        {"a.obj", "mtllib sub/in.mtl\n" + obj + "f 1 2 3\n", nullptr, {}},
    };
    for (const char* mode : {"0", "1", "2", "3"})
        cases.push_back({"a.gltf", points(3).gltf(mesh(mode, 0)), "has no triangles", {}});
#ifndef WARPKIT_SANITIZED
    // memory the budget allows and the machine has not got is a refusal all the same
    cases.push_back({"a.gltf", many_targets, "not enough memory to import", unbounded});
#endif
    // 36 bytes: three points at the origin, or a material library of nothing
    for (const char* file : {"x.bin", "x.png", "x.mtl", "inner/in.bin", "inner/sub/in.mtl"})
        testing::write_text(scratch.file(file), std::string(36, '\0'));
    fs::create_symlink("../x.bin", inner + "/out.bin");
    fs::create_symlink("in.bin", inner + "/in-link.bin");

    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 300));
        testing::write_text(inner + "/" + c.name, c.bytes);
        long peak_mib = 0;
        const std::vector<std::string> answer =
            import_forked(inner + "/" + c.name, c.limits, peak_mib);
        ASSERT_EQ(answer.size(), 3u);
        ASSERT_GE(peak_mib, 0);
        EXPECT_EQ(answer[0], c.words ? "0" : "1") << answer[1];
        if (!c.words) continue;
        EXPECT_NE(answer[1].find(c.words), std::string::npos) << answer[1];
        EXPECT_EQ(testing::untranslated({answer[2], answer[1]}), "");
        if (c.limits.max_positions != unbounded.max_positions) {
            EXPECT_LT(peak_mib, 300);
        }
    }
}

}  // namespace
}  // namespace warpkit
