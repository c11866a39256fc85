#include "app/slot_commands.h"

#include <QLineEdit>
#include <QPushButton>

#include "app/edit_history.h"
#include "app/session.h"
#include "app/texts.h"
#include "app/tform1.h"
#include "controls/push_panel.h"

namespace warpkit {

std::string folder_of(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return std::string();
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

SlotCommands::SlotCommands(TForm1& form) : QObject(&form), form_(form) {
    connect(form.load_buttons[0], &QPushButton::clicked, this, [this] { SourceLoad(); });
    for (int k = 1; k <= kTargetCount; ++k) {
        connect(form.load_buttons[k], &QPushButton::clicked, this, [this, k] { TargetLoad(k); });
        connect(form.kill_buttons[k], &QPushButton::clicked, this, [this, k] { TargetKill(k); });
    }
}

void SlotCommands::report_read_failure(const ReadOutcome& outcome, const std::string& path) {
    const ShownMessage message = read_failure_message(outcome, path, form_.state().UiLanguage);
    if (!message.text.empty()) form_.dialogs().warn(message.text, message.title);
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
    form_.dialogs().warn(format_text(pick(language, warning.text), display_text(name).c_str()),
                         pick(language, warning.title));
}

bool SlotCommands::choose_and_read(const std::string& dialog_title, const std::string& prompt,
                                   std::string& path) {
    EditorState& state = form_.state();
    UserDialogs& dialogs = form_.dialogs();
    FileDialogRequest request;
    request.title = dialog_title;
    request.filter = texts::kObjectFilter;
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
    const ReadOutcome outcome = reader_.ReadObject(
        path, prompt, false,
        [&dialogs, ask_when_single](const ObjectTable& table, const std::string& text) {
            if (!ask_when_single && table.objects.size() == 1) return 0;
            return dialogs.choose_object(table, text);
        });
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
        if (!form_.dialogs().confirm(pick(language, question.text), pick(language, question.title)))
            return;
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
    if (read_object_file(path, pick(state.UiLanguage, texts::kSelectSourcePrompt), false))
        take_source(path);
}

void SlotCommands::take_source(const std::string& path) {
    EditorState& state = form_.state();
    const ReadResult& source = reader_.result();
    const SlotCheck check = check_source_object(source);
    if (refuse_unusable(check, path)) return;

    EditStep undo = form_.history->begin(move_out_source(state));
    install_source(state, path, source);
    reader_.ReleaseReadResult();
    // Every target row is empty now; its field is reset only after the slot is, so the field's
    // change reaction finds no target left to preview with the old shape.
    for (int k = 1; k <= kTargetCount; ++k) form_.weight_fields[k]->setText("0");
    form_.refresh_slot_rows();
    form_.DrawScene();
    form_.history->record(std::move(undo));
    warn_of_unrecordable_name(check, state.slots[0].name);
}

void SlotCommands::TargetLoad(int k) {
    EditorState& state = form_.state();
    const int32_t language = state.UiLanguage;
    if (!state.source_loaded()) return;
    if (state.target_loaded(k)) {
        const MessageText& question = texts::kTargetReloadQuestion;
        if (!form_.dialogs().confirm(format_text(pick(language, question.text), k),
                                     pick(language, question.title)))
            return;
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

    const bool replaced = state.target_loaded(k);
    EditStep undo = form_.history->begin(move_out_target(state, k));
    install_target(state, k, path, target);
    reader_.ReleaseReadResult();
    form_.refresh_slot_rows();
    QPushButton* key = form_.key_buttons[k];
    key->setEnabled(state.current_frame != 0);
    key->setText(state.current_frame == 0 ? texts::kApplied : texts::kMakeKey);
    form_.weight_fields[k]->setText("0.0");
    if (replaced) {
        // The replaced target's shape must not linger on screen.
        form_.reblend_current();
    } else {
        form_.DrawScene();
    }
    form_.history->record(std::move(undo));
    warn_of_unrecordable_name(check, state.slots[k].name);
}

void SlotCommands::TargetKill(int k) {
    EditorState& state = form_.state();
    const int32_t language = state.UiLanguage;
    if (!state.target_loaded(k)) return;
    const MessageText& question = texts::kTargetDeleteQuestion;
    if (!form_.dialogs().confirm(format_text(pick(language, question.text), k),
                                 pick(language, question.title)))
        return;
    EditStep undo = form_.history->begin(move_out_target(state, k));
    remove_target(state, k);
    form_.weight_fields[k]->setText("0");
    form_.refresh_slot_rows();
    // The removed target's shape must not linger on screen.
    form_.reblend_current();
    form_.history->record(std::move(undo));
}

}  // namespace warpkit
