#pragma once
// A UserDialogs that answers from queues and records everything shown, so commands can be
// tested end to end with their exact texts. An unexpected question fails the test.
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "session/user_dialogs.h"

namespace warpkit::testing {

struct ShownDialog {
    std::string kind;   // "confirm", "ask_save", "warn", "notify", "plain", "open_file", ...
    std::string text;   // message text, or the file dialog's filter
    std::string title;  // message title, or the file dialog's title
    std::string folder;
    std::string suffix;
    std::vector<std::string> more_filters = {};  // file dialogs: the filters after the first
    std::string file_name = {};                  // save dialog: the name it proposes
    std::vector<std::string> items = {};         // a question's list, the item chosen first
                                                 // marked "> "
};

class ScriptedDialogs : public UserDialogs {
public:
    // Answers, taken in order by the matching kind.
    std::deque<bool> confirm_answers;
    std::deque<SaveAnswer> save_answers;
    std::deque<std::optional<std::string>> file_answers;  // open and save dialogs
    std::deque<std::optional<Rgb>> colour_answers;
    std::deque<int32_t> object_answers;
    // What the frame dialog does to the session when shown.
    std::deque<std::function<void(FrameDialogMode)>> frame_answers;
    std::deque<int> choice_answers;       // the index of the answer given to ask_choice
    std::deque<ListAnswer> list_answers;  // ask_save_from_list
    // The share of the work at which the user presses Cancel in a progress dialog; unset, the
    // work runs to its end.
    std::optional<double> cancel_progress_at;

    std::vector<ShownDialog> shown;
    // Run while a message box is shown, after it was recorded: what the user does meanwhile.
    std::function<void()> while_message_shown;

    bool confirm(const std::string& text, const std::string& title) override;
    SaveAnswer ask_save(const std::string& text, const std::string& title) override;
    void warn(const std::string& text, const std::string& title) override;
    void notify(const std::string& text, const std::string& title) override;
    void plain(const std::string& text) override;
    std::optional<std::string> open_file(const FileDialogRequest& request) override;
    std::optional<std::string> save_file(const FileDialogRequest& request) override;
    std::optional<Rgb> choose_colour(const Rgb& initial) override;
    int32_t choose_object(const ObjectTable& table, const std::string& prompt) override;
    void frame_dialog(FrameDialogMode mode) override;
    int ask_choice(const std::string& text, const std::string& title,
                   const std::vector<std::string>& answers) override;
    ListAnswer ask_save_from_list(const std::string& text, const std::string& title,
                                  const std::vector<std::string>& items, size_t chosen) override;
    // Runs the work right here; recorded as "progress".
    bool run_with_progress(const ProgressRequest& request, const ProgressWork& work) override;

    // True when every queued answer was used.
    bool all_answers_used() const;
    // The kinds shown, in order ("confirm warn ...").
    std::string kinds() const;
    const ShownDialog& last() const { return shown.back(); }
};

}  // namespace warpkit::testing
