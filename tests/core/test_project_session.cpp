#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "session/project_session.h"
#include "session/session.h"
#include "support/qxm_writer.h"

namespace warpkit {
namespace {

using testing::QxmFileSpec;
using testing::QxmObjectSpec;

// A 2 x 2 grid (9 vertices) moved by dz in z: every target made from it has offset (0, 0, dz).
QxmObjectSpec grid(const std::string& name, float dz, int columns = 2) {
    QxmObjectSpec object = testing::make_grid_object(name, columns, 2);
    for (Vec3& v : object.vertices) v.z += dz;
    return object;
}

KeyTrack keys(std::vector<std::pair<int32_t, float>> pairs) {
    KeyTrack track;
    for (const auto& [frame, weight] : pairs) {
        track.frames.push_back(frame);
        track.weights.push_back(weight);
    }
    return track;
}

class ProjectSessionTest : public ::testing::Test {
protected:
    std::string write(const std::string& file, std::vector<QxmObjectSpec> objects) {
        QxmFileSpec file_spec;
        file_spec.objects = std::move(objects);
        file_spec.colours = testing::make_palette(2);
        return testing::write_qxm(folder.file(file), file_spec);
    }

    void set_target(ProjectData& project, int k, const std::string& path, const std::string& name,
                    KeyTrack track = keys({{0, 0.0f}})) {
        ProjectTarget& target = project.targets[k - 1];
        target.present = true;
        target.path = path;
        target.name = name;
        target.keys = std::move(track);
    }

    ProjectData base_project() {
        ProjectData project;
        project.max_frame = 60;
        project.source_path = write("base.qxm", {grid("base", 0.0f)});
        project.source_name = "base";
        return project;
    }

    testing::TempFolder folder;
};

TEST_F(ProjectSessionTest, rebuilds_source_and_targets_with_their_offsets_and_keys) {
    ProjectData project = base_project();
    // The objects of a project may share a file and are found by name, not by position.
    const std::string faces = write("faces.qxm", {grid("frown", -2.0f), grid("smile", 1.0f)});
    set_target(project, 1, faces, "smile", keys({{0, 0.0f}, {30, 100.0f}}));
    set_target(project, 3, faces, "frown", keys({{0, 50.0f}}));

    // A session of another shape with target 5 loaded, changed since its last save.
    EditorState state;
    ReadResult old_source;
    old_source.vertex_count = 3;
    old_source.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    old_source.triangle_count = 1;
    old_source.triangles = {Triangle{}};
    old_source.object_name = "old";
    install_source(state, "/old.qxm", old_source);
    install_target(state, 5, "/old.qxm", old_source);
    state.current_frame = 40;
    ASSERT_EQ(state.modified, 1);

    const PreparedProject prepared = prepare_project(project);
    ASSERT_TRUE(prepared.refusal.empty()) << prepared.refusal.en;
    EXPECT_TRUE(prepared.warnings.empty());
    apply_project(state, project, prepared);

    const QxmObjectSpec base = grid("base", 0.0f);
    EXPECT_EQ(state.vertex_count, 9);
    EXPECT_EQ(state.triangle_count, 8);
    EXPECT_EQ(state.max_frame, 60);
    EXPECT_EQ(state.current_frame, 40);
    EXPECT_EQ(state.modified, 0);
    ASSERT_TRUE(state.source_loaded());
    EXPECT_EQ(state.slots[0].path, project.source_path);
    EXPECT_EQ(state.slots[0].name, "base");
    ASSERT_EQ(state.slots[0].vertices.size(), 9u);
    for (size_t i = 0; i < 9; ++i) {
        EXPECT_EQ(state.slots[0].vertices[i].x, base.vertices[i].x);
        EXPECT_EQ(state.slots[0].vertices[i].y, base.vertices[i].y);
    }
    EXPECT_EQ(state.mesh.displayed.size(), 9u);
    EXPECT_EQ(state.mesh.triangles.size(), 8u);

    const float expected_dz[kTargetCount + 1] = {0, 1.0f, 0, -2.0f, 0, 0, 0, 0, 0};
    for (int k = 1; k <= kTargetCount; ++k) {
        SCOPED_TRACE("target " + std::to_string(k));
        const TargetSlot& slot = state.slots[k];
        const bool wanted = k == 1 || k == 3;
        EXPECT_EQ(state.target_loaded(k), wanted);
        if (!wanted) continue;
        EXPECT_EQ(slot.path, faces);
        EXPECT_EQ(slot.name, k == 1 ? "smile" : "frown");
        EXPECT_EQ(slot.keys.frames, project.targets[k - 1].keys.frames);
        EXPECT_EQ(slot.keys.weights, project.targets[k - 1].keys.weights);
        ASSERT_EQ(slot.vertices.size(), 9u);
        for (const Vec3& offset : slot.vertices) {
            EXPECT_EQ(offset.x, 0.0f);
            EXPECT_EQ(offset.y, 0.0f);
            EXPECT_EQ(offset.z, expected_dz[k]);
        }
    }

    // Applied so that the objects read go as the session takes them: the same session, and
    // nothing of them left.
    PreparedProject consumed = prepare_project(project);
    EditorState again;
    apply_project(again, project, std::move(consumed));
    EXPECT_TRUE(consumed.source.vertices.empty() && consumed.source.triangles.empty());
    EXPECT_FALSE(consumed.targets[1] || consumed.targets[3]);
    for (int k = 0; k <= kTargetCount; ++k) {
        const std::vector<Vec3>& a = again.slots[k].vertices;
        const std::vector<Vec3>& b = state.slots[k].vertices;
        ASSERT_EQ(a.size(), b.size()) << "slot " << k;
        if (a.empty()) continue;
        EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(Vec3)), 0) << "slot " << k;
    }
    ASSERT_EQ(again.mesh.triangles.size(), state.mesh.triangles.size());
    EXPECT_EQ(std::memcmp(again.mesh.triangles.data(), state.mesh.triangles.data(),
                          state.mesh.triangles.size() * sizeof(Triangle)),
              0);
}

