#pragma once
// Live objects: a loaded object whose file another program saves again is read again and
// takes its new shape, as no edit of the session. Which slots a changed file feeds, when a
// change has settled enough to be read, and what the new shape replaces, all without a window;
// the window only watches the files and redraws.
//
// What the reload keeps: a target its slot, path, name, keys and weight; the source every
// target (each keeps its own positions, so its offsets are worked out again against the new
// source), the view and the colours. The modified flag is never touched, and the undo history
// is not either: the project file Save writes reads the same before and after.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/bilingual_text.h"
#include "base/editor_state.h"
#include "import/any_object_reader.h"
#include "model/qxm_reader.h"
#include "session/session.h"
#include "session/user_dialogs.h"

namespace warpkit {

// How long a file must stay unchanged before it is read: a modeller writing a large file in
// several pieces is not caught half way.
constexpr int64_t kSettleMilliseconds = 500;

// True while a reload must wait: a drag of the view, a spinner or the knob, or playback.
// Replacing the shape under them would jump the picture and the weights they are changing.
bool live_reload_waits(const EditorState& state);

// An object file the program wrote itself from a file the user chose: an import kept as QXM
// (import_steps.h), or a target matched to the source's vertex order (target_order.h). When
// the file it came from changes, its object of that name is read again (and matched again) and
// written over the kept file, which the slots then read again like any other.
struct KeptImport {
    std::string from;  // the file the user chose
    std::string mesh;  // the mesh's or object's name in it
    int matched = 0;   // the target slot that was matched, 0 for an import
};
using KeptImports = std::map<std::string, KeptImport>;  // by the kept file's path

// Every file a loaded slot was read from, each once, in slot order (the source's first), and
// after them the mesh files of the kept imports that a slot reads.
std::vector<std::string> watched_files(const EditorState& state, const KeptImports& kept = {});

// The kept files a slot reads that were made from `file`.
std::vector<std::string> kept_from(const EditorState& state, const KeptImports& kept,
                                   const std::string& file);

// Reads the object of `kept` again from the file it came from and writes it over the kept
// file: a whole imported mesh, or a matched target matched again. Only an object of the loaded
// source's vertex count is written (a matched target also passes the other checks of a
// target); another count, a failed read or match, or an object gone from the file is refused
// through `dialogs` and leaves the kept file alone; a file that cannot be opened says nothing.
// True when the kept file was written.
bool rewrite_kept_import(UserDialogs& dialogs, const EditorState& state, AnyObjectReader& reader,
                         const std::string& kept, const KeptImport& import);

// The loaded slots read from `file`, in slot order, so the source comes before its targets.
std::vector<int> slots_reading(const EditorState& state, const std::string& file);

// Changes seen on files, each let through once it has been left alone long enough. The clock
// is the caller's (milliseconds of any steady clock), so the rule is tested without waiting.
class ChangeSettler {
public:
    // A change of `file` seen at `now`: its quiet time starts again.
    void changed(const std::string& file, int64_t now);
    // The files left unchanged for kSettleMilliseconds at `now`, which are then no longer
    // pending; none while `hold` (a drag or playback), so they are read as soon as it ends.
    std::vector<std::string> take_settled(int64_t now, bool hold);
    // Milliseconds until the next pending file settles: 0 when one has, -1 when none is
    // pending.
    int64_t next_due(int64_t now) const;
    bool idle() const { return last_change_.empty(); }

private:
    std::map<std::string, int64_t> last_change_;
};

// Whether `source` can replace the loaded source's shape with the targets kept: the checks of
// a source load, the loaded source's vertex count, and every loaded target's offset from it
// finite. kVertexCount and kNonFiniteOffset name the count and the target in reload_refusal().
SlotCheck check_reloaded_source(const EditorState& state, const ReadResult& source);

// The source takes the new shape (positions, triangles, palette); each loaded target keeps its
// positions, so its offsets are worked out against the new source; keys, weights, view and
// colours stay. Precondition: check_reloaded_source(state, source).ok(). Leaves the modified
// flag alone.
void reload_source(EditorState& state, const ReadResult& source);

// Target k takes new positions; path, name, keys and weight stay. Precondition:
// check_target_object(source positions, target).ok(). Leaves the modified flag alone.
void reload_target(EditorState& state, int k, const ReadResult& target);

// Why `object`, read again for a slot, cannot replace what the slot holds, in words.
BilingualText reload_refusal(const EditorState& state, const SlotCheck& check,
                             const ReadResult& object);

// A target the user chose to match in a reload: it goes in from the new file like a target
// load, but with the keys and weight its slot had.
struct MatchedReload {
    int slot = 0;
    std::string path;  // the new file the matched target was written to
    ReadResult target;
    KeyTrack keys;
    float weight = 0.0f;
};

// Puts a matched reload in. This one changes what Save writes (the path), so the caller
// records it as an edit (the slot may have been moved out for the undo step); sets the
// modified flag.
void install_matched_reload(EditorState& state, const MatchedReload& matched);

struct ReloadReport {
    std::vector<int> reloaded;           // slots that took the file's new shape
    std::vector<MatchedReload> matched;  // to go in by install_matched_reload, as an edit
    int refused = 0;                     // slots whose refusal was shown
    bool file_missing = false;           // the file is not there: nothing changed, nothing said
};

// Reads `file` again for every loaded slot that reads it, by the object name each holds, the
// source first, and checks each as its load did: a read failure, a missing object, another
// vertex count or a coordinate that is not finite is shown through `dialogs` as a warning and
// keeps the slot as it is; a target that now shows the vertex-order mark is asked about as at a
// target load (Cancel keeps it as it is, a match is handed back in `matched`). A file that
// cannot be opened says nothing: a modeller may be between removing and writing it.
ReloadReport reload_file(UserDialogs& dialogs, EditorState& state, AnyObjectReader& reader,
                         const std::string& file);

// The notice after a reload: what was reloaded, from which file.
BilingualText reload_notice(const EditorState& state, const std::vector<int>& slots,
                            const std::string& file);

}  // namespace warpkit
