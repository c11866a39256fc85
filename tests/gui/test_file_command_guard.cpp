// Every command that reads a file, run out of memory half way: the allocation fails for real
// (this program's operator new fails the next large one once armed), in the reader, the matcher
// or the install. The command ends in a warning that says so, the session and the window are as
// before it, nothing reaches Qt's event loop, and the next command works.
#include <gtest/gtest.h>

#include <QAction>
#include <QPushButton>
#include <QUndoStack>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <new>

#include "app/edit_history.h"
#include "app/open_at_start.h"
#include "app/session_recovery.h"
#include "project/project_file.h"
#include "project/recovery.h"
#include "session/file_command_guard.h"
#include "support/form1_fixture.h"
#include "support/mesh_fixtures.h"
#include "support/project_builders.h"
#include "support/remeshed.h"

namespace {
std::atomic<bool> fail_next_large{false};  // armed: the next allocation of 16 KiB or more fails
}  // namespace

void* operator new(std::size_t size) {
    if (size >= (16 << 10) && fail_next_large.exchange(false)) throw std::bad_alloc();
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return ::operator new(size);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}

namespace warpkit {
namespace {

using testing::QxmObjectSpec;

// A 60 x 60 grid (its arrays are well past 16 KiB) as the source, a target 1 with keys, the
// target renumbered, the source as an OBJ file, and a project of them.
struct GuardScene : testing::Form1Fixture {
    GuardScene() {
        state.UiLanguage = 0;
        QxmObjectSpec grid = testing::make_grid_object("grid", 60, 60, 3), raised = grid;
        for (Vec3& v : raised.vertices) v.z += v.x > 30 ? 0.1f * (v.x - 30) : 0.0f;
        base = write_object("base.qxm", grid, 3);
        raised_path = write_object("raised.qxm", raised, 3);
        const testing::Renumbered shuffled =
            testing::renumber(raised.vertices, raised.triangles, 7);
        raised.vertices = shuffled.vertices;
        raised.triangles = shuffled.triangles;
        renumbered = write_object("renumbered.qxm", raised, 3);
        std::string obj;
        for (const Vec3& v : grid.vertices)
            obj += "v " + std::to_string(v.x) + " " + std::to_string(v.y) + " " +
                   std::to_string(v.z) + "\n";
        for (const Triangle& t : grid.triangles)
            obj += "f " + std::to_string(t.v[0] + 1) + " " + std::to_string(t.v[1] + 1) + " " +
                   std::to_string(t.v[2] + 1) + "\n";
        testing::write_text(obj_path = folder.file("grid.obj"), obj);
        load_source(base);
        load_target(1, raised_path);
        state.slots[1].keys = {{0, 10}, {0.0f, 40.0f}};
        dialogs.shown.clear();
    }

    std::string project(const std::string& target) {
        ProjectData data;
        data.source_path = base;
        data.source_name = "grid";
        data.targets[0] = testing::project_target(target, "grid", {{0, 0.0f}, {20, 60.0f}});
        testing::write_text(folder.file("p.twp"), write_project_text(data));
        return folder.file("p.twp");
    }

    // What a command must leave alone: what a save would write, the shapes, the undo history,
    // the rows on screen.
    std::string summary() {
        std::string out = write_project_text(project_from_state(state)) +
                          std::to_string(state.modified) +
                          std::to_string(form->history->stack().count());
        for (int k = 0; k <= kTargetCount; ++k) {
            for (const Vec3& v : state.slots[k].vertices) out += std::to_string(v.z) + ",";
            out += form->load_buttons[k]->text().toStdString() + "\n";
        }
        return out;
    }

