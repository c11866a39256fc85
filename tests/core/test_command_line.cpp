#include <gtest/gtest.h>

#include <fstream>

#include "session/command_line.h"
#include "support/qxm_writer.h"

namespace warpkit {
namespace {

// "start en /work/a.twp", "help", "version" or "bad: <reason>".
std::string outcome(const StartArguments& parsed) {
    switch (parsed.action) {
        case StartArguments::Action::kStart:
            return std::string("start ") + (parsed.ui_language == 1 ? "ja " : "en ") + parsed.file;
        case StartArguments::Action::kHelp:
            return "help";
        case StartArguments::Action::kVersion:
            return "version";
        case StartArguments::Action::kBadUsage:
            return "bad: " + parsed.problem;
    }
    return "?";
}

TEST(StartArguments, parses_each_line_into_language_and_file_or_a_reason) {
    const struct {
        std::vector<std::string> args;
        std::string want;
    } cases[] = {
        {{}, "start ja "},
        {{"head.qxm"}, "start ja /work/head.qxm"},
        {{"./././m/a.twp"}, "start ja /work/m/a.twp"},
        {{"/data/a b.qxm"}, "start ja /data/a b.qxm"},
        {{"--lang", "en", "a.twp"}, "start en /work/a.twp"},
        {{"a.twp", "--lang=ja"}, "start ja /work/a.twp"},
        {{"--", "-x.qxm"}, "start ja /work/-x.qxm"},
        {{"-"}, "start ja /work/-"},
        {{"--help"}, "help"},
        {{"-h", "--bogus"}, "help"},
        {{"a.qxm", "--version"}, "version"},
        {{"--bogus", "--help"}, "bad: unknown option '--bogus'"},
        {{"-platform", "xcb"}, "bad: unknown option '-platform'"},
        {{"--lang"}, "bad: --lang needs a language: ja or en"},
        {{"--lang", "fr"}, "bad: unknown language 'fr' (ja or en)"},
        {{"--lang="}, "bad: unknown language '' (ja or en)"},
        {{"--lang=en", "--lang=en"}, "bad: --lang is given twice"},
        {{"a.qxm", "b.qxm"}, "bad: one file at a time: 'a.qxm' and 'b.qxm' given"},
        {{""}, "bad: an empty file name"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(outcome(parse_start_arguments(c.args, "/work")), c.want) << c.want;
    }
    EXPECT_EQ(parse_start_arguments({"a.qxm"}, "").file, "a.qxm");
    EXPECT_EQ(parse_start_arguments({"a.qxm"}, "/").file, "/a.qxm");
}

TEST(StartFile, opens_as_project_by_name_or_first_line_else_as_object) {
    testing::TempFolder folder;
    const struct {
        const char* name;
        const char* bytes;  // nullptr: no such file
        StartFileKind kind;
        const char* open_problem;
    } cases[] = {
        {"a.twp", "", StartFileKind::kProject, ""},
        {"gone.TWP", nullptr, StartFileKind::kProject, "No such file or directory"},
        {"saved-as.txt", "Tessel_Warp_Project_File_v01\r\n100\r\n", StartFileKind::kProject, ""},
        {"short", "Tessel_Warp", StartFileKind::kObject, ""},
        {"head.qxm", "QXM v91", StartFileKind::kObject, ""},
        {"gone.gltf", nullptr, StartFileKind::kObject, "No such file or directory"},
    };
    for (const auto& c : cases) {
        if (c.bytes != nullptr) std::ofstream(folder.file(c.name), std::ios::binary) << c.bytes;
        EXPECT_EQ(start_file_kind(folder.file(c.name)), c.kind) << c.name;
        EXPECT_EQ(open_problem(folder.file(c.name)).en, c.open_problem) << c.name;
    }
    EXPECT_EQ(open_problem(folder.path()).en, "Is a directory");
}

}  // namespace
}  // namespace warpkit
