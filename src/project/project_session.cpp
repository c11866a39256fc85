#include "project/project_session.h"

#include <cassert>

#include "app/session.h"

namespace warpkit {

std::string read_failure_words(const ReadOutcome& outcome, const std::string& path,
                               const std::string& name) {
    const std::string file = display_text(path);
    switch (outcome.status) {
        case ReadStatus::kOk:
            return std::string();
        case ReadStatus::kCannotOpen:
            return "the object file " + file + " cannot be opened";
        case ReadStatus::kBadMagic:
            return file + " is not a QXM rev.3 object file";
        case ReadStatus::kCancelled:
            return "the object choice was cancelled";
        case ReadStatus::kNameNotFound:
            return file + " holds no object named " + display_text(name);
        case ReadStatus::kDamaged:
            return file + " is damaged: " + outcome.reason;
    }
    return std::string();
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
    if (prepared.source.vertex_count <= 0) {
        prepared.refusal =
            "the source object " + display_text(project.source_name) + " has no vertices";
        return prepared;
    }

    for (int k = 1; k <= kTargetCount; ++k) {
        const ProjectTarget& target = project.targets[k - 1];
        if (!target.present) continue;
        const ReadOutcome outcome = reader.ReadObject(target.path, target.name, true);
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
        if (reader.result().vertex_count != prepared.source.vertex_count) {
            warning.kind = TargetLoadWarning::Kind::kVertexCount;
            prepared.warnings.push_back(warning);
            reader.ReleaseReadResult();
            continue;
        }
        // Only the positions of a target count.
        ReadResult positions;
        positions.vertices = std::move(reader.result().vertices);
        positions.vertex_count = reader.result().vertex_count;
        positions.object_name = reader.result().object_name;
        reader.ReleaseReadResult();
        prepared.targets[k] = std::move(positions);
    }
    return prepared;
}

namespace {

// `consumed`: the same project, whose objects may go as soon as the session holds them.
void apply(EditorState& state, const ProjectData& project, const PreparedProject& prepared,
           PreparedProject* consumed) {
    assert(prepared.refusal.empty());
    install_source(state, project.source_path, prepared.source);
    if (consumed != nullptr) consumed->source = ReadResult{};
    state.max_frame = project.max_frame;
    for (int k = 1; k <= kTargetCount; ++k) {
        if (!prepared.targets[k]) continue;
        const ProjectTarget& target = project.targets[k - 1];
        install_target(state, k, target.path, *prepared.targets[k]);
        if (consumed != nullptr) consumed->targets[k].reset();
        state.slots[k].keys = target.keys;
    }
    if (state.current_frame > state.max_frame) state.current_frame = state.max_frame;
    if (state.current_frame < 0) state.current_frame = 0;
    state.modified = 0;
}

}  // namespace

void apply_project(EditorState& state, const ProjectData& project,
                   const PreparedProject& prepared) {
    apply(state, project, prepared, nullptr);
}

void apply_project(EditorState& state, const ProjectData& project, PreparedProject&& prepared) {
    apply(state, project, prepared, &prepared);
}

}  // namespace warpkit
