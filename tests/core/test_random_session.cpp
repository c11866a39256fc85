// Long random editing sessions, checked after every step against the session's invariants and
// against a plain model of what each command should have done. A failure names the seed and
// the step, so the same run can be repeated (WARPKIT_SESSION_STEPS makes runs longer).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "model/qxm_reader.h"
#include "morph/key_track.h"
#include "project/project_file.h"
#include "session/project_session.h"
#include "session/session.h"
#include "session/session_edits.h"
#include "support/input_checks.h"
#include "support/qxm_writer.h"

namespace warpkit {
namespace {

using testing::QxmFileSpec;
using testing::TempFolder;

// ---- the object files of a session, made once ----

// Two files: one that never changes (in a folder whose name holds two blanks), and one that
// is rewritten during a session, so a saved project can come back with other vertex counts or
// with its file gone.
struct ObjectRef {
    int file = 0;  // kStable or kChanging
    std::string name;
};
constexpr int kStable = 0;
constexpr int kChanging = 1;
constexpr int kVersions = 3;  // of the changing file: 0 and 1 swap vertex counts, 2 is gone

QxmFileSpec grid_file(const std::vector<std::pair<std::string, int>>& objects, float z) {
    QxmFileSpec file_spec;
    for (const auto& [name, vertices] : objects) {
        // 2 x 2 cells give 9 vertices, 3 x 1 give 8.
        file_spec.objects.push_back(vertices == 9 ? testing::make_grid_object(name, 2, 2, 2, z)
                                                  : testing::make_grid_object(name, 3, 1, 2, z));
        // every object its own shape, so offsets from the wrong object show
        for (size_t i = 0; i < file_spec.objects.back().vertices.size(); ++i) {
            file_spec.objects.back().vertices[i].x += z * static_cast<float>(i) * 0.25f;
        }
        z += 1.5f;
    }
    file_spec.colours = testing::make_palette(2);
    return file_spec;
}

class ObjectLibrary {
public:
    ObjectLibrary() {
        std::filesystem::create_directories(folder_.file("my  models"));
        paths_[kStable] = folder_.file("my  models/stable file.qxm");
        paths_[kChanging] = folder_.file("changing.QXM");
        testing::write_qxm(
            paths_[kStable],
            grid_file({{"base9", 9}, {"smile9", 9}, {"wide9", 9}, {"box8", 8}, {"tall8", 8}},
                      0.5f));
        changing_[0] = testing::build_qxm(grid_file({{"m1", 9}, {"m2", 8}}, 7.0f));
        changing_[1] = testing::build_qxm(grid_file({{"m1", 8}, {"m2", 9}}, -3.0f));
        for (const char* name : {"base9", "smile9", "wide9", "box8", "tall8"}) {
            objects_.push_back({kStable, name});
        }
        objects_.push_back({kChanging, "m1"});
        objects_.push_back({kChanging, "m2"});

        // Every object of every version is read once; a session takes its reads from here.
        for (int version = 0; version < kVersions; ++version) {
            set_changing_version(version);
            for (const ObjectRef& object : objects_) {
                ObjectFileReader reader;
                const ReadOutcome read = reader.ReadObject(path(object.file), object.name, true);
                if (read.ok()) reads_[key(object, version)] = reader.result();
            }
        }
        set_changing_version(0);
    }

    const std::vector<ObjectRef>& objects() const { return objects_; }
    const std::string& path(int file) const { return paths_[file]; }
    int changing_version() const { return version_; }

    void set_changing_version(int version) {
        version_ = version;
        if (version < 2) {
            testing::write_file(paths_[kChanging], changing_[version]);
        } else {
            std::filesystem::remove(paths_[kChanging]);
        }
    }

    // The object as its file now holds it; null when the file is gone.
    const ReadResult* read(const ObjectRef& object) const {
        const auto found = reads_.find(key(object, object.file == kStable ? 0 : version_));
        return found == reads_.end() ? nullptr : &found->second;
    }
    // The object a project names, by path and name as the file now holds it.
    const ReadResult* read(const std::string& path, const std::string& name) const {
        for (const ObjectRef& object : objects_) {
            if (paths_[object.file] == path && object.name == name) return read(object);
        }
        return nullptr;
    }

    std::string project_file(int n) const { return folder_.file("p" + std::to_string(n) + ".twp"); }

private:
    static std::string key(const ObjectRef& object, int version) {
        return std::to_string(object.file) + ":" + std::to_string(version) + ":" + object.name;
    }

