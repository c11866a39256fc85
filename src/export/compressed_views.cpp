#include "export/compressed_views.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstring>

namespace warpkit::exporting {

namespace {

// Indices of 2 or 4 bytes, widened for the codec.
std::vector<unsigned int> read_indices(const unsigned char* bytes, size_t count, size_t stride) {
    std::vector<unsigned int> indices(count);
    for (size_t i = 0; i < count; ++i) {
        if (stride == sizeof(uint16_t)) {
            uint16_t index = 0;
            std::memcpy(&index, bytes + i * stride, sizeof index);
            indices[i] = index;
        } else {
            std::memcpy(&indices[i], bytes + i * stride, sizeof indices[i]);
        }
    }
    return indices;
}

// The view's bytes encoded by the codec its contents call for; empty when the codec cannot
// take them.
std::vector<unsigned char> encode(const unsigned char* bytes, size_t length,
                                  const ViewLayout& layout) {
    std::vector<unsigned char> encoded;
    const size_t stride = layout.stride;
    if (stride == 0 || length == 0 || length % stride != 0) return encoded;
    const size_t count = length / stride;
    if (layout.kind == ViewKind::kAttributes) {
        if (stride % 4 != 0 || stride > 256) return encoded;
        encoded.resize(meshopt_encodeVertexBufferBound(count, stride));
        encoded.resize(
            meshopt_encodeVertexBuffer(encoded.data(), encoded.size(), bytes, count, stride));
        return encoded;
    }
    if (stride != 2 && stride != 4) return encoded;
    const std::vector<unsigned int> indices = read_indices(bytes, count, stride);
    const size_t vertices = *std::max_element(indices.begin(), indices.end()) + size_t{1};
    if (layout.kind == ViewKind::kTriangles) {
        if (count % 3 != 0) return encoded;
        encoded.resize(meshopt_encodeIndexBufferBound(count, vertices));
        encoded.resize(
            meshopt_encodeIndexBuffer(encoded.data(), encoded.size(), indices.data(), count));
    } else {
        encoded.resize(meshopt_encodeIndexSequenceBound(count, vertices));
        encoded.resize(
            meshopt_encodeIndexSequence(encoded.data(), encoded.size(), indices.data(), count));
    }
    return encoded;
}

const char* mode_name(ViewKind kind) {
    switch (kind) {
        case ViewKind::kAttributes:
            return "ATTRIBUTES";
        case ViewKind::kTriangles:
            return "TRIANGLES";
        case ViewKind::kIndices:
            return "INDICES";
    }
    return "ATTRIBUTES";
}

void align4(std::vector<unsigned char>& bytes) {
    while (bytes.size() % 4 != 0) bytes.push_back(0);
}

}  // namespace

size_t compress_buffer_views(tinygltf::Model& model, const std::vector<ViewLayout>& layouts,
                             Progress* progress) {
    assert(layouts.size() == model.bufferViews.size());
    assert(model.buffers.size() == 1);
    // The formats every decoder of the extension reads.
    meshopt_encodeVertexVersion(0);
    meshopt_encodeIndexVersion(1);

    const std::vector<unsigned char> plain = std::move(model.buffers[0].data);
    std::vector<unsigned char>& packed = model.buffers[0].data;
    packed.clear();
    const int fallback = static_cast<int>(model.buffers.size());
    size_t fallback_length = 0;
    size_t compressed = 0;
    for (size_t i = 0; i < model.bufferViews.size(); ++i) {
        tinygltf::BufferView& view = model.bufferViews[i];
        assert(view.buffer == 0 && view.byteOffset + view.byteLength <= plain.size());
        const unsigned char* bytes = plain.data() + view.byteOffset;
        const std::vector<unsigned char> encoded = encode(bytes, view.byteLength, layouts[i]);
        align4(packed);
        if (encoded.empty() || encoded.size() >= view.byteLength) {
            // Kept as it is: the codec would not make it smaller.
            view.byteOffset = packed.size();
            packed.insert(packed.end(), bytes, bytes + view.byteLength);
        } else {
            tinygltf::Value::Object extension;
            extension["buffer"] = tinygltf::Value(0);
            extension["byteOffset"] = tinygltf::Value(static_cast<double>(packed.size()));
            extension["byteLength"] = tinygltf::Value(static_cast<double>(encoded.size()));
            extension["byteStride"] = tinygltf::Value(static_cast<int>(layouts[i].stride));
            extension["count"] =
                tinygltf::Value(static_cast<double>(view.byteLength / layouts[i].stride));
            extension["mode"] = tinygltf::Value(std::string(mode_name(layouts[i].kind)));
            view.extensions[kMeshoptExtension] = tinygltf::Value(extension);
            packed.insert(packed.end(), encoded.begin(), encoded.end());
            fallback_length = (fallback_length + 3) / 4 * 4;
            view.buffer = fallback;
            view.byteOffset = fallback_length;
            fallback_length += view.byteLength;
            ++compressed;
        }
        if (progress) progress->advance(static_cast<int64_t>(i + 1));
    }
    if (compressed == 0) return 0;

    tinygltf::Buffer buffer;
    tinygltf::Value::Object marker;
    marker["fallback"] = tinygltf::Value(true);
    buffer.extensions[kMeshoptExtension] = tinygltf::Value(marker);
    model.buffers.push_back(buffer);
    model.extensionsUsed.push_back(kMeshoptExtension);
    model.extensionsRequired.push_back(kMeshoptExtension);
    return compressed;
}

}  // namespace warpkit::exporting
