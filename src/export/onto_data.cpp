#include "export/onto_data.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace warpkit::exporting {

namespace {

using Json = nlohmann::json;

size_t size_of(int type) {
    switch (type) {
        case 5120:  // byte
        case 5121:  // unsigned byte
            return 1;
        case 5122:  // short
        case 5123:  // unsigned short
            return 2;
        case 5125:  // unsigned int
        case 5126:  // float
            return 4;
        default:
            return 0;
    }
}

size_t components_of(const std::string& type) {
    if (type == "SCALAR") return 1;
    if (type == "VEC2") return 2;
    if (type == "VEC3") return 3;
    if (type == "VEC4") return 4;
    return 0;  // matrices pad their columns, and nothing here reads them
}

// The bytes of one view, or why they cannot be had.
std::string view_bytes(const Json& json, const std::vector<std::string_view>& buffers, size_t index,
                       const char** first, size_t& length, size_t& stride) {
    const Json& views = json.at("bufferViews");
    if (index >= views.size()) return "names a buffer view that is not there";
    const Json& view = views[index];
    if (view.contains("extensions") && view["extensions"].contains("EXT_meshopt_compression")) {
        return "is in a compressed view";
    }
    const size_t buffer = view.value("buffer", size_t{0});
    const size_t offset = view.value("byteOffset", size_t{0});
    length = view.value("byteLength", size_t{0});
    stride = view.value("byteStride", size_t{0});
    if (buffer >= buffers.size() || offset > buffers[buffer].size() ||
        length > buffers[buffer].size() - offset) {
        return "lies outside its buffer";
    }
    *first = buffers[buffer].data() + offset;
    return std::string();
}

}  // namespace

std::string read_dense(const Json& json, const std::vector<std::string_view>& buffers, size_t index,
                       DenseAccessor& out) {
    const Json& accessors = json.at("accessors");
    if (index >= accessors.size()) return "is not there";
    const Json& accessor = accessors[index];
    out = DenseAccessor{};
    out.component_type = accessor.value("componentType", 0);
    out.component_size = size_of(out.component_type);
    out.components = components_of(accessor.value("type", std::string()));
    out.count = accessor.value("count", size_t{0});
    out.normalized = accessor.value("normalized", false);
    if (out.component_size == 0 || out.components == 0) return "is of a type not read here";
    const size_t element = out.component_size * out.components;
    if (out.count > (size_t{1} << 31) / element) return "holds too many elements";
    out.bytes.assign(out.count * element, '\0');  // an accessor without a view holds zeros

    if (accessor.contains("bufferView")) {
        const char* first = nullptr;
        size_t length = 0, stride = 0;
        std::string problem =
            view_bytes(json, buffers, accessor["bufferView"].get<size_t>(), &first, length, stride);
        if (!problem.empty()) return problem;
        if (stride == 0) stride = element;
        const size_t offset = accessor.value("byteOffset", size_t{0});
        if (out.count > 0 && (stride < element || offset > length || length - offset < element ||
                              out.count - 1 > (length - offset - element) / stride)) {
            return "runs past its buffer view";
        }
        for (size_t i = 0; i < out.count; ++i) {
            std::memcpy(&out.bytes[i * element], first + offset + i * stride, element);
        }
    }

    if (!accessor.contains("sparse")) return std::string();
    const Json& sparse = accessor["sparse"];
    const size_t count = sparse.value("count", size_t{0});
    if (count > out.count) return "has more sparse values than elements";
    const Json& indices = sparse.at("indices");
    const Json& values = sparse.at("values");
    const int index_type = indices.value("componentType", 0);
    if (index_type != 5121 && index_type != 5123 && index_type != 5125) {
        return "has sparse indices of an unknown type";
    }
    const size_t index_size = size_of(index_type);
    const char* index_first = nullptr;
    const char* value_first = nullptr;
    size_t index_length = 0, value_length = 0, unused = 0;
    std::string problem = view_bytes(json, buffers, indices.at("bufferView").get<size_t>(),
                                     &index_first, index_length, unused);
    if (problem.empty()) {
        problem = view_bytes(json, buffers, values.at("bufferView").get<size_t>(), &value_first,
                             value_length, unused);
    }
    if (!problem.empty()) return "has sparse data that " + problem;
    const size_t index_offset = indices.value("byteOffset", size_t{0});
    const size_t value_offset = values.value("byteOffset", size_t{0});
    if (index_offset > index_length || (index_length - index_offset) / index_size < count ||
        value_offset > value_length || (value_length - value_offset) / element < count) {
        return "has sparse values that run past their buffer view";
    }
    for (size_t s = 0; s < count; ++s) {
        uint32_t at = 0;
        const char* bytes = index_first + index_offset + s * index_size;
        if (index_size == 1) {
            at = static_cast<uint8_t>(bytes[0]);
        } else if (index_size == 2) {
            uint16_t narrow = 0;
            std::memcpy(&narrow, bytes, 2);
            at = narrow;
        } else {
            std::memcpy(&at, bytes, 4);
        }
        if (at >= out.count) return "has a sparse index past its elements";
        std::memcpy(&out.bytes[at * element], value_first + value_offset + s * element, element);
    }
    return std::string();
}

