#include "import/inside_folder.h"

#include <stdlib.h>

#include <filesystem>
#include <memory>

#include "base/display_text.h"

namespace warpkit {
namespace {

// realpath, or empty when nothing is there (or it cannot be reached).
std::string resolved(const std::string& path) {
    const std::unique_ptr<char, decltype(&free)> real(realpath(path.c_str(), nullptr), &free);
    return real ? std::string(real.get()) : std::string();
}

std::string without_end_slash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

bool within(const std::string& root, const std::string& path) {
    const std::string inside = !root.empty() && root.back() == '/' ? root : root + "/";
    return path.compare(0, inside.size(), inside) == 0;
}

}  // namespace

NamedFile file_in_folder(const std::string& folder, const std::string& name) {
    namespace fs = std::filesystem;
    NamedFile file;
    const auto leaves = [&]() {
        file.problem = format_both({"%s は、それを指定するファイルのフォルダ %s の外にあります",
                                    "%s lies outside %s, the folder of the file that names it"},
                                   display_text(name), display_text(folder));
        return file;
    };
    // by the name alone first, so "../gone.bin" is refused as leaving, not as missing
    std::error_code error;
    const fs::path root = fs::absolute(folder, error).lexically_normal();
    const std::string root_text = without_end_slash(root.string());
    const std::string joined = without_end_slash((root / name).lexically_normal().string());
    // no name, or the folder itself: no file
    file.missing = name.empty() || joined == root_text;
    if (file.missing) return file;
    if (!within(root_text, joined)) return leaves();

    // then where the links lead
    const std::string real_root = resolved(folder);
    const std::string real = resolved(joined);
    file.missing = real_root.empty() || real.empty() || real == real_root;
    if (file.missing) return file;
    if (!within(real_root, real)) return leaves();
    file.path = real;
    return file;
}

std::string percent_decoded(const std::string& uri) {
    const auto hex = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    for (size_t i = 0; i < uri.size(); ++i) {
        if (uri[i] == '%' && i + 2 < uri.size() && hex(uri[i + 1]) >= 0 && hex(uri[i + 2]) >= 0) {
            out += static_cast<char>(hex(uri[i + 1]) * 16 + hex(uri[i + 2]));
            i += 2;
        } else {
            out += uri[i];
        }
    }
    return out;
}

}  // namespace warpkit
