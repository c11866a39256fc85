#include "export/export_tool.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ostream>

#include "app/texts.h"
#include "export/check_report.h"
#include "export/command_line.h"
#include "export/frame_weights.h"
#include "export/gltf_file.h"
#include "export/gltf_model.h"
#include "export/obj_frames.h"
#include "export/object_listing.h"
#include "export/progress.h"
#include "export/project_command.h"
#include "export/project_load.h"
#include "export/qxm_command.h"
#include "model/qxm_reader.h"
#include "project/project_session.h"

namespace warpkit::exporting {

namespace {

constexpr const char* kProgram = "warpkit-export: ";
constexpr int32_t kEnglish = 2;

int refuse(std::ostream& err, const std::string& message) {
    err << kProgram << message << "\n";
    return kExitRefused;
}

// Why a file cannot be opened, in the system's words; empty when it can.
std::string open_problem(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return std::strerror(errno);
    std::fclose(file);
    return std::string();
}

// The program's words for an object file it refuses, naming the file.
std::string object_file_refusal(const ReadOutcome& outcome, const std::string& path) {
    switch (outcome.status) {
        case ReadStatus::kBadMagic:
            return display_text(path) + ": " + pick(kEnglish, texts::kFormatRefusal.text);
        case ReadStatus::kDamaged:
        case ReadStatus::kNotImported:
            return read_failure_message(outcome, path, kEnglish).text;
        case ReadStatus::kCannotOpen: {
            const std::string words = read_failure_words(outcome, path, std::string());
            const std::string why = open_problem(path);
            return why.empty() ? words : words + ": " + why;
        }
        case ReadStatus::kOk:
        case ReadStatus::kCancelled:
        case ReadStatus::kNameNotFound:
            break;
    }
    return read_failure_words(outcome, path, std::string());
}

int run_info(const CommandLine& line, std::ostream& out, std::ostream& err) {
    ObjectTable table;
    const ReadOutcome outcome = read_object_table(line.input, table);
    if (!outcome.ok()) return refuse(err, object_file_refusal(outcome, line.input));
    out << object_listing(line.input, table);
    return kExitDone;
}

// Loads the project; says why it is refused, or warns of each target left out, on `err`.
bool load(const CommandLine& line, LoadedProject& project, std::ostream& err, bool warn) {
    const ProjectLoadOutcome outcome = load_project(line.input, project);
    if (!outcome.ok) {
        refuse(err, outcome.refusal);
        return false;
    }
    if (warn) {
        for (const TargetLoadWarning& warning : project.warnings) {
            err << kProgram << "warning: " << target_warning_text(warning) << "\n";
        }
    }
    return true;
}

// The program's timeline runs from 0 to the maximum frame; a frame past it is never shown.
std::string frames_problem(const LoadedProject& project, int32_t first, int32_t last) {
    const int32_t max = project.state.max_frame;
    if (last <= max) return std::string();
    const std::string asked = first == last
                                  ? "frame " + std::to_string(first)
                                  : "frames " + std::to_string(first) + ".." + std::to_string(last);
    return display_text(project.path) + ": " + asked + " go" + (first == last ? "es" : "") +
           " past the last frame " + std::to_string(max);
}

int run_check(const CommandLine& line, std::ostream& out, std::ostream& err) {
    LoadedProject project;
    if (!load(line, project, err, false)) return kExitRefused;
    out << check_report(project).text;
    return kExitDone;
}

int run_gltf(const CommandLine& line, std::ostream& out, std::ostream& err) {
    LoadedProject project;
    if (!load(line, project, err, true)) return kExitRefused;
    GltfOptions options;
    options.fps = line.fps;
    // glTF text is UTF-8; a file name in another encoding is shown as display_text makes it.
    options.animation_name = display_text(std::filesystem::path(line.input).stem().string());
    const size_t targets = loaded_targets(project.state).size();
    Progress progress(err, "building glTF", static_cast<int64_t>(targets));
    const GltfBuild build = build_gltf_model(project.state, options, &progress);
    progress.finish();
    if (!build.ok) {
        return refuse(err, display_text(line.input) + ": cannot export: " + build.problem);
    }
    const FileOutcome written = write_gltf_file(build.model, line.output);
    if (!written.ok) {
        return refuse(err, "cannot write " + display_text(line.output) + ": " + written.reason);
    }
    const std::vector<int32_t> frames = animation_frames(project.state);
    out << "wrote " << display_text(line.output);
    if (is_gltf_text_path(line.output)) out << " and " << display_text(bin_path_for(line.output));
    out << format_text(": %zu morph target%s, %zu key%s over %g s\n", targets,
                       targets == 1 ? "" : "s", targets > 0 ? frames.size() : 0,
                       targets > 0 && frames.size() == 1 ? "" : "s",
                       targets > 0 ? frames.back() / line.fps : 0.0);
    return kExitDone;
}

int run_obj(const CommandLine& line, std::ostream& out, std::ostream& err) {
    LoadedProject project;
    if (!load(line, project, err, true)) return kExitRefused;
    const std::string problem = frames_problem(project, line.first_frame, line.last_frame);
    if (!problem.empty()) return refuse(err, problem);
    const int64_t count = static_cast<int64_t>(line.last_frame) - line.first_frame + 1;
    Progress progress(err, "writing frames", count);
    const ObjExport result =
        write_obj_frames(project.state, line.first_frame, line.last_frame, line.output, &progress);
    progress.finish();
    if (!result.ok) return refuse(err, display_text(line.input) + ": " + result.problem);
    out << "wrote " << result.written << " frame" << (result.written == 1 ? "" : "s") << " to "
        << display_text(line.output) << "\n";
    return kExitDone;
}

int run_weights(const CommandLine& line, std::ostream& out, std::ostream& err) {
    LoadedProject project;
    if (!load(line, project, err, true)) return kExitRefused;
    const std::string problem = frames_problem(project, line.frame, line.frame);
    if (!problem.empty()) return refuse(err, problem);
    const SlotWeights weights = weights_at(project.state, line.frame);
    for (int k : loaded_targets(project.state)) {
        out << target_label(project.state, k)
            << format_text(" %.2f\n", static_cast<double>(weights[k]));
    }
    return kExitDone;
}

}  // namespace

int run_export_tool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const ParsedCommandLine parsed = parse_command_line(args);
    if (!parsed.ok) {
        err << kProgram << parsed.problem << " (see warpkit-export --help)\n";
        return kExitUsage;
    }
    const CommandLine& line = parsed.line;
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
        case Command::kQxm:
            return run_qxm_command(line, out, err);
        case Command::kProject:
            return run_project_command(line, out, err);
    }
    return kExitUsage;
}

}  // namespace warpkit::exporting
