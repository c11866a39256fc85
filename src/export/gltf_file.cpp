#include "export/gltf_file.h"

#include <cassert>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

#include "export/command_line.h"
#include "export/output_file.h"
#include "export/printable.h"

namespace warpkit::exporting {

namespace {

using Json = nlohmann::ordered_json;

// The tool speaks English only.
FileOutcome failed(std::string reason) {
    FileOutcome outcome;
    outcome.reason.en = std::move(reason);
    return outcome;
}

Json json_of(const tinygltf::Value& value) {
    switch (value.Type()) {
        case tinygltf::BOOL_TYPE:
            return value.Get<bool>();
        case tinygltf::INT_TYPE:
            return value.Get<int>();
        case tinygltf::REAL_TYPE: {
            // Offsets and lengths beyond int are held as doubles; they are whole numbers.
            const double number = value.Get<double>();
            if (number == std::floor(number) && std::fabs(number) < 9007199254740992.0) {
                return static_cast<int64_t>(number);
            }
            return number;
        }
        case tinygltf::STRING_TYPE:
            return value.Get<std::string>();
        case tinygltf::ARRAY_TYPE: {
            Json array = Json::array();
            for (size_t i = 0; i < value.ArrayLen(); ++i) {
                array.push_back(json_of(value.Get(static_cast<int>(i))));
            }
            return array;
        }
        case tinygltf::OBJECT_TYPE: {
            Json object = Json::object();
            for (const std::string& key : value.Keys()) object[key] = json_of(value.Get(key));
            return object;
        }
        default:
            return nullptr;
    }
}

Json json_of(const tinygltf::ExtensionMap& extensions) {
    Json object = Json::object();
    for (const auto& [name, value] : extensions) object[name] = json_of(value);
    return object;
}

// A buffer's length: its data, or for one without data the end of the last view laid on it.
size_t buffer_length(const tinygltf::Model& model, size_t buffer) {
    if (!model.buffers[buffer].data.empty()) return model.buffers[buffer].data.size();
    size_t end = 0;
    for (const tinygltf::BufferView& view : model.bufferViews) {
        if (view.buffer == static_cast<int>(buffer)) {
            end = std::max(end, view.byteOffset + view.byteLength);
        }
    }
    return end;
}

// The model's JSON as the glTF library writes it, with what the library leaves out put in:
// each buffer's true length and URI (`bin_uri` for buffer 0 when not empty, none otherwise)
// and the extensions of buffers and views. Buffer bytes are kept out of the library's hands,
// which would otherwise write them as base64.
bool model_json(tinygltf::Model& model, const std::string& bin_uri, bool pretty,
                std::string& text) {
    std::vector<std::vector<unsigned char>> bytes(model.buffers.size());
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i].swap(model.buffers[i].data);
    std::ostringstream stream;
    tinygltf::TinyGLTF writer;
    const bool written = writer.WriteGltfSceneToStream(&model, stream, false, false);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i].swap(model.buffers[i].data);
    if (!written) return false;

    Json document = Json::parse(stream.str(), nullptr, false);
    if (document.is_discarded()) return false;
    for (size_t i = 0; i < model.buffers.size(); ++i) {
        assert(i == 0 || model.buffers[i].data.empty());
        Json& buffer = document["buffers"][i];
        buffer.erase("uri");
        if (i == 0 && !bin_uri.empty()) buffer["uri"] = bin_uri;
        buffer["byteLength"] = buffer_length(model, i);
        if (!model.buffers[i].extensions.empty()) {
            buffer["extensions"] = json_of(model.buffers[i].extensions);
        }
    }
    for (size_t i = 0; i < model.bufferViews.size(); ++i) {
        if (!model.bufferViews[i].extensions.empty()) {
            document["bufferViews"][i]["extensions"] = json_of(model.bufferViews[i].extensions);
        }
    }
    text = document.dump(pretty ? 2 : -1);
    return true;
}

void append_u32(std::string& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((value >> shift) & 0xff);
}

// The binary container: header, JSON chunk padded with blanks, binary chunk padded with zeros.
FileOutcome write_binary(tinygltf::Model& model, const std::string& path) {
    std::string json;
    if (!model_json(model, std::string(), false, json)) {
        return failed("the glTF library could not serialise the model");
    }
    const std::vector<unsigned char>& bin = model.buffers.at(0).data;
    const uint64_t json_chunk = (json.size() + 3) / 4 * 4;
    const uint64_t bin_chunk = (bin.size() + 3) / 4 * 4;
    const uint64_t total = 12 + 8 + json_chunk + (bin.empty() ? 0 : 8 + bin_chunk);
    if (total > std::numeric_limits<uint32_t>::max()) {
        return failed("the model needs " + std::to_string(total) +
                      " bytes, more than a .glb file can hold (4 GiB); write a .gltf file");
    }
    std::string out;
    out.reserve(static_cast<size_t>(total));
    out += "glTF";
    append_u32(out, 2);
    append_u32(out, static_cast<uint32_t>(total));
    append_u32(out, static_cast<uint32_t>(json_chunk));
    out += "JSON";
    out += json;
    out.append(static_cast<size_t>(json_chunk) - json.size(), ' ');
    if (!bin.empty()) {
        append_u32(out, static_cast<uint32_t>(bin_chunk));
        out.append("BIN\0", 4);
        out.append(reinterpret_cast<const char*>(bin.data()), bin.size());
        out.append(static_cast<size_t>(bin_chunk) - bin.size(), '\0');
    }
    return write_output_file(path, out);
}

FileOutcome write_text(tinygltf::Model& model, const std::string& path) {
    const std::string bin_path = bin_path_for(path);
    const std::string bin_name = std::filesystem::path(bin_path).filename().string();
    std::string json;
    if (!model_json(model, uri_from_file_name(bin_name), true, json)) {
        return failed("the glTF library could not serialise the model");
    }
    // Both names are looked at before either file is written, so a refusal leaves neither new.
    for (const std::string& name : {path, bin_path}) {
        const std::string problem = output_path_problem(name);
        if (!problem.empty()) return failed(printable(name) + ": " + problem);
    }
    const std::vector<unsigned char>& bin = model.buffers.at(0).data;
    FileOutcome outcome = write_output_file(bin_path, std::string(bin.begin(), bin.end()));
    if (!outcome.ok) return failed(printable(bin_path) + ": " + outcome.reason.en);
    outcome = write_output_file(path, json + "\n");
    if (!outcome.ok) return failed(printable(path) + ": " + outcome.reason.en);
    return outcome;
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

FileOutcome write_gltf_file(tinygltf::Model& model, const std::string& path) {
    if (is_gltf_text_path(path)) return write_text(model, path);
    FileOutcome outcome = write_binary(model, path);
    if (!outcome.ok) outcome.reason.en = printable(path) + ": " + outcome.reason.en;
    return outcome;
}

}  // namespace warpkit::exporting
