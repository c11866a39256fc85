#include <gtest/gtest.h>

#include <filesystem>

#include "export/export_fixture.h"
#include "export/match_command.h"
#include "model/qxm_reader.h"
#include "support/remeshed.h"

namespace warpkit::exporting {
namespace {

using testing::ExportFixture;
using testing::QxmObjectSpec;
using testing::run_tool;

// A source grid with three colours, a wavy target of it renumbered ("shuffled"), and a grid of
// another size, in one file.
struct MatchFixture : ::testing::Test {
    MatchFixture() {
        source = warpkit::testing::make_grid_object("base", 6, 5, 3);
        wavy = testing::moved(source, "wavy", [](const Vec3& v) {
            return Vec3{v.x, v.y, 0.3f * v.x - 0.2f * v.y};
        });
        renumbered = warpkit::testing::renumber(wavy.vertices, wavy.triangles, 3);
        QxmObjectSpec shuffled = wavy;
        shuffled.name = "shuffled";
        shuffled.vertices = renumbered.vertices;
        shuffled.triangles = renumbered.triangles;
        QxmObjectSpec other = source;
        other.name = "other";
        other.triangles = warpkit::testing::turned_diagonals(source.triangles);
        for (Vec3& v : other.vertices) v = {v.y, v.x, 0.0f};
        objects = fixture.write_objects(
            "shapes.qxm",
            {source, shuffled, other, warpkit::testing::make_grid_object("small", 2, 2)}, 3);
        out = fixture.folder.file("out.qxm");
    }

    ExportFixture fixture;
    QxmObjectSpec source, wavy;
    warpkit::testing::Renumbered renumbered;
    std::string objects, out;
};

TEST_F(MatchFixture, writes_the_target_in_the_sources_order_and_says_what_it_did) {
    const auto run = run_tool({"match", objects + ":base", objects + ":shuffled", "-o", out});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "source: base in " + objects + ", 42 vertices, 60 triangles, 3 colours\n" +
                  "target: shuffled in " + objects + ", 42 vertices, 60 triangles\n" +
                  "before: the target moves 33 of 42 vertices by more than 25% of the source's "
                  "bounding-box diagonal (the mark of another vertex order); the largest move is "
                  "95.2% of it\n" +
                  "matched by topology, 1 part: 42 of 42 vertices renumbered\n" +
                  "after: the target moves 0 of 42 vertices by more than 25% of the source's "
                  "bounding-box diagonal; the largest move is 23.0% of it\n" +
                  "wrote " + out + ": shuffled with the source's triangles and colours\n");

    ObjectFileReader reader;
    ASSERT_TRUE(reader.ReadObject(out, "shuffled", true).ok());
    const ReadResult& written = reader.result();
    ASSERT_EQ(written.vertices.size(), wavy.vertices.size());
    for (size_t i = 0; i < wavy.vertices.size(); ++i) {
        EXPECT_EQ(written.vertices[i].x, wavy.vertices[i].x) << i;
        EXPECT_EQ(written.vertices[i].y, wavy.vertices[i].y) << i;
        EXPECT_EQ(written.vertices[i].z, wavy.vertices[i].z) << i;
    }
    ASSERT_EQ(written.triangles.size(), source.triangles.size());
    for (size_t i = 0; i < source.triangles.size(); ++i) {
        for (int k = 0; k < 3; ++k) EXPECT_EQ(written.triangles[i].v[k], source.triangles[i].v[k]);
        EXPECT_EQ(written.triangles[i].colour, source.triangles[i].colour);
    }
    ObjectFileReader original;
    ASSERT_TRUE(original.ReadObject(objects, "base", true).ok());
    EXPECT_EQ(written.red, original.result().red);
    EXPECT_EQ(written.green, original.result().green);
    EXPECT_EQ(written.blue, original.result().blue);
}

TEST_F(MatchFixture, refusals_leave_no_file_and_keep_an_existing_one) {
    const std::string kept = fixture.folder.file("kept.qxm");
    warpkit::testing::write_file(kept, {'k', 'e', 'p', 't'});
    const std::string missing = fixture.folder.file("missing.qxm");
    struct Row {
        std::string source, target, output, err;
    };
    const std::string shapes = objects;
    const Row rows[] = {
        {shapes + ":base", shapes + ":shuffled", kept,
         "cannot write " + kept + ": the file already exists"},
        {shapes + ":base", shapes, out, shapes + " holds 4 objects; name one as FILE.qxm:OBJECT"},
        {shapes + ":base", shapes + ":nobody", out, shapes + " holds no object named nobody"},
        {shapes + ":base", shapes + ":small", out,
         "cannot match small in " + shapes + " to base in " + shapes +
             ": the target has 9 vertices, the source 42"},
        {shapes + ":base", shapes + ":other", out,
         "cannot match other in " + shapes + " to base in " + shapes +
             ": 12 of 42 vertices could not be matched: the target's triangles are not the "
             "source's renumbered, and by position those vertices have no target vertex of "
             "their own within half the distance to their nearest neighbour"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.target);
        const auto run = run_tool({"match", row.source, row.target, "-o", row.output});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "warpkit-export: " + row.err + "\n");
        EXPECT_EQ(run.out, "");
        EXPECT_FALSE(std::filesystem::exists(out));
    }
    ObjectTable ignored;
    EXPECT_EQ(read_object_table(kept, ignored).status, ReadStatus::kBadMagic);
    const auto absent = run_tool({"match", missing, shapes + ":base", "-o", out});
    EXPECT_EQ(absent.status, 1);
    EXPECT_NE(absent.err.find(missing), std::string::npos) << absent.err;
}

TEST(ExportMatch, object_names_follow_the_last_qxm_and_colon) {
    const struct {
        const char* text;
        const char* path;
        const char* object;
        bool named;
    } rows[] = {
        {"face.qxm", "face.qxm", "", false},
        {"face.QXM:smile", "face.QXM", "smile", true},
        {"a.qxm:dir/face.qxm:mouth:open", "a.qxm:dir/face.qxm", "mouth:open", true},
        {"face.qxm:", "face.qxm", "", true},
        {"c:/models/face.qxm", "c:/models/face.qxm", "", false},
    };
    for (const auto& row : rows) {
        const ObjectPath split = split_object_path(row.text);
        EXPECT_EQ(split.path, row.path) << row.text;
        EXPECT_EQ(split.object, row.object) << row.text;
        EXPECT_EQ(split.named, row.named) << row.text;
    }
}

}  // namespace
}  // namespace warpkit::exporting
