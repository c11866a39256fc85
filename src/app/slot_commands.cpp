#include "app/slot_commands.h"

#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>

#include "app/edit_history.h"
#include "app/object_file_watch.h"
#include "app/tform1.h"
#include "base/display_text.h"
#include "base/file_paths.h"
#include "base/texts.h"
#include "controls/push_panel.h"
#include "session/file_command_guard.h"
#include "session/import_steps.h"
#include "session/session.h"
#include "session/target_order.h"

namespace warpkit {

SlotCommands::SlotCommands(TForm1& form) : QObject(&form), form_(form) {
    reader_.settings().export_tool =
        find_export_tool(QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString());
    connect(form.load_buttons[0], &QPushButton::clicked, this,
            [this] { run_guarded([this] { SourceLoad(); }); });
    for (int k = 1; k <= kTargetCount; ++k) {
        connect(form.load_buttons[k], &QPushButton::clicked, this,
                [this, k] { run_guarded([this, k] { TargetLoad(k); }); });
        connect(form.kill_buttons[k], &QPushButton::clicked, this, [this, k] { TargetKill(k); });
    }
}

bool SlotCommands::run_guarded(const std::function<void()>& command) {
    return form_.run_reading_command(command, [this] {
        reader_.ReleaseReadResult();
        pending_targets_.clear();
        pending_keys_ = ImportedKeys{};
    });
}

void SlotCommands::report_read_failure(const ReadOutcome& outcome, const std::string& path) {
    const int32_t language = form_.state().UiLanguage;
    ShownMessage message = read_failure_message(outcome, path, language);
    // A file that is not there stays silent, as ever; a pipe or a device chosen is said.
    if (outcome.status == ReadStatus::kCannotOpen && !outcome.reason.empty()) {
        message = shown_message(language, texts::kObjectFileUnopenable, display_text(path).c_str(),
                                outcome.reason.in(language).c_str());
    }
    if (!message.text.empty()) form_.dialogs().warn(message);
}

bool SlotCommands::refuse_unusable(const SlotCheck& check, const std::string& path) {
    const int32_t language = form_.state().UiLanguage;
    const ReadResult& object = reader_.result();
    const std::string name = display_text(object.object_name);
    std::string text;
    const MessageText* message = nullptr;
    switch (check.refusal) {
        case SlotRefusal::kNone:
            return false;
        case SlotRefusal::kNoVertices:
            message = &texts::kEmptySourceRefusal;
            text = format_text(pick(language, message->text), name.c_str());
            break;
        case SlotRefusal::kVertexCount:
            message = &texts::kVertexCountRefusal;
            text = pick(language, message->text);
            break;
        case SlotRefusal::kNonFiniteVertex:
        case SlotRefusal::kNonFiniteOffset:
            message = check.refusal == SlotRefusal::kNonFiniteVertex
                          ? &texts::kNonFiniteObjectRefusal
                          : &texts::kNonFiniteOffsetRefusal;
            text = format_text(pick(language, message->text), display_text(path).c_str(),
                               name.c_str(), check.reason().in(language).c_str());
            break;
    }
    form_.dialogs().warn(text, pick(language, message->title));
    reader_.ReleaseReadResult();
    return true;
}

void SlotCommands::warn_of_unrecordable_name(const SlotCheck& check, const std::string& name) {
    if (check.name_recordable) return;
    const int32_t language = form_.state().UiLanguage;
    const MessageText& warning = texts::kUnrecordableNameWarning;
    form_.dialogs().warn(shown_message(language, warning, display_text(name).c_str()));
}

bool SlotCommands::choose_and_read(const std::string& dialog_title, const std::string& prompt,
                                   std::string& path) {
    EditorState& state = form_.state();
    UserDialogs& dialogs = form_.dialogs();
    FileDialogRequest request;
    request.title = dialog_title;
    request.filter = texts::kObjectFilter;
    request.more_filters = {texts::kMeshFilter};
    request.folder = state.object_folder;
    const std::optional<std::string> chosen = dialogs.open_file(request);
    if (!chosen) return false;
    path = *chosen;
    // The folder follows the chosen file even when the read is refused.
    state.object_folder = folder_of(path);
    return read_object_file(path, prompt, true);
}

bool SlotCommands::read_object_file(const std::string& path, const std::string& prompt,
                                    bool ask_when_single) {
    UserDialogs& dialogs = form_.dialogs();
    note_file_read(path);
    const ImportProgress progress(dialogs, form_.state().UiLanguage, path);
    const ReadOutcome outcome = reader_.ReadObject(
        path, prompt,
        [&dialogs, ask_when_single](const ObjectTable& table, const std::string& text) {
            if (!ask_when_single && table.objects.size() == 1) return 0;
            return dialogs.choose_object(table, text);
        });
    if (progress.cancelled()) {
        reader_.ReleaseReadResult();
        return false;
    }
    if (!outcome.ok()) {
        report_read_failure(outcome, path);
        return false;
    }
    return true;
}

void SlotCommands::SourceLoad() {
    EditorState& state = form_.state();
    const int32_t language = state.UiLanguage;
    if (state.source_loaded()) {
        const MessageText& question = texts::kSourceReplaceQuestion;
        if (!form_.dialogs().confirm(shown_message(language, question))) return;
    }
    std::string path;
    if (!choose_and_read(pick(language, texts::kOpenSourceTitle),
                         pick(language, texts::kSelectSourcePrompt), path))
        return;
    take_source(path);
}

void SlotCommands::load_source_file(const std::string& path) {
    EditorState& state = form_.state();
    // As after the open dialog: the folder follows the file even when the read is refused.
    state.object_folder = folder_of(path);
    // The file was named outright; a file of one object leaves nothing to choose.
    run_guarded([&] {
        if (read_object_file(path, pick(state.UiLanguage, texts::kSelectSourcePrompt), false))
            take_source(path);
    });
}

void SlotCommands::take_source(std::string path) {
    EditorState& state = form_.state();
    const ReadResult& source = reader_.result();
    const SlotCheck check = check_source_object(source);
    if (refuse_unusable(check, path)) return;

    const std::string chosen = path;
    const std::string mesh = reader_.imported_mesh() ? reader_.imported_mesh()->name : "";
    if (!keep_import(path, true)) return;
    // One step for the source and the morph targets that come with it.
    EditStep undo = form_.history->begin(move_out_source(state));
    try {
        install_source(state, path, std::move(reader_.result()));
        reader_.ReleaseReadResult();
        // Every target row is empty now; its field is reset only after the slot is, so the
        // field's change reaction finds no target left to preview with the old shape.
        for (int k = 1; k <= kTargetCount; ++k) form_.weight_fields[k]->setText("0");
        form_.refresh_slot_rows();
        load_morph_targets(path);
    } catch (...) {
        // the new source needs as much memory again as it took to read it
        form_.history->abandon(undo);
        throw;
    }
    form_.history->record(std::move(undo));
    if (!mesh.empty()) form_.object_files->note_kept_import(path, {chosen, mesh, 0});
    warn_of_unrecordable_name(check, state.slots[0].name);
}

void SlotCommands::TargetLoad(int k) {
    EditorState& state = form_.state();
    const int32_t language = state.UiLanguage;
    if (!state.source_loaded()) return;
    if (state.target_loaded(k)) {
        const MessageText& question = texts::kTargetReloadQuestion;
        if (!form_.dialogs().confirm(shown_message(language, question, k))) return;
    }
    std::string path;
    if (!choose_and_read(format_text(pick(language, texts::kOpenTargetTitle), k),
                         format_text(pick(language, texts::kSelectTargetPrompt), k), path)) {
        form_.DrawScene();
        return;
    }
    const ReadResult& target = reader_.result();
    const SlotCheck check = check_target_object(state.slots[0].vertices, target);
    if (refuse_unusable(check, path)) return;
    const std::string read_path = path;
    const std::string read_name = target.object_name;
    const TargetOrder order =
        settle_target_order(form_.dialogs(), state, k, path, reader_.result());
    if (order == TargetOrder::kCancelled) {
        reader_.ReleaseReadResult();
        form_.DrawScene();
        return;
    }
    // A matched target is already kept in an object file of its own; an imported one that
    // keeps its order is written as one now.
    const bool kept = path == read_path && reader_.imported_mesh() != nullptr;
    const std::string mesh = kept ? reader_.imported_mesh()->name : "";
    if (path == read_path && !keep_import(path, false)) return;
    const bool replaced = state.target_loaded(k);
    EditStep undo = form_.history->begin(move_out_target(state, k));
    try {
        install_target(state, k, path, target);
        reader_.ReleaseReadResult();
        show_new_target(k);
        if (replaced) {
            // The replaced target's shape must not linger on screen.
            form_.reblend_current();
        } else {
            form_.DrawScene();
        }
    } catch (...) {
        form_.history->abandon(undo);
        throw;
    }
    form_.history->record(std::move(undo));
    if (kept) form_.object_files->note_kept_import(path, {read_path, mesh, 0});
    if (order == TargetOrder::kMatched) {
        form_.object_files->note_kept_import(path, {read_path, read_name, k});
    }
    warn_of_unrecordable_name(check, state.slots[k].name);
}

bool SlotCommands::keep_import(std::string& path, bool offer_targets) {
    pending_targets_.clear();
    pending_keys_ = ImportedKeys{};
    const ImportedMesh* mesh = reader_.imported_mesh();
    if (!mesh) return true;
    const int32_t language = form_.state().UiLanguage;
    const ImportedScene& scene = reader_.imported_scene();
    const size_t index = reader_.imported_mesh_index();
    const TargetChoice choice = offer_targets
                                    ? ask_about_morph_targets(form_.dialogs(), language, *mesh)
                                    : TargetChoice::kSourceOnly;
    const size_t count = std::min(mesh->targets.size(), static_cast<size_t>(kTargetCount));
    AnimationAnswer animation{AnimationChoice::kLeave, std::nullopt};
    if (choice == TargetChoice::kWithTargets) {
        animation = ask_about_animation(form_.dialogs(), language, scene, index, kDefaultKeyRate);
    }
    std::optional<std::string> kept;
    if (choice != TargetChoice::kCancelled && animation.choice != AnimationChoice::kCancelled) {
        if (choice == TargetChoice::kWithTargets) {
            KeysToImport keys = keys_to_import(scene, index, count, animation, kDefaultKeyRate);
            if (!keys.problem.empty())
                refuse_imported_keys(form_.dialogs(), language, path, keys.problem);
            pending_keys_ = std::move(keys.keys);
        }
        kept = keep_imported_mesh(form_.dialogs(), language, path, *mesh, scene);
    }
    if (!kept) {
        reader_.ReleaseReadResult();
        pending_keys_ = ImportedKeys{};
        return false;
    }
    path = *kept;
    // The object file holds them now, so the targets leave the scene rather than be copied.
    if (choice == TargetChoice::kWithTargets) pending_targets_ = reader_.take_imported_targets(count);
    return true;
}

void SlotCommands::load_morph_targets(const std::string& path) {
    EditorState& state = form_.state();
    const int32_t language = state.UiLanguage;
    for (size_t j = 0; j < pending_targets_.size(); ++j) {
        const int k = static_cast<int>(j) + 1;
        ReadResult target = read_result_of(std::move(pending_targets_[j]));
        // A morph target goes through the checks a target loaded by hand goes through; one that
        // fails them leaves its slot empty and says why.
        const SlotCheck check = check_target_object(state.slots[0].vertices, target);
        if (check.refusal != SlotRefusal::kNone) {
            const MessageText& refusal = texts::kNonFiniteOffsetRefusal;
            form_.dialogs().warn(shown_message(language, refusal, display_text(path).c_str(),
                                               display_text(target.object_name).c_str(),
                                               check.reason().in(language).c_str()));
            continue;
        }
        install_target(state, k, path, std::move(target));
        show_new_target(k);
    }
    pending_targets_.clear();
    if (pending_keys_.tracks.empty()) {
        form_.DrawScene();
        return;
    }
    put_imported_keys(state, pending_keys_);
    pending_keys_ = ImportedKeys{};
    // the rows and the picture at the current frame, as a project load shows them; that picture
    // is the new shape's first, drawn once
    form_.refresh_timeline();
    form_.scroll_go(0, 0);
}

void SlotCommands::show_new_target(int k) {
    const EditorState& state = form_.state();
    form_.refresh_slot_rows();
    QPushButton* key = form_.key_buttons[k];
    key->setEnabled(state.current_frame != 0);
    key->setText(state.current_frame == 0 ? texts::kApplied : texts::kMakeKey);
    form_.weight_fields[k]->setText("0.0");
}

void SlotCommands::TargetKill(int k) {
    EditorState& state = form_.state();
    const int32_t language = state.UiLanguage;
    if (!state.target_loaded(k)) return;
    const MessageText& question = texts::kTargetDeleteQuestion;
    if (!form_.dialogs().confirm(shown_message(language, question, k))) return;
    EditStep undo = form_.history->begin(move_out_target(state, k));
    remove_target(state, k);
    form_.weight_fields[k]->setText("0");
    form_.refresh_slot_rows();
    // The removed target's shape must not linger on screen.
    form_.reblend_current();
    form_.history->record(std::move(undo));
}

}  // namespace warpkit
