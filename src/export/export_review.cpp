#include "export/export_review.h"

#include "base/texts.h"
#include "export/frame_weights.h"
#include "morph/key_track.h"

namespace warpkit::exporting {

int targets_left_out(const LoadedProject& project) {
    int left_out = 0;
    for (int k = 1; k <= kTargetCount; ++k) {
        left_out += project.data.targets[k - 1].present && !project.state.target_loaded(k);
    }
    return left_out;
}

std::string vertex_order_warning(const TargetMeasure& measure) {
    if (!measure.suspicious) return std::string();
    return format_text(
        "%d of %d vertices move by more than %.0f%% of the source's bounding-box diagonal; the "
        "target's vertices may be in another order than the source's",
        measure.far, measure.vertex_count, 100.0 * kFarShare);
}

std::string weight_range_warning(const EditorState& state, int slot, int32_t first, int32_t last) {
    // Weights change linearly between keys, so the extremes lie on these frames.
    for (int32_t frame : animation_frames(state, first, last)) {
        const float weight = evaluate_track(state.slots[slot].keys, frame).weight;
        if (weight >= 0.0f && weight <= 100.0f) continue;
        return format_text(
            "weight %.2f at frame %d is outside 0 to 100; some importers clamp morph weights "
            "to 0..1",
            static_cast<double>(weight), static_cast<int>(frame));
    }
    return std::string();
}

ExportReview review_export(const LoadedProject& project, int32_t first, int32_t last,
                           bool weights) {
    ExportReview review;
    const EditorState& state = project.state;
    review.strict_failures = targets_left_out(project);
    const std::vector<int> targets = loaded_targets(state);
    if (targets.empty()) {
        review.warnings.push_back("no target would be written");
        ++review.strict_failures;
    }
    const double diagonal = bounding_box_diagonal(state.slots[0].vertices);
    for (int k : targets) {
        const std::string order =
            vertex_order_warning(measure_target(state.slots[k].vertices, diagonal));
        if (!order.empty()) {
            review.warnings.push_back("target " + target_label(state, k) + ": " + order);
            ++review.strict_failures;
        }
        const std::string range = weights ? weight_range_warning(state, k, first, last) : "";
        if (!range.empty()) {
            review.warnings.push_back("target " + target_label(state, k) + ": " + range);
        }
    }
    return review;
}

}  // namespace warpkit::exporting
