#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/command_line.h"
#include "support/qxm_writer.h"

namespace warpkit {
namespace {

using Action = StartArguments::Action;

TEST(StartArguments, parses_each_line_into_language_file_or_a_reason) {
    struct Case {
        const char* what;
        std::vector<std::string> args;
        Action action;
        int32_t language;
        std::string file;     // kStart
        std::string problem;  // kBadUsage: part of the reason
    };
    const Case cases[] = {
        {"no argument starts as always", {}, Action::kStart, 1, "", ""},
        {"relative file from the current folder",
         {"head.qxm"},
         Action::kStart,
         1,
         "/work/head.qxm",
         ""},
        {"leading ./ dropped", {"./././m/a.twp"}, Action::kStart, 1, "/work/m/a.twp", ""},
        {"absolute file kept", {"/data/a b.qxm"}, Action::kStart, 1, "/data/a b.qxm", ""},
        {"english before the file",
         {"--lang", "en", "a.twp"},
         Action::kStart,
         0,
         "/work/a.twp",
         ""},
        {"language after the file, with =",
         {"a.twp", "--lang=ja"},
         Action::kStart,
         1,
         "/work/a.twp",
         ""},
        {"-- lets a file start with -", {"--", "-x.qxm"}, Action::kStart, 1, "/work/-x.qxm", ""},
        {"a lone - is a file name", {"-"}, Action::kStart, 1, "/work/-", ""},
        {"help", {"--help"}, Action::kHelp, 1, "", ""},
        {"short help wins over a later mistake", {"-h", "--bogus"}, Action::kHelp, 1, "", ""},
        {"version", {"a.qxm", "--version"}, Action::kVersion, 1, "", ""},
        {"unknown option",
         {"--bogus", "--help"},
         Action::kBadUsage,
         1,
         "",
         "unknown option '--bogus'"},
        {"Qt's own options are not ours",
         {"-platform", "xcb"},
         Action::kBadUsage,
         1,
         "",
         "'-platform'"},
        {"language missing", {"--lang"}, Action::kBadUsage, 1, "", "--lang needs a language"},
        {"language unknown", {"--lang", "fr"}, Action::kBadUsage, 1, "", "unknown language 'fr'"},
        {"language empty", {"--lang="}, Action::kBadUsage, 1, "", "unknown language ''"},
        {"language twice", {"--lang=en", "--lang=en"}, Action::kBadUsage, 1, "", "twice"},
        {"two files", {"a.qxm", "b.qxm"}, Action::kBadUsage, 1, "", "'a.qxm' and 'b.qxm'"},
        {"empty file name", {""}, Action::kBadUsage, 1, "", "empty file name"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const StartArguments parsed = parse_start_arguments(c.args, "/work");
        EXPECT_EQ(parsed.action, c.action) << parsed.problem;
        EXPECT_NE(parsed.problem.find(c.problem), std::string::npos) << parsed.problem;
        if (c.action != Action::kStart) continue;
        EXPECT_EQ(parsed.ui_language, c.language);
        EXPECT_EQ(parsed.file, c.file);
    }
    EXPECT_EQ(parse_start_arguments({"a.qxm"}, "").file, "a.qxm");
    EXPECT_EQ(parse_start_arguments({"a.qxm"}, "/").file, "/a.qxm");
}

TEST(StartArguments, answers_help_version_and_mistakes_without_a_window) {
    const struct {
        std::vector<std::string> args;
        std::optional<int> status;
        std::string out, err;
    } cases[] = {
        {{"--help"}, 0, "Usage: warpkit [--lang ja|en] [FILE]", ""},
        {{"--version"}, 0, std::string("warpkit ") + program_version() + "\n", ""},
        {{"--x"}, 2, "", "warpkit: unknown option '--x'\nTry 'warpkit --help'.\n"},
        {{"a.qxm"}, std::nullopt, "", ""},
    };
    for (const auto& c : cases) {
        std::ostringstream out, err;
        EXPECT_EQ(answer_without_window(parse_start_arguments(c.args, "/"), out, err), c.status);
        EXPECT_EQ(out.str().substr(0, c.out.size()), c.out);
        EXPECT_EQ(err.str(), c.err);
    }
}

TEST(StartFile, project_by_name_or_first_line_else_object_and_why_it_cannot_open) {
    testing::TempFolder folder;
    const auto write = [&](const std::string& name, const std::string& bytes) {
        std::ofstream(folder.file(name), std::ios::binary) << bytes;
        return folder.file(name);
    };
    const std::string project_text = "Tessel_Warp_Project_File_v01\r\n100\r\n";
    EXPECT_EQ(start_file_kind(write("a.twp", "")), StartFileKind::kProject);
    EXPECT_EQ(start_file_kind(folder.file("missing.TWP")), StartFileKind::kProject);
    EXPECT_EQ(start_file_kind(write("saved-as.txt", project_text)), StartFileKind::kProject);
    EXPECT_EQ(start_file_kind(write("short", "Tessel_Warp")), StartFileKind::kObject);
    EXPECT_EQ(start_file_kind(write("head.qxm", "QXM v91")), StartFileKind::kObject);
    EXPECT_EQ(start_file_kind(folder.file("missing.gltf")), StartFileKind::kObject);

    EXPECT_EQ(open_problem(folder.file("head.qxm")), "");
    EXPECT_EQ(open_problem(folder.file("missing.qxm")), "No such file or directory");
    EXPECT_EQ(open_problem(folder.path()), "Is a directory");
}

}  // namespace
}  // namespace warpkit
