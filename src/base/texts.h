#pragma once
// Every text the user can see that depends on the language, in one table.
// A text is picked when it is shown: Japanese when UiLanguage is 1, English otherwise.
#include <cstdint>
#include <string>

namespace warpkit {

struct Bilingual {
    const char* ja;
    const char* en;
};

inline const char* pick(int32_t ui_language, const Bilingual& text) {
    return ui_language == 1 ? text.ja : text.en;
}

// printf-style formatting into a std::string (texts carry %d and %s).
std::string format_text(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A message box: its text and its title, each in both languages.
struct MessageText {
    Bilingual text;
    Bilingual title;
};

// A message box as it is shown: text and title in one language.
struct ShownMessage {
    std::string text;
    std::string title;
};

// The box of `message` in the language, its text formatted printf-style with `args` (C strings
// and numbers, as format_text takes them); with no arguments the text is taken as it stands.
template <typename... Args>
ShownMessage shown_message(int32_t ui_language, const MessageText& message, const Args&... args) {
    if constexpr (sizeof...(Args) == 0) {
        return {pick(ui_language, message.text), pick(ui_language, message.title)};
    } else {
        return {format_text(pick(ui_language, message.text), args...),
                pick(ui_language, message.title)};
    }
}

namespace texts {

// Texts that are the same in both languages.
inline constexpr const char* kAppTitle = "Warpkit";
inline constexpr const char* kLoad = "LOAD";
inline constexpr const char* kKill = "X";
inline constexpr const char* kMakeKey = "MAKE KEY";
inline constexpr const char* kApplied = "APPLIED";
inline constexpr const char* kDeleteKey = "DELETE KEY";
inline constexpr const char* kSourceLabel = "Source Object";
inline constexpr const char* kTargetLabel = "Target Object %d";
inline constexpr const char* kOk = "OK";
inline constexpr const char* kCancel = "Cancel";
inline constexpr const char* kAbout = "Tessel Warp Project Maker for Shapeforge ver.1.0";
inline constexpr const char* kNoContext = ":-)~ hrc == NULL";
inline constexpr const char* kNoMakeCurrent = "Could not MakeCurrent";
inline constexpr const char* kObjectFilter = "QXM Rev3 files(*.qxm)|*.qxm";
// File systems here tell case apart, and other tools write both.
inline constexpr const char* kMeshFilter =
    "3D meshes|*.gltf *.glb *.obj *.fbx *.dae *.ply *.stl *.GLTF *.GLB *.OBJ *.FBX *.DAE *.PLY "
    "*.STL";
inline constexpr const char* kProjectSaveFilter = "Tessel Warp Project files|*.twp";
inline constexpr const char* kProjectOpenFilter = "Tessel Warp Projects|*.twp";
inline constexpr const char* kProjectSuffix = "twp";

// Message boxes.
extern const MessageText kSourceReplaceQuestion;
extern const MessageText kTargetReloadQuestion;       // %d target number
extern const MessageText kVertexCountRefusal;         // at target load
extern const MessageText kTargetDeleteQuestion;       // %d target number
extern const MessageText kFormatRefusal;              // object file not rev.3
extern const MessageText kProjectVertexCountWarning;  // %d slot number
extern const MessageText kSaveQuestionNew;
extern const MessageText kSaveQuestionLoad;
extern const MessageText kSaveQuestionQuit;
extern const MessageText kProjectEmpty;
extern const MessageText kAboutBox;

// Refusals and warnings that the messages above do not cover.
extern const MessageText kDamagedObjectFile;     // %s file name, %s reason
extern const MessageText kEmptySourceRefusal;    // %s object name
extern const MessageText kNumberRefusal;         // %s the refused text
extern const MessageText kWholeNumberRefusal;    // %s the refused text
extern const MessageText kMaxFrameRefusal;       // maximum frame below 1
extern const MessageText kProjectRefusal;        // %s project file, %s reason
extern const MessageText kProjectRefusalAtLine;  // %s project file, %d line, %s reason
extern const MessageText kProjectTargetWarning;  // %d slot, %s object, %s file, %s reason
extern const MessageText kSaveFailed;            // %s file name, %s reason
extern const MessageText kObjectNameNotFound;    // %s file name, %s object name
extern const MessageText kObjectFileUnopenable;  // %s file name, %s reason
// A command that reads files stopped by an exception (session/file_command_guard.h).
extern const MessageText kOutOfMemoryRefusal;     // %s file name
extern const MessageText kCommandStoppedRefusal;  // %s file name, %s reason

// Refusals and warnings of damaged coordinates, unrecordable names and repaired projects.
extern const MessageText kNonFiniteObjectRefusal;   // %s file, %s object, %s reason
extern const MessageText kNonFiniteOffsetRefusal;   // %s file, %s object, %s reason
extern const MessageText kUnrecordableNameWarning;  // %s object name
extern const MessageText kProjectRepaired;          // %s project file, %s the list of changes

// Objects imported from mesh files.
extern const MessageText kImportRefusal;            // %s file name, %s reason
// An object file changed under the running program and was read again.
extern const MessageText kReloadRefusal;  // %s slot (kReloadSlot*), %s file, %s reason
extern const Bilingual kReloadNotice;     // %s slots reloaded, %s file name
extern const Bilingual kReloadSlotSource;  // %s object name
extern const Bilingual kReloadSlotTarget;  // %d target, %s object name
extern const Bilingual kReloadListSeparator;
extern const Bilingual kReloadVertexCount;  // %d vertices read, %d the source's
extern const Bilingual kReloadNoVertices;
extern const Bilingual kReloadNotMeshFile;  // %s file
extern const MessageText kMorphTargetsQuestion;     // %s mesh, %d targets; Yes/No/Cancel
extern const MessageText kImportWritten;            // %s object, %s imported file, %s written file
extern const MessageText kImportFolderNotWritable;  // %s folder, %s reason
extern const Bilingual kMorphTargetsLeftOut;        // appended: %d left out, %s their names
extern const Bilingual kImportJoined;               // appended: %lld corners joined
extern const Bilingual kImportRenamed;              // appended: then one line per renamed object
extern const Bilingual kImportRenamedMore;          // appended: %zu renamed objects not shown
// %s mesh, %s animation, %g seconds, %g frames a second, %.0f its last frame; Yes/No/Cancel
extern const MessageText kAnimationQuestion;
// The same when several animations drive the mesh, above a list of them: %s mesh, %d animations,
// %g frames a second; each item %s animation, %g seconds, %.0f its last frame, %g frames a second.
extern const MessageText kAnimationsQuestion;
extern const Bilingual kAnimationItem;
extern const Bilingual kUnnamedAnimation;
extern const MessageText kImportedKeysRefusal;  // %s file, %s reason
// Targets whose vertices come in another order than the source's.
extern const MessageText kReorderQuestion;  // %d target, %s file, %s object, %d far, %d vertices
extern const MessageText kProjectReorderQuestion;  // the same, at project load
extern const Bilingual kMatchOrderAnswer;
extern const Bilingual kLoadAsItIsAnswer;
extern const Bilingual kCancelAnswer;
extern const MessageText kMatchProgress;        // %d target, %s object
extern const MessageText kImportProgress;       // %s file
extern const MessageText kMatchRefused;         // %d target, %s object, %s reason
extern const MessageText kProjectMatchRefused;  // the same, at project load
// %d unmatched, %d vertices: the matcher's refusal in Japanese (its English words are its own)
extern const char* const kUnmatchedReasonJapanese;
extern const MessageText kMatchedNotice;  // %d target, %s object, %s method, %d renumbered, %s file
extern const Bilingual kMatchedByTopology;
extern const Bilingual kMatchedByPosition;
extern const MessageText kMatchedSaveFailed;  // %s file, %s reason
extern const Bilingual kSaveMatchedTitle;
inline constexpr const char* kObjectSuffix = "qxm";
// The recovery copy. Asked and said at start-up, before the user can have picked a language,
// so those texts are shown in both at once (recovery_message()).
extern const MessageText kRecoveryQuestion;     // %s when written, %s the kept folder
extern const MessageText kRecoveryUnreadable;   // %s file, %s reason, %s the kept folder
extern const MessageText kRecoveryPartlyKept;   // %s the kept folder
extern const MessageText kRecoveryNotMoved;     // %s file, %s reason
extern const MessageText kRecoveryWriteFailed;  // %s recovery folder, %s reason (one language)

// Titles, captions and texts of dialogs.
extern const Bilingual kOpenSourceTitle;
extern const Bilingual kOpenTargetTitle;  // %d
extern const Bilingual kSelectSourcePrompt;
extern const Bilingual kSelectTargetPrompt;  // %d
extern const Bilingual kSelectObjectCaption;
extern const Bilingual kSelectObjectInfo;  // %s prompt, %s name, %6d vertices, %6d triangles
extern const Bilingual kNoObjectInfo;      // %s prompt
extern const Bilingual kSaveProjectTitle;
extern const Bilingual kLoadProjectTitle;
extern const Bilingual kMaxFrameCaption;
extern const Bilingual kMaxFrameGroup;
extern const Bilingual kJumpFrameCaption;
extern const Bilingual kJumpFrameGroup;
// The tooltip of a key mark; %s is the list of targets keyed there, a line each.
extern const Bilingual kKeyTickTip;       // %d frame, %s targets
extern const Bilingual kKeyTickRangeTip;  // %d first frame, %d last frame, %s targets

// Captions of the main menu: the switch sets ja or en; at_start is the form's own caption.
struct MenuCaption {
    const char* item;  // objectName of the action or menu
    const char* ja;
    const char* en;
    const char* at_start;
};
extern const MenuCaption kMenuCaptions[];
extern const int kMenuCaptionCount;

}  // namespace texts
}  // namespace warpkit