    TempFolder folder_;
    std::string paths_[2];
    std::vector<uint8_t> changing_[2];
    std::vector<ObjectRef> objects_;
    std::map<std::string, ReadResult> reads_;
    int version_ = 0;
};

// ---- the reference model ----

struct ModelTarget {
    bool loaded = false;
    std::string path;
    std::string name;
    std::vector<Vec3> positions;    // of the target object
    std::map<int32_t, float> keys;  // frame -> weight
    float weight = 0.0f;            // what the weight field holds
};

struct Model {
    bool source_loaded = false;
    std::string source_path;
    std::string source_name;
    std::vector<Vec3> source_positions;
    std::array<ModelTarget, kTargetCount + 1> targets;  // [1..8]
    int32_t current_frame = 0;
    int32_t max_frame = 100;
    int32_t modified = 0;
};

// The weight a track gives at `frame`: held before the first and after the last key, linear
// between neighbours.
float model_weight_at(const std::map<int32_t, float>& keys, int32_t frame) {
    const auto after = keys.upper_bound(frame);
    if (after == keys.begin()) return keys.begin()->second;
    const auto at_or_before = std::prev(after);
    if (after == keys.end() || at_or_before->first == frame) return at_or_before->second;
    const long double f0 = at_or_before->first, w0 = at_or_before->second;
    const long double f1 = after->first, w1 = after->second;
    return static_cast<float>((w1 - w0) / (f1 - f0) * (frame - f0) + w0);
}

// ---- one session ----

class RandomSession {
public:
    RandomSession(ObjectLibrary& library, uint32_t seed) : library_(library), random_(seed) {
        library_.set_changing_version(0);
        baseline_ = project_from_state(state_);
    }

    // Runs one random command and returns its description.
    std::string step() {
        const uint32_t roll = pick(1000);
        if (roll < 40) return load_source();
        if (roll < 160) return load_target();
        if (roll < 190) return remove_target_op();
        if (roll < 380) return type_weight();
        if (roll < 560) return make_key_op();
        if (roll < 650) return delete_key_op();
        if (roll < 820) return change_frame();
        if (roll < 860) return change_max_frame();
        if (roll < 940) return spinner_release();
        if (roll < 955) return save();
        if (roll < 970) return load_project();
        if (roll < 980) return new_project();
        return change_object_file();
    }

    void check() {
        check_invariants();
        check_against_model();
    }

private:
    uint32_t pick(uint32_t n) { return static_cast<uint32_t>(random_() % n); }
    uint32_t object_count() const { return static_cast<uint32_t>(library_.objects().size()); }
    int pick_target() { return 1 + static_cast<int>(pick(kTargetCount)); }

    // A weight as a field may hold it: usually two decimals, sometimes more (cut by a save).
    float pick_weight() {
        if (pick(4) == 0) return static_cast<float>(pick(100000)) / 1000.0f;
        return static_cast<float>(pick(10001)) / 100.0f;
    }

    // What frame mode does after the frame or the keys changed: every loaded target's field
    // takes the weight of its keys at the current frame.
    void frame_mode() {
        for (int k = 1; k <= kTargetCount; ++k) {
            if (!state_.target_loaded(k)) continue;
            const FrameEvaluation at = evaluate_track(state_.slots[k].keys, state_.current_frame);
            const float expected = model_weight_at(model_.targets[k].keys, state_.current_frame);
            EXPECT_NEAR(expected, at.weight, 1e-3f * (1.0f + std::abs(expected)))
                << "target " << k << " at frame " << state_.current_frame;
            const bool on_key = model_.targets[k].keys.count(state_.current_frame) > 0;
            const KeyCaption caption = state_.current_frame == 0 ? KeyCaption::kApplied
                                       : on_key                  ? KeyCaption::kDeleteKey
                                                                 : KeyCaption::kMakeKey;
            EXPECT_EQ(caption, at.caption)
                << "target " << k << " at frame " << state_.current_frame;
            state_.slots[k].weight = at.weight;
            model_.targets[k].weight = at.weight;
        }
    }

    std::string load_source() {
        const ObjectRef& object = library_.objects()[pick(object_count())];
        const ReadResult* read = library_.read(object);
        const std::string what = "load source " + object.name;
        if (!read) return what + " (file gone)";
        install_source(state_, library_.path(object.file), *read);
        model_.source_loaded = true;
        model_.source_path = library_.path(object.file);
        model_.source_name = object.name;
        model_.source_positions = read->vertices;
        for (int k = 1; k <= kTargetCount; ++k) {
            model_.targets[k].loaded = false;
            model_.targets[k].keys.clear();
        }
        model_.modified = 1;
        return what;
    }

