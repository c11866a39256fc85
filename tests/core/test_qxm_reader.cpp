#include <gtest/gtest.h>

#include "base/display_text.h"
#include "base/texts.h"
#include "model/qxm_reader.h"
#include "support/qxm_writer.h"

namespace warpkit {
namespace {

using testing::QxmFileSpec;
using testing::QxmObjectSpec;
using testing::TempFolder;

ObjectChooser answer(int32_t index) {
    return [index](const ObjectTable&, const std::string&) { return index; };
}

void expect_object(const ReadResult& result, const QxmObjectSpec& object, int32_t colours) {
    ASSERT_EQ(result.vertex_count, static_cast<int32_t>(object.vertices.size()));
    ASSERT_EQ(result.vertices.size(), object.vertices.size());
    for (size_t i = 0; i < object.vertices.size(); ++i) {
        EXPECT_EQ(result.vertices[i].x, object.vertices[i].x) << "vertex " << i;
        EXPECT_EQ(result.vertices[i].y, object.vertices[i].y) << "vertex " << i;
        EXPECT_EQ(result.vertices[i].z, object.vertices[i].z) << "vertex " << i;
    }
    ASSERT_EQ(result.triangle_count, static_cast<int32_t>(object.triangles.size()));
    ASSERT_EQ(result.triangles.size(), object.triangles.size());
    for (size_t i = 0; i < object.triangles.size(); ++i) {
        for (int c = 0; c < 3; ++c) EXPECT_EQ(result.triangles[i].v[c], object.triangles[i].v[c]);
        EXPECT_EQ(result.triangles[i].colour, object.triangles[i].colour);
    }
    EXPECT_EQ(result.colour_count, colours);
    EXPECT_EQ(result.object_name, object.name);
}

class QxmReaderTest : public ::testing::Test {
protected:
    // Writes the description (or bytes) and reads it with the given chooser answer.
    ReadOutcome read(const QxmFileSpec& file_spec, int32_t choice = 0) {
        return read_bytes(testing::build_qxm(file_spec), choice);
    }
    ReadOutcome read_bytes(const std::vector<uint8_t>& bytes, int32_t choice = 0) {
        testing::write_file(path_, bytes);
        return reader_.ReadObject(path_, "Select Source Object", false, answer(choice));
    }
    ReadOutcome read_by_name(const QxmFileSpec& file_spec, const std::string& name) {
        testing::write_qxm(path_, file_spec);
        return reader_.ReadObject(path_, name, true);
    }
    void expect_damaged(const ReadOutcome& outcome, const std::string& words) {
        EXPECT_EQ(outcome.status, ReadStatus::kDamaged);
        EXPECT_NE(outcome.reason.en.find(words), std::string::npos) << outcome.reason.en;
        EXPECT_TRUE(reader_.result().vertices.empty());
    }

