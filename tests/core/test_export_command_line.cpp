#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "base/safe_replace.h"
#include "export/command_line.h"
#include "export/export_fixture.h"
#include "export/printable.h"
#include "support/mesh_fixtures.h"

namespace warpkit::exporting {
namespace {

using testing::ExportFixture;
using testing::FaceProject;
using testing::run_tool;
using warpkit::testing::QxmObjectSpec;

TEST(ExportCommandLine, reads_each_command_with_its_options_in_any_order) {
    ParsedCommandLine parsed = parse_command_line({"gltf", "-o", "out.GLB", "face.twp"});
    ASSERT_TRUE(parsed.ok) << parsed.problem;
    EXPECT_EQ(parsed.line.command, Command::kGltf);
    EXPECT_EQ(parsed.line.input, "face.twp");
    EXPECT_EQ(parsed.line.output, "out.GLB");
    EXPECT_EQ(parsed.line.fps, 30.0);

    parsed = parse_command_line({"gltf", "face.twp", "--fps=23.976", "--output=a.gltf"});
    ASSERT_TRUE(parsed.ok) << parsed.problem;
    EXPECT_EQ(parsed.line.fps, 23.976);
    EXPECT_EQ(parsed.line.output, "a.gltf");

    parsed = parse_command_line({"obj", "--frames", "3..12", "face.twp", "--output", "frames"});
    ASSERT_TRUE(parsed.ok) << parsed.problem;
    EXPECT_EQ(parsed.line.command, Command::kObj);
    EXPECT_EQ(parsed.line.first_frame, 3);
    EXPECT_EQ(parsed.line.last_frame, 12);
    EXPECT_EQ(parsed.line.output, "frames");

    parsed = parse_command_line({"obj", "face.twp", "--frames=7", "-o", "d"});
    ASSERT_TRUE(parsed.ok) << parsed.problem;
    EXPECT_EQ(parsed.line.first_frame, 7);
    EXPECT_EQ(parsed.line.last_frame, 7);

    // Without --frames, obj covers the whole timeline.
    parsed = parse_command_line({"obj", "face.twp", "-o", "d", "--step", "5", "--strict"});
    ASSERT_TRUE(parsed.ok) << parsed.problem;
    EXPECT_FALSE(parsed.line.frames_given);
    EXPECT_EQ(parsed.line.step, 5);
    EXPECT_TRUE(parsed.line.strict);

    parsed = parse_command_line({"gltf", "face.twp", "-o", "a.glb", "--frames", "2..9", "--normals",
                                 "--compress", "--names=plain", "--step=3"});
    ASSERT_TRUE(parsed.ok) << parsed.problem;
    EXPECT_TRUE(parsed.line.frames_given);
    EXPECT_EQ(parsed.line.last_frame, 9);
    EXPECT_EQ(parsed.line.step, 3);
    EXPECT_TRUE(parsed.line.normals && parsed.line.compress);
    EXPECT_EQ(parsed.line.names, TargetNaming::kPlain);
    EXPECT_FALSE(parsed.line.strict);

    parsed = parse_command_line({"weights", "face.twp", "--frame", "2147483647"});
    ASSERT_TRUE(parsed.ok) << parsed.problem;
    EXPECT_EQ(parsed.line.frame, 2147483647);

    parsed = parse_command_line({"info", "head.qxm"});
    ASSERT_TRUE(parsed.ok) << parsed.problem;
    EXPECT_EQ(parsed.line.command, Command::kInfo);
    EXPECT_EQ(parsed.line.input, "head.qxm");
}

TEST(ExportCommandLine, bad_usage_exits_2_with_one_line_naming_the_problem) {
    struct Row {
        std::vector<std::string> args;
        const char* problem;
    };
    const Row rows[] = {
        {{}, "no command given"},
        {{"export", "face.twp"}, "unknown command 'export'"},
        {{"check"}, "check needs a project file"},
        {{"info"}, "info needs an object file"},
        {{"check", "a.twp", "b.twp"}, "check takes one file, not 'b.twp'"},
        {{"check", "a.twp", "--verbose"}, "unknown option '--verbose'"},
        {{"check", "a.twp", "-o", "x"}, "check takes no option --output"},
        {{"weights", "a.twp", "--fps", "3", "--frame", "1"}, "weights takes no option --fps"},
        {{"gltf", "a.twp"}, "gltf needs an output file (-o OUT.glb)"},
        {{"gltf", "a.twp", "-o", "a.obj"},
         "the output of gltf must end in .glb or .gltf, not 'a.obj'"},
        {{"gltf", "a.twp", "-o", "a.glb", "-o", "b.glb"}, "--output is given twice"},
        {{"gltf", "a.twp", "-o"}, "--output needs a value"},
        {{"gltf", "a.twp", "--output=", "a.glb"}, "--output needs a value"},
        {{"gltf", "a.twp", "-o", "a.glb", "--fps", "0"}, "--fps needs a positive number, not '0'"},
        {{"gltf", "a.twp", "-o", "a.glb", "--fps", "30fps"},
         "--fps needs a positive number, not '30fps'"},
        {{"gltf", "a.twp", "-o", "a.glb", "--fps", "1e999"},
         "--fps needs a positive number, not '1e999'"},
        {{"obj", "a.twp", "-o", "d", "--step", "0"},
         "--step needs a whole number above 0, not '0'"},
        {{"obj", "a.twp", "-o", "d", "--normals"}, "obj takes no option --normals"},
        {{"gltf", "a.twp", "-o", "a.glb", "--names", "short"},
         "--names needs plain or numbered, not 'short'"},
        {{"gltf", "a.twp", "-o", "a.glb", "--compress=yes"}, "--compress takes no value"},
        {{"check", "a.twp", "--strict", "--strict"}, "--strict is given twice"},
        {{"weights", "a.twp", "--frame", "1", "--strict"}, "weights takes no option --strict"},
        {{"obj", "a.twp", "--frames", "1..2"}, "obj needs an output folder (-o DIR)"},
        {{"obj", "a.twp", "-o", "d", "--frames", "5..3"}, "--frames 5..3 ends before it starts"},
        {{"obj", "a.twp", "-o", "d", "--frames", "1-3"},
         "--frames needs A..B with frame numbers A <= B, not '1-3'"},
        {{"obj", "a.twp", "-o", "d", "--frames", "0..99999999999"},
         "--frames needs A..B with frame numbers A <= B, not '0..99999999999'"},
        {{"weights", "a.twp"}, "weights needs a frame (--frame N)"},
        {{"weights", "a.twp", "--frame", "-1"}, "--frame needs a frame number, not '-1'"},
        {{"weights", "a.twp", "--frame", "1.5"}, "--frame needs a frame number, not '1.5'"},
        {{"match", "a.qxm", "-o", "c.qxm"}, "match needs a source and a target object file"},
        {{"match", "a.qxm", "b.qxm", "c.qxm"}, "match takes two files, not 'c.qxm'"},
        {{"match", "a.qxm", "b.qxm"}, "match needs an output file (-o OUT.qxm)"},
        {{"match", "a.qxm", "b.qxm", "-o", "c.obj"},
         "the output of match must end in .qxm, not 'c.obj'"},
        {{"match", "a.qxm", "b.qxm", "-o", "c.qxm", "--frame", "1"},
         "match takes no option --frame"},
    };
    for (const Row& row : rows) {
        std::string line;
        for (const std::string& arg : row.args) line += "[" + arg + "]";
        SCOPED_TRACE(line);
        const auto run = run_tool(row.args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err,
                  "warpkit-export: " + std::string(row.problem) + " (see warpkit-export --help)\n");
        EXPECT_EQ(run.out, "");
    }
}

TEST(ExportCommandLine, help_anywhere_prints_the_usage_and_succeeds) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"}, {"-h"}, {"gltf", "--help"}, {"nonsense", "-h"}}) {
        const auto run = run_tool(args);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, kUsageText);
        EXPECT_EQ(run.err, "");
    }
    // Every command the tool runs is in the usage.
    for (const char* command : {"info", "check", "gltf", "obj", "weights", "match"}) {
        EXPECT_NE(std::string(kUsageText).find(std::string("  ") + command + " "),
                  std::string::npos)
            << command;
    }
}

