#include <gtest/gtest.h>

#include "morph/key_track.h"

namespace warpkit {
namespace {

KeyTrack track_of(std::initializer_list<std::pair<int32_t, float>> keys) {
    KeyTrack track;
    for (const auto& key : keys) {
        track.frames.push_back(key.first);
        track.weights.push_back(key.second);
    }
    return track;
}

TEST(EvaluateTrack, interpolates_between_keys_and_holds_after_the_last) {
    const KeyTrack track = track_of({{0, 0.0f}, {10, 50.0f}});
    struct Row {
        int32_t frame;
        float weight;
        KeyCaption caption;
    };
    const Row rows[] = {{0, 0.0f, KeyCaption::kApplied},     {4, 20.0f, KeyCaption::kMakeKey},
                        {10, 50.0f, KeyCaption::kDeleteKey}, {30, 50.0f, KeyCaption::kMakeKey},
                        {1, 5.0f, KeyCaption::kMakeKey},     {9, 45.0f, KeyCaption::kMakeKey}};
    for (const Row& row : rows) {
        const FrameEvaluation at = evaluate_track(track, row.frame);
        EXPECT_EQ(at.weight, row.weight) << "frame " << row.frame;
        EXPECT_EQ(at.caption, row.caption) << "frame " << row.frame;
    }
}

TEST(EvaluateTrack, single_key_holds_its_weight_at_every_frame) {
    const KeyTrack track = track_of({{0, 37.5f}});
    for (int32_t frame = 0; frame <= 300; ++frame) {
        const FrameEvaluation at = evaluate_track(track, frame);
        ASSERT_EQ(at.weight, 37.5f) << "frame " << frame;
        ASSERT_EQ(at.caption, frame == 0 ? KeyCaption::kApplied : KeyCaption::kMakeKey);
    }
}

TEST(EvaluateTrack, finds_the_segment_and_the_key_among_several) {
    const KeyTrack track = track_of({{0, 0.0f}, {10, 50.0f}, {20, 0.0f}, {23, 10.0f}});
    EXPECT_EQ(evaluate_track(track, 15).weight, 25.0f);
    EXPECT_EQ(evaluate_track(track, 15).caption, KeyCaption::kMakeKey);
    EXPECT_EQ(evaluate_track(track, 20).weight, 0.0f);
    EXPECT_EQ(evaluate_track(track, 20).caption, KeyCaption::kDeleteKey);
    EXPECT_EQ(evaluate_track(track, 23).caption, KeyCaption::kDeleteKey);
    // One third of the way: worked out exactly, rounded once to float.
    EXPECT_EQ(evaluate_track(track, 21).weight, static_cast<float>(10.0L / 3.0L));
    EXPECT_EQ(evaluate_track(track, 24).weight, 10.0f);
}

TEST(EvaluateTrack, keys_beyond_the_timeline_and_above_one_hundred_are_used_as_stored) {
    // A maximum lowered to 100 leaves the key at 200 in place.
    const KeyTrack track = track_of({{0, 100.0f}, {200, 300.0f}});
    EXPECT_EQ(evaluate_track(track, 100).weight, 200.0f);
    EXPECT_EQ(evaluate_track(track, 100).caption, KeyCaption::kMakeKey);
}

TEST(MakeKey, inserts_in_frame_order_and_refuses_an_occupied_frame) {
    KeyTrack track = track_of({{0, 0.0f}, {10, 50.0f}});
    EXPECT_TRUE(make_key(track, 30, 7.0f));  // after the last
    EXPECT_TRUE(make_key(track, 4, 20.0f));  // between
    EXPECT_TRUE(make_key(track, 11, 1.0f));  // between, right after a key
    EXPECT_EQ(track.frames, (std::vector<int32_t>{0, 4, 10, 11, 30}));
    EXPECT_EQ(track.weights, (std::vector<float>{0.0f, 20.0f, 50.0f, 1.0f, 7.0f}));

    const KeyTrack before = track;
    EXPECT_FALSE(make_key(track, 10, 99.0f));
    EXPECT_FALSE(make_key(track, 30, 99.0f));
    EXPECT_FALSE(make_key(track, 0, 99.0f));
    EXPECT_EQ(track.frames, before.frames);
    EXPECT_EQ(track.weights, before.weights);
    EXPECT_EQ(evaluate_track(track, 11).caption, KeyCaption::kDeleteKey);
}

TEST(DeleteKey, removes_the_key_on_the_frame_but_never_the_first) {
    KeyTrack track = track_of({{0, 0.0f}, {10, 50.0f}, {20, 0.0f}});
    EXPECT_FALSE(delete_key(track, 0));
    EXPECT_FALSE(delete_key(track, 15));
    EXPECT_EQ(track.count(), 3);

    EXPECT_TRUE(delete_key(track, 10));
    EXPECT_EQ(track.frames, (std::vector<int32_t>{0, 20}));
    EXPECT_EQ(track.weights, (std::vector<float>{0.0f, 0.0f}));
    const FrameEvaluation at = evaluate_track(track, 10);
    EXPECT_EQ(at.weight, 0.0f);
    EXPECT_EQ(at.caption, KeyCaption::kMakeKey);

    EXPECT_TRUE(delete_key(track, 20));  // the last key
    EXPECT_EQ(track.frames, (std::vector<int32_t>{0}));
    EXPECT_FALSE(delete_key(track, 0));
    EXPECT_EQ(track.count(), 1);
}

TEST(SetKeyWeightAt, changes_only_the_key_on_the_frame) {
    KeyTrack track = track_of({{0, 0.0f}, {10, 50.0f}});
    EXPECT_TRUE(set_key_weight_at(track, 10, 12.3f));
    EXPECT_TRUE(set_key_weight_at(track, 0, 4.0f));
    EXPECT_FALSE(set_key_weight_at(track, 5, 99.0f));
    EXPECT_EQ(track.weights, (std::vector<float>{4.0f, 12.3f}));
    EXPECT_EQ(track.count(), 2);
}

TEST(KeyCaption, texts_round_trip_and_anything_else_deletes) {
    for (KeyCaption caption :
         {KeyCaption::kApplied, KeyCaption::kMakeKey, KeyCaption::kDeleteKey}) {
        EXPECT_EQ(key_caption_from_text(key_caption_text(caption)), caption);
    }
    EXPECT_EQ(key_caption_from_text(""), KeyCaption::kDeleteKey);
    EXPECT_EQ(key_caption_from_text("make key"), KeyCaption::kDeleteKey);
}

// A source of three vertices with the displayed shape sized as the source load makes it.
EditorState blend_fixture() {
    EditorState state;
    state.vertex_count = 3;
    state.slots[0].loaded = 1;
    state.slots[0].vertices = {{1.0f, 2.0f, 3.0f}, {0.0f, 0.0f, 0.0f}, {-1.0f, 0.5f, 8.0f}};
    state.mesh.displayed.resize(3);
    return state;
}

void load_target(EditorState& state, int slot, std::vector<Vec3> offsets) {
    state.slots[slot].loaded = 1;
    state.slots[slot].vertices = std::move(offsets);
}

void expect_vertex(const Vec3& v, float x, float y, float z) {
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
}

TEST(Blend, adds_weighted_offsets_of_loaded_targets_only) {
    EditorState state = blend_fixture();
    load_target(state, 1, {{10.0f, -20.0f, 0.5f}, {2.0f, 2.0f, 2.0f}, {0.0f, 0.0f, 4.0f}});
    // Slot 2 holds offsets but is not loaded: it must not move anything.
    state.slots[2].vertices = {
        {1000.0f, 1000.0f, 1000.0f}, {1000.0f, 1000.0f, 1000.0f}, {1000.0f, 1000.0f, 1000.0f}};
    // A weight above 100 extrapolates.
    load_target(state, 3, {{2.0f, 4.0f, 6.0f}, {0.0f, -2.0f, 0.0f}, {1.0f, 1.0f, 1.0f}});
    std::array<float, kTargetCount + 1> weights{};
    weights[1] = 50.0f;
    weights[2] = 100.0f;
    weights[3] = 150.0f;
    const Vec3* displayed_before = state.mesh.displayed.data();

    blend(state, weights);

    expect_vertex(state.mesh.displayed[0], 9.0f, -2.0f, 12.25f);
    expect_vertex(state.mesh.displayed[1], 1.0f, -2.0f, 1.0f);
    expect_vertex(state.mesh.displayed[2], 0.5f, 2.0f, 11.5f);
    EXPECT_EQ(state.mesh.displayed.data(), displayed_before);
}

TEST(Blend, starts_each_call_from_the_source) {
    EditorState state = blend_fixture();
    load_target(state, 4, {{1.0f, 1.0f, 1.0f}, {1.0f, 1.0f, 1.0f}, {1.0f, 1.0f, 1.0f}});
    std::array<float, kTargetCount + 1> weights{};
    weights[4] = 100.0f;
    blend(state, weights);
    blend(state, weights);
    expect_vertex(state.mesh.displayed[1], 1.0f, 1.0f, 1.0f);
    weights[4] = 0.0f;
    blend(state, weights);
    expect_vertex(state.mesh.displayed[0], 1.0f, 2.0f, 3.0f);
    expect_vertex(state.mesh.displayed[2], -1.0f, 0.5f, 8.0f);
}

TEST(Blend, each_term_is_offset_times_weight_then_times_a_hundredth_in_float) {
    // Vertex 1 of the source is the origin, so it shows the offset itself. For these two
    // numbers the three ways of working the term out round differently: (d * w) * 0.01f gives
    // 3.42971802, d * (w * 0.01f) would give 3.42971754 and double arithmetic 3.42971778.
    EditorState state = blend_fixture();
    load_target(state, 1, {{0.0f, 0.0f, 0.0f}, {5.98554611f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}});
    std::array<float, kTargetCount + 1> weights{};
    weights[1] = 57.3f;
    blend(state, weights);
    EXPECT_EQ(state.mesh.displayed[1].x, 3.42971802f);
}

TEST(Blend, sums_the_targets_in_slot_order_rounding_each_partial_sum_to_float) {
    // Each small term alone is below half a float step at 1.0, so adding them one by one after
    // the large one keeps 1.0; one rounding of the whole sum, or the small terms first, would
    // give the next float above 1.0.
    EditorState state = blend_fixture();
    for (int slot = 1; slot <= 4; ++slot) {
        load_target(state, slot, {{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}});
    }
    std::array<float, kTargetCount + 1> weights{};
    weights[1] = 100.0f;
    weights[2] = weights[3] = weights[4] = 4e-6f;
    blend(state, weights);
    EXPECT_EQ(state.mesh.displayed[1].x, 1.0f);
}

TEST(Blend, every_vertex_of_a_long_shape_gets_its_own_sum) {
    // Long enough to be worked through in several blocks, with a last block cut short; each
    // vertex and target differs, so a block that read another block's offsets shows.
    EditorState state;
    const int32_t vertices = 1001;
    state.vertex_count = vertices;
    state.slots[0].loaded = 1;
    state.mesh.displayed.resize(vertices);
    auto value = [](int slot, int32_t i, int axis) {
        return static_cast<float>((i * 7 + axis * 3 + slot * 11) % 97) * 0.25f - 12.0f;
    };
    for (int slot = 0; slot <= kTargetCount; ++slot) {
        std::vector<Vec3> array(vertices);
        for (int32_t i = 0; i < vertices; ++i) {
            array[i] = {value(slot, i, 0), value(slot, i, 1), value(slot, i, 2)};
        }
        if (slot == 0) {
            state.slots[0].vertices = array;
        } else if (slot != 5) {  // slot 5 stays empty
            load_target(state, slot, array);
        }
    }
    std::array<float, kTargetCount + 1> weights{};
    for (int slot = 1; slot <= kTargetCount; ++slot) weights[slot] = 7.5f * slot;

    blend(state, weights);

    for (int32_t i = 0; i < vertices; ++i) {
        for (int axis = 0; axis < 3; ++axis) {
            float sum = 0.0f;
            for (int slot = 1; slot <= kTargetCount; ++slot) {
                if (slot != 5) sum += (value(slot, i, axis) * weights[slot]) * 0.01f;
            }
            const float expected = value(0, i, axis) + sum;
            const Vec3& got = state.mesh.displayed[i];
            ASSERT_EQ(axis == 0   ? got.x
                      : axis == 1 ? got.y
                                  : got.z,
                      expected)
                << "vertex " << i << " axis " << axis;
        }
    }
}

}  // namespace
}  // namespace warpkit
