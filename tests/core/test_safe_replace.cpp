#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "base/safe_replace.h"
#include "support/child_process.h"
#include "support/qxm_writer.h"

namespace warpkit {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;
using testing::in_child;

constexpr uid_t kNobody = 65534;

std::string read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void write_bytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The names in a folder, sorted, joined by commas: a left-over temporary file shows here.
std::string listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const std::string& name : names) joined += (joined.empty() ? "" : ",") + name;
    return joined;
}

mode_t mode_of(const std::string& path) {
    struct stat st;
    EXPECT_EQ(0, stat(path.c_str(), &st));
    return st.st_mode & 0777;
}

TEST(SafeReplace, replaces_the_contents_and_leaves_no_temporary_file) {
    TempFolder folder;
    const std::string path = folder.file("p.twp");
    write_bytes(path, "old contents that are longer than the new ones");

    const FileOutcome outcome = replace_file_contents(path, "new\r\n");
    ASSERT_TRUE(outcome.ok) << outcome.reason.en;
    EXPECT_EQ("new\r\n", read_bytes(path));
    EXPECT_EQ("p.twp", listing(folder.path()));
}

TEST(SafeReplace, new_file_follows_the_umask_and_a_replaced_one_keeps_its_mode) {
    TempFolder folder;
    const mode_t saved_mask = umask(027);
    const FileOutcome created = replace_file_contents(folder.file("new.twp"), "a");
    umask(saved_mask);
    ASSERT_TRUE(created.ok) << created.reason.en;
    EXPECT_EQ(0640u, mode_of(folder.file("new.twp")));

    const std::string kept = folder.file("kept.twp");
    write_bytes(kept, "old");
    ASSERT_EQ(0, chmod(kept.c_str(), 0604));
    ASSERT_TRUE(replace_file_contents(kept, "new").ok);
    EXPECT_EQ(0604u, mode_of(kept));
}

TEST(SafeReplace, symbolic_link_stays_and_the_file_it_names_is_replaced) {
    TempFolder folder;
    fs::create_directory(folder.file("real"));
    const std::string real = folder.file("real/p.twp");
    write_bytes(real, "old");
    fs::create_symlink("real/p.twp", folder.file("link.twp"));
    fs::create_symlink("real/later.twp", folder.file("dangling.twp"));

    ASSERT_TRUE(replace_file_contents(folder.file("link.twp"), "new").ok);
    EXPECT_TRUE(fs::is_symlink(folder.file("link.twp")));
    EXPECT_EQ("new", read_bytes(real));

    ASSERT_TRUE(replace_file_contents(folder.file("dangling.twp"), "made").ok);
    EXPECT_TRUE(fs::is_symlink(folder.file("dangling.twp")));
    EXPECT_EQ("made", read_bytes(folder.file("real/later.twp")));
    EXPECT_EQ("later.twp,p.twp", listing(folder.file("real")));
}