TEST(ExportCommandLine, double_dash_ends_the_options_of_every_command) {
    struct Row {
        std::vector<std::string> args;
        std::string input;
        std::string second;  // match: the target; the others: the output
    };
    const Row rows[] = {
        {{"check", "--", "-f.twp"}, "-f.twp", ""},
        {{"info", "--", "--help"}, "--help", ""},
        {{"check", "--", "--"}, "--", ""},
        {{"weights", "--frame", "3", "--", "-1.twp"}, "-1.twp", ""},
        {{"gltf", "-o", "a.glb", "--", "--strict"}, "--strict", "a.glb"},
        {{"obj", "-o", "-d", "--", "-o"}, "-o", "-d"},
        {{"qxm", "--output=o.qxm", "--", "-m.glb"}, "-m.glb", "o.qxm"},
        {{"project", "-o", "p.twp", "--", "-in.glb"}, "-in.glb", "p.twp"},
        {{"match", "-o", "c.qxm", "--", "-a.qxm", "-b.qxm"}, "-a.qxm", "-b.qxm"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args[0] + " " + row.input);
        const ParsedCommandLine parsed = parse_command_line(row.args);
        ASSERT_TRUE(parsed.ok) << parsed.problem;
        EXPECT_NE(parsed.line.command, Command::kHelp);
        EXPECT_EQ(parsed.line.input, row.input);
        EXPECT_EQ(parsed.line.command == Command::kMatch ? parsed.line.target : parsed.line.output,
                  row.second);
        EXPECT_FALSE(parsed.line.strict);
    }
    // Options still count before it, and a word after it is never one.
    EXPECT_TRUE(parse_command_line({"check", "--strict", "--", "a.twp"}).line.strict);
    EXPECT_EQ(parse_command_line({"check", "--", "a.twp", "--strict"}).problem,
              "check takes one file, not '--strict'");
}

