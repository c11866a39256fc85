#include "import/animation_keys.h"

#include <algorithm>
#include <cmath>

#include "morph/key_track.h"

namespace warpkit {
namespace {

constexpr double kWholeFrame = 1e-3;
// What the stored keys may be off by at any frame, in percent, their two-decimal rounding
// (up to 0.005) included; below 0.01 by more than the float rounding still to come.
constexpr double kKeyTolerance = 0.0099;

// The time of a frame as a file holds it: a float, as the program's own export writes it, so a
// key written at a frame's time is found at that frame and not a hair after it.
double frame_time(int32_t frame, double fps) {
    return static_cast<float>(frame / fps);
}

float stored(double percent) {
    // a project file keeps two decimals
    return static_cast<float>(std::round(percent * 100.0) / 100.0);
}

// The animation of its first `count` targets only: the targets past them are not loaded, so
// neither their keys nor the check of those keys at every frame should cost anything.
WeightsAnimation first_targets(const WeightsAnimation& animation, size_t count) {
    WeightsAnimation kept = animation;
    if (animation.targets <= count) return kept;
    kept.targets = count;
    kept.values.clear();
    for (size_t row = 0; row + animation.targets <= animation.values.size();
         row += animation.targets) {
        kept.values.insert(kept.values.end(), animation.values.begin() + row,
                           animation.values.begin() + row + count);
    }
    return kept;
}

}  // namespace

double animation_weight(const WeightsAnimation& animation, size_t target, double seconds) {
    const std::vector<float>& times = animation.times;
    const size_t targets = animation.targets;
    const bool cubic = animation.interpolation == Interpolation::kCubicSpline;
    const size_t stride = cubic ? 3 : 1;
    const auto value = [&](size_t key, size_t part) {
        return static_cast<double>(animation.values[(key * stride + part) * targets + target]);
    };
    const size_t middle = cubic ? 1 : 0;
    if (seconds <= times.front()) return value(0, middle);
    if (seconds >= times.back()) return value(times.size() - 1, middle);
    const size_t next =
        static_cast<size_t>(std::upper_bound(times.begin(), times.end(), seconds) - times.begin());
    const size_t key = next - 1;
    const double span = static_cast<double>(times[next]) - times[key];
    const double t = (seconds - times[key]) / span;
    switch (animation.interpolation) {
        case Interpolation::kStep:
            return value(key, 0);
        case Interpolation::kLinear:
            return value(key, 0) + (value(next, 0) - value(key, 0)) * t;
        case Interpolation::kCubicSpline: {
            // Hermite spline: the key's value and out-tangent, the next key's value and in-tangent
            const double t2 = t * t;
            const double t3 = t2 * t;
            return (2 * t3 - 3 * t2 + 1) * value(key, 1) +
                   (t3 - 2 * t2 + t) * span * value(key, 2) + (-2 * t3 + 3 * t2) * value(next, 1) +
                   (t3 - t2) * span * value(next, 0);
        }
    }
    return 0.0;
}

double largest_key_error(const WeightsAnimation& animation, const AnimationKeys& keys, double fps) {
    double largest = 0.0;
    for (int32_t frame = 0; frame <= keys.max_frame; ++frame) {
        for (size_t j = 0; j < keys.tracks.size(); ++j) {
            const double program = evaluate_track(keys.tracks[j], frame).weight;
            const double wanted = animation_weight(animation, j, frame_time(frame, fps)) * 100.0;
            largest = std::max(largest, std::fabs(program - wanted));
        }
    }
    return largest;
}

AnimationKeys keys_from_animation(const WeightsAnimation& animation, double fps) {
    AnimationKeys keys;
    const double last = static_cast<double>(animation.times.back()) * fps;
    const double nearest_last = std::round(last);
    const double frames =
        std::fabs(last - nearest_last) <= kWholeFrame ? nearest_last : std::ceil(last);
    if (!(frames <= static_cast<double>(INT32_MAX))) {
        keys.problem = {"アニメーションが 2147483647 フレームのタイムラインより長く続きます",
                        "the animation lasts longer than a timeline of 2147483647 frames"};
        return keys;
    }
    keys.max_frame = std::max<int32_t>(1, static_cast<int32_t>(frames));
    keys.tracks.resize(animation.targets);

    // keys kept: every key on a whole frame, each on a frame of its own
    bool keep = animation.interpolation == Interpolation::kLinear;
    std::vector<int32_t> key_frames;
    for (size_t k = 0; keep && k < animation.times.size(); ++k) {
        const double at = static_cast<double>(animation.times[k]) * fps;
        const double whole = std::round(at);
        keep = std::fabs(at - whole) <= kWholeFrame && whole >= 0.0 &&
               (key_frames.empty() || whole > key_frames.back());
        if (keep) key_frames.push_back(static_cast<int32_t>(whole));
    }
    const auto too_large = [&keys]() {
        for (const KeyTrack& track : keys.tracks) {
            for (const float weight : track.weights) {
                if (!(std::fabs(weight) <= kMaxKeptPercent)) return true;
            }
        }
        return false;
    };
    if (keep) {
        for (size_t j = 0; j < animation.targets; ++j) {
            KeyTrack& track = keys.tracks[j];
            // the first key is held back to frame 0
            if (key_frames.front() > 0) {
                track.frames.push_back(0);
                track.weights.push_back(stored(animation.values[j] * 100.0));
            }
            for (size_t k = 0; k < key_frames.size(); ++k) {
                track.frames.push_back(key_frames[k]);
                track.weights.push_back(
                    stored(animation.values[k * animation.targets + j] * 100.0));
            }
        }
        if (!too_large() && largest_key_error(animation, keys, fps) <= kKeyTolerance) return keys;
    }

    // sampled at every frame
    keys.sampled = true;
    for (size_t j = 0; j < animation.targets; ++j) {
        KeyTrack& track = keys.tracks[j];
        track.clear();
        for (int32_t frame = 0; frame <= keys.max_frame; ++frame) {
            track.frames.push_back(frame);
            track.weights.push_back(
                stored(animation_weight(animation, j, frame_time(frame, fps)) * 100.0));
        }
    }
    if (too_large()) {
        keys.tracks.clear();
        keys.problem = format_both({"アニメーションのウェイトが %d パーセントを超え、キーでは 0.01 "
                                    "パーセントの精度を保てません",
                                    "the animation reaches weights beyond %d percent, which keys "
                                    "cannot keep to 0.01 percent"},
                                   static_cast<int>(kMaxKeptPercent));
    }
    return keys;
}

AnimationKeys keys_from_default_weights(const std::vector<float>& weights, size_t targets) {
    AnimationKeys keys;
    keys.tracks.resize(targets);
    for (size_t j = 0; j < targets; ++j) {
        const double percent = j < weights.size() ? static_cast<double>(weights[j]) * 100.0 : 0.0;
        if (!(std::fabs(percent) <= kMaxKeptPercent)) {
            keys.tracks.clear();
            keys.problem = format_both(
                {"モーフターゲット %zu の既定のウェイトは %g パーセントで、キーで 0.01 パーセントの"
                 "精度を保てる %d パーセントを超えています",
                 "morph target %zu has a default weight of %g percent, beyond the %d percent "
                 "keys keep to 0.01 percent"},
                j + 1, percent, static_cast<int>(kMaxKeptPercent));
            return keys;
        }
        keys.tracks[j].frames = {0};
        keys.tracks[j].weights = {stored(percent)};
    }
    return keys;
}

std::vector<size_t> animations_of(const ImportedScene& scene, size_t mesh) {
    std::vector<size_t> found;
    for (size_t a = 0; a < scene.animations.size(); ++a) {
        if (scene.animations[a].mesh == mesh) found.push_back(a);
    }
    return found;
}

bool animates(const ImportedScene& scene, size_t mesh) {
    return !animations_of(scene, mesh).empty();
}

double animation_frames(const WeightsAnimation& animation, double fps) {
    const double last = static_cast<double>(animation.times.back()) * fps;
    return std::max(1.0, std::ceil(last - kWholeFrame)) + 1.0;
}

AnimationKeys keys_for_mesh(const ImportedScene& scene, size_t mesh,
                            std::optional<size_t> animation, size_t targets, double fps) {
    if (!animation) return keys_from_default_weights(scene.meshes[mesh].weights, targets);
    const WeightsAnimation& taken = scene.animations.at(*animation);
    AnimationKeys keys;
    const double frames = animation_frames(taken, fps);
    if (!(frames <= static_cast<double>(kMaxAnimationFrames))) {
        const long long most = static_cast<long long>(kMaxAnimationFrames);
        keys.problem = {format_text("アニメーションは毎秒 %g フレームで %.0f フレーム続き、"
                                    "アニメーションの上限 %lld フレームを超えています",
                                    fps, frames, most),
                        format_text("the animation lasts %.0f frames at %g frames a second, more "
                                    "than the %lld an animation may have",
                                    frames, fps, most)};
        return keys;
    }
    keys = keys_from_animation(first_targets(taken, targets), fps);
    if (!keys.problem.empty()) {
        keys.problem.ja += format_text("（毎秒 %g フレーム）", fps);
        keys.problem.en += format_text(" at %g frames a second", fps);
    }
    return keys;
}

}  // namespace warpkit
