#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "project/project_file.h"
#include "support/project_builders.h"
#include "support/qxm_writer.h"

namespace warpkit {
namespace {

using testing::project_target;
using testing::TempFolder;

ProjectData source_only(const std::string& path = "/models/face base.qxm") {
    ProjectData data;
    data.max_frame = 100;
    data.source_path = path;
    data.source_name = "face";
    return data;
}

void expect_same(const ProjectData& expected, const ProjectData& actual) {
    EXPECT_EQ(expected.max_frame, actual.max_frame);
    EXPECT_EQ(expected.source_path, actual.source_path);
    EXPECT_EQ(expected.source_name, actual.source_name);
    for (int i = 0; i < kTargetCount; ++i) {
        SCOPED_TRACE("target " + std::to_string(i + 1));
        const ProjectTarget& want = expected.targets[i];
        const ProjectTarget& got = actual.targets[i];
        EXPECT_EQ(want.present, got.present);
        EXPECT_EQ(want.path, got.path);
        EXPECT_EQ(want.name, got.name);
        EXPECT_EQ(want.keys.frames, got.keys.frames);
        EXPECT_EQ(want.keys.weights, got.keys.weights);
    }
}

// The lines of a file joined with LF, the way a hand-edited file may look.
std::string lf_lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

// A valid file, one line per entry: source, target 1 with two keys, targets 2 to 8 empty.
std::vector<std::string> valid_lines() {
    std::vector<std::string> lines = {"Tessel_Warp_Project_File_v01",
                                      "Max_Frame",
                                      "100",
                                      "Source_Object",
                                      "/m/base.qxm",
                                      "base",
                                      "",
                                      "Target1",
                                      "/m/smile.qxm",
                                      "smile",
                                      "keys: 2",
                                      "0 0.00",
                                      "30 100.00",
                                      ""};
    for (int slot = 2; slot <= kTargetCount; ++slot) {
        lines.insert(lines.end(), {"Target" + std::to_string(slot), "None", ""});
    }
    return lines;
}

// Rows of the parameterised tests carry their own names.
template <class Case>
std::string case_name(const ::testing::TestParamInfo<Case>& row) {
    return row.param.name;
}

std::string read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// ---- writing ----

TEST(ProjectText, example_project_is_written_byte_for_byte) {
    ProjectData data;
    data.max_frame = 100;
    data.source_path = "C:\\Models\\face base.qxm";
    data.source_name = "face";
    data.targets[0] =
        project_target("C:\\Models\\face smile.qxm", "face", {{0, 0.0f}, {30, 100.0f}});

    std::string expected =
        "Tessel_Warp_Project_File_v01\r\nMax_Frame\r\n100\r\n"
        "Source_Object\r\nC:\\Models\\face base.qxm\r\nface\r\n\r\n"
        "Target1\r\nC:\\Models\\face smile.qxm\r\nface\r\nkeys: 2\r\n0 0.00\r\n30 100.00\r\n\r\n";
    for (int slot = 2; slot <= kTargetCount; ++slot) {
        expected += "Target" + std::to_string(slot) + "\r\nNone\r\n\r\n";
    }
    EXPECT_EQ(expected, write_project_text(data));
}

TEST(ProjectText, targets_are_present_exactly_when_their_slot_is_loaded) {
    EditorState state;
    state.max_frame = 240;
    state.slots[0].loaded = 1;
    state.slots[0].path = "/m/base.qxm";
    state.slots[0].name = "base";
    state.slots[3].loaded = 1;
    state.slots[3].path = "/m/three.qxm";
    state.slots[3].name = "three";
    state.slots[3].keys.frames = {0, 12};
    state.slots[3].keys.weights = {0.0f, 50.0f};
    state.slots[5].path = "/m/left over.qxm";  // a removed target's stale path
    state.slots[5].name = "stale";

    const ProjectData data = project_from_state(state);
    EXPECT_EQ(240, data.max_frame);
    EXPECT_EQ("/m/base.qxm", data.source_path);
    for (int slot = 1; slot <= kTargetCount; ++slot) {
        EXPECT_EQ(slot == 3, data.targets[slot - 1].present) << "slot " << slot;
    }
    EXPECT_EQ((std::vector<int32_t>{0, 12}), data.targets[2].keys.frames);

    const std::string text = write_project_text(data);
    EXPECT_NE(std::string::npos, text.find("Target5\r\nNone\r\n\r\nTarget6"));
    EXPECT_NE(std::string::npos, text.find("Target3\r\n/m/three.qxm\r\nthree\r\nkeys: 2\r\n"
                                           "0 0.00\r\n12 50.00\r\n\r\nTarget4"));
    EXPECT_EQ(std::string::npos, text.find("stale"));
}

TEST(ProjectText, weight_is_kept_to_two_decimals) {
    ProjectData data = source_only();
    data.targets[0] = project_target("/m/t.qxm", "t", {{0, 12.3456f}, {5, 33.333f}, {9, 0.004f}});
    const std::string text = write_project_text(data);
    EXPECT_NE(std::string::npos, text.find("0 12.35\r\n5 33.33\r\n9 0.00\r\n"));

    ProjectData back;
    ASSERT_TRUE(parse_project_text(text, back).ok);
    EXPECT_EQ((std::vector<float>{12.35f, 33.33f, 0.0f}), back.targets[0].keys.weights);
}

// ---- reading back what was written ----

struct RoundTripCase {
    const char* name;
    ProjectData data;
};

std::vector<RoundTripCase> round_trip_cases() {
    std::vector<RoundTripCase> cases;
    cases.push_back({"no_targets", source_only()});
    cases.push_back({"one_blank_in_path", source_only("C:\\My Models\\face base.qxm")});
    cases.push_back({"two_blanks_in_a_folder_name", source_only("/home/u/my  models/face.qxm")});
    cases.push_back({"upper_case_suffix", source_only("/m/FACE.QXM")});
    cases.push_back({"mixed_case_suffix", source_only("/m/a b/Face.Qxm")});

    ProjectData only_three = source_only();
    only_three.max_frame = 1;
    only_three.targets[2] = project_target("/m/smile wide.qxm", "smile", {{0, 25.5f}});
    cases.push_back({"only_target_3", only_three});

    ProjectData all_eight = source_only();
    all_eight.max_frame = 2147483647;
    for (int i = 0; i < kTargetCount; ++i) {
        all_eight.targets[i] =
            project_target("/m/t " + std::to_string(i) + ".qxm", "t" + std::to_string(i),
                           {{0, 0.0f}, {10 + i, 100.0f}, {2147483647, 50.25f}});
    }
    cases.push_back({"all_eight_targets", all_eight});
    return cases;
}

void PrintTo(const RoundTripCase& row, std::ostream* out) {
    *out << row.name;
}

class ProjectRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(ProjectRoundTrip, parser_gives_back_what_the_writer_wrote) {
    const ProjectData& data = GetParam().data;
    ASSERT_TRUE(project_data_problem(data).empty()) << project_data_problem(data).en;
    ProjectData back;
    const ParseOutcome outcome = parse_project_text(write_project_text(data), back);
    ASSERT_TRUE(outcome.ok) << outcome.reason.en;
    EXPECT_TRUE(outcome.repairs.empty());
    expect_same(data, back);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProjectRoundTrip, ::testing::ValuesIn(round_trip_cases()),
                         case_name<RoundTripCase>);

// ---- reading what a person may have edited ----

TEST(ProjectParse, lines_do_not_matter_but_whitespace_in_a_path_does) {
    // LF line ends, labels that are not the usual ones, and a tab inside the path
    std::vector<std::string> lines = valid_lines();
    lines[0] = "anything";
    lines[1] = "Frames:";
    lines[4] = "/m/my\tfolder/base.qxm";
    lines[7] = "Slot_A";
    lines[10] = "count 2";
    ProjectData data;
    const ParseOutcome outcome = parse_project_text(lf_lines(lines), data);
    ASSERT_TRUE(outcome.ok) << outcome.reason.en;
    EXPECT_EQ("/m/my folder/base.qxm", data.source_path);
    EXPECT_EQ("base", data.source_name);
    EXPECT_EQ((std::vector<int32_t>{0, 30}), data.targets[0].keys.frames);

    // a path broken over two lines comes back with one blank per whitespace byte
    lines[4] = "/m/my\r\nbase.qxm";
    ASSERT_TRUE(parse_project_text(lf_lines(lines), data).ok);
    EXPECT_EQ("/m/my  base.qxm", data.source_path);
}

TEST(ProjectParse, numbers_are_read_in_every_form_a_c_reader_takes) {
    std::vector<std::string> lines = valid_lines();
    lines[2] = "+24";
    lines[11] = "-0 +5.";
    lines[12] = "+30 1e2";
    ProjectData data;
    const ParseOutcome outcome = parse_project_text(lf_lines(lines), data);
    ASSERT_TRUE(outcome.ok) << outcome.reason.en;
    EXPECT_EQ(24, data.max_frame);
    EXPECT_EQ((std::vector<int32_t>{0, 30}), data.targets[0].keys.frames);
    EXPECT_EQ((std::vector<float>{5.0f, 100.0f}), data.targets[0].keys.weights);

    lines[11] = "0 .5";
    lines[12] = "30 -2.5E-1";
    ASSERT_TRUE(parse_project_text(lf_lines(lines), data).ok);
    EXPECT_EQ((std::vector<float>{0.5f, -0.25f}), data.targets[0].keys.weights);
}

TEST(ProjectParse, fields_are_read_up_to_their_capacity) {
    std::vector<std::string> lines = valid_lines();
    const std::string long_path = "/" + std::string(250, 'p') + ".qxm";  // 255 bytes
    const std::string long_name(15, 'n');
    lines[4] = long_path;
    lines[9] = long_name;
    ProjectData data;
    const ParseOutcome outcome = parse_project_text(lf_lines(lines), data);
    ASSERT_TRUE(outcome.ok) << outcome.reason.en;
    EXPECT_EQ(long_path, data.source_path);
    EXPECT_EQ(long_name, data.targets[0].name);
}

struct RefusalCase {
    const char* name;
    std::string text;
    int line;
    std::string reason;  // a part of the reason
};

// The valid file with line `line` (1-based) replaced.
std::string with_line(int line, const std::string& replacement) {
    std::vector<std::string> lines = valid_lines();
    lines[line - 1] = replacement;
    return lf_lines(lines);
}

// The valid file cut after line `line`.
std::string cut_after(int line) {
    std::vector<std::string> lines = valid_lines();
    lines.resize(line);
    return lf_lines(lines);
}

std::vector<RefusalCase> refusal_cases() {
    const std::string nul_name = std::string("sm") + '\0' + "ile";
    std::vector<std::string> lines = valid_lines();
    lines[10] = "keys: 2147483647";
    lines.resize(13);
    const std::string huge_key_count = lf_lines(lines);
    return {
        {"empty_file", "", 0, "the file is empty"},
        {"blank_file", " \r\n\r\n", 0, "the file is empty"},
        {"ends_before_the_maximum", cut_after(2), 0, "ends before the maximum frame count"},
        {"ends_inside_the_keys", cut_after(12), 0,
         "the file ends before the frame of key 2 of target 1"},
        {"ends_before_target_8", cut_after(32), 0, "ends before the label of target 8"},
        {"key_count_larger_than_the_file", huge_key_count, 0,
         "ends before the frame of key 3 of target 1"},
        {"maximum_is_a_word", with_line(3, "abc"), 3,
         "the maximum frame count is not a whole number: \"abc\""},
        {"maximum_has_a_tail", with_line(3, "30abc"), 3, "is not a whole number: \"30abc\""},
        {"maximum_beyond_int32", with_line(3, "2147483648"), 3,
         "the maximum frame count is out of range"},
        {"frame_is_a_word", with_line(13, "x 100.00"), 13,
         "the frame of key 2 of target 1 is not a whole number: \"x\""},
        {"weight_with_comma", with_line(12, "0 1,5"), 12,
         "the weight of key 1 of target 1 is not a number: \"1,5\""},
        {"weight_nan", with_line(12, "0 nan"), 12, "is not a number: \"nan\""},
        {"weight_beyond_float", with_line(12, "0 1e39"), 12, "is out of range"},
        {"key_count_negative", with_line(11, "keys: -1"), 11,
         "the key count of target 1 is -1, below 0"},
        {"path_never_reaches_suffix", with_line(9, "/m/smile.obj"), 9,
         "the path of target 1 does not end in \".qxm\" before the end of the file"},
        {"path_runs_past_capacity", with_line(5, "/m/base.obj" + std::string(300, ' ') + "x"), 5,
         "the path of the source does not end in \".qxm\" within 255 bytes"},
        {"path_piece_too_long", with_line(5, "/" + std::string(251, 'p') + ".qxm"), 5,
         "the path of the source is longer than 255 bytes"},
        {"label_too_long", with_line(1, std::string(256, 'T')), 1,
         "the first line is longer than 255 bytes"},
        {"name_too_long", with_line(10, std::string(16, 'n')), 10,
         "the object name of target 1 is longer than 15 bytes"},
        {"nul_in_name", with_line(10, nul_name), 10, "the object name of target 1 holds a NUL"},
    };
}

void PrintTo(const RefusalCase& row, std::ostream* out) {
    *out << row.name;
}

class ProjectRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(ProjectRefusal, is_refused_with_reason_and_line_and_leaves_the_data_alone) {
    const RefusalCase& c = GetParam();
    ProjectData data = source_only("/untouched.qxm");
    const ParseOutcome outcome = parse_project_text(c.text, data);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(c.line, outcome.line) << outcome.reason.en;
    EXPECT_NE(std::string::npos, outcome.reason.en.find(c.reason)) << outcome.reason.en;
    EXPECT_FALSE(outcome.reason.ja.empty());
    EXPECT_EQ("/untouched.qxm", data.source_path);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProjectRefusal, ::testing::ValuesIn(refusal_cases()),
                         case_name<RefusalCase>);

TEST(ProjectParse, every_prefix_of_a_file_is_refused_until_the_last_weight_begins) {
    ProjectData data = source_only("C:\\My  Models\\face base.qxm");
    for (int i = 1; i < kTargetCount; i += 2) {  // slots 2, 4, 6, 8: the file ends in a key
        data.targets[i] =
            project_target("/m/t " + std::to_string(i) + ".QXM", "t", {{0, 10.0f}, {7, 55.5f}});
    }
    const std::string text = write_project_text(data);
    const size_t last_weight = text.rfind("55.50");
    ASSERT_NE(std::string::npos, last_weight);

    for (size_t length = 0; length <= text.size(); ++length) {
        ProjectData back;
        const ParseOutcome outcome = parse_project_text(text.substr(0, length), back);
        if (length <= last_weight) {
            EXPECT_FALSE(outcome.ok) << "prefix of " << length << " bytes";
            EXPECT_FALSE(outcome.reason.empty()) << "prefix of " << length << " bytes";
        } else {
            EXPECT_TRUE(outcome.ok) << "prefix of " << length << " bytes: " << outcome.reason.en;
        }
    }
}

// ---- reading a file out of order ----

using Keys = std::vector<std::pair<int32_t, float>>;

struct RepairCase {
    const char* name;
    int32_t max_frame;
    Keys target1, target2;  // as the file holds them; empty: the slot holds no target
    int32_t expected_max;
    Keys expected1, expected2;
    std::vector<std::string> changes;  // the English list, one line a change
};

// Target 1's key lines start at line 12; target 2's block follows target 1's.
std::vector<RepairCase> repair_cases() {
    // clang-format off
    return {
        {"in_order", 100, {{0, 0}, {30, 100}}, {},
         100, {{0, 0}, {30, 100}}, {}, {}},
        {"unsorted", 100, {{0, 0}, {30, 100}, {10, 50}}, {},
         100, {{0, 0}, {10, 50}, {30, 100}}, {},
         {"target 1, line 14: the keys are put in frame order (frame 10 came after frame 30)"}},
        {"two_keys_on_one_frame", 100, {{0, 0}, {20, 40}, {20, 60}}, {},
         100, {{0, 0}, {20, 40}}, {},
         {"target 1, line 14: a second key on frame 20 is dropped (the key on line 13 is kept)"}},
        {"first_key_late", 100, {{5, 25}, {30, 100}}, {},
         100, {{0, 25}, {5, 25}, {30, 100}}, {},
         {"target 1, line 12: the first key lies at frame 5, so a key at frame 0 with its weight "
          "25.00 is added"}},
        {"negative_frames", 100, {{-4, 80}, {0, 10}, {-1, 5}}, {},
         100, {{0, 10}}, {},
         {"target 1, line 12: the key at the negative frame -4 is dropped",
          "target 1, line 14: the key at the negative frame -1 is dropped"}},
        {"only_negative_frames", 100, {{-4, 80}}, {},
         100, {{0, 0}}, {},
         {"target 1, line 11: the target has no key, so it gets a key at frame 0 with weight 0.00",
          "target 1, line 12: the key at the negative frame -4 is dropped"}},
        {"every_fault_at_once", 100, {{30, 100}, {-2, 1}, {10, 50}, {30, 70}, {20, 0.5f}}, {},
         100, {{0, 50}, {10, 50}, {20, 0.5f}, {30, 100}}, {},
         {"target 1, line 13: the key at the negative frame -2 is dropped",
          "target 1, line 14: the keys are put in frame order (frame 10 came after frame 30)",
          "target 1, line 14: the first key lies at frame 10, so a key at frame 0 with its weight "
          "50.00 is added",
          "target 1, line 15: a second key on frame 30 is dropped (the key on line 12 is kept)"}},
        {"maximum_zero", 0, {{0, 0}}, {},
         1, {{0, 0}}, {},
         {"line 3: the maximum frame count 0 is below 1 and becomes 1"}},
        {"maximum_negative_and_a_second_target", -7, {{0, 0}}, {{9, 1}, {3, 2}},
         1, {{0, 0}}, {{0, 2}, {3, 2}, {9, 1}},
         {"line 3: the maximum frame count -7 is below 1 and becomes 1",
          "target 2, line 19: the keys are put in frame order (frame 3 came after frame 9)",
          "target 2, line 19: the first key lies at frame 3, so a key at frame 0 with its weight "
          "2.00 is added"}},
    };
    // clang-format on
}

void PrintTo(const RepairCase& row, std::ostream* out) {
    *out << row.name;
}

class ProjectRepairs : public ::testing::TestWithParam<RepairCase> {};

TEST_P(ProjectRepairs, a_readable_file_is_put_in_order_and_every_change_listed_by_line) {
    const RepairCase& c = GetParam();
    ProjectData written = source_only("/m/base.qxm");
    written.max_frame = c.max_frame;
    written.targets[0] = project_target("/m/one.qxm", "one", c.target1);
    if (!c.target2.empty()) written.targets[1] = project_target("/m/two.qxm", "two", c.target2);

    ProjectData read;
    const ParseOutcome outcome = parse_project_text(write_project_text(written), read);
    ASSERT_TRUE(outcome.ok) << outcome.reason.en;
    ProjectData expected = written;
    expected.max_frame = c.expected_max;
    expected.targets[0].keys = project_target("", "", c.expected1).keys;
    if (!c.target2.empty()) expected.targets[1].keys = project_target("", "", c.expected2).keys;
    expect_same(expected, read);

    std::vector<std::string> changes;
    for (const BilingualText& line : repair_lines(outcome, 100)) {
        changes.push_back(line.en);
        EXPECT_FALSE(line.ja.empty());
    }
    EXPECT_EQ(c.changes, changes);
    EXPECT_EQ(c.changes.size(), outcome.repair_count);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProjectRepairs, ::testing::ValuesIn(repair_cases()),
                         case_name<RepairCase>);

TEST(ProjectRepairList, counts_what_it_leaves_out) {
    ProjectData written = source_only("/m/base.qxm");
    written.max_frame = 0;
    written.targets[2] = project_target("/m/t.qxm", "t", {{7, 12.5f}, {-1, 0}, {7, 3}});
    ProjectData data;
    const ParseOutcome outcome = parse_project_text(write_project_text(written), data);
    ASSERT_TRUE(outcome.ok);
    ASSERT_EQ(outcome.repair_count, 4u);
    const std::vector<BilingualText> first_two = repair_lines(outcome, 2);
    ASSERT_EQ(first_two.size(), 3u);
    EXPECT_EQ(first_two[2].en, "and 2 more changes");
    EXPECT_EQ(first_two[2].ja, "ほか 2 件の変更");

    // A file in utter disorder is repaired whole but only so many changes are worded.
    KeyTrack backwards;
    for (int32_t frame = 3000; frame >= 0; --frame) {
        backwards.frames.push_back(frame - 1500);
        backwards.weights.push_back(1.0f);
    }
    written.targets[2].keys = backwards;
    const ParseOutcome many = parse_project_text(write_project_text(written), data);
    ASSERT_TRUE(many.ok);
    EXPECT_EQ(many.repair_count, 1u + 1500u + 1u);  // maximum, negatives, sorting
    EXPECT_EQ(many.repairs.size(), kMaxListedRepairs);
    EXPECT_EQ(data.targets[2].keys.count(), 1501);
}

TEST(ProjectParse, reasons_are_worded_in_japanese_too) {
    ProjectData data;
    EXPECT_EQ(parse_project_text("", data).reason.ja, "ファイルが空です");
    EXPECT_EQ(parse_project_text(with_line(13, "x 100.00"), data).reason.ja,
              "ターゲット 1 のキー 2 のフレームが整数ではありません：「x」");
    EXPECT_EQ(parse_project_text(cut_after(2), data).reason.ja,
              "最大フレーム数の前でファイルが終わっています");
    // A token in another encoding is shown decoded, as every text of a message must be UTF-8.
    EXPECT_EQ(parse_project_text(with_line(3, "\x8A\xE7"), data).reason.en,
              "the maximum frame count is not a whole number: \"\xE9\xA1\x94\"");
}

// ---- what a save refuses to write ----

struct ProblemCase {
    const char* name;
    ProjectData data;
    std::string problem;
};

std::vector<ProblemCase> problem_cases() {
    std::vector<ProblemCase> cases;
    auto with_target = [](ProjectTarget target) {
        ProjectData data = source_only();
        data.targets[2] = std::move(target);
        return data;
    };
    cases.push_back({"no_source", source_only(""), "the path of the source is empty"});
    cases.push_back({"suffix_missing", source_only("/m/face.obj"),
                     "the path of the source does not end in \".qxm\""});
    cases.push_back({"suffix_inside", source_only("/m/a.qxm b/face.qxm"),
                     "has a part ending in \".qxm\" before its end"});
    cases.push_back({"tab_in_path", source_only("/m/a\tb.qxm"), "holds a tab or line break"});
    cases.push_back({"leading_blank", source_only(" /m/a.qxm"), "starts with a blank"});
    cases.push_back({"path_too_long", source_only("/" + std::string(251, 'p') + ".qxm"),
                     "is longer than 255 bytes"});
    cases.push_back({"target_path_none", with_target(project_target("None x.qxm", "t", {{0, 0}})),
                     "the path of target 3 starts with the word None"});
    cases.push_back({"name_with_blank",
                     with_target(project_target("/m/t.qxm", "my face", {{0, 0}})),
                     "the object name of target 3 holds whitespace"});
    cases.push_back({"name_too_long",
                     with_target(project_target("/m/t.qxm", std::string(16, 'n'), {{0, 0}})),
                     "is longer than 15 bytes"});
    cases.push_back(
        {"no_keys", with_target(project_target("/m/t.qxm", "t", {})), "target 3 has no key"});
    cases.push_back({"first_key_late", with_target(project_target("/m/t.qxm", "t", {{3, 0}})),
                     "lies at frame 3, not at frame 0"});
    cases.push_back({"keys_out_of_order",
                     with_target(project_target("/m/t.qxm", "t", {{0, 0}, {9, 1}, {4, 2}})),
                     "key 3 of target 3 lies at frame 4, not after frame 9"});
    ProjectData no_frames = source_only();
    no_frames.max_frame = 0;
    cases.push_back({"maximum_zero", no_frames, "the maximum frame count is 0, below 1"});
    return cases;
}

void PrintTo(const ProblemCase& row, std::ostream* out) {
    *out << row.name;
}

class ProjectProblem : public ::testing::TestWithParam<ProblemCase> {};

TEST_P(ProjectProblem, is_named_and_refused_by_a_save_that_writes_nothing) {
    const ProblemCase& c = GetParam();
    EXPECT_NE(std::string::npos, project_data_problem(c.data).en.find(c.problem))
        << project_data_problem(c.data).en;

    TempFolder folder;
    const SaveOutcome outcome = save_project_file(folder.file("p.twp"), c.data);
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(std::string::npos, outcome.reason.en.find(c.problem)) << outcome.reason.en;
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

INSTANTIATE_TEST_SUITE_P(Cases, ProjectProblem, ::testing::ValuesIn(problem_cases()),
                         case_name<ProblemCase>);

// ---- files ----

TEST(ProjectFile, saved_file_holds_the_text_and_reads_back) {
    TempFolder folder;
    ProjectData data = source_only();
    data.targets[4] = project_target("/m/t.qxm", "t", {{0, 0.0f}, {50, 75.0f}});
    const std::string path = folder.file("session.twp");

    const SaveOutcome saved = save_project_file(path, data);
    ASSERT_TRUE(saved.ok) << saved.reason.en;
    EXPECT_EQ(write_project_text(data), read_bytes(path));

    ProjectData back;
    const ParseOutcome read = read_project_file(path, back);
    ASSERT_TRUE(read.ok) << read.reason.en;
    expect_same(data, back);
}

TEST(ProjectFile, unreadable_file_is_refused_with_the_system_reason) {
    TempFolder folder;
    ProjectData data;
    ParseOutcome outcome = read_project_file(folder.file("missing.twp"), data);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ("the file cannot be opened: No such file or directory", outcome.reason.en);
    EXPECT_EQ(0, outcome.line);

    outcome = read_project_file(folder.path(), data);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ("the file cannot be read: Is a directory", outcome.reason.en);
}

TEST(ProjectFile, save_into_a_missing_folder_fails_with_a_reason) {
    TempFolder folder;
    const SaveOutcome outcome = save_project_file(folder.file("gone/p.twp"), source_only());
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ("the folder " + folder.file("gone") + " does not exist", outcome.reason.en);
    EXPECT_EQ("フォルダ " + folder.file("gone") + " がありません", outcome.reason.ja);
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

}  // namespace
}  // namespace warpkit