// Each common cause in words of both languages, without the system's text; a folder that is
// there is never called missing, whatever the system answers.
TEST(SafeReplace, every_failure_says_what_failed_in_both_languages) {
    TempFolder folder;
    fs::create_directory(folder.file("p.twp"));
    fs::create_symlink("nowhere/p.twp", folder.file("link.twp"));
    const std::string long_name = folder.file(std::string(300, 'n') + ".twp");
    struct Case {
        const char* what;
        std::string path;
        std::string en;
        std::string ja;
    };
    std::vector<Case> cases = {
        {"missing folder", folder.file("gone/p.twp"),
         "the folder " + folder.file("gone") + " does not exist",
         "フォルダ " + folder.file("gone") + " がありません"},
        {"link into a missing folder", folder.file("link.twp"),
         "the folder " + folder.file("nowhere") + " does not exist",
         "フォルダ " + folder.file("nowhere") + " がありません"},
        {"a folder in the way", folder.file("p.twp"), "the name belongs to a folder",
         "その名前のフォルダがあります"},
        {"name too long", long_name, "the name is too long", "ファイル名が長すぎます"},
    };
    // /proc answers "no such entry" when asked to create a file in it
    if (fs::is_directory("/proc/self")) {
        cases.push_back({"a folder that takes no new file", "/proc/p.twp",
                         "the file could not be created in the folder /proc: No such file or "
                         "directory",
                         "フォルダ /proc にファイルを作成できません：No such file or directory"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const FileOutcome outcome = replace_file_contents(c.path, "new");
        EXPECT_FALSE(outcome.ok);
        EXPECT_EQ(c.en, outcome.reason.en);
        EXPECT_EQ(c.ja, outcome.reason.ja);
    }
    EXPECT_EQ("link.twp,p.twp", listing(folder.path()));
}

TEST(SafeReplace, failed_write_keeps_the_old_file_and_removes_the_temporary_one) {
    TempFolder folder;
    const std::string path = folder.file("p.twp");
    write_bytes(path, "old");

    // a file size limit makes the write fail half-way, as a full disk would
    struct rlimit saved;
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &saved));
    struct rlimit small = saved;
    small.rlim_cur = 1024;
    const auto saved_handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &small));
    const FileOutcome outcome = replace_file_contents(path, std::string(8192, 'x'));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, saved_handler);

    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ("the file could not be written: File too large", outcome.reason.en);
    EXPECT_EQ("old", read_bytes(path));
    EXPECT_EQ("p.twp", listing(folder.path()));
}

TEST(SafeReplace, read_only_folder_fails_with_the_old_file_intact) {
    TempFolder folder;
    const std::string path = folder.file("p.twp");
    write_bytes(path, "old");
    ASSERT_EQ(0, chmod(folder.path().c_str(), 0555));

    // root writes into any folder, so as root the save runs as nobody
    const std::string reason = in_child([&] {
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
            return std::string("cannot become nobody: ") + std::strerror(errno);
        }
        return replace_file_contents(path, "new").reason.en;
    });
    chmod(folder.path().c_str(), 0700);

    EXPECT_EQ("the folder " + folder.path() + " is not writable", reason);
    EXPECT_EQ("old", read_bytes(path));
    EXPECT_EQ("p.twp", listing(folder.path()));
}

TEST(SafeReplace, full_disk_fails_with_the_old_file_intact) {
    TempFolder folder;
    const std::string disk = folder.file("disk");
    fs::create_directory(disk);

    // a tiny file system in a private mount namespace, filled up before the save
    const std::string report = in_child([&]() -> std::string {
        if (unshare(CLONE_NEWNS) != 0) return std::string("SKIP unshare: ") + std::strerror(errno);
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0) {
            return std::string("SKIP mount: ") + std::strerror(errno);
        }
        const std::string path = disk + "/p.twp";
        write_bytes(path, "old");
        const int filler = open((disk + "/filler").c_str(), O_WRONLY | O_CREAT, 0600);
        const std::string block(4096, 'f');
        while (write(filler, block.data(), block.size()) > 0) {
        }
        close(filler);
        const FileOutcome full = replace_file_contents(path, std::string(16384, 'x'));
        std::string result = full.reason.en + "|" + read_bytes(path) + "|" + listing(disk);
        // the same file system made read-only
        if (mount(nullptr, disk.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0) {
            const FileOutcome read_only = replace_file_contents(path, "x");
            result += "|" + read_only.reason.en + "|" + read_only.reason.ja;
        }
        umount(disk.c_str());
        return result;
    });
    if (report.rfind("SKIP", 0) == 0) GTEST_SKIP() << "no tmpfs to fill: " << report;

    EXPECT_EQ(
        "disk full|old|filler,p.twp|the file system is read-only|"
        "ファイルシステムが読み取り専用です",
        report);
}

}  // namespace
}  // namespace warpkit
