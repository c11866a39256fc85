// Key and frame edits: what each does to the keys, and whether it leaves unsaved work behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "session/session.h"
#include "session/session_edits.h"

namespace warpkit {
namespace {

// A session with a source of two vertices and target 2 loaded with keys (0, 10) and (20, 50),
// just saved (modified flag clear), at frame 20.
EditorState saved_session() {
    ReadResult source;
    source.object_name = "base";
    source.vertices = {{0, 0, 0}, {1, 0, 0}};
    source.vertex_count = 2;
    EditorState state;
    install_source(state, "/m/base.qxm", source);
    ReadResult target = source;
    target.object_name = "smile";
    install_target(state, 2, "/m/smile.qxm", target);
    state.slots[2].keys.frames = {0, 20};
    state.slots[2].keys.weights = {10.0f, 50.0f};
    state.slots[2].weight = 50.0f;
    state.current_frame = 20;
    state.modified = 0;
    return state;
}

std::vector<int32_t> frames(const EditorState& state, int k) {
    return state.slots[k].keys.frames;
}

TEST(SessionEdits, making_a_key_is_recorded_even_where_one_already_lies) {
    EditorState state = saved_session();
    state.current_frame = 10;
    state.slots[2].weight = 30.0f;
    EXPECT_TRUE(make_key_at_current_frame(state, 2));
    EXPECT_EQ((std::vector<int32_t>{0, 10, 20}), frames(state, 2));
    EXPECT_EQ(30.0f, state.slots[2].keys.weights[1]);
    EXPECT_EQ(1, state.modified);

    // a second click on the same frame adds nothing but still counts as an edit
    state.modified = 0;
    state.slots[2].weight = 99.0f;
    EXPECT_FALSE(make_key_at_current_frame(state, 2));
    EXPECT_EQ(30.0f, state.slots[2].keys.weights[1]);
    EXPECT_EQ(1, state.modified);

    // after the last key it is appended
    state.current_frame = 80;
    EXPECT_TRUE(make_key_at_current_frame(state, 2));
    EXPECT_EQ((std::vector<int32_t>{0, 10, 20, 80}), frames(state, 2));
}

TEST(SessionEdits, deleting_is_recorded_whether_or_not_a_key_goes) {
    EditorState state = saved_session();
    EXPECT_TRUE(delete_key_at_current_frame(state, 2));
    EXPECT_EQ((std::vector<int32_t>{0}), frames(state, 2));
    EXPECT_EQ(1, state.modified);

    state.modified = 0;
    EXPECT_FALSE(delete_key_at_current_frame(state, 2));  // nothing left on frame 20
    EXPECT_EQ(1, state.modified);

    // the first key anchors the track
    state.modified = 0;
    state.current_frame = 0;
    EXPECT_FALSE(delete_key_at_current_frame(state, 2));
    EXPECT_EQ((std::vector<int32_t>{0}), frames(state, 2));
    EXPECT_EQ(1, state.modified);
}

TEST(SessionEdits, an_empty_slot_is_neither_edited_nor_marked) {
    EditorState state = saved_session();
    for (int k : {1, 3, 8}) {
        SCOPED_TRACE(k);
        EXPECT_FALSE(make_key_at_current_frame(state, k));
        EXPECT_FALSE(delete_key_at_current_frame(state, k));
        EXPECT_FALSE(set_key_weight_at_current_frame(state, k, 40.0f));
        EXPECT_EQ(0, state.slots[k].keys.count());
    }
    EXPECT_EQ(0, state.modified);
}

TEST(SessionEdits, a_key_weight_is_recorded_only_when_it_really_changes) {
    struct Case {
        const char* name;
        int32_t frame;
        float weight;
        bool keyed;
        int32_t modified;
        std::vector<float> weights;
    };
    const Case cases[] = {
        {"same weight on a key", 20, 50.0f, true, 0, {10.0f, 50.0f}},
        {"new weight on a key", 20, 50.5f, true, 1, {10.0f, 50.5f}},
        {"new weight on the first key", 0, 0.0f, true, 1, {0.0f, 50.0f}},
        {"between keys", 7, 80.0f, false, 0, {10.0f, 50.0f}},
        {"after the last key", 60, 80.0f, false, 0, {10.0f, 50.0f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EditorState state = saved_session();
        state.current_frame = c.frame;
        EXPECT_EQ(c.keyed, set_key_weight_at_current_frame(state, 2, c.weight));
        EXPECT_EQ(c.modified, state.modified);
        EXPECT_EQ(c.weights, state.slots[2].keys.weights);
        EXPECT_EQ((std::vector<int32_t>{0, 20}), frames(state, 2));
    }
}

TEST(SessionEdits, the_maximum_frame_is_at_least_one_and_recorded_when_changed) {
    EditorState state = saved_session();
    EXPECT_TRUE(set_max_frame(state, 100));  // unchanged
    EXPECT_EQ(0, state.modified);

    for (const int32_t refused : {0, -1, INT32_MIN}) {
        EXPECT_FALSE(set_max_frame(state, refused)) << refused;
        EXPECT_EQ(100, state.max_frame);
        EXPECT_EQ(0, state.modified);
    }

    // lowering it below the current frame brings the frame along; keys beyond it stay
    EXPECT_TRUE(set_max_frame(state, 12));
    EXPECT_EQ(12, state.max_frame);
    EXPECT_EQ(12, state.current_frame);
    EXPECT_EQ((std::vector<int32_t>{0, 20}), frames(state, 2));
    EXPECT_EQ(1, state.modified);
}

TEST(SessionEdits, moving_through_frames_is_clamped_and_never_recorded) {
    EditorState state = saved_session();
    const std::pair<int32_t, int32_t> moves[] = {
        {35, 35}, {100, 100}, {101, 100}, {INT32_MAX, 100}, {-1, 0}, {INT32_MIN, 0}, {0, 0}};
    for (const auto& [to, expected] : moves) {
        set_current_frame(state, to);
        EXPECT_EQ(expected, state.current_frame) << to;
    }
    EXPECT_EQ(0, state.modified);
}

}  // namespace
}  // namespace warpkit
