#pragma once
// Dialogs for benchmarks of the real main window: nothing is asked of anyone. Every question
// is counted (so a step that stopped at a message shows) and answered with a cancel, except an
// open-file dialog, which gets `open_answer` when one is set.
#include <optional>
#include <string>
#include <vector>

#include "session/user_dialogs.h"

namespace warpkit::bench {

class QuietDialogs : public UserDialogs {
public:
    int asked = 0;
    std::optional<std::string> open_answer;

    bool confirm(const std::string&, const std::string&) override { return ++asked, false; }
    SaveAnswer ask_save(const std::string&, const std::string&) override {
        ++asked;
        return SaveAnswer::kCancel;
    }
    void warn(const std::string&, const std::string&) override { ++asked; }
    void notify(const std::string&, const std::string&) override { ++asked; }
    void plain(const std::string&) override { ++asked; }
    std::optional<std::string> open_file(const FileDialogRequest&) override {
        if (open_answer) return open_answer;
        ++asked;
        return std::nullopt;
    }
    std::optional<std::string> save_file(const FileDialogRequest&) override {
        ++asked;
        return std::nullopt;
    }
    std::optional<Rgb> choose_colour(const Rgb&) override {
        ++asked;
        return std::nullopt;
    }
    int32_t choose_object(const ObjectTable&, const std::string&) override { return ++asked, -1; }
    void frame_dialog(FrameDialogMode) override { ++asked; }
    int ask_choice(const std::string&, const std::string&,
                   const std::vector<std::string>& answers) override {
        ++asked;
        return static_cast<int>(answers.size()) - 1;
    }
    ListAnswer ask_save_from_list(const std::string&, const std::string&,
                                  const std::vector<std::string>&, size_t chosen) override {
        ++asked;
        return ListAnswer{SaveAnswer::kCancel, chosen};
    }
    bool run_with_progress(const ProgressRequest&, const ProgressWork&) override {
        ++asked;
        return false;
    }
};

}  // namespace warpkit::bench