    TempFolder folder_;
    std::string path_ = folder_.file("object.qxm");
    ObjectFileReader reader_;
};

TEST_F(QxmReaderTest, choosing_the_second_object_yields_exactly_its_data) {
    const QxmFileSpec file_spec = testing::three_object_file();
    ObjectTable shown;
    std::string prompt;
    testing::write_qxm(path_, file_spec);
    const ReadOutcome outcome = reader_.ReadObject(
        path_, "Select No.3 Target ", false, [&](const ObjectTable& table, const std::string& p) {
            shown = table;
            prompt = p;
            return 1;
        });
    ASSERT_TRUE(outcome.ok()) << outcome.reason.en;
    expect_object(reader_.result(), file_spec.objects[1], 4);
    // The grid's first triangle starts at its own first vertex, which is local index 0.
    EXPECT_EQ(reader_.result().triangles[0].v[0], 0);
    EXPECT_EQ(prompt, "Select No.3 Target ");
    ASSERT_EQ(shown.objects.size(), 3u);
    EXPECT_EQ(shown.objects[2].name, "third");
    EXPECT_EQ(shown.objects[0].vertex_count, 12);
    EXPECT_EQ(shown.objects[0].triangle_count, 12);
    EXPECT_EQ(reader_.result().red[1], file_spec.colours[1].red);
    EXPECT_EQ(reader_.result().green[2], file_spec.colours[2].green);
    EXPECT_EQ(reader_.result().blue[3], file_spec.colours[3].blue);

    reader_.ReleaseReadResult();
    EXPECT_TRUE(reader_.result().vertices.empty());
    EXPECT_TRUE(reader_.result().triangles.empty());
}

TEST_F(QxmReaderTest, section_offsets_follow_header_length_aux_and_colour_counts) {
    struct Case {
        const char* what;
        size_t header_bytes;
        int32_t aux;
        int colours;
    };
    for (const Case& c : {Case{"H 0, X 0, C 0", 0, 0, 0}, Case{"H 37, X 3, C 5", 37, 3, 5},
                          Case{"H 1, X 0, C 1", 1, 0, 1}}) {
        SCOPED_TRACE(c.what);
        QxmFileSpec file_spec = testing::three_object_file();
        file_spec.header_extra.assign(c.header_bytes, 0x7E);
        file_spec.aux_records = c.aux;
        file_spec.colours = testing::make_palette(c.colours);
        for (QxmObjectSpec& object : file_spec.objects) {
            for (Triangle& t : object.triangles) t.colour = c.colours > 0 ? 0 : 77;
        }
        const ReadOutcome outcome = read(file_spec, 2);
        ASSERT_TRUE(outcome.ok()) << outcome.reason.en;
        expect_object(reader_.result(), file_spec.objects[2], c.colours);
        EXPECT_EQ(reader_.result().red.size(), static_cast<size_t>(c.colours));
    }
}

TEST_F(QxmReaderTest, skipped_bytes_do_not_change_the_result) {
    QxmFileSpec file_spec = testing::three_object_file();
    file_spec.header_extra = {1, 2, 3};
    file_spec.aux_records = 2;
    file_spec.junk_seed = 0;
    ASSERT_TRUE(read(file_spec, 0).ok());
    const ReadResult zeroed = reader_.result();
    for (uint32_t seed : {1u, 99u, 0xDEADBEEFu}) {
        file_spec.junk_seed = seed;
        ASSERT_TRUE(read(file_spec, 0).ok());
        expect_object(reader_.result(), file_spec.objects[0], 4);
        EXPECT_EQ(reader_.result().red, zeroed.red);
    }
}

TEST_F(QxmReaderTest, read_by_name_takes_the_first_exact_match) {
    QxmFileSpec file_spec = testing::three_object_file();
    file_spec.objects[2].name = "second";
    ASSERT_TRUE(read_by_name(file_spec, "second").ok());
    expect_object(reader_.result(), file_spec.objects[1], 4);

    // Names are bytes: a Shift-JIS name is found and handed back unchanged.
    file_spec.objects[0].name = "\x8A\xE7";
    ASSERT_TRUE(read_by_name(file_spec, "\x8A\xE7").ok());
    EXPECT_EQ(reader_.result().object_name, "\x8A\xE7");

    const ReadOutcome missing = read_by_name(file_spec, "Second");
    EXPECT_EQ(missing.status, ReadStatus::kNameNotFound);
    EXPECT_EQ(missing.object_name, "Second");
    EXPECT_NE(missing.reason.en.find("\"Second\""), std::string::npos);
    EXPECT_TRUE(reader_.result().vertices.empty());
}

TEST_F(QxmReaderTest, a_full_sixteen_byte_name_keeps_its_first_fifteen_bytes) {
    QxmFileSpec file_spec;
    file_spec.objects.push_back(testing::make_single_triangle("ABCDEFGHIJKLMNOP"));
    ASSERT_TRUE(read(file_spec).ok());
    EXPECT_EQ(reader_.result().object_name, "ABCDEFGHIJKLMNO");
    EXPECT_TRUE(read_by_name(file_spec, "ABCDEFGHIJKLMNO").ok());
}

TEST_F(QxmReaderTest, only_minus_one_or_a_listed_index_is_taken_from_the_chooser) {
    const QxmFileSpec file_spec = testing::three_object_file();
    for (int32_t choice : {-1, 3, 100, -2}) {
        EXPECT_EQ(read(file_spec, choice).status, ReadStatus::kCancelled) << choice;
        EXPECT_TRUE(reader_.result().vertices.empty());
    }
    testing::write_qxm(path_, file_spec);
    EXPECT_EQ(reader_.ReadObject(path_, "p", false).status, ReadStatus::kCancelled);

    // An empty file still shows the (empty) list; nothing can be chosen from it.
    QxmFileSpec empty;
    int asked = 0;
    testing::write_qxm(path_, empty);
    const ReadOutcome outcome =
        reader_.ReadObject(path_, "p", false, [&](const ObjectTable& table, const std::string&) {
            ++asked;
            EXPECT_TRUE(table.objects.empty());
            return 0;
        });
    EXPECT_EQ(outcome.status, ReadStatus::kCancelled);
    EXPECT_EQ(asked, 1);
}

TEST_F(QxmReaderTest, more_than_a_hundred_objects_offers_the_first_hundred) {
    QxmFileSpec file_spec;
    for (int i = 0; i < 103; ++i) {
        file_spec.objects.push_back(testing::make_single_triangle("o" + std::to_string(i)));
    }
    size_t listed = 0;
    testing::write_qxm(path_, file_spec);
    const ReadOutcome outcome =
        reader_.ReadObject(path_, "p", false, [&](const ObjectTable& table, const std::string&) {
            listed = table.objects.size();
            return 99;
        });
    ASSERT_TRUE(outcome.ok()) << outcome.reason.en;
    EXPECT_EQ(listed, 100u);
    EXPECT_EQ(reader_.result().object_name, "o99");
    ObjectTable table;
    ASSERT_TRUE(read_object_table(path_, table).ok());
    EXPECT_EQ(table.objects.size(), 100u);
    EXPECT_EQ(table.objects[42].name, "o42");
    EXPECT_EQ(read(file_spec, 100).status, ReadStatus::kCancelled);
    EXPECT_EQ(read_by_name(file_spec, "o101").status, ReadStatus::kNameNotFound);
}

TEST_F(QxmReaderTest, missing_file_is_silent_and_wrong_magic_is_the_format_refusal) {
    EXPECT_EQ(reader_.ReadObject(folder_.file("none.qxm"), "p", false, answer(0)).status,
              ReadStatus::kCannotOpen);
    EXPECT_EQ(reader_.ReadObject(folder_.path(), "p", false, answer(0)).status,
              ReadStatus::kCannotOpen);
    for (const char* magic : {"qXM v91", "QXM v90", "QXM V91", "QXMv91 ", "QXM\0v91"}) {
        QxmFileSpec file_spec = testing::three_object_file();
        file_spec.magic.assign(magic, 7);
        EXPECT_EQ(read(file_spec).status, ReadStatus::kBadMagic) << magic;
    }
    EXPECT_EQ(read_bytes({'Q', 'X', 'M', ' ', 'v', '9'}).status, ReadStatus::kBadMagic);
    EXPECT_EQ(read_bytes({}).status, ReadStatus::kBadMagic);
}

TEST_F(QxmReaderTest, damaged_counts_are_refused_with_their_reason) {
    struct Case {
        const char* what;
        void (*damage)(QxmFileSpec&);
        const char* words;
    };
    const Case cases[] = {
        {"negative H", [](QxmFileSpec& s) { s.header_length = -4; }, "header length -4"},
        {"huge H", [](QxmFileSpec& s) { s.header_length = 0x7FFFFFFF; }, "object counts"},
        {"negative N", [](QxmFileSpec& s) { s.object_count = -1; }, "object count -1"},
        {"negative T", [](QxmFileSpec& s) { s.triangle_total = -2; }, "triangle count -2"},
        {"negative V", [](QxmFileSpec& s) { s.vertex_total = -3; }, "vertex count -3"},
        {"negative C", [](QxmFileSpec& s) { s.colour_count = -5; }, "colour count -5"},
        {"negative X", [](QxmFileSpec& s) { s.aux_count = -6; }, "auxiliary record count -6"},
        {"oversized N", [](QxmFileSpec& s) { s.object_count = 0x7FFFFFFF; }, "object table"},
        {"oversized V", [](QxmFileSpec& s) { s.vertex_total = 1000; }, "vertex section"},
        {"oversized T", [](QxmFileSpec& s) { s.triangle_total = 0x40000000; }, "triangle section"},
        {"oversized C", [](QxmFileSpec& s) { s.colour_count = 0x7FFFFFFF; }, "colour extras"},
        {"oversized X", [](QxmFileSpec& s) { s.aux_count = 0x7FFFFFFF; }, "auxiliary section"},
        {"vertex run past V", [](QxmFileSpec& s) { s.objects[1].vertex_count = 100; },
         "object 1 (\"second\") claims 100 vertices from vertex 12, but the file has 21 vertices"},
        {"negative first vertex", [](QxmFileSpec& s) { s.objects[2].first_vertex = -1; },
         "claims 3 vertices from vertex -1"},
        {"negative vertex count", [](QxmFileSpec& s) { s.objects[0].vertex_count = -7; },
         "negative vertex count (-7)"},
        {"triangle run past T", [](QxmFileSpec& s) { s.objects[2].first_triangle = 0x7FFFFFFF; },
         "claims 1 triangle from triangle 2147483647"},
        {"negative triangle count", [](QxmFileSpec& s) { s.objects[2].triangle_count = -1; },
         "negative triangle count (-1)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QxmFileSpec file_spec = testing::three_object_file();
        c.damage(file_spec);
        expect_damaged(read(file_spec, 0), c.words);
        ObjectTable table;
        EXPECT_EQ(read_object_table(path_, table).status, ReadStatus::kDamaged);
        EXPECT_TRUE(table.objects.empty());
    }
}

TEST_F(QxmReaderTest, triangle_indices_outside_the_object_are_refused) {
    struct Case {
        int32_t vertex;
        int32_t colour;
        const char* words;
    };
    const Case cases[] = {
        {3, 0, "triangle 0 uses vertex 3 but the object has 3 vertices"},
        {-1, 0, "triangle 0 uses vertex -1 but the object has 3 vertices"},
        // Stored as INT32_MIN: making it local must not overflow.
        {2147483630, 0, "uses vertex -2147483666"},
        {2, 4, "triangle 0 uses colour 4 but the file has 4 colours"},
        {2, -1, "triangle 0 uses colour -1 but the file has 4 colours"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words);
        QxmFileSpec file_spec = testing::three_object_file();
        file_spec.objects[2].triangles[0].v[2] = c.vertex;
        file_spec.objects[2].triangles[0].colour = c.colour;
        expect_damaged(read(file_spec, 2), c.words);
    }
}

TEST_F(QxmReaderTest, without_a_colour_table_colour_indices_are_kept) {
    QxmFileSpec file_spec = testing::three_object_file();
    file_spec.colours.clear();
    file_spec.objects[2].triangles[0].colour = 12;
    ASSERT_TRUE(read(file_spec, 2).ok());
    EXPECT_EQ(reader_.result().triangles[0].colour, 12);
    EXPECT_EQ(reader_.result().colour_count, 0);
    EXPECT_TRUE(reader_.result().red.empty());
}

TEST_F(QxmReaderTest, every_prefix_of_a_file_is_refused_or_read_whole) {
    QxmFileSpec file_spec = testing::three_object_file();
    file_spec.header_extra = {9, 9};
    file_spec.aux_records = 1;
    const std::vector<uint8_t> whole = testing::build_qxm(file_spec);
    for (size_t length = 0; length < whole.size(); ++length) {
        const ReadOutcome outcome = read_bytes(testing::truncated(whole, length), 1);
        ASSERT_FALSE(outcome.ok()) << "prefix of " << length << " bytes was read";
        const ReadStatus expected = length < 7 ? ReadStatus::kBadMagic : ReadStatus::kDamaged;
        ASSERT_EQ(outcome.status, expected) << length;
    }
    ASSERT_TRUE(read_bytes(whole, 1).ok());
    expect_object(reader_.result(), file_spec.objects[1], 4);
}

TEST_F(QxmReaderTest, a_small_file_declaring_billions_of_vertices_is_refused_at_once) {
    QxmFileSpec file_spec;
    file_spec.objects.push_back(testing::make_single_triangle("big"));
    file_spec.objects[0].vertex_count = 2000000000;
    file_spec.vertex_total = 2000000000;
    const std::vector<uint8_t> bytes = testing::build_qxm(file_spec);
    ASSERT_LT(bytes.size(), 600u);
    expect_damaged(read_bytes(bytes), "vertex section (2000000000 records of 32 bytes");
    // With a vertex section that fits, the object's own claim is what gives way.
    file_spec.vertex_total.reset();
    expect_damaged(read_bytes(testing::build_qxm(file_spec)),
                   "claims 2000000000 vertices from vertex 0, but the file has 3");
}

TEST(QxmDisplayText, utf8_is_kept_and_shift_jis_is_decoded) {
    EXPECT_EQ(display_text("head"), "head");
    EXPECT_EQ(display_text("\xE9\xA1\x94"), "\xE9\xA1\x94");  // 顔 in UTF-8
    EXPECT_EQ(display_text("\x8A\xE7"), "\xE9\xA1\x94");      // 顔 in Shift-JIS
    EXPECT_EQ(display_text("/tmp/\x8A\xE7.qxm"), "/tmp/\xE9\xA1\x94.qxm");
    EXPECT_EQ(display_text("\xB1"), "\xEF\xBD\xB1");  // half-width katakana
    EXPECT_EQ(display_text(std::string("a\x80") + "b"),
              std::string("a\xEF\xBF\xBD") + "b");      // starts no character
    EXPECT_EQ(display_text("a\x8A"), "a\xEF\xBF\xBD");  // cut in half
}

TEST(QxmFailureMessage, texts_in_both_languages) {
    ReadOutcome outcome;
    outcome.status = ReadStatus::kBadMagic;
    for (int32_t language : {0, 1}) {
        const ShownMessage shown = read_failure_message(outcome, "/a/b.qxm", language);
        EXPECT_EQ(shown.text, pick(language, texts::kFormatRefusal.text));
        EXPECT_EQ(shown.title, pick(language, texts::kFormatRefusal.title));
    }
    outcome.status = ReadStatus::kDamaged;
    outcome.reason = {"三角形 7 が頂点 12 を使っています",
                      "triangle 7 uses vertex 12 but the object has 5 vertices"};
    EXPECT_EQ(read_failure_message(outcome, "/m/\x8A\xE7.qxm", 0).text,
              "The object file /m/\xE9\xA1\x94.qxm is damaged and cannot be read: "
              "triangle 7 uses vertex 12 but the object has 5 vertices");
    EXPECT_EQ(read_failure_message(outcome, "/m/x.qxm", 1).title, "不正なファイル");
    outcome.status = ReadStatus::kNameNotFound;
    outcome.object_name = "\x8A\xE7";
    EXPECT_EQ(read_failure_message(outcome, "/m/x.qxm", 0).text,
              "The object file /m/x.qxm holds no object named \xE9\xA1\x94.");
    EXPECT_EQ(read_failure_message(outcome, "/m/x.qxm", 1).text,
              "オブジェクトファイル /m/x.qxm にはオブジェクト 顔 がありません。");
    for (ReadStatus silent : {ReadStatus::kOk, ReadStatus::kCannotOpen, ReadStatus::kCancelled}) {
        outcome.status = silent;
        EXPECT_TRUE(read_failure_message(outcome, "/m/x.qxm", 1).text.empty());
    }
}

}  // namespace
}  // namespace warpkit
