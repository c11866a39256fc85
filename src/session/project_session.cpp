#include "session/project_session.h"

#include <cassert>

#include "base/display_text.h"
#include "session/session.h"

namespace warpkit {

BilingualText read_failure_words(const ReadOutcome& outcome, const std::string& path,
                                 const std::string& name) {
    const std::string file = display_text(path);
    switch (outcome.status) {
        case ReadStatus::kOk:
            return {};
        case ReadStatus::kCannotOpen:
            if (!outcome.reason.empty()) {
                return format_both({"オブジェクトファイル %s を開けません：%s",
                                    "the object file %s cannot be opened: %s"},
                                   file, outcome.reason);
            }
            return format_both(
                {"オブジェクトファイル %s を開けません", "the object file %s cannot be opened"},
                file);
        case ReadStatus::kBadMagic:
            return format_both({"%s は QXM rev.3 のオブジェクトファイルではありません",
                                "%s is not a QXM rev.3 object file"},
                               file);
        case ReadStatus::kCancelled:
            return {"オブジェクトの選択が取り消されました", "the object choice was cancelled"};
        case ReadStatus::kNameNotFound:
            return format_both(
                {"%s にはオブジェクト %s がありません", "%s holds no object named %s"}, file,
                display_text(name));
        case ReadStatus::kDamaged:
            return format_both({"%s は壊れています：%s", "%s is damaged: %s"}, file,
                               outcome.reason);
        case ReadStatus::kNotImported:
            return format_both({"%s は読み込めません：%s", "%s cannot be imported: %s"}, file,
                               outcome.reason);
    }
    return {};
}

PreparedProject prepare_project(const ProjectData& project) {
    PreparedProject prepared;
    ObjectFileReader reader;
    const ReadOutcome source = reader.ReadObject(project.source_path, project.source_name, true);
    if (!source.ok()) {
        prepared.refusal = read_failure_words(source, project.source_path, project.source_name);
        return prepared;
    }
    prepared.source = std::move(reader.result());
    reader.ReleaseReadResult();
    const SlotCheck source_check = check_source_object(prepared.source);
    const std::string source_name = display_text(project.source_name);
    if (source_check.refusal == SlotRefusal::kNoVertices) {
        prepared.refusal = format_both(
            {"ソースオブジェクト %s には頂点がありません", "the source object %s has no vertices"},
            source_name);
        return prepared;
    }
    if (!source_check.ok()) {
        prepared.refusal =
            format_both({"%2$s のソースオブジェクト %1$s は壊れています：%3$s",
                         "the source object %s in %s is damaged: %s"},
                        source_name, display_text(project.source_path), source_check.reason());
        return prepared;
    }

    for (int k = 1; k <= kTargetCount; ++k) {
        const ProjectTarget& target = project.targets[k - 1];
        if (!target.present) continue;
        // Only the positions of a target count; its triangles are checked, not kept.
        const ReadOutcome outcome =
            reader.ReadPositions(target.path, target.name, prepared.source.vertices);
        TargetLoadWarning warning;
        warning.slot = k;
        warning.path = target.path;
        warning.name = target.name;
        if (!outcome.ok()) {
            warning.kind = TargetLoadWarning::Kind::kUnreadable;
            warning.reason = read_failure_words(outcome, target.path, target.name);
            prepared.warnings.push_back(warning);
            continue;
        }
        const std::optional<int64_t> scanned = reader.first_non_finite_offset();
        const SlotCheck check =
            scanned ? check_scanned_target(prepared.source.vertices, reader.result(), *scanned)
                    : check_target_object(prepared.source.vertices, reader.result());
        if (!check.ok()) {
            if (check.refusal == SlotRefusal::kVertexCount) {
                warning.kind = TargetLoadWarning::Kind::kVertexCount;
            } else {
                warning.kind = TargetLoadWarning::Kind::kUnreadable;
                warning.reason = check.reason();
            }
            prepared.warnings.push_back(warning);
            reader.ReleaseReadResult();
            continue;
        }
        ReadResult positions;
        positions.vertices = std::move(reader.result().vertices);
        positions.vertex_count = reader.result().vertex_count;
        positions.object_name = reader.result().object_name;
        reader.ReleaseReadResult();
        prepared.targets[k] = std::move(positions);
    }
    return prepared;
}

void apply_project(EditorState& state, const ProjectData& project,
                   const PreparedProject& prepared) {
    apply_project(state, project, PreparedProject(prepared));
}

void apply_project(EditorState& state, const ProjectData& project, PreparedProject&& prepared) {
    assert(prepared.refusal.empty());
    install_source(state, project.source_path, std::move(prepared.source));
    prepared.source = ReadResult{};
    state.max_frame = project.max_frame;
    for (int k = 1; k <= kTargetCount; ++k) {
        if (!prepared.targets[k]) continue;
        const ProjectTarget& target = project.targets[k - 1];
        install_target(state, k, target.path, std::move(*prepared.targets[k]));
        prepared.targets[k].reset();
        state.slots[k].keys = target.keys;
    }
    if (state.current_frame > state.max_frame) state.current_frame = state.max_frame;
    if (state.current_frame < 0) state.current_frame = 0;
    state.modified = 0;
}

}  // namespace warpkit
