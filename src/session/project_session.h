#pragma once
// Rebuilding a session from a parsed project. Every object file is read once, and everything
// is read and checked before the session is touched, so a refused project leaves the current
// session exactly as it was.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "base/editor_state.h"
#include "model/qxm_reader.h"
#include "project/project_file.h"

namespace warpkit {

struct TargetLoadWarning {
    // kUnreadable: the object could not be read, or was read but cannot be a target (a
    // coordinate or an offset from the source that is not finite); `reason` says which.
    enum class Kind { kVertexCount, kUnreadable };
    int slot = 0;
    Kind kind = Kind::kVertexCount;
    std::string path;
    std::string name;
    BilingualText reason;  // for kUnreadable
};

struct PreparedProject {
    BilingualText refusal;  // non-empty: the project cannot be loaded
    ReadResult source;
    std::array<std::optional<ReadResult>, kTargetCount + 1> targets;  // [1..8]
    std::vector<TargetLoadWarning> warnings;                          // in slot order
};

// Reads the source and every target named by the project and checks each as a slot load does
// (check_source_object, check_target_object); nothing of the session changes. A source that
// cannot be read or used refuses the project; a target that cannot is left out with a warning.
PreparedProject prepare_project(const ProjectData& project);

// Replaces the session with a prepared project that was not refused: source, accepted targets
// with their keys, the maximum frame; the current frame brought into 0..maximum; the modified
// flag cleared. Reads no file.
void apply_project(EditorState& state, const ProjectData& project, const PreparedProject& prepared);
// The same, letting each object's data go as soon as the session holds it, so a large project
// is never in memory twice.
void apply_project(EditorState& state, const ProjectData& project, PreparedProject&& prepared);

// Why a read failed, in words, for the project refusal and the target warnings.
BilingualText read_failure_words(const ReadOutcome& outcome, const std::string& path,
                                 const std::string& name);

}  // namespace warpkit
