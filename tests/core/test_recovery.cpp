#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>

#include "project/recovery.h"
#include "project/recovery_writer.h"
#include "support/qxm_writer.h"

namespace warpkit {
namespace {

using testing::TempFolder;

std::string read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// A machine with processes 100 (started at tick 500) and 200 (at tick 900), in boot "b1".
ProcessProbe machine() {
    const std::map<int64_t, uint64_t> running = {{100, 500}, {200, 900}};
    return {"host", "b1", [running](int64_t pid) -> std::optional<uint64_t> {
                const auto found = running.find(pid);
                if (found == running.end()) return std::nullopt;
                return found->second;
            }};
}

TEST(Recovery, tells_a_copy_left_behind_from_one_a_program_still_holds) {
    const SessionOwner writer{100, "host", "b1", 500};
    struct Case {
        const char* name;
        bool lock_taken;
        int64_t holder;
        std::optional<SessionOwner> writer;
        bool left_behind;
    };
    const Case cases[] = {
        {"lock free: no program holds it", true, 0, SessionOwner{300, "host", "b1", 1}, true},
        {"lock file deleted under a writer that runs", true, 0, writer, false},
        {"writer still runs", false, 100, writer, false},
        {"lock held by another program, restoring it now", false, 200,
         SessionOwner{300, "host", "b1", 1}, false},
        {"no side file names the writer", false, 100, std::nullopt, false},
        {"another boot: the pid came back after a power cut", false, 100,
         SessionOwner{100, "host", "b0", 500}, true},
        {"same boot, the pid reused by a later process", false, 100,
         SessionOwner{100, "host", "b1", 400}, true},
        {"no process of that id", false, 300, SessionOwner{300, "host", "b1", 1}, true},
        {"start time unknown: the running process may be the writer", false, 100,
         SessionOwner{100, "host", "b1", 0}, false},
        {"another host cannot be asked", false, 300, SessionOwner{300, "other", "b0", 1}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.left_behind, copy_left_behind(c.lock_taken, c.holder, c.writer, machine()))
            << c.name;
    }
    const ProcessProbe here = system_probe("host");
    EXPECT_FALSE(owner_has_ended(this_process(here), here)) << "this very process";
    ProcessProbe without_proc = machine();
    without_proc.start_ticks_of = nullptr;
    EXPECT_FALSE(owner_has_ended(SessionOwner{300, "host", "b1", 1}, without_proc))
        << "without /proc, a pid that cannot be looked up is no proof of an end";
}

TEST(Recovery, tells_a_lock_left_alone_by_a_session_that_ended) {
    // Booted at 1000 s, 100 ticks a second: process 100 started at 1005, 200 at 1009.
    ProcessProbe now = machine();
    now.boot_time = 1000;
    now.ticks_per_second = 100;
    ProcessProbe unknown_boot = now;
    unknown_boot.boot_time = 0;
    struct Case {
        const char* name;
        SessionOwner holder;
        int64_t written_at;
        const ProcessProbe& probe;
        bool left_over;
    };
    const Case cases[] = {
        {"no process of that id", {300, "host", "", 0}, 2000, now, true},
        {"its writer runs, started before the lock", {100, "host", "", 0}, 1006, now, false},
        {"the id was reused by a process started later", {200, "host", "", 0}, 1006, now, true},
        {"a second's rounding is no proof", {200, "host", "", 0}, 1008, now, false},
        {"when the boot began is unknown", {200, "host", "", 0}, 1006, unknown_boot, false},
        {"another host cannot be asked", {300, "other", "", 0}, 1006, now, false},
        {"a lock naming no process", {0, "host", "", 0}, 1006, now, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.left_over, lock_left_over(c.holder, c.written_at, c.probe)) << c.name;
    }
    const ProcessProbe here = system_probe("host");
    EXPECT_GT(here.boot_time, 0);
    EXPECT_FALSE(lock_left_over(this_process(here), time(nullptr), here)) << "this very process";
}

TEST(Recovery, side_file_reads_back_whole_and_refuses_damage) {
    RecoveryInfo info;
    info.project_folder = "/a b/100%\n\x01";
    info.save_name = "face %41.twp";
    info.current_frame = 42;
    info.language = 0;
    info.owner = {12345, "host", "boot", 987654321};
    const std::string text = write_recovery_info(info);
    RecoveryInfo back;
    BilingualText reason;
    ASSERT_TRUE(parse_recovery_info(text + "later_key anything\n", back, reason)) << reason.en;
    EXPECT_EQ(text, write_recovery_info(back));

    for (const std::string& damaged : {std::string("not a side file\n"), text + "frame 4x\n",
                                       text + "save_name %4\n", text + "pid\n"}) {
        RecoveryInfo untouched;
        EXPECT_FALSE(parse_recovery_info(damaged, untouched, reason)) << damaged;
        EXPECT_FALSE(reason.empty());
        EXPECT_EQ(0, untouched.owner.pid);
    }
}

TEST(Recovery, writer_keeps_the_copy_private_and_says_a_failure_once) {
    TempFolder temp;
    const std::string folder = temp.file("state/warpkit");
    const RecoveryFiles files = recovery_files(folder, "s1");
    RecoveryWriter writer(files);
    for (int i = 0; i < 3; ++i) {  // the folder is missing
        writer.write("project", "info");
        writer.wait();
        EXPECT_EQ(i == 0, writer.failure_to_report().has_value()) << "said once, write " << i;
    }
    ASSERT_TRUE(make_recovery_folder(folder).ok);
    writer.write("project 2", "info 2");
    writer.wait();
    EXPECT_FALSE(writer.failure_to_report());
    EXPECT_EQ("project 2" + std::string("info 2"),
              read_bytes(files.project) + read_bytes(files.info));
    struct stat st;
    EXPECT_TRUE(stat(files.project.c_str(), &st) == 0 && (st.st_mode & 0777) == 0600);
    writer.refuse({"名前", "a name"});
    EXPECT_TRUE(writer.failure_to_report()) << "a failure after a success is said again";
}

TEST(Recovery, finds_other_sessions_newest_first_and_tidies_cut_writes) {
    TempFolder temp;
    const auto touch = [&temp](const std::string& name, time_t when) {
        std::ofstream(temp.file(name)) << "x";
        const struct timespec times[2] = {{when, 0}, {when, 0}};
        utimensat(AT_FDCWD, temp.file(name).c_str(), times, 0);
    };
    for (const char* name : {"old.twp", "old.info", ".warpkit-save-aaaaaa"}) touch(name, 1000);
    touch("new.twp", 2000);
    touch("lock-only.lock", 3000);
    touch("mine.twp", 4000);
    touch(".warpkit-save-bbbbbb", time(nullptr));
    std::string order;
    for (const FoundCopy& copy : find_copies(temp.path(), "mine")) {
        order += copy.files.id + (copy.has_info ? "+info " : " ");
    }
    EXPECT_EQ("new old+info lock-only ", order);
    remove_stale_temporaries(temp.path(), 60);
    EXPECT_FALSE(exists(temp.file(".warpkit-save-aaaaaa")));
    EXPECT_TRUE(exists(temp.file(".warpkit-save-bbbbbb"))) << "a write under way";
}

}  // namespace
}  // namespace warpkit
