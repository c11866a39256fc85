#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>

#include "model/qxm_reader.h"
#include "model/qxm_writer.h"
#include "support/qxm_writer.h"

namespace warpkit {
namespace {

using testing::TempFolder;

QxmObject object_from(const testing::QxmObjectSpec& spec) {
    return QxmObject{spec.name, spec.vertices, spec.triangles};
}

QxmPalette palette_from(const std::vector<testing::QxmColour>& colours) {
    QxmPalette palette;
    for (const testing::QxmColour& c : colours) {
        palette.red.push_back(c.red);
        palette.green.push_back(c.green);
        palette.blue.push_back(c.blue);
    }
    return palette;
}

std::string file_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool same_bits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

class QxmWriterTest : public ::testing::Test {
protected:
    ReadOutcome read_back(int32_t index) {
        return reader_.ReadObject(
            path_, "prompt", false,
            [index](const ObjectTable&, const std::string&) { return index; });
    }

    TempFolder folder_;
    std::string path_ = folder_.file("written.qxm");
    ObjectFileReader reader_;
};

TEST_F(QxmWriterTest, every_object_reads_back_as_written) {
    const testing::QxmFileSpec spec = testing::three_object_file();
    std::vector<QxmObject> objects;
    for (const auto& object : spec.objects) objects.push_back(object_from(object));
    // Values a text round trip or a careless conversion would change.
    objects[2].vertices = {{-0.0f, 1e-40f, std::numeric_limits<float>::max()},
                           {0.1f, -3.5e7f, std::numeric_limits<float>::lowest()},
                           {1.0f / 3.0f, 2.0f, -1.0f}};
    const QxmPalette palette = palette_from(spec.colours);
    const FileOutcome written = write_qxm_file(path_, objects, palette, ExistingFile::kKeep);
    ASSERT_TRUE(written.ok) << written.reason.en;

    for (size_t i = 0; i < objects.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(read_back(static_cast<int32_t>(i)).ok());
        const ReadResult& result = reader_.result();
        EXPECT_EQ(result.object_name, objects[i].name);
        ASSERT_EQ(result.vertices.size(), objects[i].vertices.size());
        for (size_t v = 0; v < result.vertices.size(); ++v) {
            EXPECT_TRUE(same_bits(result.vertices[v].x, objects[i].vertices[v].x) &&
                        same_bits(result.vertices[v].y, objects[i].vertices[v].y) &&
                        same_bits(result.vertices[v].z, objects[i].vertices[v].z))
                << "vertex " << v;
        }
        ASSERT_EQ(result.triangles.size(), objects[i].triangles.size());
        for (size_t t = 0; t < result.triangles.size(); ++t) {
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(result.triangles[t].v[c], objects[i].triangles[t].v[c]);
            EXPECT_EQ(result.triangles[t].colour, objects[i].triangles[t].colour);
        }
        EXPECT_EQ(result.red, palette.red);
        EXPECT_EQ(result.green, palette.green);
        EXPECT_EQ(result.blue, palette.blue);
    }
}

TEST_F(QxmWriterTest, names_are_cut_before_a_character_and_listed_so) {
    struct Case {
        const char* what;
        std::string name;
        std::string kept;
    };
    const Case cases[] = {
        {"short", "jaw", "jaw"},
        {"ascii", "abcdefghijklmnopqrst", "abcdefghijklmno"},
        {"utf8 on a boundary", "あいうえおか", "あいうえお"},
        {"utf8 across the limit", "abcdefghijklmnあ", "abcdefghijklmn"},
        {"shift-jis across the limit", "abcdefghijklmn\x82\xa0", "abcdefghijklmn"},
        {"shift-jis whole", "abcdefghijklm\x82\xa0xyz", "abcdefghijklm\x82\xa0"},
        {"nul ends it", std::string("lip\0upper", 9), "lip"},
    };
    std::vector<QxmObject> objects;
    for (const Case& c : cases)
        objects.push_back(object_from(testing::make_single_triangle(c.name)));
    ASSERT_TRUE(write_qxm_file(path_, objects, QxmPalette{{1}, {2}, {3}}, ExistingFile::kKeep).ok);
    ObjectTable table;
    ASSERT_TRUE(read_object_table(path_, table).ok());
    ASSERT_EQ(table.objects.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(table.objects[i].name, cases[i].kept) << cases[i].what;
        EXPECT_EQ(cut_object_name(cases[i].name), cases[i].kept) << cases[i].what;
    }
}

TEST_F(QxmWriterTest, contents_that_would_not_read_back_are_refused_before_writing) {
    const QxmObject triangle = object_from(testing::make_single_triangle("tri", 1));
    const QxmPalette two_colours{{1, 2}, {3, 4}, {5, 6}};
    struct Case {
        const char* what;
        std::vector<QxmObject> objects;
        QxmPalette palette;
        const char* words;
    };
    std::vector<Case> cases;
    cases.push_back({"101 objects", std::vector<QxmObject>(101, triangle), two_colours,
                     "101 objects are more than the 100"});
    QxmObject outside = triangle;
    outside.triangles[0].v[2] = 3;
    cases.push_back({"vertex outside",
                     {triangle, outside},
                     two_colours,
                     "object 1 (\"tri\"): triangle 0 uses vertex 3 but the object has 3"});
    QxmObject negative = triangle;
    negative.triangles[0].v[0] = -1;
    cases.push_back({"negative vertex", {negative}, two_colours, "uses vertex -1"});
    QxmObject colour = triangle;
    colour.triangles[0].colour = 2;
    cases.push_back(
        {"colour outside", {colour}, two_colours, "uses colour 2 but the palette has 2"});
    QxmObject nan = triangle;
    nan.vertices[1].y = std::nanf("");
    cases.push_back({"nan", {nan}, two_colours, "vertex 1 has a coordinate that is not a finite"});
    QxmObject infinite = triangle;
    infinite.vertices[2].z = -std::numeric_limits<float>::infinity();
    cases.push_back({"infinity", {infinite}, two_colours, "vertex 2 has a coordinate"});
    cases.push_back(
        {"ragged palette", {triangle}, QxmPalette{{1, 2}, {3}, {5, 6}}, "differ in length"});

    for (const Case& c : cases) {
        const FileOutcome outcome =
            write_qxm_file(path_, c.objects, c.palette, ExistingFile::kKeep);
        EXPECT_FALSE(outcome.ok) << c.what;
        EXPECT_NE(outcome.reason.en.find(c.words), std::string::npos)
            << c.what << ": " << outcome.reason.en;
        EXPECT_FALSE(std::ifstream(path_).good()) << c.what << ": a file was left";
    }
    // Without a palette the colour indices are kept as they are.
    EXPECT_TRUE(write_qxm_file(path_, {colour}, QxmPalette{}, ExistingFile::kKeep).ok);
}

TEST_F(QxmWriterTest, an_existing_file_is_replaced_only_when_asked) {
    testing::write_file(path_, {'o', 'l', 'd'});
    const std::vector<QxmObject> objects = {object_from(testing::make_single_triangle("new"))};
    const FileOutcome kept = write_qxm_file(path_, objects, QxmPalette{}, ExistingFile::kKeep);
    EXPECT_FALSE(kept.ok);
    EXPECT_NE(kept.reason.en.find("already exists"), std::string::npos) << kept.reason.en;
    EXPECT_EQ(file_text(path_), "old");

    ASSERT_TRUE(write_qxm_file(path_, objects, QxmPalette{}, ExistingFile::kReplace).ok);
    ASSERT_TRUE(read_back(0).ok());
    EXPECT_EQ(reader_.result().object_name, "new");

    const FileOutcome no_folder =
        write_qxm_file(folder_.file("missing/x.qxm"), objects, QxmPalette{}, ExistingFile::kKeep);
    EXPECT_FALSE(no_folder.ok);
    EXPECT_NE(no_folder.reason.en.find("does not exist"), std::string::npos)
        << no_folder.reason.en;
}

}  // namespace
}  // namespace warpkit
