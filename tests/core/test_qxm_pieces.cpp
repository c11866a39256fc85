// Objects large enough that the reader and the writer go through them in many pieces on two
// threads: the files and the objects must be those of one pass in order, and a fault must be
// the first one in file order, wherever the pieces were read or made; a read of the positions
// alone must be refused exactly as a whole read.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <thread>

#include "base/sanitized.h"
#include "model/finite_points.h"
#include "model/helper_pool.h"
#include "model/qxm_reader.h"
#include "model/qxm_writer.h"
#include "support/child_process.h"
#include "support/qxm_writer.h"

namespace warpkit {
namespace {

using testing::TempFolder;

// 150 x 120 cells: 18 271 vertices and 36 000 triangles, 3 and 5 pieces of records.
constexpr int kColumns = 150;
constexpr int kRows = 120;

// A mesh and two targets over its triangles, as an import writes them, with four colours.
struct LargeFile {
    LargeFile() {
        mesh = testing::make_grid_object("mesh", kColumns, kRows, 4);
        for (int k = 1; k <= 2; ++k) {
            testing::QxmObjectSpec target = mesh;
            target.name = "target" + std::to_string(k);
            for (Vec3& v : target.vertices) v.z = 0.25f * static_cast<float>(k) * v.x;
            targets.push_back(target);
        }
        palette = {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}};
    }

    // The objects borrow the mesh's triangles, as qxm_objects_for() gives them.
    std::vector<QxmObjectView> views() const {
        std::vector<QxmObjectView> objects;
        const auto view = [&](const testing::QxmObjectSpec& object) {
            return QxmObjectView{object.name, object.vertices.data(), object.vertices.size(),
                                 mesh.triangles.data(), mesh.triangles.size()};
        };
        objects.push_back(view(mesh));
        for (const testing::QxmObjectSpec& target : targets) objects.push_back(view(target));
        return objects;
    }

    // The same file as the test fixtures' own writer lays it out, every skipped byte zero.
    testing::QxmFileSpec spec() const {
        testing::QxmFileSpec file;
        file.objects.push_back(mesh);
        file.objects.insert(file.objects.end(), targets.begin(), targets.end());
        for (size_t i = 0; i < palette.size(); ++i) {
            file.colours.push_back({palette.red[i], palette.green[i], palette.blue[i]});
        }
        file.junk_seed = 0;
        return file;
    }