std::vector<float> floats_of(const DenseAccessor& accessor) {
    const size_t values = accessor.count * accessor.components;
    std::vector<float> out(values);
    const char* bytes = accessor.bytes.data();
    const bool scale = accessor.normalized;
    for (size_t i = 0; i < values; ++i) {
        const char* at = bytes + i * accessor.component_size;
        switch (accessor.component_type) {
            case 5120: {
                const int8_t v = static_cast<int8_t>(*at);
                out[i] = scale ? std::max(v / 127.0f, -1.0f) : static_cast<float>(v);
                break;
            }
            case 5121: {
                const uint8_t v = static_cast<uint8_t>(*at);
                out[i] = scale ? v / 255.0f : static_cast<float>(v);
                break;
            }
            case 5122: {
                int16_t v = 0;
                std::memcpy(&v, at, 2);
                out[i] = scale ? std::max(v / 32767.0f, -1.0f) : static_cast<float>(v);
                break;
            }
            case 5123: {
                uint16_t v = 0;
                std::memcpy(&v, at, 2);
                out[i] = scale ? v / 65535.0f : static_cast<float>(v);
                break;
            }
            case 5125: {
                uint32_t v = 0;
                std::memcpy(&v, at, 4);
                out[i] = static_cast<float>(v);
                break;
            }
            default:
                std::memcpy(&out[i], at, 4);
        }
    }
    return out;
}

void gather_buffers(Json& json, const std::vector<std::string_view>& buffers, std::string& bin) {
    bin.clear();
    Json& list = json["buffers"];
    std::vector<size_t> start(list.size(), 0);
    std::vector<size_t> moved_to(list.size(), 0);
    Json kept = Json::array();
    kept.push_back(Json::object());
    for (size_t b = 0; b < list.size(); ++b) {
        if (!list[b].contains("uri")) {
            moved_to[b] = kept.size();
            kept.push_back(list[b]);
            continue;
        }
        while (bin.size() % 16 != 0) bin.push_back('\0');
        start[b] = bin.size();
        if (b < buffers.size()) bin += buffers[b];
    }
    kept[0]["byteLength"] = bin.size();
    list = kept;
    const auto move = [&](Json& holder) {
        const size_t b = holder.value("buffer", size_t{0});
        if (b >= start.size()) return;
        holder["buffer"] = moved_to[b];
        // A view of the first gathered buffer keeps its members as they were.
        if (moved_to[b] == 0 && (start[b] != 0 || holder.contains("byteOffset"))) {
            holder["byteOffset"] = holder.value("byteOffset", size_t{0}) + start[b];
        }
    };
    for (Json& view : json["bufferViews"]) {
        move(view);
        if (view.contains("extensions") && view["extensions"].contains("EXT_meshopt_compression")) {
            move(view["extensions"]["EXT_meshopt_compression"]);
        }
    }
}

}  // namespace warpkit::exporting
