#include "session/import_steps.h"

#include <algorithm>
#include <cstdlib>

#include "base/bilingual_text.h"
#include "base/display_text.h"
#include "base/editor_state.h"
#include "base/file_paths.h"
#include "base/texts.h"
#include "import/file_bytes.h"
#include "import/qxm_beside.h"
#include "import/scene_choice.h"

namespace warpkit {
namespace {

constexpr size_t kNamesShown = 20;
// A name is a word or a few; a file can hold megabytes in one, which a notice must not show.
constexpr size_t kLongestShownName = 200;

void refuse(UserDialogs& dialogs, int32_t language, const std::string& file,
            const BilingualText& reason) {
    const MessageText& refusal = texts::kImportRefusal;
    dialogs.warn(
        shown_message(language, refusal, display_text(file).c_str(), reason.in(language).c_str()));
}

// The names of `mesh`, one of the scene's, that its object file could not hold, each with the
// name it has there; nothing when every name was kept.
std::string renamed_lines(int32_t language, const ImportedScene& scene, const ImportedMesh& mesh) {
    std::string lines;
    size_t count = 0;
    for (const RenamedObject& renamed : scene.renamed) {
        if (renamed.mesh >= scene.meshes.size() || &scene.meshes[renamed.mesh] != &mesh) continue;
        if (++count > kNamesShown) continue;
        RenamedObject shown = renamed;
        if (shown.full.size() > kLongestShownName) {
            size_t end = kLongestShownName;  // before a character, not inside one
            while (end > 0 && (static_cast<unsigned char>(shown.full[end]) & 0xC0) == 0x80) --end;
            shown.full = shown.full.substr(0, end) + "...";
        }
        lines += "\n" + renamed_text(scene, shown).in(language);
    }
    if (count == 0) return lines;
    lines = pick(language, texts::kImportRenamed) + lines;
    const size_t more = count > kNamesShown ? count - kNamesShown : 0;
    if (more > 0) lines += format_text(pick(language, texts::kImportRenamedMore), more);
    return lines;
}

}  // namespace

TargetChoice ask_about_morph_targets(UserDialogs& dialogs, int32_t language,
                                     const ImportedMesh& mesh) {
    if (mesh.targets.empty()) return TargetChoice::kSourceOnly;
    const MessageText& question = texts::kMorphTargetsQuestion;
    std::string text = format_text(pick(language, question.text), display_text(mesh.name).c_str(),
                                   static_cast<int>(mesh.targets.size()));
    if (mesh.targets.size() > static_cast<size_t>(kTargetCount)) {
        std::string names;
        for (size_t j = kTargetCount; j < mesh.targets.size() && j < kTargetCount + kNamesShown;
             ++j) {
            names += (names.empty() ? "" : ", ") + display_text(mesh.targets[j].name);
        }
        if (mesh.targets.size() > kTargetCount + kNamesShown) names += ", ...";
        text += format_text(pick(language, texts::kMorphTargetsLeftOut),
                            static_cast<int>(mesh.targets.size() - kTargetCount), names.c_str());
    }
    switch (dialogs.ask_save(text, pick(language, question.title))) {
        case SaveAnswer::kYes:
            return TargetChoice::kWithTargets;
        case SaveAnswer::kNo:
            return TargetChoice::kSourceOnly;
        case SaveAnswer::kCancel:
            break;
    }
    return TargetChoice::kCancelled;
}

KeysToImport keys_to_import(const ImportedScene& scene, size_t mesh, size_t targets,
                            const AnimationAnswer& answer, double fps) {
    KeysToImport out;
    if (targets == 0 || answer.choice != AnimationChoice::kTake) return out;
    AnimationKeys keys = keys_for_mesh(scene, mesh, answer.animation, targets, fps);
    if (!keys.problem.empty()) {
        out.problem = keys.problem;
        return out;
    }
    out.keys.tracks = std::move(keys.tracks);
    if (answer.animation) out.keys.max_frame = keys.max_frame;
    return out;
}

void put_imported_keys(EditorState& state, const ImportedKeys& keys) {
    for (size_t j = 0; j < keys.tracks.size() && j < static_cast<size_t>(kTargetCount); ++j) {
        TargetSlot& slot = state.slots[j + 1];
        // a target the checks refused stays empty, keys or not
        if (slot.loaded) slot.keys = keys.tracks[j];
    }
    if (keys.max_frame) {
        state.max_frame = *keys.max_frame;
        state.current_frame = std::min(state.current_frame, state.max_frame);
    }
}

AnimationAnswer ask_about_animation(UserDialogs& dialogs, int32_t language,
                                    const ImportedScene& scene, size_t mesh, double fps) {
    const std::vector<size_t> offered = animations_of(scene, mesh);
    if (offered.empty()) return AnimationAnswer{};
    const auto name_of = [&](const WeightsAnimation& animation) {
        return animation.name.empty() ? pick(language, texts::kUnnamedAnimation)
                                      : quoted_name(animation.name).in(language);
    };
    const std::string mesh_name = display_text(scene.meshes[mesh].name);
    AnimationAnswer answer;
    answer.animation = default_animation(scene, mesh);
    SaveAnswer said = SaveAnswer::kCancel;
    if (offered.size() == 1) {
        const WeightsAnimation& animation = scene.animations[offered.front()];
        const ShownMessage box =
            shown_message(language, texts::kAnimationQuestion, mesh_name.c_str(),
                          name_of(animation).c_str(), static_cast<double>(animation.times.back()),
                          fps, animation_frames(animation, fps) - 1.0);
        said = dialogs.ask_save(box);
    } else {
        std::vector<std::string> items;
        size_t chosen = 0;
        for (size_t i = 0; i < offered.size(); ++i) {
            const WeightsAnimation& animation = scene.animations[offered[i]];
            items.push_back(format_text(pick(language, texts::kAnimationItem),
                                        name_of(animation).c_str(),
                                        static_cast<double>(animation.times.back()),
                                        animation_frames(animation, fps) - 1.0, fps));
            if (offered[i] == answer.animation) chosen = i;
        }
        const ShownMessage box =
            shown_message(language, texts::kAnimationsQuestion, mesh_name.c_str(),
                          static_cast<int>(offered.size()), fps);
        const ListAnswer listed = dialogs.ask_save_from_list(box.text, box.title, items, chosen);
        said = listed.answer;
        if (listed.item < offered.size()) answer.animation = offered[listed.item];
    }
    switch (said) {
        case SaveAnswer::kYes:
            answer.choice = AnimationChoice::kTake;
            break;
        case SaveAnswer::kNo:
            answer = AnimationAnswer{AnimationChoice::kLeave, std::nullopt};
            break;
        case SaveAnswer::kCancel:
            answer = AnimationAnswer{AnimationChoice::kCancelled, std::nullopt};
            break;
    }
    return answer;
}

void refuse_imported_keys(UserDialogs& dialogs, int32_t language, const std::string& file,
                          const BilingualText& reason) {
    dialogs.warn(shown_message(language, texts::kImportedKeysRefusal, display_text(file).c_str(),
                               reason.in(language).c_str()));
}

std::optional<std::string> keep_imported_mesh(UserDialogs& dialogs, int32_t language,
                                              const std::string& imported_path,
                                              const ImportedMesh& mesh,
                                              const ImportedScene& scene) {
    const std::vector<QxmObjectView> objects = qxm_objects_for(mesh);
    const std::string wanted = qxm_path_for(imported_path);
    StoreOutcome stored = write_qxm_unused_name(wanted, objects, scene.palette);
    if (stored.status == StoreStatus::kFolderNotWritable) {
        // the user says where instead, starting at home
        const MessageText& notice = texts::kImportFolderNotWritable;
        const std::string folder = folder_of(wanted);
        dialogs.warn(shown_message(language, notice, display_text(folder).c_str(),
                                   stored.reason.in(language).c_str()));
        FileDialogRequest request;
        request.title = pick(language, notice.title);
        request.filter = texts::kObjectFilter;
        const char* home = std::getenv("HOME");
        request.folder = home ? home : "";
        request.default_suffix = "qxm";
        request.file_name = wanted.substr(wanted.find_last_of('/') + 1);
        const std::optional<std::string> chosen = dialogs.save_file(request);
        if (!chosen) return std::nullopt;
        stored = write_qxm_unused_name(*chosen, objects, scene.palette);
    }
    if (stored.status != StoreStatus::kWritten) {
        refuse(dialogs, language, imported_path,
               format_both({"オブジェクトファイルを書き出せません：%s",
                            "the object file could not be written: %s"},
                           stored.reason));
        return std::nullopt;
    }
    const MessageText& written = texts::kImportWritten;
    std::string text =
        format_text(pick(language, written.text), display_text(mesh.name).c_str(),
                    display_text(imported_path).c_str(), display_text(stored.path).c_str());
    if (scene.joined_corners > 0) {
        text += format_text(pick(language, texts::kImportJoined),
                            static_cast<long long>(scene.joined_corners));
    }
    text += renamed_lines(language, scene, mesh);
    dialogs.notify(text, pick(language, written.title));
    return stored.path;
}

ImportProgress::ImportProgress(UserDialogs& dialogs, int32_t language, const std::string& path)
    : place_([&dialogs,
              request = ProgressRequest{pick(language, texts::kImportProgress.title),
                                        format_text(pick(language, texts::kImportProgress.text),
                                                    display_text(path).c_str()),
                                        pick(language, texts::kCancelAnswer)}](
                 const std::function<void(const ChildWatch&)>& wait) {
          return dialogs.run_with_progress(request,
                                           [&wait](const ProgressReport& report) { wait(report); });
      }) {}

ReadResult read_result_of(const MorphShape& target) {
    ReadResult result;
    result.vertices = target.vertices;
    result.vertex_count = static_cast<int32_t>(target.vertices.size());
    result.object_name = target.name;
    return result;
}

ReadResult read_result_of(MorphShape&& target) {
    ReadResult result;
    result.vertex_count = static_cast<int32_t>(target.vertices.size());
    result.vertices = std::move(target.vertices);
    result.object_name = std::move(target.name);
    return result;
}

}  // namespace warpkit
