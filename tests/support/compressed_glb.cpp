#include "support/compressed_glb.h"

#include <draco/compression/decode.h>
#include <draco/compression/encode.h>
#include <draco/mesh/mesh.h>
#include <meshoptimizer.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <vector>

namespace warpkit::testing {
namespace {

using nlohmann::json;

uint32_t u32_at(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

struct Glb {
    json root;
    std::string bin;
};

Glb split(const std::string& glb) {
    if (glb.size() < 28 || u32_at(glb, 0) != 0x46546C67) throw std::runtime_error("not a glb");
    const uint32_t json_length = u32_at(glb, 12);
    const size_t bin_at = 20 + json_length;
    if (bin_at + 8 > glb.size()) throw std::runtime_error("a glb without binary chunk");
    return Glb{json::parse(glb.substr(20, json_length)),
               glb.substr(bin_at + 8, u32_at(glb, bin_at))};
}

void put_u32(std::string& out, uint32_t value) {
    out.append(reinterpret_cast<const char*>(&value), 4);
}

std::string join(Glb& glb) {
    while (glb.bin.size() % 4 != 0) glb.bin.push_back('\0');
    glb.root["buffers"][0]["byteLength"] = glb.bin.size();
    std::string text = glb.root.dump();
    while (text.size() % 4 != 0) text.push_back(' ');
    std::string out;
    put_u32(out, 0x46546C67);
    put_u32(out, 2);
    put_u32(out, static_cast<uint32_t>(28 + text.size() + glb.bin.size()));
    put_u32(out, static_cast<uint32_t>(text.size()));
    put_u32(out, 0x4E4F534A);
    out += text;
    put_u32(out, static_cast<uint32_t>(glb.bin.size()));
    put_u32(out, 0x004E4942);
    return out + glb.bin;
}

void require(json& root, const char* extension) {
    root["extensionsUsed"].push_back(extension);
    root["extensionsRequired"].push_back(extension);
}

// The elements of an accessor, each widened to its components as double.
std::vector<double> elements(const Glb& glb, int index, size_t& components) {
    const json& accessor = glb.root["accessors"][index];
    const json& view = glb.root["bufferViews"][accessor["bufferView"].get<int>()];
    const std::string type = accessor["type"];
    components = type == "SCALAR" ? 1 : type == "VEC3" ? 3 : throw std::runtime_error(type);
    const int component_type = accessor["componentType"];
    const size_t size = component_type == 5126 || component_type == 5125 ? 4
                        : component_type == 5123                         ? 2
                                                                         : 1;
    const size_t stride = view.value("byteStride", size * components);
    const size_t at = view.value("byteOffset", size_t{0}) + accessor.value("byteOffset", size_t{0});
    std::vector<double> out;
    for (size_t i = 0; i < accessor["count"].get<size_t>(); ++i) {
        for (size_t c = 0; c < components; ++c) {
            const char* p = glb.bin.data() + at + i * stride + c * size;
            uint32_t word = 0;
            std::memcpy(&word, p, size);
            float value = 0;
            std::memcpy(&value, &word, 4);
            out.push_back(component_type == 5126 ? value : word);
        }
    }
    return out;
}

int add_view(Glb& glb, const void* bytes, size_t length) {
    while (glb.bin.size() % 4 != 0) glb.bin.push_back('\0');
    glb.root["bufferViews"].push_back(
        {{"buffer", 0}, {"byteOffset", glb.bin.size()}, {"byteLength", length}});
    glb.bin.append(static_cast<const char*>(bytes), length);
    return static_cast<int>(glb.root["bufferViews"].size() - 1);
}

}  // namespace

std::string draco_glb(const std::string& plain) {
    Glb glb = split(plain);
    std::vector<int> loose;  // accessors whose bytes now lie in Draco data
    for (json& mesh : glb.root["meshes"]) {
        for (json& primitive : mesh["primitives"]) {
            const int positions = primitive["attributes"]["POSITION"];
            const int indices = primitive["indices"];
            size_t components = 0;
            const std::vector<double> points = elements(glb, positions, components);
            const std::vector<double> corners = elements(glb, indices, components);
            draco::Mesh encoded;
            encoded.set_num_points(static_cast<uint32_t>(points.size() / 3));
            draco::GeometryAttribute position;
            position.Init(draco::GeometryAttribute::POSITION, nullptr, 3, draco::DT_FLOAT32, false,
                          12, 0);
            const int id = encoded.AddAttribute(position, true, encoded.num_points());
            for (uint32_t i = 0; i < encoded.num_points(); ++i) {
                const float point[3] = {static_cast<float>(points[3 * i]),
                                        static_cast<float>(points[3 * i + 1]),
                                        static_cast<float>(points[3 * i + 2])};
                encoded.attribute(id)->SetAttributeValue(draco::AttributeValueIndex(i), point);
            }
            for (size_t f = 0; f + 2 < corners.size(); f += 3) {
                encoded.AddFace({draco::PointIndex(static_cast<uint32_t>(corners[f])),
                                 draco::PointIndex(static_cast<uint32_t>(corners[f + 1])),
                                 draco::PointIndex(static_cast<uint32_t>(corners[f + 2]))});
            }
            draco::Encoder encoder;
            encoder.SetEncodingMethod(draco::MESH_SEQUENTIAL_ENCODING);
            draco::EncoderBuffer buffer;
            if (!encoder.EncodeMeshToBuffer(encoded, &buffer).ok())
                throw std::runtime_error("Draco cannot encode the mesh");
            // Draco's sequential mode loses its way over points no triangle uses
            draco::DecoderBuffer check;
            check.Init(buffer.data(), buffer.size());
            if (!draco::Decoder().DecodeMeshFromBuffer(&check).ok())
                throw std::runtime_error("Draco cannot decode the mesh it encoded");
            const int view = add_view(glb, buffer.data(), buffer.size());
            primitive["extensions"]["KHR_draco_mesh_compression"] = {
                {"bufferView", view},
                {"attributes", {{"POSITION", encoded.attribute(id)->unique_id()}}}};
            loose.insert(loose.end(), {positions, indices});
        }
    }
    for (const int index : loose) {
        glb.root["accessors"][index].erase("bufferView");
        glb.root["accessors"][index].erase("byteOffset");
    }
    require(glb.root, "KHR_draco_mesh_compression");
    return join(glb);
}

std::string edited_glb(const std::string& plain, const std::function<void(json&)>& edit) {
    Glb glb = split(plain);
    edit(glb.root);
    return join(glb);
}

std::string meshopt_glb(const std::string& plain) {
    Glb glb = split(plain);
    json& views = glb.root["bufferViews"];
    // what each view holds: its element size, and whether it lists triangle or other indices
    std::vector<size_t> strides(views.size(), 0);
    std::vector<std::string> modes(views.size(), "ATTRIBUTES");
    const auto size_of = [](int type) { return type == 5123 ? 2 : type == 5121 ? 1 : 4; };
    for (const json& accessor : glb.root["accessors"]) {
        const std::string type = accessor["type"];
        const size_t components = type == "SCALAR" ? 1 : type == "VEC3" ? 3 : 4;
        if (accessor.contains("bufferView")) {
            strides[accessor["bufferView"]] = size_of(accessor["componentType"]) * components;
        }
        if (accessor.contains("sparse")) {
            const json& sparse = accessor["sparse"];
            strides[sparse["indices"]["bufferView"]] = size_of(sparse["indices"]["componentType"]);
            modes[sparse["indices"]["bufferView"]] = "INDICES";
            strides[sparse["values"]["bufferView"]] =
                size_of(accessor["componentType"]) * components;
        }
    }
    for (const json& mesh : glb.root["meshes"]) {
        for (const json& primitive : mesh["primitives"]) {
            if (primitive.contains("indices")) {
                const int view =
                    glb.root["accessors"][primitive["indices"].get<int>()]["bufferView"];
                modes[view] = "TRIANGLES";
            }
        }
    }
    std::string packed;
    size_t fallback = 0;
    for (size_t v = 0; v < views.size(); ++v) {
        json& view = views[v];
        const size_t stride = strides[v];
        const size_t length = view["byteLength"];
        const char* bytes = glb.bin.data() + view.value("byteOffset", size_t{0});
        const size_t count = stride ? length / stride : 0;
        std::vector<unsigned char> encoded;
        if (modes[v] == "ATTRIBUTES" && stride % 4 == 0 && stride > 0) {
            encoded.resize(meshopt_encodeVertexBufferBound(count, stride));
            encoded.resize(
                meshopt_encodeVertexBuffer(encoded.data(), encoded.size(), bytes, count, stride));
        } else if (stride == 2 || stride == 4) {
            std::vector<unsigned int> indices(count);
            for (size_t i = 0; i < count; ++i) {
                uint32_t word = 0;
                std::memcpy(&word, bytes + i * stride, stride);
                indices[i] = word;
            }
            const size_t vertices = *std::max_element(indices.begin(), indices.end()) + 1;
            if (modes[v] == "TRIANGLES") {
                encoded.resize(meshopt_encodeIndexBufferBound(count, vertices));
                encoded.resize(meshopt_encodeIndexBuffer(encoded.data(), encoded.size(),
                                                         indices.data(), count));
            } else {
                encoded.resize(meshopt_encodeIndexSequenceBound(count, vertices));
                encoded.resize(meshopt_encodeIndexSequence(encoded.data(), encoded.size(),
                                                           indices.data(), count));
            }
        } else {
            throw std::runtime_error("a buffer view of bytes meshopt does not encode");
        }
        while (packed.size() % 4 != 0) packed.push_back('\0');
        view["extensions"]["EXT_meshopt_compression"] = {{"buffer", 0},
                                                         {"byteOffset", packed.size()},
                                                         {"byteLength", encoded.size()},
                                                         {"byteStride", stride},
                                                         {"count", count},
                                                         {"mode", modes[v]}};
        packed.append(reinterpret_cast<const char*>(encoded.data()), encoded.size());
        fallback = (fallback + 3) / 4 * 4;
        view["buffer"] = 1;
        view["byteOffset"] = fallback;
        fallback += length;
    }
    glb.bin = packed;
    glb.root["buffers"].push_back(
        {{"byteLength", fallback},
         {"extensions", {{"EXT_meshopt_compression", {{"fallback", true}}}}}});
    require(glb.root, "EXT_meshopt_compression");
    return join(glb);
}

}  // namespace warpkit::testing