TEST_F(ProjectSessionTest, a_target_that_cannot_be_used_is_left_empty_and_the_rest_loads) {
    ProjectData project = base_project();
    const std::string smile = write("smile.qxm", {grid("smile", 1.0f)});
    const std::string wide = write("wide.qxm", {grid("wide", 1.0f, 3)});
    const std::string missing = folder.file("gone.qxm");
    QxmFileSpec damaged_spec;
    damaged_spec.objects = {grid("torn", 1.0f)};
    damaged_spec.colours = testing::make_palette(2);
    const std::vector<uint8_t> whole = testing::build_qxm(damaged_spec);
    const std::string damaged = folder.file("torn.qxm");
    testing::write_file(damaged, testing::truncated(whole, whole.size() / 2));
    QxmFileSpec foreign_spec = damaged_spec;
    foreign_spec.magic = "PNG v91";
    const std::string foreign = testing::write_qxm(folder.file("foreign.qxm"), foreign_spec);

    set_target(project, 1, smile, "smile");
    set_target(project, 2, wide, "wide");
    set_target(project, 3, missing, "gone");
    set_target(project, 4, damaged, "torn");
    set_target(project, 5, smile, "nosuch");
    set_target(project, 6, foreign, "torn");
    set_target(project, 8, smile, "smile", keys({{0, 25.0f}}));

    const PreparedProject prepared = prepare_project(project);
    ASSERT_TRUE(prepared.refusal.empty()) << prepared.refusal.en;

    using Kind = TargetLoadWarning::Kind;
    struct Expected {
        int slot;
        Kind kind;
        std::string path;
        std::string name;
        std::string reason_part;
    };
    const std::vector<Expected> expected = {
        {2, Kind::kVertexCount, wide, "wide", ""},
        {3, Kind::kUnreadable, missing, "gone", "cannot be opened"},
        {4, Kind::kUnreadable, damaged, "torn", "is damaged"},
        {5, Kind::kUnreadable, smile, "nosuch", "holds no object named nosuch"},
        {6, Kind::kUnreadable, foreign, "torn", "is not a QXM rev.3 object file"},
    };
    ASSERT_EQ(prepared.warnings.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const TargetLoadWarning& warning = prepared.warnings[i];
        SCOPED_TRACE("slot " + std::to_string(expected[i].slot));
        EXPECT_EQ(warning.slot, expected[i].slot);
        EXPECT_EQ(warning.kind, expected[i].kind);
        EXPECT_EQ(warning.path, expected[i].path);
        EXPECT_EQ(warning.name, expected[i].name);
        EXPECT_NE(warning.reason.en.find(expected[i].reason_part), std::string::npos)
            << warning.reason.en;
        if (warning.kind == Kind::kUnreadable && expected[i].slot != 5) {
            // The file name is in the words, so the user knows which file to look at.
            EXPECT_NE(warning.reason.en.find(expected[i].path), std::string::npos)
                << warning.reason.en;
        }
    }

    EditorState state;
    apply_project(state, project, prepared);
    for (int k = 1; k <= kTargetCount; ++k) {
        EXPECT_EQ(state.target_loaded(k), k == 1 || k == 8) << "target " << k;
    }
    EXPECT_EQ(state.slots[8].keys.weights, std::vector<float>{25.0f});
    EXPECT_EQ(state.modified, 0);
}

