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

#include "import/any_object_reader.h"
#include "import/file_bytes.h"
#include "import/gltf_reader.h"
#include "import/obj_reader.h"
#include "project/project_file.h"
#include "project/recovery.h"
#include "session/command_line.h"
#include "support/mesh_fixtures.h"
#include "support/qxm_writer.h"

namespace warpkit {
namespace {

using testing::TempFolder;

// What a reader made of a path: whether it took the file, and what it said when it did not.
struct Verdict {
    bool accepted = false;
    BilingualText reason;
};

// Runs `read` on a thread of its own. A pipe with no writer blocks an open for ever and
// /dev/zero never ends, so a read still busy after a few seconds has hung: the test program
// ends there, failing, rather than wait with it.
Verdict within_seconds(const std::string& what, const std::function<Verdict()>& read) {
    auto verdict = std::async(std::launch::async, read);
    if (verdict.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        std::fprintf(stderr, "FAILED: %s still reads after 5 s: it hangs\n", what.c_str());
        std::fflush(stderr);
        std::_Exit(1);
    }
    return verdict.get();
}

Verdict from(const ReadOutcome& outcome) {
    return {outcome.ok(), outcome.reason};
}

Verdict from(const ImportOutcome& outcome) {
    return {outcome.ok, outcome.reason};
}

Verdict from(const ParseOutcome& outcome) {
    return {outcome.ok, outcome.reason};
}

Verdict from_problem(const BilingualText& problem) {
    return {problem.empty(), problem};
}

int32_t first_object(const ObjectTable& table, const std::string&) {
    return table.objects.empty() ? -1 : 0;
}

std::string good_qxm() {
    const std::vector<uint8_t> bytes = testing::build_qxm(testing::three_object_file());
    return std::string(bytes.begin(), bytes.end());
}

std::string good_project() {
    ProjectData data;
    data.source_path = "/m/head.qxm";
    data.source_name = "head";
    return write_project_text(data);
}

std::string good_info() {
    RecoveryInfo info;
    info.owner.pid = 42;
    return write_recovery_info(info);
}

const std::string kObj = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";

struct Reader {
    const char* name;
    const char* file_name;     // the extension picks the reader where the program looks at it
    std::string good_bytes;    // what a file it takes holds
    bool silent_when_missing;  // an object file that is not there is not said, as ever
    std::function<Verdict(const std::string& path)> read;
};

std::vector<Reader> readers() {
    ImportLimits limits;
    return {
        {"QXM reader", "face.qxm", good_qxm(), true,
         [](const std::string& path) {
             ObjectFileReader reader;
             return from(reader.ReadObject(path, "p", false, first_object));
         }},
        {"QXM object table", "face.qxm", good_qxm(), true,
         [](const std::string& path) {
             ObjectTable table;
             return from(read_object_table(path, table));
         }},
        {"project reader", "face.twp", good_project(), false,
         [](const std::string& path) {
             ProjectData data;
             return from(read_project_file(path, data));
         }},
        {"recovery copy", "20200101-000000-1-aaaaaa.twp", good_project(), false,
         [](const std::string& path) {
             std::string text;
             return from_problem(read_recovery_text(path, kMaxRecoveryCopyBytes, text));
         }},
        {"recovery side file", "20200101-000000-1-aaaaaa.info", good_info(), false,
         [](const std::string& path) {
             std::string text;
             return from_problem(read_recovery_text(path, kMaxRecoveryInfoBytes, text));
         }},
        {"command-line sniff", "face.glb", kObj, false,
         [](const std::string& path) {
             start_file_kind(path);
             return from_problem(open_problem(path));
         }},
        {"glTF import", "face.glb", testing::grid_gltf(1), false,
         [limits](const std::string& path) {
             ImportedScene scene;
             return from(read_gltf_file(path, limits, scene));
         }},
        {"OBJ import", "face.obj", kObj, false,
         [limits](const std::string& path) {
             ImportedScene scene;
             return from(read_obj_file(path, limits, scene));
         }},
        {"mesh file bytes", "face.ply", kObj, false,
         [](const std::string& path) {
             std::string bytes;
             return from_problem(read_file_bytes(path, 1 << 20, bytes));
         }},
        {"mesh file check", "face.ply", kObj, false,
         [](const std::string& path) { return from_problem(regular_file_problem(path, 1 << 20)); }},
        {"any object reader, glTF", "face.glb", testing::grid_gltf(1), true,
         [](const std::string& path) {
             AnyObjectReader reader;
             return from(reader.ReadObject(path, "p", first_object));
         }},
        {"any object reader, PLY", "face.ply", "", true,
         [](const std::string& path) {
             AnyObjectReader reader;
             return from(reader.ReadObject(path, "p", first_object));
         }},
    };
}

enum class Kind { kGood, kPipe, kFolder, kDevice, kDangling };

struct PathCase {
    const char* name;
    Kind kind;
};

const PathCase kPaths[] = {
    {"a good file", Kind::kGood},         {"a named pipe with no writer", Kind::kPipe},
    {"a folder", Kind::kFolder},          {"a link to /dev/zero", Kind::kDevice},
    {"a dangling link", Kind::kDangling},
};

void make(const std::string& path, Kind kind, const std::string& good_bytes) {
    switch (kind) {
        case Kind::kGood:
            testing::write_text(path, good_bytes);
            break;
        case Kind::kPipe:
            ASSERT_EQ(mkfifo(path.c_str(), 0600), 0) << path;
            break;
        case Kind::kFolder:
            ASSERT_EQ(mkdir(path.c_str(), 0700), 0) << path;
            break;
        case Kind::kDevice:
            ASSERT_EQ(symlink("/dev/zero", path.c_str()), 0) << path;
            break;
        case Kind::kDangling:
            ASSERT_EQ(symlink("gone/nowhere", path.c_str()), 0) << path;
            break;
    }
}

TEST(InputFiles, every_reader_refuses_what_is_not_a_regular_file_at_once) {
    for (const Reader& reader : readers()) {
        for (const PathCase& c : kPaths) {
            const std::string what = std::string(reader.name) + " over " + c.name;
            // The PLY reader runs in a child process; its good file is another test's business.
            if (c.kind == Kind::kGood && reader.good_bytes.empty()) continue;
            TempFolder folder;
            const std::string path = folder.file(reader.file_name);
            make(path, c.kind, reader.good_bytes);
            const Verdict verdict = within_seconds(what, [&] { return reader.read(path); });
            if (c.kind == Kind::kGood) {
                EXPECT_TRUE(verdict.accepted) << what << ": " << verdict.reason.en;
                continue;
            }
            EXPECT_FALSE(verdict.accepted) << what;
            if (c.kind == Kind::kDangling) {
                if (!reader.silent_when_missing) {
                    EXPECT_NE(verdict.reason.en.find("No such file"), std::string::npos)
                        << what << ": " << verdict.reason.en;
                }
                continue;
            }
            if (c.kind == Kind::kFolder) {
                EXPECT_FALSE(verdict.reason.en.empty() || verdict.reason.ja.empty()) << what;
                continue;
            }
            EXPECT_NE(verdict.reason.en.find("not a regular file"), std::string::npos)
                << what << ": " << verdict.reason.en;
            EXPECT_NE(verdict.reason.ja.find("通常のファイルではありません"), std::string::npos)
                << what << ": " << verdict.reason.ja;
        }
    }
}

TEST(InputFiles, a_recovery_file_larger_than_any_can_be_is_refused_before_reading) {
    TempFolder folder;
    const std::string path = folder.file("x.info");
    // A sparse file: its size says enough, and it costs no disk.
    testing::write_text(path, good_info());
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
