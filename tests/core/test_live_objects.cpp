// Objects read again when their files change: which changes settle, and what a reload does
// to the session (and what it must leave alone), without a window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "session/live_objects.h"
#include "session/session.h"
#include "support/qxm_writer.h"
#include "support/scripted_dialogs.h"

namespace warpkit {
namespace {

using testing::QxmFileSpec;
using testing::QxmObjectSpec;

TEST(ChangeSettler, lets_a_file_through_only_after_it_was_left_alone_and_nothing_holds_it) {
    struct Event {
        const char* file;  // a change of it, or nullptr for a look
        int64_t at;
        bool hold = false;
        const char* settled = "";  // what the look lets through, space-separated
        int64_t due = -1;          // next_due() after the look
    };
    struct Case {
        const char* name;
        std::vector<Event> events;
    };
    const Case cases[] = {
        {"a change settles after the quiet time",
         {{"a", 0}, {nullptr, 499, false, "", 1}, {nullptr, 500, false, "a"}}},
        {"each change starts the quiet time again",
         {{"a", 0}, {"a", 400}, {nullptr, 800, false, "", 100}, {nullptr, 900, false, "a"}}},
        {"files settle each on its own",
         {{"a", 0}, {"b", 300}, {nullptr, 600, false, "a", 200}, {nullptr, 800, false, "b"}}},
        {"a hold keeps a settled file for when it ends",
         {{"a", 0},
          {nullptr, 700, true, "", 0},
          {nullptr, 5000, true, "", 0},
          {nullptr, 5001, false, "a"}}},
        {"a settled file goes through once",
         {{"a", 0}, {nullptr, 600, false, "a"}, {nullptr, 900}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ChangeSettler settler;
        for (const Event& e : c.events) {
            if (e.file != nullptr) {
                settler.changed(e.file, e.at);
                continue;
            }
            std::string settled;
            for (const std::string& file : settler.take_settled(e.at, e.hold)) {
                settled += (settled.empty() ? "" : " ") + file;
            }
            EXPECT_EQ(settled, e.settled) << "at " << e.at;
            EXPECT_EQ(settler.next_due(e.at), e.due) << "at " << e.at;
        }
        EXPECT_TRUE(settler.idle());
        EXPECT_EQ(settler.next_due(0), -1);
    }
}

// A grid of 5 x 5 vertices at height z, its vertices listed backwards when `reversed` (the
// triangles follow, so it is the same surface in another order).
QxmObjectSpec grid(const std::string& name, float z, bool reversed = false, int columns = 4) {
    QxmObjectSpec object = testing::make_grid_object(name, columns, 4, 2, z);
    return reversed ? testing::in_reverse_order(std::move(object)) : object;
}

void write_objects(const std::string& path, const std::vector<QxmObjectSpec>& objects) {
    QxmFileSpec file;
    file.objects = objects;
    file.colours = testing::make_palette(2);
    testing::write_qxm(path, file);
}

// A source "base" at z 0 and target 1 "smile" at z 1 from files of their own, and target 2
// "both" from the source's file; target 1 keyed, weighted and the view turned.
struct LiveSession {
    LiveSession() {
        write_objects(source_path, {grid("base", 0.0f), grid("both", 3.0f)});
        write_objects(target_path, {grid("smile", 1.0f)});
        ObjectFileReader file_reader;
        EXPECT_TRUE(file_reader.ReadObject(source_path, "base", true).ok());
        install_source(state, source_path, file_reader.result());
        EXPECT_TRUE(file_reader.ReadObject(target_path, "smile", true).ok());
        install_target(state, 1, target_path, file_reader.result());
        EXPECT_TRUE(file_reader.ReadObject(source_path, "both", true).ok());
        install_target(state, 2, source_path, file_reader.result());
        state.slots[1].keys.frames = {0, 10};
        state.slots[1].keys.weights = {0.0f, 80.0f};
        state.slots[1].weight = 40.0f;
        state.yaw = 12.0f;
        state.modified = 0;
        state.UiLanguage = 0;
    }

    // Target k's z as the slot holds it at vertex 0 (source + offset).
    float target_z(int k) const {
        return state.slots[0].vertices[0].z + state.slots[k].vertices[0].z;
    }

    testing::TempFolder folder;
    const std::string source_path = folder.file("base.qxm");
    const std::string target_path = folder.file("smile.qxm");
    EditorState state;
    testing::ScriptedDialogs dialogs;
    AnyObjectReader reader;
};

TEST(ReloadFile, takes_the_new_shape_keeps_keys_and_refuses_as_a_load_does) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* name;
        bool source_file;  // which file is rewritten and reloaded
        std::function<void(LiveSession&)> rewrite;
        std::vector<int> choices;  // answers to the vertex-order question
        std::vector<int> reloaded;
        size_t matched;
        const char* kinds;                     // the dialogs shown
        const char* said;                      // in the last warning
        float source_z, target1_z, target2_z;  // vertex 0 afterwards
    };
    // clang-format off
    const Case cases[] = {
        {"a target saved again takes its new shape", false,
         [](LiveSession& s) { write_objects(s.target_path, {grid("smile", 2.0f)}); }, {}, {1},
         0, "", "", 0.0f, 2.0f, 3.0f},
        {"a source saved again keeps every target where it was", true,
         [](LiveSession& s) { write_objects(s.source_path, {grid("base", 0.5f), grid("both", 3.0f)}); },
         {}, {0, 2}, 0, "", "", 0.5f, 1.0f, 3.0f},
        {"both objects of one file are read again", true,
         [](LiveSession& s) { write_objects(s.source_path, {grid("both", 4.0f), grid("base", -1.0f)}); },
         {}, {0, 2}, 0, "", "", -1.0f, 1.0f, 4.0f},
        {"a source of another vertex count is refused", true,
         [](LiveSession& s) { write_objects(s.source_path, {grid("base", 0.5f, false, 5), grid("both", 3.0f)}); },
         {}, {2}, 0, "warn", "it has 30 vertices where the source has 25",
         0.0f, 1.0f, 3.0f},
        {"a target of another vertex count is refused", false,
         [](LiveSession& s) { write_objects(s.target_path, {grid("smile", 2.0f, false, 3)}); }, {}, {},
         0, "warn", "it has 20 vertices where the source has 25", 0.0f, 1.0f, 3.0f},
        {"a damaged coordinate is refused", false,
         [&](LiveSession& s) {
             QxmObjectSpec broken = grid("smile", 2.0f);
             broken.vertices[3].y = nan;
             write_objects(s.target_path, {broken});
         },
         {}, {}, 0, "warn", "vertex 3", 0.0f, 1.0f, 3.0f},
        {"an object gone from its file is refused", false,
         [](LiveSession& s) { write_objects(s.target_path, {grid("frown", 2.0f)}); }, {}, {}, 0,
         "warn", "holds no object named smile", 0.0f, 1.0f, 3.0f},
        {"a file gone keeps everything and says nothing", false,
         [](LiveSession& s) { std::remove(s.target_path.c_str()); }, {}, {}, 0, "", "",
         0.0f, 1.0f, 3.0f},
        {"a reordered target loaded as it is", false,
         [](LiveSession& s) { write_objects(s.target_path, {grid("smile", 2.0f, true)}); }, {1},
         {1}, 0, "ask_choice", "", 0.0f, 2.0f, 3.0f},
        {"a reordered target kept as it was on Cancel", false,
         [](LiveSession& s) { write_objects(s.target_path, {grid("smile", 2.0f, true)}); }, {2},
         {}, 0, "ask_choice", "", 0.0f, 1.0f, 3.0f},
        {"a reordered target matched is handed back as an edit", false,
         [](LiveSession& s) { write_objects(s.target_path, {grid("smile", 2.0f, true)}); }, {0},
         {}, 1, "ask_choice progress notify", "", 0.0f, 1.0f, 3.0f},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LiveSession s;
        const EditorState before = s.state;
        c.rewrite(s);
        s.dialogs.choice_answers.assign(c.choices.begin(), c.choices.end());
        const ReloadReport report = reload_file(s.dialogs, s.state, s.reader,
                                                c.source_file ? s.source_path : s.target_path);

        EXPECT_EQ(report.reloaded, c.reloaded);
        ASSERT_EQ(report.matched.size(), c.matched);
        EXPECT_EQ(s.dialogs.kinds(), c.kinds);
        EXPECT_TRUE(s.dialogs.all_answers_used());
        if (*c.said != '\0') {
            EXPECT_NE(s.dialogs.last().text.find(c.said), std::string::npos)
                << s.dialogs.last().text;
            EXPECT_EQ(s.dialogs.last().title, "Reload refused");
        }
        EXPECT_FLOAT_EQ(s.state.slots[0].vertices[0].z, c.source_z);
        EXPECT_FLOAT_EQ(s.target_z(1), c.target1_z);
        EXPECT_FLOAT_EQ(s.target_z(2), c.target2_z);

        // no edit: what Save writes and what the user set stay
        EXPECT_EQ(s.state.modified, 0);
        EXPECT_EQ(s.state.vertex_count, before.vertex_count);
        for (int k = 0; k <= 2; ++k) {
            EXPECT_EQ(s.state.slots[k].path, before.slots[k].path);
            EXPECT_EQ(s.state.slots[k].name, before.slots[k].name);
            EXPECT_EQ(s.state.slots[k].keys.frames, before.slots[k].keys.frames);
            EXPECT_EQ(s.state.slots[k].keys.weights, before.slots[k].keys.weights);
            EXPECT_EQ(s.state.slots[k].weight, before.slots[k].weight);
        }
        EXPECT_EQ(s.state.yaw, 12.0f);
        EXPECT_EQ(s.state.mesh.displayed.size(), s.state.slots[0].vertices.size());

        if (c.matched == 1) {
            // the match goes in from its new file with the slot's keys: that one is an edit
            const MatchedReload& matched = report.matched[0];
            EXPECT_EQ(matched.path, s.folder.file("smile-matched.qxm"));
            install_matched_reload(s.state, matched);
            EXPECT_EQ(s.state.slots[1].path, matched.path);
            EXPECT_EQ(s.state.slots[1].keys.frames, before.slots[1].keys.frames);
            EXPECT_EQ(s.state.slots[1].weight, 40.0f);
            EXPECT_FLOAT_EQ(s.target_z(1), 2.0f);
            EXPECT_EQ(s.state.modified, 1);
        }
    }
}

TEST(ReloadFile, a_target_loaded_out_of_order_on_purpose_is_not_asked_about_again) {
    LiveSession s;
    write_objects(s.target_path, {grid("smile", 1.0f, true)});
    {
        ObjectFileReader reader;
        ASSERT_TRUE(reader.ReadObject(s.target_path, "smile", true).ok());
        reload_target(s.state, 1, reader.result());
    }
    write_objects(s.target_path, {grid("smile", 2.0f, true)});
    const ReloadReport report = reload_file(s.dialogs, s.state, s.reader, s.target_path);
    EXPECT_EQ(report.reloaded, std::vector<int>{1});
    EXPECT_EQ(s.dialogs.kinds(), "");
    EXPECT_FLOAT_EQ(s.target_z(1), 2.0f);
}

TEST(LiveObjects, files_and_slots_and_the_notice_follow_the_loaded_slots) {
    LiveSession s;
    EXPECT_EQ(watched_files(s.state), (std::vector<std::string>{s.source_path, s.target_path}));
    EXPECT_EQ(slots_reading(s.state, s.source_path), (std::vector<int>{0, 2}));
    EXPECT_EQ(slots_reading(s.state, s.target_path), std::vector<int>{1});
    EXPECT_EQ(reload_notice(s.state, {0, 2}, s.source_path).en,
              "Reloaded the source base, target 2 both from base.qxm");
    EXPECT_EQ(reload_notice(s.state, {1}, s.target_path).ja,
              "1番ターゲット smile を読み直しました（smile.qxm）");

    EXPECT_FALSE(live_reload_waits(s.state));
    for (int32_t EditorState::*busy :
         {&EditorState::drag_mode, &EditorState::spinner_active, &EditorState::playing_forward,
          &EditorState::playing_backward}) {
        EditorState state;
        state.*busy = 1;
        EXPECT_TRUE(live_reload_waits(state));
    }
    remove_target(s.state, 1);
    EXPECT_EQ(watched_files(s.state), std::vector<std::string>{s.source_path});
    clear_session(s.state);
    EXPECT_TRUE(watched_files(s.state).empty());
}

}  // namespace
}  // namespace warpkit