TEST(ExportCommandLine, printable_escapes_control_characters_and_keeps_display_text) {
    const std::pair<std::string, std::string> rows[] = {
        {"face.twp", "face.twp"},
        {"a\\nb", "a\\nb"},  // a backslash stays: text made printable passes through unchanged
        {"line\none", "line\\none"},
        {"tab\there\r", "tab\\there\\r"},
        {"\x1b[2Jclear", "\\x1B[2Jclear"},
        {std::string("nul\0x", 5), "nul\\x00x"},
        {"del\x7f", "del\\x7F"},
        {"csi\xc2\x9b"
         "31m",
         "csi\\u009B31m"},                                 // C1 control in UTF-8
        {"\xc2\xa0\xe9\xa1\x94", "\xc2\xa0\xe9\xa1\x94"},  // no-break space and a kanji
        {"\x8a\xe7.qxm", "\xe9\xa1\x94.qxm"},              // Shift-JIS, decoded
    };
    for (const auto& [bytes, shown] : rows) {
        EXPECT_EQ(printable(bytes), shown) << bytes;
        EXPECT_EQ(printable(shown), shown) << bytes;
    }
}

// A name holding a newline, wherever warpkit-export prints it, stays on its line.
TEST(ExportCommandLine, names_with_control_characters_are_printed_escaped) {
    ExportFixture fixture;
    FaceProject face(fixture);
    QxmObjectSpec odd = face.source;
    odd.name = "two\nlines";
    const std::string objects = fixture.write_objects("tab\there.qxm", {odd}, 3);
    const std::string shown_objects = fixture.folder.file("tab\\there.qxm");
    const std::string missing = fixture.folder.file("new\nline.twp");
    const std::string shown_missing = fixture.folder.file("new\\nline.twp");
    const std::string frames = fixture.folder.file("out\x1b[2J");
    struct Row {
        std::vector<std::string> args;
        int status;
        std::string shown;  // what the one line of output, or the listing, must hold
    };
    const Row rows[] = {
        {{"check", missing}, 1, "The project file " + shown_missing + " cannot be loaded"},
        {{"check", face.path, "new\nline.twp"}, 2, "not 'new\\nline.twp'"},
        {{"gltf", face.path, "-o", "a\nb"}, 2, "not 'a\\nb'"},
        {{"info", objects}, 0, shown_objects + ": 1 object, 3 colours"},
        {{"info", objects}, 0, "two\\nlines"},
        {{"weights", missing, "--frame", "0"}, 1, shown_missing},
        {{"obj", face.path, "--frames", "0", "-o", frames},
         0,
         "to " + fixture.folder.file("out\\x1B[2J")},
        {{"qxm", missing + ".glb", "-o", fixture.folder.file("x.qxm")}, 1, shown_missing + ".glb"},
        {{"project", missing + ".glb", "-o", fixture.folder.file("x.twp")},
         1,
         shown_missing + ".glb"},
        {{"match", objects, missing + ".qxm", "-o", fixture.folder.file("m.qxm")},
         1,
         shown_missing + ".qxm"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args[0] + " " + row.args[1]);
        const auto run = run_tool(row.args);
        EXPECT_EQ(run.status, row.status) << run.err;
        const std::string& printed = row.status == 0 ? run.out : run.err;
        EXPECT_NE(printed.find(row.shown), std::string::npos) << printed;
        const size_t lines = std::count(printed.begin(), printed.end(), '\n');
        EXPECT_EQ(lines, row.args[0] == "info" ? 3u : 1u) << printed;
        EXPECT_EQ(printed.find('\x1b'), std::string::npos) << printed;
    }
}

