#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <map>

#include "export/export_fixture.h"
#include "model/qxm_reader.h"
#include "model/target_measure.h"

namespace warpkit::exporting {
namespace {

using testing::ExportFixture;
using testing::FaceProject;
using testing::project_target;
using testing::run_tool;
using warpkit::testing::QxmFileSpec;
using warpkit::testing::QxmObjectSpec;

// Every command that loads a project refuses it with the same line.
void expect_every_project_command_refuses(const std::string& project, const std::string& line,
                                          const std::string& out_folder) {
    const std::vector<std::vector<std::string>> commands = {
        {"check", project},
        {"gltf", project, "-o", out_folder + "/x.glb"},
        {"obj", project, "--frames", "0..1", "-o", out_folder + "/frames"},
        {"weights", project, "--frame", "0"},
    };
    for (const auto& args : commands) {
        SCOPED_TRACE(args[0]);
        const auto run = run_tool(args);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "warpkit-export: " + line + "\n");
        EXPECT_EQ(run.out, "");
    }
}

TEST(ExportProjectLoad, refusals_are_the_programs_words_naming_the_project) {
    ExportFixture fixture;
    const FaceProject face(fixture);
    const std::string refused = "The project file %s cannot be loaded: ";

    // A file that is not there, and one the parser stops in: the parser's reason (and line).
    const std::string missing = fixture.folder.file("missing.twp");
    ProjectData ignored;
    const ParseOutcome absent = read_project_file(missing, ignored);
    ASSERT_FALSE(absent.ok);
    expect_every_project_command_refuses(
        missing, "The project file " + missing + " cannot be loaded: " + absent.reason.en,
        fixture.folder.path());

    const std::string cut = fixture.folder.file("cut.twp");
    warpkit::testing::write_file(cut, {'T', 'e', 's', 't', '\n', 'M', 'a', 'x', '\n', 'x', '\n'});
    const ParseOutcome stopped = read_project_file(cut, ignored);
    ASSERT_FALSE(stopped.ok);
    ASSERT_EQ(stopped.line, 3);
    expect_every_project_command_refuses(
        cut, "The project file " + cut + " cannot be loaded: line 3: " + stopped.reason.en,
        fixture.folder.path());

    // A source the reader refuses: its words, as the program shows them.
    struct Row {
        std::string object_file;
        std::string object_name;
        std::string words;
    };
    const std::string bad_magic = fixture.folder.file("bad.qxm");
    QxmFileSpec file_spec;
    file_spec.objects = {face.source};
    file_spec.magic = "QXM v92";
    warpkit::testing::write_qxm(bad_magic, file_spec);
    QxmObjectSpec torn = face.source;
    torn.name = "torn";
    torn.vertices[0].y = std::numeric_limits<float>::quiet_NaN();
    const std::string holey = fixture.write_objects("holey.qxm", {torn}, 3);
    const Row rows[] = {
        {holey, "torn",
         "the source object torn in " + holey +
             " is damaged: the coordinates of vertex 0 are not all finite numbers: (0, nan, 0)"},
        {fixture.folder.file("gone.qxm"), "base",
         "the object file " + fixture.folder.file("gone.qxm") + " cannot be opened"},
        {face.objects, "nose", face.objects + " holds no object named nose"},
        {bad_magic, "base", bad_magic + " is not a QXM rev.3 object file"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.words);
        ProjectData data = face.data;
        data.source_path = row.object_file;
        data.source_name = row.object_name;
        const std::string project = fixture.write_project("source.twp", data);
        expect_every_project_command_refuses(
            project, "The project file " + project + " cannot be loaded: " + row.words,
            fixture.folder.path());
    }
}

// A file out of order is put in order by the same reader as the program's, and each change is
// listed among the warnings.
TEST(ExportProjectLoad, a_project_out_of_order_is_repaired_and_the_changes_listed) {
    ExportFixture fixture;
    FaceProject face(fixture);
    ProjectData unordered = face.data;
    unordered.targets[0] = project_target(face.objects, "lift", {{25, 20}, {0, 0}, {10, 100}});
    const std::string path = fixture.folder.file("by hand.twp");
    const std::string text = write_project_text(unordered);
    warpkit::testing::write_file(path, std::vector<uint8_t>(text.begin(), text.end()));

    const auto ordered = run_tool({"weights", face.path, "--frame", "10"});
    const auto repaired = run_tool({"weights", path, "--frame", "10"});
    EXPECT_EQ(repaired.status, 0);
    EXPECT_EQ(repaired.out, ordered.out);
    EXPECT_EQ(repaired.err, "warpkit-export: warning: " + path +
                                ": target 1, line 13: the keys are put in frame order (frame 0 "
                                "came after frame 25)\n");
}

TEST(ExportCheck, reports_each_target_against_the_source_and_the_targets_left_out) {
    ExportFixture fixture;
    FaceProject face(fixture);
    const std::string box =
        fixture.write_objects("box.qxm", {warpkit::testing::make_grid_object("box", 1, 1, 1)}, 1);
    const std::string gone = fixture.folder.file("gone.qxm");
    face.data.targets[3] = project_target(box, "box", {{0, 0.0f}});
    face.data.targets[4] = project_target(gone, "lift", {{0, 0.0f}, {5, 50.0f}});
    const std::string project = fixture.write_project("face.twp", face.data);

    const auto run = run_tool({"check", project});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "Project " + project +
                  "\n"
                  "Frames: 0 to 40\n"
                  "Source: base in " +
                  face.objects +
                  "\n"
                  "  12 vertices, 12 triangles, 3 colours, bounding-box diagonal 3.60555\n"
                  "Target 1: lift in " +
                  face.objects +
                  "\n"
                  "  vertices: 12, as the source\n"
                  "  moves 4 of 12 vertices; the largest move is 0.5, 13.9% of the diagonal\n"
                  "  keys: 0 0.00, 10 100.00, 25 20.00\n"
                  "Target 2: none\n"
                  "Target 3: slide in " +
                  face.objects +
                  "\n"
                  "  vertices: 12, as the source\n"
                  "  moves 12 of 12 vertices; the largest move is 0.25, 6.9% of the diagonal\n"
                  "  keys: 0 10.00, 16 60.00, 50 0.00\n"
                  "Target 4: box in " +
                  box +
                  "\n"
                  "  vertices: 4, the source has 12\n"
                  "  warning: Target No.4 has incorrect vertices. It will not be loaded.\n"
                  "Target 5: lift in " +
                  gone +
                  "\n"
                  "  warning: Target No.5 (object lift in " +
                  gone +
                  ") cannot be loaded: the object "
                  "file " +
                  gone +
                  " cannot be opened\n"
                  "Target 6: none\n"
                  "Target 7: none\n"
                  "Target 8: none\n"
                  "2 of 4 targets loaded, 2 warnings\n");

