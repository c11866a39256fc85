#pragma once
// Loads a project the way the program's project load does, without a window: the same parser
// with the same repairs, the same reading and checking of every object, the same session
// afterwards, and the same English words for a refusal, a repair or a target left out.
#include <string>
#include <vector>

#include "base/editor_state.h"
#include "project/project_file.h"
#include "session/project_session.h"

namespace warpkit::exporting {

struct LoadedProject {
    std::string path;  // the project file as given
    ProjectData data;  // as parsed, before any target was left out
    // The session as the program holds it after the load: source, accepted targets with their
    // keys, maximum frame; current frame 0.
    EditorState state;
    std::vector<TargetLoadWarning> warnings;  // targets left out, in slot order
    // What the load put in order, a line each ("target 1, line 13: the key at ... is dropped").
    std::vector<std::string> repairs;
};

struct ProjectLoadOutcome {
    bool ok = false;
    // When !ok: the program's refusal text, naming the project file
    // ("The project file face.twp cannot be loaded: line 3: ...").
    std::string refusal;
};

ProjectLoadOutcome load_project(const std::string& path, LoadedProject& out);

// The program's English warning for a target that was left out
// ("Target No.4 has incorrect vertices. It will not be loaded.").
std::string target_warning_text(const TargetLoadWarning& warning);

}  // namespace warpkit::exporting
