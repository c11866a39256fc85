#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "base/texts.h"
#include "export/command_line.h"
#include "export/export_fixture.h"
#include "project/project_file.h"
#include "support/child_process.h"
#include "support/mesh_fixtures.h"

namespace warpkit::exporting {
namespace {

using testing::run_tool;
using testing::ToolRun;
using warpkit::testing::write_text;

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
        {{"info"}, "info needs an object file or a mesh file"},
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
        {{"gltf", "a.twp", "-o", "a.glb", "--smooth-angle", "180.5"},
         "--smooth-angle needs degrees from 0 to 180, not '180.5'"},
        {{"gltf", "a.twp", "-o", "a.glb", "--smooth-angle=-0"},
         "--smooth-angle needs degrees from 0 to 180, not '-0'"},
        {{"obj", "a.twp", "-o", "d", "--smooth-angle", "30"}, "obj takes no option --smooth-angle"},
        {{"pc2", "a.twp"}, "pc2 needs an output file (-o OUT.pc2)"},
        {{"mdd", "a.twp", "-o", "a.pc2"}, "the output of mdd must end in .mdd, not 'a.pc2'"},
        {{"pc2", "a.twp", "-o", "a.pc2", "--normals"}, "pc2 takes no option --normals"},
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
        {{"project", "a.glb", "-o", "a.twp", "--animation="},
         "--animation needs an animation's name or index"},
        {{"qxm", "a.glb", "-o", "a.qxm", "--animation", "talk"}, "qxm takes no option --animation"},
        {{"qxm", "a.glb", "-o", "a.qxm", "--mesh", "0", "--object", "face"},
         "--mesh and --object both choose the mesh; give one"},
        {{"project", "a.glb", "-o", "a.twp", "--replace-animation", "x"},
         "project takes no option --replace-animation"},
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
    for (const char* command : {"info", "check", "gltf", "obj", "pc2", "mdd", "weights", "match"}) {
        EXPECT_NE(std::string(kUsageText).find(std::string("  ") + command + " "),
                  std::string::npos)
            << command;
    }
}

std::string read_whole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A grid whose `targets` morph targets go from 0 to 1 over `seconds` in two keys: a file of a
// few kilobytes that describes as many frames as it likes.
std::string long_animation(int targets, const char* interpolation, float seconds) {
    warpkit::testing::GltfBuilder gltf;
    const int base = gltf.add_points({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    const int corners = gltf.add_indices({0, 1, 2});
    std::string list;
    for (int t = 0; t < targets; ++t) {
        const int moved = gltf.add_points(std::vector<Vec3>(3, Vec3{0, 0, 1}));
        list += (t ? ",{\"POSITION\":" : "{\"POSITION\":") + std::to_string(moved) + "}";
    }
    std::vector<float> weights(2 * targets, 1.0f);
    std::fill_n(weights.begin(), targets, 0.0f);
    return gltf.gltf(format_text(
        "\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":%d},\"indices\":%d,"
        "\"targets\":[%s]}]}],\"nodes\":[{\"mesh\":0}],\"animations\":[{\"channels\":[{"
        "\"sampler\":0,\"target\":{\"node\":0,\"path\":\"weights\"}}],\"samplers\":[{\"input\":"
        "%d,\"output\":%d,\"interpolation\":\"%s\"}]}]",
        base, corners, list.c_str(), gltf.add_scalars({0.0f, seconds}), gltf.add_scalars(weights),
        interpolation));
}

// warpkit-export run in `folder` by a forked child that may take 300 MB of address space beyond
// this process's and a minute of CPU: a regression that samples billions of frames fails here
// rather than fill the machine's memory or hold up the suite. A child killed (out of memory,
// out of time) has the signal's negative number as its status.
ToolRun run_limited(const std::vector<std::string>& args, const std::string& folder) {
    std::filesystem::remove(folder + "/.out");
    std::filesystem::remove(folder + "/.err");
    const pid_t child = fork();
    if (child == 0) {
        const rlimit cpu{60, 60};
        if (!warpkit::testing::limit_address_space(rlim_t{300} << 20) ||
            setrlimit(RLIMIT_CPU, &cpu) != 0 || chdir(folder.c_str()) != 0)
            _exit(100);
        const ToolRun run = run_tool(args);
        std::ofstream(".out") << run.out;
        std::ofstream(".err") << run.err;
        _exit(run.status);
    }
    int ended = 0;
    waitpid(child, &ended, 0);
    ToolRun run;
    run.status = WIFEXITED(ended) ? WEXITSTATUS(ended) : -WTERMSIG(ended);
    run.out = read_whole(folder + "/.out");
    run.err = read_whole(folder + "/.err");
    return run;
}

// Files and names chosen to hurt: animations of billions of frames, symbolic links planted
// under every name an export writes (pointing out of the folder), names starting with '-' or
// holding control characters (printed escaped, and a message made printable twice unchanged). Each
// is refused with one line naming the file, or handled; a link and the file it names are left as
// they were, and nothing else of the export is written.
TEST(ExportCommandLine, hostile_files_and_names_are_refused_or_handled) {
    testing::ExportFixture fixture;
    const testing::FaceProject face(fixture);
    const auto file = [&](const std::string& name) { return fixture.folder.file(name); };
    write_text(file("victim"), "not an export\n");
    write_text(file("step.gltf"), long_animation(20, "STEP", 7e7f));
    write_text(file("linear.gltf"), long_animation(20, "LINEAR", 7e7f));
    write_text(file("many.gltf"), long_animation(99, "STEP", 5e5f));
    write_text(file("grid.gltf"), warpkit::testing::grid_gltf(2));
    write_text(file("face.bin"), "an old buffer");
    std::filesystem::copy_file(face.path, file("-f.twp"));
    warpkit::testing::QxmObjectSpec odd = face.source;
    odd.name = "a\nb\x1b[2J\xc2\x9b";
    fixture.write_objects("odd.qxm", {odd}, 3);
    std::filesystem::create_directories(file("a"));
    std::filesystem::create_directories(file("b"));
    ProjectData endless = face.data;
    endless.max_frame = 20000000;
    fixture.write_project("endless.twp", endless);

    struct Row {
        std::vector<std::string> args;
        int status;
        std::string words;      // in the output when done, else in the one line on stderr
        std::string link = "";  // planted first, pointing at the victim
        std::vector<std::string> not_written = {};
    };
    const std::string too_long =
        "lasts 2100000001 frames at 30 frames a second, more than the 16777216 an animation may "
        "have";
    const std::string linked = ": it is a symbolic link, and no output is written through one";
    const Row rows[] = {
        {{"project", "step.gltf", "-o", "s.twp"}, 1, too_long, "", {"s.qxm"}},
        {{"project", "linear.gltf", "-o", "l.twp"}, 1, too_long, "", {"l.twp"}},
        {{"project", "many.gltf", "-o", "m.twp", "--fps", "1"},
         0,
         "8 targets, frames 0 to 500000 at 1 fps, the animation sampled at every frame"},
        {{"obj", face.path, "-o", "a"},
         1,
         "write a/frame_0000.obj" + linked,
         "a/frame_0000.obj",
         {"a/palette.mtl"}},
        {{"obj", face.path, "--frames", "3..5", "-o", "b"},
         1,
         "write b/palette.mtl" + linked,
         "b/palette.mtl",
         {"b/frame_0003.obj"}},
        {{"gltf", face.path, "-o", "c.glb"}, 1, "write c.glb" + linked, "c.glb"},
        {{"pc2", face.path, "-o", "c.pc2"}, 1, "write c.pc2" + linked, "c.pc2"},
        {{"mdd", face.path, "-o", "no/c.mdd"}, 1, "write no/c.mdd: the folder "},
        {{"pc2", "endless.twp", "-o", "e.pc2"},
         1,
         "20000001 frames are more than the 16777216 a cache may have",
         "",
         {"e.pc2"}},
        {{"mdd", face.path, "-o", "a.mdd", "--frames", "40..41"}, 2, "past the last frame 40"},
        {{"gltf", face.path, "-o", "d.gltf"}, 1, "write d.bin" + linked, "d.bin", {"d.gltf"}},
        {{"project", "grid.gltf", "-o", "e.twp"}, 1, "write e.twp" + linked, "e.twp", {"e.qxm"}},
        {{"gltf", face.path, "-o", "face.gltf"}, 0, "wrote face.gltf and face.bin: "},
        {{"check", "--", "-f.twp"}, 0, "2 of 2 targets loaded"},
        {{"check", "new\nline.twp"}, 1, "The project file new\\nline.twp cannot be loaded"},
        {{"info", "odd.qxm"}, 0, "a\\nb\\x1B[2J\\u009B"},
        {{"check", "--", "-h"}, 1, "The project file -h cannot be loaded"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args[0] + " " + row.args[1]);
        const bool linked_row = !row.link.empty();
        if (linked_row) {
            ASSERT_EQ(symlink(file("victim").c_str(), file(row.link).c_str()), 0);
        }
        const ToolRun run = run_limited(row.args, fixture.folder.path());
        EXPECT_EQ(run.status, row.status) << run.err;
        const std::string& said = row.status == 0 ? run.out : run.err;
        EXPECT_NE(said.find(row.words), std::string::npos) << said;
        EXPECT_TRUE(row.status == 0 || std::count(said.begin(), said.end(), '\n') == 1) << said;
        std::error_code not_a_link;
        EXPECT_TRUE(!linked_row ||
                    std::filesystem::read_symlink(file(row.link), not_a_link) == file("victim"));
        for (const std::string& name : row.not_written) {
            EXPECT_FALSE(std::filesystem::exists(file(name))) << name;
        }
    }
    EXPECT_EQ(read_whole(file("victim")), "not an export\n");
    EXPECT_NE(read_whole(file("face.bin")), "an old buffer");
}

// A file of two animations, one of them driving two meshes: info lists them; project takes what
// --mesh and --animation name (by index, by name, or by a mesh's name in full), and unasked the
// first, naming it and the others on stderr; --strict refuses to choose; qxm converts the mesh
// named.
TEST(ExportCommandLine, info_lists_the_choices_and_project_takes_the_one_named_or_says_which) {
    testing::ExportFixture fixture;
    const std::string scene = fixture.folder.file("scene.gltf");
    write_text(scene, warpkit::testing::two_animations_gltf());

    ToolRun run = run_tool({"info", scene});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, scene +
                           ": 2 meshes, 2 animations of morph target weights\n"
                           "mesh 0 \"grid face\" (kept as grid_face): 9 vertices, 8 triangles, "
                           "2 morph targets\n"
                           "  target 0 \"t0\"\n"
                           "  target 1 \"t1\"\n"
                           "mesh 1 \"lower teeth and tongue\" (kept as lower_teeth_and): "
                           "3 vertices, 1 triangle, 1 morph target\n"
                           "  target 0 \"jaw open as wide as it goes\" (kept as jaw_open_as_wid)\n"
                           "animation 0 \"blink\": 0.2 s, the weights of 1 mesh\n"
                           "  mesh 0 \"grid face\": 3 keys at 0, 0.1, 0.2 s (linear)\n"
                           "animation 1 \"talk\": 3 s, the weights of 2 meshes\n"
                           "  mesh 0 \"grid face\": 3 keys at 0, 1.5, 3 s (linear)\n"
                           "  mesh 1 \"lower teeth and tongue\": 2 keys at 0, 3 s (linear)\n");

    const std::string face = "mesh 0 \"grid face\"";
    const std::string teeth = "mesh 1 \"lower teeth and tongue\"";
    const std::string blink = "animation 0 \"blink\" (0.2 s)";
    const std::string talk = "animation 1 \"talk\" (3 s)";
    const std::string meshes = "the file holds 2 meshes with morph targets: " + face +
                               " is taken; the others: " + teeth + "; --mesh NAME|INDEX chooses";
    const std::string animations = face + " has 2 animations of its weights: " + blink +
                                   " is taken; the others: " + talk +
                                   "; --animation NAME|INDEX chooses";
    struct Row {
        std::vector<std::string> options;
        int status;
        std::string source;  // done: the project's source; refused: the last line's words
        int32_t max_frame = 0;
        std::vector<std::string> said = {};  // the lines before, in order (warnings when done)
    };
    const Row rows[] = {
        {{}, 0, "grid_face", 6, {meshes, animations}},
        {{"--animation", "talk"},
         0,
         "grid_face",
         90,
         {talk + " drives the weights of 2 meshes: " + face + " is taken; the others: " + teeth +
          "; --mesh NAME|INDEX chooses"}},
        {{"--animation", "1", "--mesh", "0", "--strict"}, 0, "grid_face", 90, {}},
        {{"--mesh", "0", "--animation", "blink", "--strict"}, 0, "grid_face", 6, {}},
        {{"--mesh", "lower teeth and tongue"}, 0, "lower_teeth_and", 90, {}},
        {{"--mesh", "lower_teeth_and", "--animation", "talk"}, 0, "lower_teeth_and", 90, {}},
        {{"--strict"},
         1,
         "nothing written: under --strict, --mesh and --animation must choose among several",
         0,
         {meshes, animations}},
        {{"--mesh", "1", "--animation", "blink"},
         1,
         blink + " does not drive the weights of " + teeth + " (it drives " + face + ")"},
        {{"--animation", "2"},
         1,
         "there is no animation \"2\" of morph target weights (the file's: " + blink + ", " + talk +
             ")"},
        {{"--mesh", "face"},
         1,
         "there is no mesh \"face\" (the file's meshes: " + face + ", " + teeth + ")"},
    };
    int n = 0;
    for (const Row& row : rows) {
        const std::string output = fixture.folder.file("p" + std::to_string(++n) + ".twp");
        std::vector<std::string> args = {"project", scene, "-o", output};
        args.insert(args.end(), row.options.begin(), row.options.end());
        std::string line;
        for (const std::string& arg : row.options) line += "[" + arg + "]";
        SCOPED_TRACE(line);
        run = run_tool(args);
        EXPECT_EQ(run.status, row.status) << run.err;
        std::vector<std::string> said = row.said;
        if (row.status != 0) said.push_back(row.source);
        // then the names the object file could not keep, of the mesh written
        if (row.status == 0 && row.source == "grid_face")
            said.push_back("mesh \"grid face\" is stored as \"grid_face\"");
        if (row.status == 0 && row.source == "lower_teeth_and") {
            said.push_back("mesh \"lower teeth and tongue\" is stored as \"lower_teeth_and\"");
            said.push_back(
                "mesh \"lower_teeth_and\", morph target 1: \"jaw open as wide as it "
                "goes\" is stored as \"jaw_open_as_wid\"");
        }
        std::string expected;
        for (const std::string& words : said) {
            expected += std::string("warpkit-export: ") + (row.status == 0 ? "warning: " : "") +
                        scene + ": " + words + "\n";
        }
        EXPECT_EQ(run.err, expected);
        if (row.status != 0) {
            EXPECT_FALSE(std::filesystem::exists(output));
            continue;
        }
        ProjectData project;
        ASSERT_TRUE(read_project_file(output, project).ok);
        EXPECT_EQ(project.source_name, row.source);
        EXPECT_EQ(project.max_frame, row.max_frame);
    }

    // qxm converts the one mesh named, by the same names
    run = run_tool({"qxm", scene, "-o", fixture.folder.file("teeth.qxm"), "--mesh", "1"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("lower_teeth_and"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("grid_face"), std::string::npos) << run.out;
    run = run_tool({"qxm", scene, "-o", fixture.folder.file("none.qxm"), "--mesh", "teeth"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "warpkit-export: " + scene +
                           ": there is no mesh \"teeth\" (the file's "
                           "meshes: " +
                           face + ", " + teeth + ")\n");
}

}  // namespace
}  // namespace warpkit::exporting