    // The exports go on without the targets left out, and say so.
    const auto weights = run_tool({"weights", project, "--frame", "0"});
    EXPECT_EQ(weights.status, 0);
    EXPECT_EQ(weights.out, "1 lift 0.00\n3 slide 10.00\n");
    EXPECT_EQ(weights.err,
              "warpkit-export: warning: Target No.4 has incorrect vertices. It will not be "
              "loaded.\n"
              "warpkit-export: warning: Target No.5 (object lift in " +
                  gone +
                  ") cannot be "
                  "loaded: the object file " +
                  gone + " cannot be opened\n");
}

TEST(ExportCheck, warns_of_a_target_whose_vertices_come_in_another_order) {
    ExportFixture fixture;
    FaceProject face(fixture);
    face.data.targets[1] = project_target(
        fixture.write_objects("reversed.qxm", {face.reversed()}, 3), "reversed", {{0, 0.0f}});
    const auto run = run_tool({"check", fixture.write_project("face.twp", face.data)});
    EXPECT_EQ(run.status, 0);
    const std::string warning =
        "  warning: 12 of 12 vertices move by more than 25% of the source's bounding-box "
        "diagonal; the target's vertices may be in another order than the source's\n";
    const size_t at = run.out.find(warning);
    ASSERT_NE(at, std::string::npos) << run.out;
    EXPECT_EQ(run.out.rfind("Target 2: reversed", at), run.out.find("Target 2: reversed"));
    EXPECT_EQ(run.out.find(warning, at + 1), std::string::npos) << "only target 2 is suspicious";
    EXPECT_NE(run.out.find("3 of 3 targets loaded, 1 warning\n"), std::string::npos) << run.out;
}