    std::string load_target() {
        const int k = pick_target();
        const ObjectRef& object = library_.objects()[pick(object_count())];
        const std::string what = "load target " + std::to_string(k) + " " + object.name;
        if (!state_.source_loaded()) return what + " (no source)";
        const ReadResult* read = library_.read(object);
        if (!read) return what + " (file gone)";
        // The slot command refuses another vertex count before anything changes.
        if (read->vertex_count != state_.vertex_count) return what + " (refused)";
        install_target(state_, k, library_.path(object.file), *read);
        state_.slots[k].weight = 0.0f;  // the field reads 0.0
        ModelTarget& target = model_.targets[k];
        target.loaded = true;
        target.path = library_.path(object.file);
        target.name = object.name;
        target.positions = read->vertices;
        target.keys = {{0, 0.0f}};
        target.weight = 0.0f;
        model_.modified = 1;
        return what;
    }

    std::string remove_target_op() {
        const int k = pick_target();
        const std::string what = "remove target " + std::to_string(k);
        if (!state_.target_loaded(k)) return what + " (empty)";
        remove_target(state_, k);
        model_.targets[k].loaded = false;
        model_.targets[k].keys.clear();
        model_.modified = 1;
        return what;
    }

    // Typing previews a weight without touching keys; leaving the field keys it.
    std::string type_weight() {
        const int k = pick_target();
        const float w = pick_weight();
        const std::string what = "type " + std::to_string(w) + " into target " + std::to_string(k);
        if (!state_.target_loaded(k)) return what + " (empty)";
        state_.slots[k].weight = w;
        model_.targets[k].weight = w;
        if (pick(3) == 0) return what + " (still typing)";
        const bool keyed = set_key_weight_at_current_frame(state_, k, w);
        apply_model_weight(k, w, keyed);
        return what + " and leave";
    }

    std::string spinner_release() {
        const int k = pick_target();
        const auto w = static_cast<float>(pick(101));
        const std::string what =
            "spin target " + std::to_string(k) + " to " + std::to_string(static_cast<int>(w));
        if (!state_.target_loaded(k)) return what + " (empty)";
        state_.slots[k].weight = w;
        model_.targets[k].weight = w;
        const bool keyed = set_key_weight_at_current_frame(state_, k, w);
        apply_model_weight(k, w, keyed);
        return what;
    }

    void apply_model_weight(int k, float w, bool keyed) {
        std::map<int32_t, float>& keys = model_.targets[k].keys;
        const auto key = keys.find(model_.current_frame);
        EXPECT_EQ(key != keys.end(), keyed) << "a key on the current frame";
        if (key == keys.end()) return;
        if (key->second != w) model_.modified = 1;
        key->second = w;
    }

    std::string make_key_op() {
        const int k = pick_target();
        const std::string what =
            "make key " + std::to_string(k) + " at " + std::to_string(state_.current_frame);
        const bool made = make_key_at_current_frame(state_, k);
        ModelTarget& target = model_.targets[k];
        if (!target.loaded) {
            EXPECT_FALSE(made);
            return what + " (empty)";
        }
        const bool fresh = target.keys.count(model_.current_frame) == 0;
        EXPECT_EQ(fresh, made);
        if (fresh) target.keys[model_.current_frame] = target.weight;
        model_.modified = 1;
        return what;
    }

    std::string delete_key_op() {
        const int k = pick_target();
        const std::string what =
            "delete key " + std::to_string(k) + " at " + std::to_string(state_.current_frame);
        const bool removed = delete_key_at_current_frame(state_, k);
        ModelTarget& target = model_.targets[k];
        if (!target.loaded) {
            EXPECT_FALSE(removed);
            return what + " (empty)";
        }
        const bool present = model_.current_frame != 0 && target.keys.count(model_.current_frame);
        EXPECT_EQ(present, removed);
        if (present) target.keys.erase(model_.current_frame);
        model_.modified = 1;
        if (removed) frame_mode();
        return what;
    }

    std::string change_frame() {
        // mostly onto or next to existing keys, where the edits have something to find
        int32_t f = static_cast<int32_t>(pick(static_cast<uint32_t>(model_.max_frame) + 11)) - 5;
        if (pick(2) == 0) f = static_cast<int32_t>(pick(12)) * 5;
        set_current_frame(state_, f);
        model_.current_frame = std::clamp(f, 0, model_.max_frame);
        frame_mode();
        return "go to frame " + std::to_string(f);
    }

