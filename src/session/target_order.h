#pragma once
// A target with the source's vertex count but its vertices in another order tears the shape
// apart in the blend. Before a read target goes into a slot, the loads hand it here: when it
// shows the reorder mark (target_measure.h) the user is told and asked whether to match its
// vertex order to the source's. A matched target is written as a new object file beside the
// original, which is never touched, and the slot takes the new file.
//
// The questions, the progress and the file dialogs all go through UserDialogs; the matching
// itself may run on another thread while the progress shows (it reads only the source and the
// target).
#include <cstdint>
#include <string>
#include <vector>

#include "base/editor_state.h"
#include "base/safe_replace.h"
#include "model/qxm_reader.h"
#include "model/qxm_writer.h"
#include "project/project_file.h"
#include "session/project_session.h"
#include "session/user_dialogs.h"

namespace warpkit {

enum class TargetOrder {
    kAsItIs,     // nothing changed: no mark, or the user loads it as it is
    kMatched,    // the target was matched and written to a new file, which the caller installs
    kCancelled,  // the load is to stop as if cancelled
};

// Target load of slot k. `path` and `target` are what was read; target passed
// check_target_object against the loaded source. kMatched: `path` names the new file and
// `target` holds what it holds (the target's positions in the source's order over the
// source's triangles and palette). Otherwise both are left alone. A Cancel anywhere (the
// question, the progress, the refusal, the save dialog) cancels the load.
TargetOrder settle_target_order(UserDialogs& dialogs, const EditorState& state, int k,
                                std::string& path, ReadResult& target);

// Project load, before apply_project: each prepared target that shows the mark, in slot order.
// A matched target replaces its prepared positions and its path in `project`; kMatched when
// any was. Cancel in the question or the refusal stops the whole load (kCancelled), and the
// files this load wrote are removed again. Cancel in the progress or the save dialog keeps
// that target as the project names it: the load goes on as the file on disk describes it, so
// nothing the project holds (the target's keys) is lost.
TargetOrder settle_project_target_orders(UserDialogs& dialogs, int32_t language,
                                         ProjectData& project, PreparedProject& prepared);

// Whether a target at positions `target` shows the reorder mark against the source at `source`
// (the same vertex count): the test settle_target_order asks its question on.
bool target_shows_reorder_mark(const std::vector<Vec3>& source, const std::vector<Vec3>& target);

// Target k was matched to the source's vertex order at its load and is kept in `matched_path`;
// its original, read again as `target` (which passed check_target_object), is matched again
// behind the progress, without asking (the user chose matching for it), and written over
// `matched_path`. `refusal` says why it could not be; `cancelled` when the user stopped it.
struct Rematch {
    bool written = false;
    bool cancelled = false;
    BilingualText refusal;
};
Rematch rematch_target(UserDialogs& dialogs, const EditorState& state, int k,
                       const ReadResult& target, const std::string& matched_path);

// The name a matched target is written under: "dir/smile.qxm" gives "dir/smile-matched.qxm"
// for attempt 1 and "dir/smile-matched-2.qxm" for attempt 2 and so on. A name that does not
// end in ".qxm" (any case) keeps all of it before "-matched".
std::string matched_file_name(const std::string& target_path, int attempt);

struct MatchedFile {
    std::string path;     // the name written, or the one whose write failed
    FileOutcome outcome;  // the write's
};

// Writes `object` with `palette` as a new file under the first matched_file_name of
// `target_path` that no file takes; never replaces a file. A failure other than a taken name
// (a folder not writable) is returned as it is.
MatchedFile write_matched_file(const std::string& target_path, const QxmObject& object,
                               const QxmPalette& palette);

}  // namespace warpkit
