#include "session/file_command_guard.h"

#include <new>
#include <utility>

#include "base/bilingual_text.h"
#include "base/display_text.h"

namespace warpkit {
namespace {

// The file the innermost guarded command of this thread read last.
thread_local std::string* file_being_read = nullptr;

}  // namespace

void note_file_read(const std::string& path) {
    if (file_being_read == nullptr) return;
    try {
        *file_being_read = path;
    } catch (const std::bad_alloc&) {
        // the warning names no file then, which is better than none at all
        file_being_read->clear();
    }
}

ShownMessage file_command_failure(const std::exception* error, const std::string& file,
                                  int32_t language) {
    const BilingualText named =
        file.empty() ? BilingualText{"ファイル", "the file"} : same_in_both(display_text(file));
    if (dynamic_cast<const std::bad_alloc*>(error) != nullptr) {
        const MessageText& message = texts::kOutOfMemoryRefusal;
        return {format_both(message.text, named).in(language), pick(language, message.title)};
    }
    const std::string what = error != nullptr ? error->what() : "";
    const BilingualText reason =
        what.empty() ? BilingualText{"原因の分からないエラー", "an error of unknown cause"}
                     : format_both({"予期しないエラー（%s）", "an unexpected error (%s)"}, what);
    const MessageText& message = texts::kCommandStoppedRefusal;
    return {format_both(message.text, named, reason).in(language), pick(language, message.title)};
}

bool run_file_command(UserDialogs& dialogs, int32_t language, const std::function<void()>& command,
                      const std::function<void()>& let_go) {
    std::string file;
    // guarded commands nest (a recovery copy restored through the project load)
    std::string* const outer = std::exchange(file_being_read, &file);
    // Made in the handler, once the command's stack is unwound and `let_go` has run: by then
    // the memory the command took is back and the warning has room to be made.
    const auto stopped = [&](const std::exception* error) {
        file_being_read = outer;
        if (let_go) let_go();
        return file_command_failure(error, file, language);
    };
    ShownMessage failure;
    try {
        command();
        file_being_read = outer;
        return true;
    } catch (const std::exception& error) {
        failure = stopped(&error);
    } catch (...) {
        failure = stopped(nullptr);
    }
    dialogs.warn(failure);
    return false;
}

}  // namespace warpkit
