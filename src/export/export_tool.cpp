#include "export/export_tool.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <ostream>

#include "base/display_text.h"
#include "base/input_file.h"
#include "base/texts.h"
#include "export/check_report.h"
#include "export/command_line.h"
#include "export/compressed_views.h"
#include "export/export_review.h"
#include "export/frame_weights.h"
#include "export/gltf_file.h"
#include "export/gltf_model.h"
#include "export/gltf_onto.h"
#include "export/match_command.h"
#include "export/obj_frames.h"
#include "export/object_listing.h"
#include "export/point_cache.h"
#include "export/printable.h"
#include "export/progress.h"
#include "export/project_command.h"
#include "export/project_load.h"
#include "export/qxm_command.h"
#include "import/any_object_reader.h"
#include "model/qxm_reader.h"
#include "session/project_session.h"

namespace warpkit::exporting {

namespace {

constexpr const char* kProgram = "warpkit-export: ";
constexpr int32_t kEnglish = 2;
// glTF players promise to animate this many morphed attributes (positions, normals) at least.
constexpr size_t kPromisedMorphedAttributes = 8;
// Without --frames, obj writes the whole timeline unless that makes more files than this.
constexpr int64_t kMostObjFilesUnasked = 100000;

// Messages may quote names the core put in (a refusal of the loader, a target's warning), so the
// whole line is made printable, not only the names this file adds.
int refuse(std::ostream& err, const std::string& message) {
    err << kProgram << printable(message) << "\n";
    return kExitRefused;
}

void warn(std::ostream& err, const std::string& message) {
    err << kProgram << "warning: " << printable(message) << "\n";
}

// Why a file cannot be opened, in the system's words; empty when it can.
std::string open_problem(const std::string& path) {
    const InputFile input = InputFile::open(path);
    return input.is_open() ? std::string() : input.cause().en;
}

}  // namespace

std::string object_file_refusal(const ReadOutcome& outcome, const std::string& path) {
    switch (outcome.status) {
        case ReadStatus::kBadMagic:
            return printable(path) + ": " + pick(kEnglish, texts::kFormatRefusal.text);
        case ReadStatus::kDamaged:
        case ReadStatus::kNotImported:
            return read_failure_message(outcome, path, kEnglish).text;
        case ReadStatus::kCannotOpen: {
            const std::string words = read_failure_words(outcome, path, std::string()).en;
            const std::string why = outcome.reason.empty() ? open_problem(path) : std::string();
            return why.empty() ? words : words + ": " + why;
        }
        case ReadStatus::kOk:
        case ReadStatus::kCancelled:
        case ReadStatus::kNameNotFound:
            break;
    }
    return read_failure_words(outcome, path, outcome.object_name).en;
}

namespace {

int run_info(const CommandLine& line, std::ostream& out, std::ostream& err) {
    if (object_file_kind(line.input) != ObjectFileKind::kQxm) {
        ImportedScene scene;
        const ImportOutcome read = read_mesh_file(line.input, scene);
        if (!read.ok) {
            return refuse(err, printable(line.input) + " cannot be imported: " + read.reason.en);
        }
        out << scene_listing(line.input, scene);
        return kExitDone;
    }
    ObjectTable table;
    const ReadOutcome outcome = read_object_table(line.input, table);
    if (!outcome.ok()) return refuse(err, object_file_refusal(outcome, line.input));
    out << object_listing(line.input, table);
    return kExitDone;
}

// An object file handed to a command that wants a project: the project parser's words about
// its first line would not tell the user what went wrong.
bool is_object_file(const std::string& path) {
    ObjectTable table;
    const ReadStatus status = read_object_table(path, table).status;
    return status == ReadStatus::kOk || status == ReadStatus::kDamaged;
}

// Loads the project; says why it is refused, or warns of each target left out, on `err`.
bool load(const CommandLine& line, LoadedProject& project, std::ostream& err,
          bool warn_of_targets) {
    const ProjectLoadOutcome outcome = load_project(line.input, project);
    if (!outcome.ok) {
        if (is_object_file(line.input)) {
            const std::string file = printable(line.input);
            refuse(err, file + " is an object file, not a project file; 'warpkit-export info " +
                            file + "' lists its objects");
        } else {
            refuse(err, outcome.refusal);
        }
        return false;
    }
    for (const std::string& change : project.repairs) {
        warn(err, printable(project.path) + ": " + change);
    }
    if (warn_of_targets) {
        for (const TargetLoadWarning& warning : project.warnings) {
            warn(err, target_warning_text(warning));
        }
    }
    return true;
}

// The frames an export covers: those asked for, or the whole timeline.
struct FrameRange {
    int32_t first = 0;
    int32_t last = 0;
};

FrameRange export_range(const CommandLine& line, const LoadedProject& project) {
    if (line.frames_given) return {line.first_frame, line.last_frame};
    return {0, project.state.max_frame};
}

// The program's timeline runs from 0 to the maximum frame; a frame past it is never shown, so
// asking for one is a mistake in the command line.
int frames_past_end(std::ostream& err, const LoadedProject& project, int32_t first, int32_t last) {
    const int32_t max = project.state.max_frame;
    const std::string asked = first == last
                                  ? "frame " + std::to_string(first)
                                  : "frames " + std::to_string(first) + ".." + std::to_string(last);
    err << kProgram << printable(project.path) << ": " << asked << " go"
        << (first == last ? "es" : "") << " past the last frame " << max << "\n";
    return kExitUsage;
}

std::string under_strict(int problems) {
    return std::to_string(problems) + " problem" + (problems == 1 ? "" : "s") + " under --strict";
}

// Prints the review's warnings; under --strict, a review with failures stops the command
// before anything is written.
bool passes_review(const CommandLine& line, const ExportReview& review, std::ostream& err) {
    for (const std::string& warning : review.warnings) warn(err, warning);
    if (!line.strict || review.strict_failures == 0) return true;
    refuse(err,
           printable(line.input) + ": nothing written: " + under_strict(review.strict_failures));
    return false;
}

int run_check(const CommandLine& line, std::ostream& out, std::ostream& err) {
    LoadedProject project;
    if (!load(line, project, err, false)) return kExitRefused;
    const CheckReport report = check_report(project);
    out << report.text;
    if (line.strict && report.strict_failures > 0) {
        return refuse(err, printable(line.input) + ": " + under_strict(report.strict_failures));
    }
    return kExitDone;
}

int run_gltf(const CommandLine& line, std::ostream& out, std::ostream& err) {
    LoadedProject project;
    if (!load(line, project, err, true)) return kExitRefused;
    const FrameRange range = export_range(line, project);
    if (range.last > project.state.max_frame) {
        return frames_past_end(err, project, range.first, range.last);
    }
    if (!line.onto.empty()) return run_gltf_onto(line, project, range.first, range.last, out, err);
    const size_t targets = loaded_targets(project.state).size();
    GltfOptions options;
    options.fps = line.fps;
    // glTF text is UTF-8; a file name in another encoding is shown as display_text makes it.
    options.animation_name = display_text(std::filesystem::path(line.input).stem().string());
    options.first_frame = range.first;
    options.last_frame = range.last;
    options.step = line.step;
    options.normals = line.normals;
    options.smooth_angle = line.smooth_angle;
    options.naming = line.names;
    std::optional<Progress> building;
    if (line.show_progress) building.emplace(err, "building glTF", static_cast<int64_t>(targets));
    GltfBuild build = build_gltf_model(project.state, options, building ? &*building : nullptr);
    if (building) building->finish();
    if (!build.ok) {
        return refuse(err, printable(line.input) + ": cannot export: " + build.problem);
    }

    // Warnings come once the model is known to be sound, and --strict stops before writing.
    ExportReview review = review_export(project, range.first, range.last, true);
    const size_t morphed = targets * (line.normals ? 2 : 1);
    if (morphed > kPromisedMorphedAttributes) {
        review.warnings.push_back(format_text(
            "%zu targets with normals make %zu morphed attributes; glTF players only promise %zu",
            targets, morphed, kPromisedMorphedAttributes));
        ++review.strict_failures;
    }
    if (!passes_review(line, review, err)) return kExitRefused;
    for (const std::string& renamed : build.renamed) err << kProgram << printable(renamed) << "\n";

    size_t compressed = 0;
    if (line.compress) {
        std::optional<Progress> compressing;
        if (line.show_progress) {
            compressing.emplace(err, "compressing",
                                static_cast<int64_t>(build.model.bufferViews.size()));
        }
        compressed = compress_buffer_views(build.model, build.layouts,
                                           compressing ? &*compressing : nullptr);
        if (compressing) compressing->finish();
    }
    const FileOutcome written = write_gltf_file(build.model, line.output);
    if (!written.ok) {
        return refuse(err, "cannot write " + written.reason.en);
    }

    const std::vector<int32_t>& frames = build.frames;
    out << "wrote " << printable(line.output);
    if (is_gltf_text_path(line.output)) out << " and " << printable(bin_path_for(line.output));
    out << format_text(": %zu morph target%s%s, %zu key%s over %g s", targets,
                       targets == 1 ? "" : "s", line.normals && targets > 0 ? " with normals" : "",
                       targets > 0 ? frames.size() : 0,
                       targets > 0 && frames.size() == 1 ? "" : "s",
                       targets > 0 ? (frames.back() - frames.front()) / line.fps : 0.0);
    if (build.sparse_accessors > 0) out << format_text(", %d sparse", build.sparse_accessors);
    if (line.compress) {
        out << format_text(", %zu of %zu buffer views compressed", compressed,
                           build.model.bufferViews.size());
    }
    out << "\n";
    return kExitDone;
}

int run_obj(const CommandLine& line, std::ostream& out, std::ostream& err) {
    LoadedProject project;
    if (!load(line, project, err, true)) return kExitRefused;
    const FrameRange range = export_range(line, project);
    if (range.last > project.state.max_frame) {
        return frames_past_end(err, project, range.first, range.last);
    }
    const int32_t step = line.step > 0 ? line.step : 1;
    const int64_t count = stepped_frame_count(range.first, range.last, step);
    if (!line.frames_given && count > kMostObjFilesUnasked) {
        err << kProgram << printable(line.input) << ": the timeline 0.." << range.last
            << " would make " << count << " files; choose the frames with --frames A..B"
            << " (see warpkit-export --help)\n";
        return kExitUsage;
    }
    if (!passes_review(line, review_export(project, range.first, range.last, false), err)) {
        return kExitRefused;
    }

    std::optional<Progress> progress;
    if (line.show_progress) progress.emplace(err, "writing frames", count);
    const ObjExport result = write_obj_frames(project.state, range.first, range.last, step,
                                              line.output, progress ? &*progress : nullptr);
    if (progress) progress->finish();
    if (!result.ok) return refuse(err, printable(line.input) + ": " + result.problem);
    out << "wrote " << result.written << " frame" << (result.written == 1 ? "" : "s")
        << (result.palette_written ? std::string(" and ") + kPaletteFileName : std::string())
        << " to " << printable(line.output) << "\n";
    return kExitDone;
}

// pc2 and mdd: the frames obj would write, as one file of points.
int run_point_cache(const CommandLine& line, std::ostream& out, std::ostream& err) {
    LoadedProject project;
    if (!load(line, project, err, true)) return kExitRefused;
    const FrameRange range = export_range(line, project);
    if (range.last > project.state.max_frame) {
        return frames_past_end(err, project, range.first, range.last);
    }
    if (!passes_review(line, review_export(project, range.first, range.last, false), err)) {
        return kExitRefused;
    }
    CacheFrames frames;
    frames.first = range.first;
    frames.last = range.last;
    frames.step = line.step > 0 ? line.step : 1;
    frames.fps = line.fps;
    const CacheFormat format =
        line.command == Command::kPc2 ? CacheFormat::kPc2 : CacheFormat::kMdd;
    std::optional<Progress> progress;
    if (line.show_progress) {
        progress.emplace(err, "writing frames",
                         stepped_frame_count(frames.first, frames.last, frames.step));
    }
    const CacheExport result = write_point_cache(project.state, format, frames, line.output,
                                                 progress ? &*progress : nullptr);
    if (progress) progress->finish();
    if (!result.ok) return refuse(err, printable(line.input) + ": " + result.problem);
    out << "wrote " << printable(line.output)
        << format_text(": %lld frame%s of %zu points, frames %d to %d\n",
                       static_cast<long long>(result.frames), result.frames == 1 ? "" : "s",
                       project.state.mesh.displayed.size(), static_cast<int>(frames.first),
                       static_cast<int>(frames.first + (result.frames - 1) * frames.step));
    return kExitDone;
}

int run_weights(const CommandLine& line, std::ostream& out, std::ostream& err) {
    LoadedProject project;
    if (!load(line, project, err, true)) return kExitRefused;
    if (line.frame > project.state.max_frame) {
        return frames_past_end(err, project, line.frame, line.frame);
    }
    const SlotWeights weights = weights_at(project.state, line.frame);
    for (int k : loaded_targets(project.state)) {
        out << printable(target_label(project.state, k))
            << format_text(" %.2f\n", static_cast<double>(weights[k]));
    }
    return kExitDone;
}

}  // namespace

int run_export_tool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    bool err_is_terminal) {
    const ParsedCommandLine parsed = parse_command_line(args);
    if (!parsed.ok) {
        err << kProgram << printable(parsed.problem) << " (see warpkit-export --help)\n";
        return kExitUsage;
    }
    CommandLine line = parsed.line;
    line.show_progress = err_is_terminal;
    switch (line.command) {
        case Command::kHelp:
            out << kUsageText;
            return kExitDone;
        case Command::kInfo:
            return run_info(line, out, err);
        case Command::kCheck:
            return run_check(line, out, err);
        case Command::kGltf:
            return run_gltf(line, out, err);
        case Command::kObj:
            return run_obj(line, out, err);
        case Command::kWeights:
            return run_weights(line, out, err);
        case Command::kMatch:
            return run_match(line, out, err);
        case Command::kQxm:
            return run_qxm_command(line, out, err);
        case Command::kProject:
            return run_project_command(line, out, err);
        case Command::kPc2:
        case Command::kMdd:
            return run_point_cache(line, out, err);
    }
    return kExitUsage;
}

}  // namespace warpkit::exporting
