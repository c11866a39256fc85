#include "export/check_report.h"

#include "base/texts.h"
#include "export/export_review.h"
#include "export/frame_weights.h"
#include "export/printable.h"
#include "model/qxm_reader.h"
#include "model/target_measure.h"

namespace warpkit::exporting {

namespace {

// The vertex count of the named object, for a target the load left out; -1 when unknown.
int32_t listed_vertex_count(const std::string& path, const std::string& name) {
    ObjectTable table;
    if (!read_object_table(path, table).ok()) return -1;
    for (const ObjectEntry& entry : table.objects) {
        if (entry.name == name) return entry.vertex_count;
    }
    return -1;
}

std::string keys_line(const KeyTrack& keys) {
    std::string line = "  keys:";
    for (int32_t i = 0; i < keys.count(); ++i) {
        line += format_text("%s %d %.2f", i == 0 ? "" : ",", static_cast<int>(keys.frames[i]),
                            static_cast<double>(keys.weights[i]));
    }
    return line + "\n";
}

}  // namespace

CheckReport check_report(const LoadedProject& project) {
    CheckReport report;
    const EditorState& state = project.state;
    std::string& out = report.text;
    const std::vector<Vec3>& source = state.slots[0].vertices;
    const double diagonal = bounding_box_diagonal(source);

    out += "Project " + printable(project.path) + "\n";
    out += format_text("Frames: 0 to %d\n", static_cast<int>(state.max_frame));
    out += "Source: " + printable(state.slots[0].name) + " in " + printable(state.slots[0].path) +
           "\n";
    out += format_text("  %d vertices, %d triangles, %d colours, bounding-box diagonal %.6g\n",
                       static_cast<int>(state.vertex_count), static_cast<int>(state.triangle_count),
                       static_cast<int>(state.mesh.palette_red.size()), diagonal);

    int loaded = 0;
    int present = 0;
    for (int k = 1; k <= kTargetCount; ++k) {
        const ProjectTarget& target = project.data.targets[k - 1];
        if (!target.present) {
            out += format_text("Target %d: none\n", k);
            continue;
        }
        ++present;
        out += format_text("Target %d: ", k) + printable(target.name) + " in " +
               printable(target.path) + "\n";
        if (!state.target_loaded(k)) {
            for (const TargetLoadWarning& warning : project.warnings) {
                if (warning.slot != k) continue;
                if (warning.kind == TargetLoadWarning::Kind::kVertexCount) {
                    const int32_t count = listed_vertex_count(target.path, target.name);
                    if (count >= 0) {
                        out += format_text("  vertices: %d, the source has %d\n",
                                           static_cast<int>(count),
                                           static_cast<int>(state.vertex_count));
                    }
                }
                out += "  warning: " + target_warning_text(warning) + "\n";
                ++report.warnings;
            }
            continue;
        }

        ++loaded;
        const TargetMeasure measure = measure_target(state.slots[k].vertices, diagonal);
        out +=
            format_text("  vertices: %d, as the source\n", static_cast<int>(measure.vertex_count));
        out += format_text("  moves %d of %d vertices; the largest move is %.6g", measure.moved,
                           measure.vertex_count, measure.largest);
        out += diagonal > 0.0
                   ? format_text(", %.1f%% of the diagonal\n", 100.0 * measure.largest_share)
                   : std::string(" (the source has no extent)\n");
        out += keys_line(state.slots[k].keys);
        const std::string order = vertex_order_warning(measure);
        if (!order.empty()) {
            out += "  warning: " + order + "\n";
            ++report.warnings;
            ++report.strict_failures;
        }
        const std::string range = weight_range_warning(state, k, 0, state.max_frame);
        if (!range.empty()) {
            out += "  warning: " + range + "\n";
            ++report.warnings;
        }
    }
    report.strict_failures += targets_left_out(project);
    if (loaded == 0) {
        out += "warning: no target is loaded\n";
        ++report.warnings;
        ++report.strict_failures;
    }
    out += format_text("%d of %d targets loaded, %d warning%s\n", loaded, present, report.warnings,
                       report.warnings == 1 ? "" : "s");
    return report;
}

}  // namespace warpkit::exporting
