#include "support/scripted_dialogs.h"

#include <gtest/gtest.h>

namespace warpkit::testing {

namespace {
template <typename T>
T take(std::deque<T>& queue, const char* kind, T fallback) {
    if (queue.empty()) {
        ADD_FAILURE() << "unexpected dialog: " << kind;
        return fallback;
    }
    T answer = queue.front();
    queue.pop_front();
    return answer;
}
}  // namespace

bool ScriptedDialogs::confirm(const std::string& text, const std::string& title) {
    shown.push_back({"confirm", text, title, "", ""});
    if (while_message_shown) while_message_shown();
    return take(confirm_answers, "confirm", false);
}

SaveAnswer ScriptedDialogs::ask_save(const std::string& text, const std::string& title) {
    shown.push_back({"ask_save", text, title, "", ""});
    if (while_message_shown) while_message_shown();
    return take(save_answers, "ask_save", SaveAnswer::kCancel);
}

void ScriptedDialogs::warn(const std::string& text, const std::string& title) {
    shown.push_back({"warn", text, title, "", ""});
    if (while_message_shown) while_message_shown();
}

void ScriptedDialogs::notify(const std::string& text, const std::string& title) {
    shown.push_back({"notify", text, title, "", ""});
    if (while_message_shown) while_message_shown();
}

void ScriptedDialogs::plain(const std::string& text) { shown.push_back({"plain", text, "", "", ""}); }

std::optional<std::string> ScriptedDialogs::open_file(const FileDialogRequest& request) {
    shown.push_back({"open_file", request.filter, request.title, request.folder, "", request.more_filters, ""});
    return take(file_answers, "open_file", std::optional<std::string>{});
}

std::optional<std::string> ScriptedDialogs::save_file(const FileDialogRequest& request) {
    shown.push_back({"save_file", request.filter, request.title, request.folder, request.default_suffix,
                     request.more_filters, request.file_name});
    return take(file_answers, "save_file", std::optional<std::string>{});
}

std::optional<Rgb> ScriptedDialogs::choose_colour(const Rgb& initial) {
    shown.push_back({"choose_colour",
                     std::to_string(initial.red) + "," + std::to_string(initial.green) + "," +
                         std::to_string(initial.blue),
                     "", "", ""});
    return take(colour_answers, "choose_colour", std::optional<Rgb>{});
}

int32_t ScriptedDialogs::choose_object(const ObjectTable& table, const std::string& prompt) {
    shown.push_back(
        {"choose_object", prompt, std::to_string(table.objects.size()), "", ""});
    return take(object_answers, "choose_object", int32_t{-1});
}

void ScriptedDialogs::frame_dialog(FrameDialogMode mode) {
    shown.push_back({"frame_dialog", mode == FrameDialogMode::kJump ? "jump" : "maximum", "", "",
                     ""});
    auto action = take(frame_answers, "frame_dialog", std::function<void(FrameDialogMode)>{});
    if (action) action(mode);
}

int ScriptedDialogs::ask_choice(const std::string& text, const std::string& title,
                                const std::vector<std::string>& answers) {
    shown.push_back({"ask_choice", text, title, "", ""});
    if (while_message_shown) while_message_shown();
    return take(choice_answers, "ask_choice", static_cast<int>(answers.size()) - 1);
}

ListAnswer ScriptedDialogs::ask_save_from_list(const std::string& text, const std::string& title,
                                               const std::vector<std::string>& items,
                                               size_t chosen) {
    ShownDialog dialog{"ask_save_from_list", text, title, "", ""};
    for (size_t i = 0; i < items.size(); ++i)
        dialog.items.push_back((i == chosen ? "> " : "") + items[i]);
    shown.push_back(dialog);
    if (while_message_shown) while_message_shown();
    return take(list_answers, "ask_save_from_list", ListAnswer{SaveAnswer::kCancel, chosen});
}

bool ScriptedDialogs::run_with_progress(const ProgressRequest& request, const ProgressWork& work) {
    shown.push_back({"progress", request.text, request.title, request.cancel, ""});
    bool cancelled = false;
    work([&](double share) {
        cancelled = cancelled || (cancel_progress_at && share >= *cancel_progress_at);
        return !cancelled;
    });
    return !cancelled;
}

bool ScriptedDialogs::all_answers_used() const {
    return confirm_answers.empty() && save_answers.empty() && file_answers.empty() &&
           colour_answers.empty() && object_answers.empty() && frame_answers.empty() &&
           choice_answers.empty() && list_answers.empty();
}

std::string ScriptedDialogs::kinds() const {
    std::string out;
    for (const auto& dialog : shown) {
        if (!out.empty()) out += ' ';
        out += dialog.kind;
    }
    return out;
}

}  // namespace warpkit::testing