TEST(ExportStrict, warnings_fail_strict_runs_before_anything_is_written) {
    ExportFixture fixture;
    FaceProject face(fixture);
    const std::string others = fixture.write_objects(
        "others.qxm", {face.reversed(), warpkit::testing::make_grid_object("box", 1, 1, 1)}, 3);
    std::map<std::string, ProjectData> variants;
    variants["left_out"].targets[3] = project_target(others, "box", {{0, 0}});
    variants["reordered"].targets[1] = project_target(others, "reversed", {{0, 0}});
    for (int slot : {2, 5, 6}) variants["five"].targets[slot - 1] = face.data.targets[0];
    std::map<std::string, std::string> projects = {{"clean", face.path}, {"object file", others}};
    for (auto& [name, changes] : variants) {
        ProjectData data = face.data;
        for (int k = 0; k < kTargetCount; ++k) {
            if (changes.targets[k].present) data.targets[k] = changes.targets[k];
        }
        projects[name] = fixture.write_project(name + ".twp", data);
    }
    face.data.targets[0].keys.weights[1] = 150.0f;
    projects["over"] = fixture.write_project("over.twp", face.data);
    face.data.targets = {};
    projects["none"] = fixture.write_project("none.twp", face.data);

    struct Row {
        const char* project;
        std::vector<std::string> args;  // after the command and the project; OUT: the output
        int status;
        std::string err;  // a line of stderr, P standing for the project
        bool written;
    };
    const std::string strict = "warpkit-export: P: nothing written: 1 problem under --strict";
    const Row rows[] = {
        {"clean", {"check", "--strict"}, 0, "", false},
        {"left_out", {"check", "--strict"}, 1, "warpkit-export: P: 1 problem under --strict", 0},
        {"none", {"check", "--strict"}, 1, "warpkit-export: P: 1 problem under --strict", 0},
        {"none", {"gltf", "-o", "OUT", "--strict"}, 1, strict, false},
        {"left_out", {"obj", "-o", "OUT", "--strict"}, 1, strict, false},
        {"reordered",
         {"gltf", "-o", "OUT"},
         0,
         "warpkit-export: warning: target 2 reversed: 12 of 12 vertices move by more than 25% of "
         "the source's bounding-box diagonal; the target's vertices may be in another order than "
         "the source's",
         true},
        {"reordered", {"obj", "-o", "OUT", "--frames", "2", "--strict"}, 1, strict, false},
        {"five",
         {"gltf", "-o", "OUT", "--normals"},
         0,
         "warpkit-export: warning: 5 targets with normals make 10 morphed attributes; glTF players "
         "only promise 8",
         true},
        {"five", {"gltf", "-o", "OUT", "--normals", "--strict"}, 1, strict, false},
        {"over",
         {"gltf", "-o", "OUT", "--strict"},
         0,
         "warpkit-export: warning: target 1 lift: weight 150.00 at frame 10 is outside 0 to 100; "
         "some importers clamp morph weights to 0..1",
         true},
        {"object file",
         {"weights", "--frame", "0"},
         1,
         "warpkit-export: P is an object file, not a project file; 'warpkit-export info P' lists "
         "its objects",
         false},
    };
    int number = 0;
    for (const Row& row : rows) {
        const std::string& project = projects.at(row.project);
        const std::string out = fixture.folder.file("out" + std::to_string(++number) + ".glb");
        std::vector<std::string> args = {row.args[0], project};
        for (size_t i = 1; i < row.args.size(); ++i) {
            args.push_back(row.args[i] == "OUT" ? out : row.args[i]);
        }
        SCOPED_TRACE(std::string(row.project) + " " + ::testing::PrintToString(row.args));
        const auto run = run_tool(args);
        EXPECT_EQ(run.status, row.status) << run.err;
        std::string line = row.err;
        for (size_t at; (at = line.find(" P")) != std::string::npos;)
            line.replace(at + 1, 1, project);
        if (line.empty()) {
            EXPECT_EQ(run.err, "");
        } else {
            EXPECT_NE(("\n" + run.err).find("\n" + line + "\n"), std::string::npos) << run.err;
        }
        EXPECT_EQ(std::filesystem::exists(out), row.written);
    }
    EXPECT_NE(run_tool({"check", projects["over"]})
                  .out.find("  keys: 0 0.00, 10 150.00, 25 20.00\n  warning: weight 150.00 at "
                            "frame 10 is outside 0 to 100"),
              std::string::npos);
    EXPECT_NE(run_tool({"check", projects["none"]}).out.find("warning: no target is loaded\n"),
              std::string::npos);
}

