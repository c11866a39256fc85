#include "export/project_load.h"

#include "base/texts.h"
#include "export/printable.h"
#include "model/qxm_reader.h"

namespace warpkit::exporting {

namespace {

constexpr int32_t kEnglish = 2;

std::string refusal_text(const std::string& path, const std::string& reason) {
    return format_text(pick(kEnglish, texts::kProjectRefusal.text), printable(path).c_str(),
                       reason.c_str());
}

}  // namespace

ProjectLoadOutcome load_project(const std::string& path, LoadedProject& out) {
    ProjectLoadOutcome outcome;
    ProjectData data;
    const ParseOutcome parsed = read_project_file(path, data);
    if (!parsed.ok) {
        outcome.refusal = refusal_text(
            path, parsed.line > 0 ? "line " + std::to_string(parsed.line) + ": " + parsed.reason.en
                                  : parsed.reason.en);
        return outcome;
    }
    PreparedProject prepared = prepare_project(data);
    if (!prepared.refusal.empty()) {
        outcome.refusal = refusal_text(path, prepared.refusal.en);
        return outcome;
    }

    out.path = path;
    out.state = EditorState();
    out.state.UiLanguage = kEnglish;
    apply_project(out.state, data, std::move(prepared));  // its warnings stay
    out.data = std::move(data);
    out.warnings = std::move(prepared.warnings);
    out.repairs.clear();
    for (const BilingualText& line : repair_lines(parsed, kMaxListedRepairs)) {
        out.repairs.push_back(line.en);
    }
    outcome.ok = true;
    return outcome;
}

std::string target_warning_text(const TargetLoadWarning& warning) {
    if (warning.kind == TargetLoadWarning::Kind::kVertexCount) {
        return format_text(pick(kEnglish, texts::kProjectVertexCountWarning.text), warning.slot);
    }
    return format_text(pick(kEnglish, texts::kProjectTargetWarning.text), warning.slot,
                       printable(warning.name).c_str(), printable(warning.path).c_str(),
                       warning.reason.en.c_str());
}

}  // namespace warpkit::exporting
