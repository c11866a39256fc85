#include "app/project_commands.h"

#include <QAction>
#include <QCoreApplication>
#include <QLineEdit>
#include <QSignalBlocker>
#include <utility>

#include "app/edit_history.h"
#include "app/morph_controller.h"
#include "app/slot_commands.h"
#include "app/tform1.h"
#include "base/display_text.h"
#include "base/file_paths.h"
#include "morph/decimal.h"
#include "project/project_file.h"
#include "session/file_command_guard.h"
#include "session/project_session.h"
#include "session/session.h"
#include "session/session_history.h"
#include "session/target_order.h"

namespace warpkit {

namespace {

// How many repairs a load lists in its message; a file in utter disorder would fill the
// screen, and the first ones say what kind of file it is.
constexpr size_t kRepairsShown = 20;

}  // namespace

ProjectCommands::ProjectCommands(TForm1& form) : QObject(&form), form_(form) {
    exit_program = [](int status) { QCoreApplication::exit(status); };
    connect(form.OPEN1, &QAction::triggered, this, &ProjectCommands::OPEN1Click);
    connect(form.SAVEPROJECT1, &QAction::triggered, this, &ProjectCommands::SAVEPROJECT1Click);
    connect(form.LOADPROJECT1, &QAction::triggered, this,
            [this] { form_.run_reading_command([this] { LOADPROJECT1Click(); }); });
    connect(form.QUIT1, &QAction::triggered, this, &ProjectCommands::QUIT1Click);
    connect(form.ABOUT, &QAction::triggered, this, &ProjectCommands::HELPClick);
}

void ProjectCommands::settle_weight_fields() {
    for (int k = 1; k <= kTargetCount; ++k) {
        QLineEdit* field = form_.weight_fields[k];
        if (strict_decimal(field->text().toStdString())) continue;
        const QSignalBlocker quiet(field);
        field->setText("0");
    }
}

bool ProjectCommands::save_question(const MessageText& question) {
    const EditorState& state = form_.state();
    if (state.modified != 1) return true;
    switch (form_.dialogs().ask_save(shown_message(state.UiLanguage, question))) {
        case SaveAnswer::kCancel:
            return false;
        case SaveAnswer::kYes:
            return SaveProject();
        case SaveAnswer::kNo:
            return true;
    }
    return false;
}

bool ProjectCommands::SaveProject() {
    EditorState& state = form_.state();
    const int32_t language = state.UiLanguage;
    if (!state.source_loaded()) {
        form_.dialogs().notify(shown_message(language, texts::kProjectEmpty));
        return false;
    }
    FileDialogRequest request;
    request.title = pick(language, texts::kSaveProjectTitle);
    request.filter = texts::kProjectSaveFilter;
    request.default_suffix = texts::kProjectSuffix;
    request.folder = state.project_folder;
    request.file_name = last_saved_name_;
    const std::optional<std::string> chosen = form_.dialogs().save_file(request);
    if (!chosen) return false;
    state.project_folder = folder_of(*chosen);
    last_saved_name_ = chosen->substr(chosen->find_last_of('/') + 1);

    const SaveOutcome saved = save_project_file(*chosen, project_from_state(state));
    if (!saved.ok) {
        form_.dialogs().warn(shown_message(language, texts::kSaveFailed,
                                           display_text(*chosen).c_str(),
                                           saved.reason.in(language).c_str()));
        return false;
    }
    state.modified = 0;
    form_.history->mark_saved();
    Q_EMIT session_settled();
    return true;
}

void ProjectCommands::SAVEPROJECT1Click() {
    if (!form_.morph->commit_focused_field()) return;
    SaveProject();
}

void ProjectCommands::OPEN1Click() {
    if (!form_.morph->commit_focused_field()) return;
    if (!save_question(texts::kSaveQuestionNew)) return;
    clear_session(form_.state());
    form_.history->clear(true);
    settle_weight_fields();
    form_.refresh_slot_rows();
    form_.DrawScene();
    Q_EMIT session_settled();
}

void ProjectCommands::LOADPROJECT1Click() {
    EditorState& state = form_.state();
    const int32_t language = state.UiLanguage;
    if (!form_.morph->commit_focused_field()) return;
    if (!save_question(texts::kSaveQuestionLoad)) return;

    FileDialogRequest request;
    request.title = pick(language, texts::kLoadProjectTitle);
    request.filter = texts::kProjectOpenFilter;
    request.folder = state.project_folder;
    const std::optional<std::string> chosen = form_.dialogs().open_file(request);
    if (chosen) load_project_file(*chosen);
}

void ProjectCommands::load_project_file(const std::string& path) {
    // The folder follows the file even when the project is refused.
    form_.state().project_folder = folder_of(path);
    if (load_project_at(path)) Q_EMIT session_settled();
}

bool ProjectCommands::load_project_at(const std::string& path) {
    EditorState& state = form_.state();
    const int32_t language = state.UiLanguage;

    // Everything is read and checked before the current session is let go.
    note_file_read(path);
    ProjectData project;
    const ParseOutcome parsed = read_project_file(path, project);
    if (!parsed.ok) {
        const std::string file = display_text(path);
        const char* reason = parsed.reason.in(language).c_str();
        if (parsed.line > 0) {
            form_.dialogs().warn(shown_message(language, texts::kProjectRefusalAtLine, file.c_str(),
                                               parsed.line, reason));
        } else {
            form_.dialogs().warn(
                shown_message(language, texts::kProjectRefusal, file.c_str(), reason));
        }
        return false;
    }
    PreparedProject prepared = prepare_project(project);
    if (!prepared.refusal.empty()) {
        form_.dialogs().warn(shown_message(language, texts::kProjectRefusal,
                                           display_text(path).c_str(),
                                           prepared.refusal.in(language).c_str()));
        return false;
    }
    if (parsed.repair_count > 0) {
        std::string changes;
        for (const BilingualText& line : repair_lines(parsed, kRepairsShown)) {
            changes += (changes.empty() ? "" : "\n") + line.in(language);
        }
        form_.dialogs().warn(shown_message(language, texts::kProjectRepaired,
                                           display_text(path).c_str(), changes.c_str()));
    }
    for (const TargetLoadWarning& warning : prepared.warnings) {
        if (warning.kind == TargetLoadWarning::Kind::kVertexCount) {
            form_.dialogs().warn(
                shown_message(language, texts::kProjectVertexCountWarning, warning.slot));
        } else {
            form_.dialogs().warn(shown_message(language, texts::kProjectTargetWarning, warning.slot,
                                               display_text(warning.name).c_str(),
                                               display_text(warning.path).c_str(),
                                               warning.reason.in(language).c_str()));
        }
    }

    const TargetOrder order =
        settle_project_target_orders(form_.dialogs(), language, project, prepared);
    if (order == TargetOrder::kCancelled) return false;

    // The session goes into a step only so that an install cut short by an exception (the
    // project's objects need as much memory again as it took to read them) can put it back.
    EditStep before = form_.history->begin(move_out_source(state));
    const int32_t max_frame = state.max_frame;
    const int32_t modified = state.modified;
    try {
        apply_project(state, project, std::move(prepared));
    } catch (...) {
        state.max_frame = max_frame;
        state.modified = modified;
        form_.history->abandon(before);
        throw;
    }
    form_.history->clear(parsed.repair_count == 0 && order != TargetOrder::kMatched);
    settle_weight_fields();
    form_.refresh_slot_rows();
    form_.refresh_timeline();
    form_.scroll_go(0, 0);
    // A repaired project, or one whose targets were matched to new files, differs from its
    // file until it is saved.
    state.modified = parsed.repair_count > 0 || order == TargetOrder::kMatched ? 1 : 0;
    return true;
}

void ProjectCommands::QUIT1Click() {
    if (!form_.morph->commit_focused_field()) return;
    if (!save_question(texts::kSaveQuestionQuit)) return;
    exit_program(1);
}

void ProjectCommands::HELPClick() {
    const int32_t language = form_.state().UiLanguage;
    form_.dialogs().notify(shown_message(language, texts::kAboutBox));
}

bool ProjectCommands::QuitApp() {
    if (!form_.morph->commit_focused_field()) return false;
    if (form_.state().modified != 1) return true;
    return save_question(texts::kSaveQuestionQuit);
}

}  // namespace warpkit
