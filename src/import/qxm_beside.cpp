#include "import/qxm_beside.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/display_text.h"
#include "base/file_paths.h"
#include "import/file_bytes.h"

namespace warpkit {
namespace {

constexpr int kMaxNumbered = 9999;

std::string without_suffix(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
    return path.substr(0, dot);
}

}  // namespace

std::string qxm_path_for(const std::string& imported_path) {
    std::string stem = stem_part(imported_path);
    for (char& c : stem) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) c = '_';
    }
    if (imported_path.find('/') == std::string::npos) return stem + ".qxm";
    const std::string folder = folder_of(imported_path);
    return (folder == "/" ? folder : folder + "/") + stem + ".qxm";
}

StoreOutcome write_qxm_unused_name(const std::string& wanted, const std::vector<QxmObject>& objects,
                                   const QxmPalette& palette) {
    return write_qxm_unused_name(wanted, qxm_views(objects), palette);
}

StoreOutcome write_qxm_unused_name(const std::string& wanted,
                                   const std::vector<QxmObjectView>& objects,
                                   const QxmPalette& palette) {
    StoreOutcome outcome;
    const std::string problem = qxm_contents_problem(objects, palette);
    if (!problem.empty()) {
        outcome.reason = same_in_both(problem);
        return outcome;
    }
    const std::string folder = folder_of(wanted);
    if (access(folder.c_str(), W_OK) != 0) {
        outcome.status = StoreStatus::kFolderNotWritable;
        outcome.reason = same_in_both(std::strerror(errno));
        return outcome;
    }
    const std::string base = without_suffix(wanted);
    for (int n = 1; n <= kMaxNumbered; ++n) {
        const std::string path = n == 1 ? base + ".qxm" : base + "-" + std::to_string(n) + ".qxm";
        const FileOutcome written = write_qxm_file(path, objects, palette, ExistingFile::kKeep);
        if (written.ok) {
            outcome.status = StoreStatus::kWritten;
            outcome.path = path;
            return outcome;
        }
        // another name only when this one is taken; any other failure is final
        if (written.reason.en.find("already exists") == std::string::npos) {
            outcome.reason = written.reason;
            if (access(folder.c_str(), W_OK) != 0) outcome.status = StoreStatus::kFolderNotWritable;
            return outcome;
        }
    }
    const std::string first = display_text(base + ".qxm");
    const std::string last = display_text(base + "-" + std::to_string(kMaxNumbered) + ".qxm");
    outcome.reason = format_both(
        {"%s から %s までの名前がすべて使われています", "every name from %s to %s is taken"}, first,
        last);
    return outcome;
}

}  // namespace warpkit