    testing::QxmObjectSpec mesh;
    std::vector<testing::QxmObjectSpec> targets;
    QxmPalette palette;
};

std::vector<uint8_t> bytes_of(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

// Memory that runs out while the arrays are sized, on either thread, reaches the caller as
// std::bad_alloc, which the window's guard says; a helper thread that let it escape would end
// the program. First in this file, so that the file helper is made in the child that reads.
TEST(QxmPieces, memory_that_runs_out_on_either_thread_is_thrown_to_the_caller) {
#ifdef WARPKIT_SANITIZED
    GTEST_SKIP() << "AddressSanitizer reserves more address space than any limit leaves";
#else
    // 3.6 MB of vertices that keep the caller busy while the helper sizes 16 MB of triangles,
    // more than the limit below leaves.
    testing::QxmObjectSpec object;
    object.name = "many";
    object.vertices.assign(300000, Vec3{1, 2, 3});
    object.triangles.assign(1000000, make_triangle(0, 1, 2));
    testing::QxmFileSpec spec;
    spec.objects = {object};
    spec.junk_seed = 0;
    TempFolder folder;
    const std::string path = testing::write_qxm(folder.file("many.qxm"), spec);

    bool returned = false;
    const std::string answer = testing::in_child(
        [&] {
            file_helpers();  // its thread made before the limit, as a running program has it
            testing::limit_address_space(rlim_t{8} << 20);
            try {
                ObjectFileReader reader;
                return std::string(reader.ReadObject(path, "many", true).ok() ? "read" : "refused");
            } catch (const std::bad_alloc&) {
                return std::string("out of memory");
            }
        },
        &returned);
    EXPECT_TRUE(returned) << "the reading child died";
    EXPECT_EQ(answer, "out of memory");
#endif
}

TEST(QxmPieces, the_file_written_in_pieces_is_the_file_of_one_pass_and_reads_back) {
    const LargeFile large;
    TempFolder folder;
    const std::string path = folder.file("large.qxm");
    const FileOutcome written =
        write_qxm_file(path, large.views(), large.palette, ExistingFile::kKeep);
    ASSERT_TRUE(written.ok) << written.reason.en;

    const std::vector<uint8_t> expected = testing::build_qxm(large.spec());
    EXPECT_EQ(bytes_of(qxm_file_bytes(large.views(), large.palette)), expected);
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> on_disk{std::istreambuf_iterator<char>(in), {}};
    EXPECT_TRUE(on_disk == expected) << "the file written differs from the one-pass layout";

    // Two readers at once share the file helper: each gets its own object whole.
    const testing::QxmFileSpec spec = large.spec();
    ObjectFileReader readers[2];
    ReadOutcome outcomes[2];
    std::thread other([&] { outcomes[1] = readers[1].ReadObject(path, "target2", true); });
    outcomes[0] = readers[0].ReadObject(path, "mesh", true);
    other.join();
    for (int r = 0; r < 2; ++r) {
        SCOPED_TRACE(r);
        ASSERT_TRUE(outcomes[r].ok()) << outcomes[r].reason.en;
        const testing::QxmObjectSpec& object = spec.objects[r == 0 ? 0 : 2];
        const ReadResult& result = readers[r].result();
        ASSERT_EQ(result.vertices.size(), object.vertices.size());
        for (size_t i = 0; i < object.vertices.size(); ++i) {
            ASSERT_EQ(result.vertices[i].z, object.vertices[i].z) << "vertex " << i;
        }
        ASSERT_EQ(result.triangles.size(), object.triangles.size());
        for (size_t i = 0; i < object.triangles.size(); ++i) {
            const Triangle& got = result.triangles[i];
            const Triangle& want = object.triangles[i];
            ASSERT_TRUE(got.v[0] == want.v[0] && got.v[1] == want.v[1] && got.v[2] == want.v[2] &&
                        got.colour == want.colour)
                << "triangle " << i;
        }
        EXPECT_EQ(result.red, large.palette.red);
    }
}

TEST(QxmPieces, a_fault_is_the_first_in_file_order_whichever_thread_met_its_piece) {
    struct Case {
        const char* what;
        std::vector<std::pair<size_t, int32_t>> corners;  // triangle, vertex of its first corner
        std::vector<std::pair<size_t, int32_t>> colours;  // triangle, colour
        const char* words;
    };
    const Case cases[] = {
        {"last piece", {{35999, 18271}}, {}, "triangle 35999 uses vertex 18271"},
        {"two faults in later pieces",
         {{33000, -2}, {20000, 99999}},
         {},
         "triangle 20000 uses vertex 99999"},
        {"a colour before a corner",
         {{30000, -1}},
         {{17000, 4}},
         "triangle 17000 uses colour 4 but the file has 4 colours"},
        {"the first record of a piece", {{8192, 18300}}, {}, "triangle 8192 uses vertex 18300"},
    };
    TempFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LargeFile large;
        testing::QxmFileSpec spec = large.spec();
        for (const auto& [triangle, vertex] : c.corners) {
            spec.objects[0].triangles[triangle].v[0] = vertex;
        }
        for (const auto& [triangle, colour] : c.colours) {
            spec.objects[0].triangles[triangle].colour = colour;
        }
        const std::string path = testing::write_qxm(folder.file("damaged.qxm"), spec);
        ObjectFileReader reader;
        const ReadOutcome outcome = reader.ReadObject(path, "mesh", true);
        EXPECT_EQ(outcome.status, ReadStatus::kDamaged);
        EXPECT_NE(outcome.reason.en.find(c.words), std::string::npos) << outcome.reason.en;
        EXPECT_TRUE(reader.result().vertices.empty());
        // A target read for its positions alone is refused alike.
        const ReadOutcome positions = reader.ReadPositions(path, "mesh");
        EXPECT_EQ(positions.status, outcome.status);
        EXPECT_EQ(positions.reason.en, outcome.reason.en);
        EXPECT_EQ(positions.reason.ja, outcome.reason.ja);
        // The other objects of the file are sound, and their positions come alone.
        ASSERT_TRUE(reader.ReadPositions(path, "target1").ok());
        EXPECT_EQ(reader.result().vertices.size(), spec.objects[1].vertices.size());
        EXPECT_EQ(reader.result().vertices[18270].z, spec.objects[1].vertices[18270].z);
        EXPECT_EQ(reader.result().triangle_count, 36000);
        EXPECT_TRUE(reader.result().triangles.empty());
    }
}

// A target's offsets from its source, scanned piece by piece as it is read, give the answer of
// one scan of the whole arrays: the first faulty vertex, whichever thread read its piece.
TEST(QxmPieces, offsets_scanned_while_reading_find_the_first_faulty_vertex) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // 60 501 vertices: three pieces
    const testing::QxmObjectSpec source = testing::make_grid_object("target", 300, 200, 4);
    std::vector<Vec3> base = source.vertices;
    base[45000].y = 3e38f;  // a target far the other way overflows here
    struct Case {
        const char* what;
        std::vector<std::pair<size_t, Vec3>> moved;
        int64_t first;
    };
    const Case cases[] = {
        {"sound", {}, -1},
        {"first vertex", {{0, {nan, 0, 0}}}, 0},
        {"an offset that overflows", {{45000, {0, -3e38f, 0}}}, 45000},
        {"faults in two pieces", {{50000, {inf, 0, 0}}, {30000, {0, 0, -inf}}}, 30000},
        {"last vertex", {{60500, {0, nan, 0}}}, 60500},
    };
    TempFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testing::QxmFileSpec spec;
        spec.objects.push_back(source);
        for (const auto& [vertex, position] : c.moved) spec.objects[0].vertices[vertex] = position;
        spec.colours = testing::make_palette(4);
        const std::string path = testing::write_qxm(folder.file("target.qxm"), spec);
        ObjectFileReader reader;
        ASSERT_TRUE(reader.ReadPositions(path, "target", base).ok());
        EXPECT_EQ(reader.first_non_finite_offset(), std::optional<int64_t>(c.first));
        EXPECT_EQ(
            first_non_finite_offset(reader.result().vertices.data(), base.data(), 0, base.size()),
            c.first);
        // a base of another vertex count is not scanned
        ASSERT_TRUE(reader.ReadPositions(path, "target", std::vector<Vec3>(3)).ok());
        EXPECT_FALSE(reader.first_non_finite_offset());
    }
}

TEST(QxmPieces, shared_triangles_are_checked_once_and_refused_under_the_first_object) {
    LargeFile large;
    large.mesh.triangles[30000].v[1] = 18271;
    const std::string problem = qxm_contents_problem(large.views(), large.palette);
    EXPECT_EQ(problem,
              "object 0 (\"mesh\"): triangle 30000 uses vertex 18271 but the object has 18271 "
              "vertices");
}

}  // namespace
}  // namespace warpkit