std::string read_whole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Files whose names start with `prefix` in `folder` and below: temporary files left behind.
std::vector<std::string> left_behind(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0) names.push_back(name);
    }
    return names;
}

// A symbolic link planted under any name an export writes, pointing out of the destination
// folder (or at nothing): the export is refused before anything is written, and the link and
// the file it names stay as they were.
TEST(ExportOutputs, a_link_planted_at_any_output_name_is_refused_and_left_as_it_was) {
    ExportFixture fixture;
    const FaceProject face(fixture);
    const std::string victim = fixture.folder.file("victim.txt");
    warpkit::testing::write_text(victim, "not an export\n");
    const std::string nowhere = fixture.folder.file("nowhere.txt");
    const std::string mesh = fixture.folder.file("grid.gltf");
    warpkit::testing::write_text(mesh, warpkit::testing::grid_gltf(2));
    const std::string out = fixture.folder.file("out");
    std::filesystem::create_directories(out);
    for (const char* folder : {"a", "b", "c", "h"})
        std::filesystem::create_directory(out + "/" + folder);

    struct Row {
        std::vector<std::string> args;
        std::string link;  // planted, pointing at `points_to`
        std::string points_to;
        std::vector<std::string> not_written;  // the other outputs of the command
    };
    const Row rows[] = {
        {{"obj", face.path, "-o", out + "/a"},
         out + "/a/frame_0000.obj",
         victim,
         {out + "/a/palette.mtl", out + "/a/frame_0001.obj"}},
        {{"obj", face.path, "-o", out + "/b"},
         out + "/b/palette.mtl",
         victim,
         {out + "/b/frame_0000.obj"}},
        {{"obj", face.path, "--frames", "3..5", "-o", out + "/c"},
         out + "/c/frame_0005.obj",
         victim,
         {out + "/c/palette.mtl", out + "/c/frame_0003.obj"}},
        {{"obj", face.path, "--frames", "0", "-o", out + "/h"},
         out + "/h/frame_0000.obj",
         nowhere,
         {out + "/h/palette.mtl"}},
        {{"gltf", face.path, "-o", out + "/d.glb"}, out + "/d.glb", victim, {}},
        {{"gltf", face.path, "-o", out + "/e.gltf"}, out + "/e.bin", victim, {out + "/e.gltf"}},
        {{"gltf", face.path, "-o", out + "/f.gltf"}, out + "/f.gltf", nowhere, {out + "/f.bin"}},
        {{"project", mesh, "-o", out + "/g.twp"}, out + "/g.twp", victim, {out + "/g.qxm"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.link);
        ASSERT_EQ(symlink(row.points_to.c_str(), row.link.c_str()), 0);
        const auto run = run_tool(row.args);
        EXPECT_EQ(run.status, kExitRefused);
        EXPECT_NE(run.err.find("cannot write " + row.link +
                               ": it is a symbolic link, and no output is written through one\n"),
                  std::string::npos)
            << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(std::filesystem::read_symlink(row.link).string(), row.points_to);
        for (const std::string& other : row.not_written) {
            EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(other))) << other;
        }
    }
    EXPECT_EQ(read_whole(victim), "not an export\n");
    EXPECT_FALSE(std::filesystem::exists(nowhere));
    EXPECT_EQ(left_behind(out, kTemporaryPrefix), std::vector<std::string>{});
}

// Every file an export writes is named on the command line or in what it prints: a .bin
// replaced beside a .gltf is named with it, and no temporary file is left beside them.
TEST(ExportOutputs, the_bin_beside_a_gltf_is_named_when_written_over_an_old_one) {
    ExportFixture fixture;
    const FaceProject face(fixture);
    const std::string gltf = fixture.folder.file("face.gltf");
    const std::string bin = fixture.folder.file("face.bin");
    warpkit::testing::write_text(bin, "an old buffer");
    const auto run = run_tool({"gltf", face.path, "-o", gltf});
    ASSERT_EQ(run.status, kExitDone) << run.err;
    EXPECT_EQ(run.out.rfind("wrote " + gltf + " and " + bin + ": ", 0), 0u) << run.out;
    EXPECT_NE(read_whole(bin), "an old buffer");
    EXPECT_EQ(left_behind(fixture.folder.path(), kTemporaryPrefix), std::vector<std::string>{});
}

}  // namespace
}  // namespace warpkit::exporting