TEST_F(ProjectSessionTest, a_source_that_cannot_be_read_refuses_the_project) {
    const QxmObjectSpec base = grid("base", 0.0f);
    QxmFileSpec file_spec;
    file_spec.objects = {base};
    file_spec.colours = testing::make_palette(2);
    const std::vector<uint8_t> whole = testing::build_qxm(file_spec);

    const std::string missing = folder.file("missing.qxm");
    const std::string damaged = folder.file("damaged.qxm");
    testing::write_file(damaged, testing::truncated(whole, whole.size() - 5));
    QxmFileSpec foreign_spec = file_spec;
    foreign_spec.magic = "QXM v90";
    const std::string foreign = testing::write_qxm(folder.file("foreign.qxm"), foreign_spec);
    const std::string good = testing::write_qxm(folder.file("good.qxm"), file_spec);
    QxmObjectSpec hollow;
    hollow.name = "hollow";
    const std::string empty = write("hollow.qxm", {hollow, base});

    struct Case {
        const char* what;
        std::string path;
        std::string name;
        std::string words;
    };
    const std::vector<Case> cases = {
        {"missing file", missing, "base", missing + " cannot be opened"},
        {"not QXM", foreign, "base", foreign + " is not a QXM rev.3 object file"},
        {"damaged", damaged, "base", damaged + " is damaged: "},
        {"no such object", good, "nosuch", good + " holds no object named nosuch"},
        {"no vertices", empty, "hollow", "the source object hollow has no vertices"},
    };
    const std::string smile = write("smile.qxm", {grid("smile", 1.0f)});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ProjectData project;
        project.source_path = c.path;
        project.source_name = c.name;
        set_target(project, 1, smile, "smile");
        const PreparedProject prepared = prepare_project(project);
        EXPECT_NE(prepared.refusal.en.find(c.words), std::string::npos) << prepared.refusal.en;
        // Nothing past the refusal was read.
        EXPECT_TRUE(prepared.warnings.empty());
        EXPECT_FALSE(prepared.targets[1].has_value());
    }
}

TEST_F(ProjectSessionTest, apply_needs_no_object_file_once_prepared) {
    ProjectData project = base_project();
    const std::string smile = write("smile.qxm", {grid("smile", 1.5f)});
    set_target(project, 2, smile, "smile", keys({{0, 10.0f}, {5, 20.0f}}));
    const PreparedProject prepared = prepare_project(project);
    ASSERT_TRUE(prepared.refusal.empty()) << prepared.refusal.en;

    // Each object was read once, by the preparation; the files may be gone by now.
    std::filesystem::remove(project.source_path);
    std::filesystem::remove(smile);

    EditorState state;
    apply_project(state, project, prepared);
    ASSERT_TRUE(state.source_loaded());
    ASSERT_TRUE(state.target_loaded(2));
    ASSERT_EQ(state.slots[2].vertices.size(), 9u);
    EXPECT_EQ(state.slots[2].vertices[4].z, 1.5f);
    EXPECT_EQ(state.slots[2].keys.frames, (std::vector<int32_t>{0, 5}));
}

TEST_F(ProjectSessionTest, the_current_frame_is_brought_into_the_new_timeline) {
    ProjectData project = base_project();
    project.max_frame = 20;
    const PreparedProject prepared = prepare_project(project);
    ASSERT_TRUE(prepared.refusal.empty()) << prepared.refusal.en;

    const std::vector<std::pair<int32_t, int32_t>> frames = {{0, 0},    {20, 20}, {21, 20},
                                                             {100, 20}, {-3, 0},  {7, 7}};
    for (const auto& [before, after] : frames) {
        EditorState state;
        state.current_frame = before;
        apply_project(state, project, prepared);
        EXPECT_EQ(state.current_frame, after) << "from " << before;
        EXPECT_EQ(state.max_frame, 20);
    }
}

}  // namespace
}  // namespace warpkit