    std::string base, raised_path, renumbered, obj_path;
};

struct GuardCase {
    const char* name;
    const char* arm_at;  // the kind of box after which the next large allocation fails; "": at once
    const char* read;    // the file the warning names
    const char* kinds;   // the boxes shown
    std::function<void(GuardScene&)> command;
    bool import_refusal = false;  // the importer itself refuses, naming the import
};

TEST(FileCommandGuard, running_out_of_memory_stops_the_command_and_keeps_the_session) {
    const auto load = [](int k, std::string GuardScene::*file) {
        return [k, file](GuardScene& f) {
            if (k == 0) f.dialogs.confirm_answers = {true};
            f.dialogs.file_answers = {f.*file};
            f.dialogs.object_answers = {0};
            f.dialogs.choice_answers = {0};  // Match order
            f.form->load_buttons[k]->click();
        };
    };
    const auto load_project = [](bool target_gone) {
        return [target_gone](GuardScene& f) {
            f.dialogs.save_answers = {SaveAnswer::kNo};
            f.dialogs.file_answers = {f.project(target_gone ? "gone.qxm" : f.raised_path)};
            f.form->LOADPROJECT1->trigger();
        };
    };
    const GuardCase cases[] = {
        {"source load", "", "base.qxm", "confirm open_file choose_object warn",
         load(0, &GuardScene::base)},
        {"OBJ import", "", "grid.obj", "confirm open_file warn", load(0, &GuardScene::obj_path),
         true},
        {"source install after the import", "notify", "grid.obj",
         "confirm open_file choose_object notify warn", load(0, &GuardScene::obj_path)},
        {"target load", "", "raised.qxm", "open_file choose_object warn",
         load(2, &GuardScene::raised_path)},
        {"match order", "ask_choice", "renumbered.qxm",
         "open_file choose_object ask_choice progress warn", load(2, &GuardScene::renumbered)},
        {"project load", "", "p.twp", "ask_save open_file warn", load_project(false)},
        {"project install after its warnings", "warn", "p.twp", "ask_save open_file warn warn",
         load_project(true)},
        {"command line", "", "base.qxm", "warn",
         [](GuardScene& f) {
             open_at_start(*f.form, StartArguments{StartArguments::Action::kStart, 0, f.base, ""},
                           nullptr);
             for (int i = 0; i < 200 && f.dialogs.shown.empty(); ++i) QTest::qWait(10);
         }},
        {"recovery copy restored", "confirm", "recovery/copy.twp", "confirm warn",
         [](GuardScene& f) {
             const std::string folder = f.folder.file("recovery");
             std::filesystem::create_directory(folder);
             std::filesystem::copy_file(f.project(f.raised_path), folder + "/copy.twp");
             testing::write_text(folder + "/copy.info", write_recovery_info(RecoveryInfo{}));
             f.dialogs.confirm_answers = {true};
             SessionRecovery recovery(*f.form, folder);
             recovery.start();
             recovery.finish();
             // said, and kept aside rather than offered at every start
             EXPECT_NE(f.dialogs.last().text.find("kept in " + kept_folder(folder)),
                       std::string::npos);
             EXPECT_TRUE(std::filesystem::exists(kept_folder(folder) + "/copy.twp"));
             f.dialogs.shown.pop_back();
         }},
    };
    for (const GuardCase& c : cases) {
        SCOPED_TRACE(c.name);
        GuardScene f;
        const std::string before = f.summary();
        bool armed = false;
        f.dialogs.while_message_shown = [&] {
            if (f.dialogs.last().kind == c.arm_at && !std::exchange(armed, true))
                fail_next_large = true;
        };
        if (*c.arm_at == '\0') fail_next_large = armed = true;
        c.command(f);
        EXPECT_FALSE(fail_next_large.exchange(false)) << "no large allocation failed";
        EXPECT_EQ(f.dialogs.kinds(), c.kinds);
        const std::string file = f.folder.file(c.read);
        EXPECT_EQ(f.dialogs.last().text,
                  c.import_refusal ? "The file " + file +
                                         " cannot be imported: there is not "
                                         "enough memory to import " +
                                         file
                                   : "There is not enough memory to read " + file +
                                         ". The command was stopped; the session is as it was "
                                         "before it.");
        EXPECT_EQ(f.summary(), before);

        f.dialogs = testing::ScriptedDialogs{};
        f.load_target(2, f.raised_path);
        EXPECT_EQ(f.dialogs.kinds(), "open_file choose_object");
        EXPECT_TRUE(f.state.target_loaded(2));
    }
}

TEST(FileCommandGuard, an_exception_of_another_kind_is_shown_with_what_it_says) {
    testing::ScriptedDialogs dialogs;
    bool let_go = false;
    EXPECT_FALSE(run_file_command(
        dialogs, 1,
        [] {
            note_file_read("/m/a.glb");
            throw std::length_error("vector::reserve");
        },
        [&] { let_go = true; }));
    EXPECT_TRUE(let_go);
    EXPECT_EQ(dialogs.kinds(), "warn");
    EXPECT_EQ(dialogs.last().text,
              "/m/a.glb を読めませんでした：予期しないエラー（vector::reserve）。"
              "コマンドを取りやめました。セッションはコマンドの前のままです。");
    EXPECT_EQ(run_file_command(dialogs, 0, [] { throw 42; }), false);
    EXPECT_EQ(dialogs.last().text,
              "Could not read the file: an error of unknown cause. The command was stopped; the "
              "session is as it was before it.");
}

}  // namespace
}  // namespace warpkit