    std::string change_max_frame() {
        const int32_t m = static_cast<int32_t>(pick(160)) - 2;
        const bool taken = set_max_frame(state_, m);
        EXPECT_EQ(m >= 1, taken);
        if (taken) {
            if (m != model_.max_frame) model_.modified = 1;
            model_.max_frame = m;
            model_.current_frame = std::min(model_.current_frame, m);
            frame_mode();
        }
        return "set maximum frame " + std::to_string(m);
    }

    std::string save() {
        const int n = static_cast<int>(pick(3));
        const std::string what = "save p" + std::to_string(n);
        if (!state_.source_loaded()) return what + " (empty project)";
        const ProjectData data = project_from_state(state_);
        const SaveOutcome saved = save_project_file(library_.project_file(n), data);
        EXPECT_TRUE(saved.ok) << saved.reason.en;
        if (!saved.ok) return what;
        state_.modified = 0;  // as the save command does after a successful write
        model_.modified = 0;
        baseline_ = data;
        saved_[n] = std::make_unique<Model>(model_);

        // What was written reads back to the same slots, names, paths and keys.
        ProjectData back;
        const ParseOutcome parsed = read_project_file(library_.project_file(n), back);
        EXPECT_TRUE(parsed.ok) << parsed.reason.en;
        ProjectData expected = data;
        for (ProjectTarget& target : expected.targets) {
            for (float& w : target.keys.weights) w = testing::weight_after_save(w);
        }
        EXPECT_TRUE(testing::same_project(expected, back)) << write_project_text(back);
        return what;
    }

    std::string load_project() {
        const int n = static_cast<int>(pick(3));
        const std::string what = "load p" + std::to_string(n);
        if (!saved_[n]) return what + " (never saved)";
        ProjectData project;
        const ParseOutcome parsed = read_project_file(library_.project_file(n), project);
        EXPECT_TRUE(parsed.ok) << parsed.reason.en;
        if (!parsed.ok) return what;
        const PreparedProject prepared = prepare_project(project);

        const Model& saved = *saved_[n];
        const ReadResult* source = library_.read(saved.source_path, saved.source_name);
        EXPECT_EQ(source == nullptr, !prepared.refusal.empty()) << prepared.refusal.en;
        if (!prepared.refusal.empty()) return what + " (refused: the source file is gone)";
        apply_project(state_, project, prepared);

        // The model: what was saved, weights to two decimals, less the targets whose object
        // is gone or has another vertex count than the source now has.
        Model loaded = saved;
        loaded.source_positions = source->vertices;
        size_t warnings = 0;
        for (int k = 1; k <= kTargetCount; ++k) {
            ModelTarget& target = loaded.targets[k];
            target.weight = model_.targets[k].weight;  // the fields keep their texts
            if (!target.loaded) continue;
            const ReadResult* read = library_.read(target.path, target.name);
            if (!read || read->vertex_count != source->vertex_count) {
                target.loaded = false;
                target.keys.clear();
                ++warnings;
                continue;
            }
            target.positions = read->vertices;
            for (auto& key : target.keys) key.second = testing::weight_after_save(key.second);
        }
        EXPECT_EQ(warnings, prepared.warnings.size());
        loaded.current_frame = std::min(model_.current_frame, loaded.max_frame);
        loaded.modified = 0;
        model_ = loaded;
        baseline_ = project_from_state(state_);
        frame_mode();
        return what;
    }

    std::string new_project() {
        clear_session(state_);
        model_.source_loaded = false;
        for (int k = 1; k <= kTargetCount; ++k) {
            model_.targets[k].loaded = false;
            model_.targets[k].keys.clear();
        }
        model_.modified = 0;
        baseline_ = project_from_state(state_);
        return "new project";
    }

    std::string change_object_file() {
        const int version = static_cast<int>(pick(kVersions));
        library_.set_changing_version(version);
        return "rewrite the changing object file as version " + std::to_string(version);
    }

