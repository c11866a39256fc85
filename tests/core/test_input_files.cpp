// Every reader of the program over paths that are not regular files: a named pipe with no
// writer, a folder, a link to /dev/zero and a dangling link, beside a good file. Each must
// refuse at once with the reason; a read that waits or never ends fails the test instead of
// hanging it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <iterator>
#include <type_traits>

#include "import/any_object_reader.h"
#include "import/file_bytes.h"
#include "import/gltf_reader.h"
#include "import/obj_reader.h"
#include "project/recovery.h"
#include "session/command_line.h"
#include "support/mesh_fixtures.h"
#include "support/qxm_writer.h"

namespace warpkit {
namespace {

using testing::TempFolder;

// Whether a reader took the file, and what it said when it did not.
struct Verdict {
    bool accepted = false;
    BilingualText reason;
};
using Read = std::function<Verdict(const std::string& path)>;

// A pipe with no writer blocks an open for ever and /dev/zero never ends: a read still busy
// after a few seconds has hung, and the test program ends there, failing, rather than wait.
Verdict within_seconds(const std::string& what, const std::function<Verdict()>& read) {
    auto verdict = std::async(std::launch::async, read);
    if (verdict.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        std::fprintf(stderr, "FAILED: %s still reads after 5 s: it hangs\n", what.c_str());
        std::fflush(stderr);
        std::_Exit(1);
    }
    return verdict.get();
}

template <typename Outcome>
Verdict outcome_of(const Outcome& outcome) {
    if constexpr (std::is_same_v<Outcome, ReadOutcome>) {
        return {outcome.ok(), outcome.reason};
    } else {
        return {outcome.ok, outcome.reason};
    }
}

Verdict problem_of(const BilingualText& problem) {
    return {problem.empty(), problem};
}

int32_t first_object(const ObjectTable& table, const std::string&) {
    return table.objects.empty() ? -1 : 0;
}

struct Reader {
    const char* name;
    const char* file_name;     // the extension picks the reader where the program looks at it
    std::string good_bytes;    // what a file it takes holds; empty: not tried here
    bool silent_when_missing;  // an object file that is not there is not said, as ever
    Read read;
};

std::vector<Reader> readers() {
    const std::vector<uint8_t> qxm = testing::build_qxm(testing::three_object_file());
    ProjectData project;
    project.source_path = "/m/head.qxm";
    project.source_name = "head";
    const std::string obj = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
    const auto any_object = [](const std::string& path) {
        AnyObjectReader reader;
        return outcome_of(reader.ReadObject(path, "p", first_object));
    };
    return {
        {"QXM reader", "face.qxm", std::string(qxm.begin(), qxm.end()), true,
         [](const std::string& path) {
             ObjectFileReader reader;
             return outcome_of(reader.ReadObject(path, "p", false, first_object));
         }},
        {"project reader", "face.twp", write_project_text(project), false,
         [](const std::string& path) {
             ProjectData data;
             return outcome_of(read_project_file(path, data));
         }},
        {"recovery copy", "1.twp", write_project_text(project), false,
         [](const std::string& path) {
             std::string text;
             return problem_of(read_recovery_text(path, kMaxRecoveryCopyBytes, text));
         }},
        {"recovery side file", "1.info", write_recovery_info(RecoveryInfo{}), false,
         [](const std::string& path) {
             std::string text;
             return problem_of(read_recovery_text(path, kMaxRecoveryInfoBytes, text));
         }},
        {"command-line sniff", "face.glb", obj, false,
         [](const std::string& path) {
             start_file_kind(path);
             return problem_of(open_problem(path));
         }},
        {"glTF import", "face.glb", testing::grid_gltf(1), false,
         [](const std::string& path) {
             ImportedScene scene;
             return outcome_of(read_gltf_file(path, ImportLimits(), scene));
         }},
        {"OBJ import", "face.obj", obj, false,
         [](const std::string& path) {
             ImportedScene scene;
             return outcome_of(read_obj_file(path, ImportLimits(), scene));
         }},
        {"the check before a child import", "face.ply", obj, false,
         [](const std::string& path) { return problem_of(regular_file_problem(path, 1 << 20)); }},
        {"any object reader, glTF", "face.glb", testing::grid_gltf(1), true, any_object},
        {"any object reader, PLY", "face.ply", "", true, any_object},
    };
}

// Each makes its kind of path; the good file is written by the reader's case.
const struct {
    const char* name;
    std::function<int(const std::string& path)> make;
} kPaths[] = {
    {"a good file", nullptr},
    {"a named pipe with no writer", [](const std::string& p) { return mkfifo(p.c_str(), 0600); }},
    {"a link to /dev/zero", [](const std::string& p) { return symlink("/dev/zero", p.c_str()); }},
    {"a folder", [](const std::string& p) { return mkdir(p.c_str(), 0700); }},
    {"a dangling link", [](const std::string& p) { return symlink("gone/nowhere", p.c_str()); }},
};

TEST(InputFiles, every_reader_refuses_what_is_not_a_regular_file_at_once) {
    for (const Reader& reader : readers()) {
        for (size_t kind = 0; kind < std::size(kPaths); ++kind) {
            const std::string what = std::string(reader.name) + " over " + kPaths[kind].name;
            TempFolder folder;
            const std::string path = folder.file(reader.file_name);
            if (kind == 0) {
                if (reader.good_bytes.empty()) continue;
                testing::write_text(path, reader.good_bytes);
            } else {
                ASSERT_EQ(kPaths[kind].make(path), 0) << what;
            }
            const Verdict verdict = within_seconds(what, [&] { return reader.read(path); });
            EXPECT_EQ(verdict.accepted, kind == 0) << what << ": " << verdict.reason.en;
            const std::string& en = verdict.reason.en;
            if (kind == 1 || kind == 2) {  // a pipe or a device: the reason, in both languages
                EXPECT_NE(en.find("not a regular file"), std::string::npos) << what << ": " << en;
                EXPECT_NE(verdict.reason.ja.find("通常のファイルではありません"), std::string::npos)
                    << what << ": " << verdict.reason.ja;
            } else if (kind == 3) {
                EXPECT_FALSE(en.empty() || verdict.reason.ja.empty()) << what;
            } else if (kind == 4 && !reader.silent_when_missing) {
                EXPECT_NE(en.find("No such file"), std::string::npos) << what << ": " << en;
            }
        }
    }
}

TEST(InputFiles, a_recovery_file_larger_than_any_can_be_is_refused_before_reading) {
    TempFolder folder;
    const std::string path = folder.file("x.info");
    testing::write_text(path, "x");
    // Sparse: the size alone must refuse it.
    ASSERT_EQ(truncate(path.c_str(), kMaxRecoveryInfoBytes + 1), 0);
    std::string text = "left over";
    const BilingualText reason = read_recovery_text(path, kMaxRecoveryInfoBytes, text);
    EXPECT_NE(reason.en.find("more than a recovery file can be"), std::string::npos) << reason.en;
    EXPECT_TRUE(text.empty());
    ASSERT_EQ(truncate(path.c_str(), kMaxRecoveryInfoBytes), 0);
    EXPECT_TRUE(read_recovery_text(path, kMaxRecoveryInfoBytes, text).empty());
    EXPECT_EQ(text.size(), static_cast<size_t>(kMaxRecoveryInfoBytes));
}

}  // namespace
}  // namespace warpkit
