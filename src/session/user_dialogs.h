#pragma once
// Every modal question the program asks goes through this interface, so the commands can be
// tested end to end with a scripted implementation that records each text and title.
// Texts are UTF-8; paths are bytes as the file system gives them.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/qxm_reader.h"

namespace warpkit {

enum class SaveAnswer { kYes, kNo, kCancel };

struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
};

struct FileDialogRequest {
    std::string title;
    std::string filter;          // "Description|*.ext"
    std::string folder;          // where the dialog starts; empty: the process's current folder
    std::string default_suffix;  // save only
    std::string file_name;       // save only: the name offered in the folder; empty for none
    std::vector<std::string> more_filters;  // offered after `filter`, each "Description|*.a *.b"
    bool may_replace = true;  // save only: false when the caller never replaces a file, so
                              // the dialog does not ask whether to
};

// A long piece of work shown behind a modal progress dialog.
struct ProgressRequest {
    std::string title;
    std::string text;
    std::string cancel;  // the Cancel button's text
};
// Told the share of the work done so far (0 to 1); returns false once the user has cancelled.
using ProgressReport = std::function<bool(double share_done)>;
using ProgressWork = std::function<void(const ProgressReport& report)>;

enum class FrameDialogMode { kJump = 1, kMaximum = 2 };

// The answer to a Yes/No/Cancel question with a list: the button, and the item chosen in the list.
struct ListAnswer {
    SaveAnswer answer = SaveAnswer::kCancel;
    size_t item = 0;
};

class UserDialogs {
public:
    virtual ~UserDialogs() = default;
    // OK/Cancel with the question icon; true for OK.
    virtual bool confirm(const std::string& text, const std::string& title) = 0;
    // Yes/No/Cancel with the question icon.
    virtual SaveAnswer ask_save(const std::string& text, const std::string& title) = 0;
    // OK with the exclamation icon.
    virtual void warn(const std::string& text, const std::string& title) = 0;
    // OK with the information icon.
    virtual void notify(const std::string& text, const std::string& title) = 0;
    // OK, no icon, no title of its own (the drawing set-up errors).
    virtual void plain(const std::string& text) = 0;
    // File dialogs: the chosen file's full name, or nothing when cancelled.
    virtual std::optional<std::string> open_file(const FileDialogRequest& request) = 0;
    virtual std::optional<std::string> save_file(const FileDialogRequest& request) = 0;
    // Full colour chooser starting at `initial`; nothing when cancelled.
    virtual std::optional<Rgb> choose_colour(const Rgb& initial) = 0;
    // The object selection dialog: the chosen index, or -1.
    virtual int32_t choose_object(const ObjectTable& table, const std::string& prompt) = 0;
    // The frame dialog; it changes the session's frames itself.
    virtual void frame_dialog(FrameDialogMode mode) = 0;
    // A question with the question icon whose answers are `answers` (two or three button
    // texts, the first the default); the index of the one chosen. Closing the box chooses the
    // last, so the last must be the answer that goes no further.
    virtual int ask_choice(const std::string& text, const std::string& title,
                           const std::vector<std::string>& answers) = 0;
    // Yes/No/Cancel with the question icon and, under the text, a list of `items` (at least one)
    // of which one is chosen, `chosen` to start with. Closing the box is Cancel.
    virtual ListAnswer ask_save_from_list(const std::string& text, const std::string& title,
                                          const std::vector<std::string>& items, size_t chosen) = 0;
    // Runs `work` to its end. When it takes longer than half a second a modal progress dialog
    // with a Cancel button shows meanwhile and the windows keep repainting, but nothing else
    // can be done. `work` may run on another thread, so it must touch nothing but its own data
    // and what no window changes. False when the user cancelled (even if the work went on to
    // its end).
    virtual bool run_with_progress(const ProgressRequest& request, const ProgressWork& work) = 0;

    // The same boxes, given as shown_message() makes them.
    bool confirm(const ShownMessage& box) { return confirm(box.text, box.title); }
    SaveAnswer ask_save(const ShownMessage& box) { return ask_save(box.text, box.title); }
    void warn(const ShownMessage& box) { warn(box.text, box.title); }
    void notify(const ShownMessage& box) { notify(box.text, box.title); }
    int ask_choice(const ShownMessage& box, const std::vector<std::string>& answers) {
        return ask_choice(box.text, box.title, answers);
    }
};

}  // namespace warpkit
