// Every command that reads a file, run out of memory half way: the allocation fails for real
// (this program's operator new fails the next large one once armed), inside the reader, the
// matcher or the install. The command ends in a warning that says so, the session and the
// window are as before it, nothing reaches Qt's event loop, and the next command works.
#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QUndoStack>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <new>
#include <numeric>

#include "app/edit_history.h"
#include "app/open_at_start.h"
#include "app/project_commands.h"
#include "app/session_recovery.h"
#include "project/project_file.h"
#include "project/recovery.h"
#include "session/file_command_guard.h"
#include "support/form1_fixture.h"
#include "support/mesh_fixtures.h"
#include "support/project_builders.h"
#include "support/remeshed.h"

namespace {

// Armed, the next allocation of at least this much fails, once.
constexpr std::size_t kLarge = std::size_t{16} << 10;
std::atomic<bool> fail_next_large{false};

}  // namespace

void* operator new(std::size_t size) {
    if (size >= kLarge && fail_next_large.exchange(false)) throw std::bad_alloc();
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

namespace fs = std::filesystem;
using testing::QxmObjectSpec;

// A hill on a 60 x 60 grid (its arrays are well past kLarge): the source, a raised flank in the
// same order as target 1, the flank renumbered, and the hill as a glTF file.
struct GuardScene : testing::Form1Fixture {
    GuardScene() {
        state.UiLanguage = 0;
        hill = testing::make_grid_object("hill", 60, 60, 3);
        for (Vec3& v : hill.vertices) {
            v.z = 8.0f * std::exp(-((v.x - 30) * (v.x - 30) + (v.y - 30) * (v.y - 30)) / 200.0f);
        }
        QxmObjectSpec flank = hill;
        for (Vec3& v : flank.vertices) v.z += v.x > 30 ? 0.1f * (v.x - 30) : 0.0f;
        flank.name = "flank";
        base = write_object("base.qxm", hill, 3);
        plain = write_object("plain.qxm", flank, 3);
        const testing::Renumbered shuffled = testing::renumber(flank.vertices, flank.triangles, 7);
        flank.vertices = shuffled.vertices;
        flank.triangles = shuffled.triangles;
        renumbered = write_object("renumbered.qxm", flank, 3);

        testing::GltfBuilder builder;
        std::vector<uint16_t> corners;
        for (const Triangle& t : hill.triangles) {
            for (const int32_t v : t.v) corners.push_back(static_cast<uint16_t>(v));
        }
        const int points = builder.add_points(hill.vertices);
        const int indices = builder.add_indices(corners);
        gltf = folder.file("hill.gltf");
        testing::write_text(gltf, builder.gltf("\"meshes\":[{\"name\":\"hill\",\"primitives\":[{"
                                               "\"attributes\":{\"POSITION\":" +
                                               std::to_string(points) + "},\"indices\":" +
                                               std::to_string(indices) + "}]}]"));

        // the session every command starts from: a source, a target with a key at frame 10
        load_source(base);
        load_target(1, plain);
        state.slots[1].keys.frames = {0, 10};
        state.slots[1].keys.weights = {0.0f, 40.0f};
        dialogs.shown.clear();
    }

    std::string project(const std::string& name, const std::string& target) {
        ProjectData data;
        data.source_path = base;
        data.source_name = "hill";
        data.max_frame = 50;
        data.targets[0] = testing::project_target(target, "flank", {{0, 0.0f}, {20, 60.0f}});
        testing::write_text(folder.file(name), write_project_text(data));
        return folder.file(name);
    }

    // What a command must leave alone: the session, the undo history and the rows on screen.
    std::string summary() {
        std::string out =
            std::to_string(state.vertex_count) + " " + std::to_string(state.triangle_count) + " " +
            std::to_string(state.mesh.displayed.size()) + " frames " +
            std::to_string(state.current_frame) + "/" + std::to_string(state.max_frame) +
            " modified " + std::to_string(state.modified) + " undo " +
            std::to_string(form->history->stack().count()) + "\n";
        for (int k = 0; k <= kTargetCount; ++k) {
            const TargetSlot& slot = state.slots[k];
            const double sum = std::accumulate(
                slot.vertices.begin(), slot.vertices.end(), 0.0,
                [](double s, const Vec3& v) { return s + v.x + 2 * v.y + 3 * v.z; });
            out += std::to_string(slot.loaded) + " " + slot.path + " " + slot.name + " " +
                   std::to_string(slot.vertices.size()) + " " + std::to_string(sum) + " keys";
            for (int32_t i = 0; i < slot.keys.count(); ++i) {
                out += " " + std::to_string(slot.keys.frames[static_cast<size_t>(i)]) + ":" +
                       std::to_string(slot.keys.weights[static_cast<size_t>(i)]);
            }
            out += " [" + form->load_buttons[k]->text().toStdString() + "]";
            if (k > 0) out += " [" + form->weight_fields[k]->text().toStdString() + "]";
            out += "\n";
        }
        return out;
    }

    QxmObjectSpec hill;
    std::string base, plain, renumbered, gltf;
};

void wait_for_dialogs(testing::ScriptedDialogs& dialogs, size_t count) {
    for (int i = 0; i < 200 && dialogs.shown.size() < count; ++i) QTest::qWait(10);
}

struct GuardCase {
    const char* name;
    const char* arm_at;  // the kind of box after which the next large allocation fails; "": at once
    const char* read;    // the file the warning names, under the scene's folder
    const char* kinds;   // the boxes shown
    std::function<void(GuardScene&)> command;
};

TEST(FileCommandGuard, running_out_of_memory_stops_the_command_and_keeps_the_session) {
    const GuardCase cases[] = {
        {"source load, object file", "", "base.qxm", "confirm open_file choose_object warn",
         [](GuardScene& f) {
             f.dialogs.confirm_answers = {true};
             f.dialogs.file_answers = {f.base};
             f.dialogs.object_answers = {0};
             f.form->load_buttons[0]->click();
         }},
        {"source load, glTF import", "", "hill.gltf", "confirm open_file warn",
         [](GuardScene& f) {
             f.dialogs.confirm_answers = {true};
             f.dialogs.file_answers = {f.gltf};
             f.form->load_buttons[0]->click();
         }},
        {"source install after the import", "notify", "hill.gltf",
         "confirm open_file choose_object notify warn",
         [](GuardScene& f) {
             f.dialogs.confirm_answers = {true};
             f.dialogs.file_answers = {f.gltf};
             f.dialogs.object_answers = {0};
             f.form->load_buttons[0]->click();
         }},
        {"target load", "", "plain.qxm", "open_file choose_object warn",
         [](GuardScene& f) {
             f.dialogs.file_answers = {f.plain};
             f.dialogs.object_answers = {0};
             f.form->load_buttons[2]->click();
         }},
        {"match order", "ask_choice", "renumbered.qxm",
         "open_file choose_object ask_choice progress warn",
         [](GuardScene& f) {
             f.dialogs.file_answers = {f.renumbered};
             f.dialogs.object_answers = {0};
             f.dialogs.choice_answers = {0};
             f.form->load_buttons[2]->click();
         }},
        {"project load", "", "p.twp", "ask_save open_file warn",
         [](GuardScene& f) {
             f.dialogs.save_answers = {SaveAnswer::kNo};
             f.dialogs.file_answers = {f.project("p.twp", f.plain)};
             f.form->LOADPROJECT1->trigger();
         }},
        {"project install after its warnings", "warn", "p.twp", "ask_save open_file warn warn",
         [](GuardScene& f) {
             f.dialogs.save_answers = {SaveAnswer::kNo};
             f.dialogs.file_answers = {f.project("p.twp", f.folder.file("gone.qxm"))};
             f.form->LOADPROJECT1->trigger();
         }},
        {"command line", "", "base.qxm", "warn",
         [](GuardScene& f) {
             StartArguments arguments;
             arguments.ui_language = 0;
             arguments.file = f.base;
             open_at_start(*f.form, arguments, nullptr);
             wait_for_dialogs(f.dialogs, 1);
         }},
    };
    for (const GuardCase& c : cases) {
        SCOPED_TRACE(c.name);
        GuardScene f;
        const std::string before = f.summary();
        bool armed = false;
        const auto arm = [&armed] {
            if (!std::exchange(armed, true)) fail_next_large.store(true);
        };
        f.dialogs.while_message_shown = [&] {
            if (f.dialogs.last().kind == c.arm_at) arm();
        };
        if (*c.arm_at == '\0') arm();
        c.command(f);
        EXPECT_FALSE(fail_next_large.exchange(false)) << "no large allocation failed";
        EXPECT_EQ(f.dialogs.kinds(), c.kinds);
        EXPECT_EQ(f.dialogs.last().text, "There is not enough memory to read " +
                                             f.folder.file(c.read) +
                                             ". The command was stopped; the session is as it "
                                             "was before it.");
        EXPECT_EQ(f.dialogs.last().title, "Not enough memory");
        EXPECT_EQ(f.summary(), before);

        // the next command goes through as if nothing had happened
        f.dialogs = testing::ScriptedDialogs{};
        f.load_target(2, f.plain);
        EXPECT_EQ(f.dialogs.kinds(), "open_file choose_object");
        EXPECT_TRUE(f.state.target_loaded(2));
    }
}

TEST(FileCommandGuard, a_recovery_copy_that_runs_out_of_memory_is_kept_aside) {
    GuardScene f;
    testing::TempFolder recovery_folder;
    const RecoveryFiles copy = recovery_files(recovery_folder.path(), new_recovery_id());
    fs::copy_file(f.project("p.twp", f.plain), copy.project);
    testing::write_text(copy.info, write_recovery_info(RecoveryInfo{}));
    const std::string before = f.summary();
    f.dialogs.confirm_answers = {true};
    f.dialogs.while_message_shown = [&] {
        if (f.dialogs.last().kind == "confirm") fail_next_large.store(true);
    };
    {
        SessionRecovery recovery(*f.form, recovery_folder.path());
        recovery.start();
        f.dialogs.while_message_shown = nullptr;
        EXPECT_FALSE(fail_next_large.exchange(false));
        EXPECT_EQ(f.dialogs.kinds(), "confirm warn warn");
        EXPECT_EQ(f.dialogs.shown[1].text, "There is not enough memory to read " + copy.project +
                                               ". The command was stopped; the session is as it "
                                               "was before it.");
        EXPECT_NE(f.dialogs.last().text.find("was kept in " + kept_folder(recovery_folder.path())),
                  std::string::npos)
            << f.dialogs.last().text;
        recovery.finish();
    }
    // not offered again at the next start
    EXPECT_FALSE(fs::exists(copy.project));
    EXPECT_TRUE(fs::exists(kept_folder(recovery_folder.path()) + "/" + copy.id + ".twp"));
    EXPECT_EQ(f.summary(), before);
}

TEST(FileCommandGuard, an_exception_of_another_kind_is_shown_with_what_it_says) {
    struct Case {
        std::exception_ptr error;
        std::string file;
        int32_t language;
        const char* text;
        const char* title;
    };
    const Case cases[] = {
        {std::make_exception_ptr(std::length_error("vector::reserve")), "/m/a.glb", 0,
         "/m/a.glb could not be read: an unexpected error (vector::reserve). The command was "
         "stopped; the session is as it was before it.",
         "Read error"},
        {std::make_exception_ptr(std::bad_alloc()), "", 1,
         "ファイル を読むためのメモリが足りません。コマンドを取りやめました。"
         "セッションはコマンドの前のままです。",
         "メモリ不足"},
        {std::make_exception_ptr(42), "/m/b.twp", 1,
         "/m/b.twp を読めませんでした：原因の分からないエラー。コマンドを取りやめました。"
         "セッションはコマンドの前のままです。",
         "読み込みエラー"},
    };
    for (const Case& c : cases) {
        testing::ScriptedDialogs dialogs;
        bool let_go = false;
        const bool ran = run_file_command(
            dialogs, c.language,
            [&] {
                note_file_read(c.file);
                std::rethrow_exception(c.error);
            },
            [&] { let_go = true; });
        EXPECT_FALSE(ran);
        EXPECT_TRUE(let_go);
        ASSERT_EQ(dialogs.kinds(), "warn");
        EXPECT_EQ(dialogs.last().text, c.text);
        EXPECT_EQ(dialogs.last().title, c.title);
    }
}

}  // namespace
}  // namespace warpkit
