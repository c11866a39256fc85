#pragma once
// A glTF weights animation as the program's keys: per target a track of (frame, weight in
// percent), linear between keys and held before the first and after the last, on a timeline of
// frames 0 .. max_frame at a given number of frames a second.
//
// A linear animation whose keys all lie within 1e-3 of a whole frame keeps its keys (weight x
// 100); otherwise, and for step and cubic-spline animations, the animation is sampled at every
// frame. Kept keys are checked: the weight they give at every frame, as a project stores it
// (two decimals), must lie within 0.01 percent of the animation's, else they are given up for
// samples, whose only error is that rounding.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/bilingual_text.h"
#include "base/editor_state.h"
#include "import/imported_scene.h"

namespace warpkit {

// Weight of `target` (a fraction) at `seconds`, as glTF defines the interpolation: held before
// the first and after the last key; steps hold a key's value until the next key.
double animation_weight(const WeightsAnimation& animation, size_t target, double seconds);

// Beyond this many percent a float weight cannot be kept to 0.01 percent.
constexpr double kMaxKeptPercent = 10000.0;

struct AnimationKeys {
    int32_t max_frame = 1;         // the last frame the animation reaches (at least 1)
    std::vector<KeyTrack> tracks;  // one per target of the animation, weights in percent
    bool sampled = false;          // true: a key at every frame
    // Set (and the tracks empty) when the animation cannot become keys: it lasts longer than
    // a timeline of 32-bit frames, or reaches weights beyond kMaxKeptPercent.
    BilingualText problem;
};

// Precondition: animation.times is not empty and strictly increasing; fps > 0.
AnimationKeys keys_from_animation(const WeightsAnimation& animation, double fps);

// The keys of a mesh shown without an animation: each of `targets` tracks holds its target's
// default weight (glTF mesh.weights, a fraction; 0 where the list ends) from frame 0. A weight
// beyond kMaxKeptPercent, or not a number, is the problem (and the tracks empty), as for an
// animation.
AnimationKeys keys_from_default_weights(const std::vector<float>& weights, size_t targets);

// The frames a weights animation is keyed at unless the user says otherwise.
constexpr double kDefaultKeyRate = 30.0;

// The most frames an animation may become: as many as the program's own export samples at
// most, so whatever is keyed can be exported again; checked before any key is made.
constexpr int64_t kMaxAnimationFrames = int64_t{1} << 24;

// The indices into scene.animations of the animations that drive mesh `mesh`, in file order.
std::vector<size_t> animations_of(const ImportedScene& scene, size_t mesh);

// Whether any of the scene's weights animations drives mesh `mesh`.
bool animates(const ImportedScene& scene, size_t mesh);

// How many frames a timeline keying `animation` at `fps` has, 0 to the last frame the animation
// reaches, counted as keys_from_animation counts them. Cheap: no key is made.
double animation_frames(const WeightsAnimation& animation, double fps);

// The keys a mesh of an imported scene brings to its first `targets` targets (the ones loaded):
// those of `animation` (an index into scene.animations, of an animation of this mesh) at `fps`,
// or without one the mesh's default weights at frame 0. The targets past them are left out of
// the work. An animation longer than kMaxAnimationFrames is the problem before any key is made;
// every problem names the frame rate where it matters.
AnimationKeys keys_for_mesh(const ImportedScene& scene, size_t mesh,
                            std::optional<size_t> animation, size_t targets, double fps);

// The largest difference, in percent, between the tracks' weights (rounded to two decimals, as
// a project file keeps them) and the animation's at every frame 0 .. max_frame.
double largest_key_error(const WeightsAnimation& animation, const AnimationKeys& keys, double fps);

}  // namespace warpkit