TEST(TargetMeasure, judges_by_the_share_of_far_vertices_and_never_without_a_scale) {
    // Diagonal 4: a move above 1 is far.
    const std::vector<Vec3> three_far = {{0, 0, 1.5f}, {0, -2, 0}, {1.01f, 0, 0}, {0, 0, 0}};
    TargetMeasure measure = measure_target(three_far, 4.0);
    EXPECT_EQ(measure.moved, 3);
    EXPECT_EQ(measure.far, 3);
    EXPECT_DOUBLE_EQ(measure.largest, 2.0);
    EXPECT_DOUBLE_EQ(measure.largest_share, 0.5);
    EXPECT_TRUE(measure.suspicious);

    // Exactly half far is not "most"; a move of exactly the share is not far.
    const std::vector<Vec3> half = {{0, 0, 3}, {0, 3, 0}, {1, 0, 0}, {0, 0, 0.5f}};
    measure = measure_target(half, 4.0);
    EXPECT_EQ(measure.far, 2);
    EXPECT_FALSE(measure.suspicious);

    // A source without extent has no scale: nothing is far.
    measure = measure_target(three_far, 0.0);
    EXPECT_EQ(measure.moved, 3);
    EXPECT_EQ(measure.far, 0);
    EXPECT_EQ(measure.largest_share, 0.0);
    EXPECT_FALSE(measure.suspicious);

    EXPECT_DOUBLE_EQ(bounding_box_diagonal({{1, 1, 1}, {-1, 3, 1}, {0, 1, 3}}),
                     2.0 * std::sqrt(3.0));
    EXPECT_EQ(bounding_box_diagonal({}), 0.0);
}

TEST(ExportInfo, lists_the_objects_in_file_order) {
    ExportFixture fixture;
    const FaceProject face(fixture);
    const auto run = run_tool({"info", face.objects});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, face.objects +
                           ": 3 objects, 3 colours\n"
                           "index  name             vertices  triangles\n"
                           "    0  base                   12         12\n"
                           "    1  lift                   12         12\n"
                           "    2  slide                  12         12\n");

    const std::string empty = fixture.folder.file("empty.qxm");
    warpkit::testing::write_qxm(empty, QxmFileSpec{});
    EXPECT_EQ(run_tool({"info", empty}).out, empty + ": 0 objects, 0 colours\n");
}

TEST(ExportInfo, refuses_object_files_with_the_programs_messages) {
    ExportFixture fixture;
    const FaceProject face(fixture);

    const std::string bad_magic = fixture.folder.file("bad.qxm");
    QxmFileSpec file_spec;
    file_spec.objects = {face.source};
    file_spec.magic = "qxm v91";
    warpkit::testing::write_qxm(bad_magic, file_spec);
    auto run = run_tool({"info", bad_magic});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "warpkit-export: " + bad_magic +
                           ": Tessel Warp can only open QXM<rev.3>format. Please save the file as "
                           "<rev.3> format.\n");

    file_spec.magic = "QXM v91";
    file_spec.vertex_total = 1000;  // more vertices than the file holds
    const std::string damaged = fixture.folder.file("damaged.qxm");
    warpkit::testing::write_qxm(damaged, file_spec);
    ObjectTable table;
    const ReadOutcome outcome = read_object_table(damaged, table);
    ASSERT_EQ(outcome.status, ReadStatus::kDamaged);
    run = run_tool({"info", damaged});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "warpkit-export: The object file " + damaged +
                           " is damaged and cannot be read: " + outcome.reason.en + "\n");

    const std::string gone = fixture.folder.file("gone.qxm");
    run = run_tool({"info", gone});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "warpkit-export: the object file " + gone +
                           " cannot be opened: No such file or directory\n");
    EXPECT_EQ(run.out, "");
}

}  // namespace
}  // namespace warpkit::exporting
