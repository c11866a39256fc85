#include "export/gltf_file.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "export/command_line.h"

namespace warpkit::exporting {

namespace {

namespace fs = std::filesystem;

// The tool speaks English only.
FileOutcome failed(std::string reason) {
    FileOutcome outcome;
    outcome.reason.en = std::move(reason);
    return outcome;
}

bool read_whole(const fs::path& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// A private folder for the library's own file writing, removed with its files on every path.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "warpkit-export-XXXXXX").string();
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

FileOutcome write_binary(const tinygltf::Model& model, const std::string& path) {
    std::ostringstream stream;
    tinygltf::TinyGLTF writer;
    if (!writer.WriteGltfSceneToStream(&model, stream, false, true)) {
        return failed("the glTF library could not serialise the model");
    }
    return replace_file_contents(path, stream.str());
}

// The library writes a .gltf text and its .bin only straight to files, without telling whether
// every byte arrived. So it writes them into a scratch folder, they are checked there, and each
// replaces its file in the output folder whole.
FileOutcome write_text(const tinygltf::Model& model, const std::string& path) {
    ScratchFolder scratch;
    if (scratch.path().empty()) return failed("cannot make a scratch folder for the .bin file");

    const std::string name = fs::path(path).filename().string();
    const std::string bin_name = fs::path(bin_path_for(path)).filename().string();
    tinygltf::Model copy = model;
    copy.buffers.at(0).uri = uri_from_file_name(bin_name);
    const fs::path scratch_text = scratch.path() / name;
    tinygltf::TinyGLTF writer;
    if (!writer.WriteGltfSceneToFile(&copy, scratch_text.string(), false, false, true, false)) {
        return failed("the glTF library could not write the model");
    }

    // The library saved the .bin under its URI; readers look for the decoded name.
    std::error_code renamed;
    fs::rename(scratch.path() / copy.buffers[0].uri, scratch.path() / bin_name, renamed);
    std::string text;
    std::string bin;
    if (renamed || !read_whole(scratch_text, text) || !read_whole(scratch.path() / bin_name, bin) ||
        bin.size() != copy.buffers[0].data.size() ||
        bin.compare(0, bin.size(), reinterpret_cast<const char*>(copy.buffers[0].data.data()),
                    copy.buffers[0].data.size()) != 0) {
        return failed("the glTF library did not write the whole model");
    }
    // The text must read back: a write cut short leaves JSON that does not.
    tinygltf::Model check;
    std::string error;
    std::string warning;
    tinygltf::TinyGLTF reader;
    if (!reader.LoadASCIIFromString(&check, &error, &warning, text.data(),
                                    static_cast<unsigned int>(text.size()),
                                    scratch.path().string())) {
        return failed("the written glTF text does not read back: " + error);
    }

    FileOutcome outcome = replace_file_contents(bin_path_for(path), bin);
    if (!outcome.ok) return outcome;
    return replace_file_contents(path, text);
}

}  // namespace

std::string bin_path_for(const std::string& gltf_path) {
    return gltf_path.substr(0, gltf_path.size() - 5) + ".bin";
}

std::string uri_from_file_name(const std::string& name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string uri;
    for (unsigned char c : name) {
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                                c == '~';
        if (unreserved) {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 15];
        }
    }
    return uri;
}

FileOutcome write_gltf_file(const tinygltf::Model& model, const std::string& path) {
    if (is_gltf_text_path(path)) return write_text(model, path);
    return write_binary(model, path);
}

}  // namespace warpkit::exporting