    void check_invariants() {
        ASSERT_GE(state_.max_frame, 1);
        ASSERT_GE(state_.current_frame, 0);
        ASSERT_LE(state_.current_frame, state_.max_frame);
        const auto vertices = static_cast<size_t>(state_.vertex_count);
        if (state_.source_loaded()) {
            ASSERT_GT(state_.vertex_count, 0);
            ASSERT_EQ(vertices, state_.slots[0].vertices.size());
            ASSERT_EQ(vertices, state_.mesh.displayed.size());
            // made by the first smooth draw
            if (!state_.mesh.vertex_normals.empty()) {
                ASSERT_EQ(vertices, state_.mesh.vertex_normals.size());
            }
        }
        for (int k = 1; k <= kTargetCount; ++k) {
            SCOPED_TRACE("target " + std::to_string(k));
            const TargetSlot& slot = state_.slots[k];
            if (!state_.target_loaded(k)) {
                ASSERT_EQ(0, slot.loaded);
                ASSERT_TRUE(slot.vertices.empty());
                continue;
            }
            ASSERT_TRUE(state_.source_loaded()) << "a target without a source";
            ASSERT_EQ(vertices, slot.vertices.size());
            const KeyTrack& keys = slot.keys;
            ASSERT_GE(keys.count(), 1);
            ASSERT_EQ(keys.frames.size(), keys.weights.size());
            ASSERT_EQ(0, keys.frames[0]);
            for (size_t i = 1; i < keys.frames.size(); ++i) {
                ASSERT_LT(keys.frames[i - 1], keys.frames[i]) << "key " << i;
            }
        }
        // No unsaved recorded change hides behind a clear flag.
        if (state_.modified == 0) {
            ASSERT_TRUE(testing::same_project(baseline_, project_from_state(state_)))
                << "unsaved changes with a clear modified flag";
        }
    }

    void check_against_model() {
        ASSERT_EQ(model_.modified, state_.modified);
        ASSERT_EQ(model_.current_frame, state_.current_frame);
        ASSERT_EQ(model_.max_frame, state_.max_frame);
        ASSERT_EQ(model_.source_loaded, state_.source_loaded());
        if (!model_.source_loaded) return;
        ASSERT_EQ(model_.source_path, state_.slots[0].path);
        ASSERT_EQ(model_.source_name, state_.slots[0].name);
        ASSERT_EQ(model_.source_positions.size(), static_cast<size_t>(state_.vertex_count));
        for (int k = 1; k <= kTargetCount; ++k) {
            SCOPED_TRACE("target " + std::to_string(k));
            const ModelTarget& target = model_.targets[k];
            const TargetSlot& slot = state_.slots[k];
            ASSERT_EQ(target.loaded, state_.target_loaded(k));
            if (!target.loaded) continue;
            ASSERT_EQ(target.path, slot.path);
            ASSERT_EQ(target.name, slot.name);
            ASSERT_TRUE(testing::same_bits(target.weight, slot.weight));
            ASSERT_EQ(target.keys.size(), slot.keys.frames.size());
            size_t i = 0;
            for (const auto& [frame, weight] : target.keys) {
                ASSERT_EQ(frame, slot.keys.frames[i]) << "key " << i;
                ASSERT_TRUE(testing::same_bits(weight, slot.keys.weights[i]))
                    << "key " << i << ": " << weight << " expected, " << slot.keys.weights[i];
                ++i;
            }
            // Offsets are this target's positions less the source's.
            for (size_t v = 0; v < slot.vertices.size(); ++v) {
                ASSERT_EQ(target.positions[v].x - model_.source_positions[v].x, slot.vertices[v].x);
                ASSERT_EQ(target.positions[v].y - model_.source_positions[v].y, slot.vertices[v].y);
                ASSERT_EQ(target.positions[v].z - model_.source_positions[v].z, slot.vertices[v].z);
            }
        }
    }

    ObjectLibrary& library_;
    std::mt19937 random_;
    EditorState state_;
    Model model_;
    ProjectData baseline_;  // the project as last saved, loaded or emptied
    std::array<std::unique_ptr<Model>, 3> saved_;
};

int steps_per_session() {
    const char* steps = std::getenv("WARPKIT_SESSION_STEPS");
    const int n = steps ? std::atoi(steps) : 0;
    return n > 0 ? n : 10000;
}

class RandomSessionTest : public ::testing::TestWithParam<uint32_t> {
protected:
    // The object files are written and read once for all seeds.
    static void SetUpTestSuite() { library_ = std::make_unique<ObjectLibrary>(); }
    static void TearDownTestSuite() { library_.reset(); }
    static std::unique_ptr<ObjectLibrary> library_;
};
std::unique_ptr<ObjectLibrary> RandomSessionTest::library_;

TEST_P(RandomSessionTest, every_step_keeps_the_invariants_and_matches_the_model) {
    const uint32_t seed = GetParam();
    SCOPED_TRACE("seed " + std::to_string(seed));
    RandomSession session(*library_, seed);
    const int steps = steps_per_session();
    std::string previous = "start";
    for (int step = 0; step < steps; ++step) {
        SCOPED_TRACE("step " + std::to_string(step) + ", after " + previous);
        const std::string command = session.step();
        SCOPED_TRACE(command);
        session.check();
        if (HasFailure()) return;
        previous = command;
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomSessionTest, ::testing::Values(1u, 7u, 2026u, 90210u));

}  // namespace
}  // namespace warpkit
