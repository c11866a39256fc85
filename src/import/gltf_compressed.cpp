#include "import/gltf_compressed.h"

#include <draco/compression/decode.h>
#include <meshoptimizer.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <string_view>

#include "base/display_text.h"
#include "import/imported_scene.h"

namespace warpkit {
namespace {

constexpr const char* kMeshopt = "EXT_meshopt_compression";
constexpr const char* kDraco = "KHR_draco_mesh_compression";

// Extensions a file may require that Warpkit reads, or that change only how a surface is lit
// and textured, which an import leaves behind anyway (it keeps the shape and the base colour).
bool readable_extension(const std::string& name) {
    static const char* const kRead[] = {kMeshopt, kDraco, "KHR_mesh_quantization",
                                        "KHR_lights_punctual"};
    static const char* const kLooks[] = {"KHR_materials_", "KHR_texture_", "EXT_texture_"};
    for (const char* read : kRead) {
        if (name == read) return true;
    }
    for (const char* prefix : kLooks) {
        if (name.compare(0, std::strlen(prefix), prefix) == 0) return true;
    }
    return false;
}

BilingualText version_problem(const nlohmann::json& root) {
    const auto asset = root.find("asset");
    if (asset == root.end() || !asset->is_object()) return gltf_version_problem(nullptr);
    const auto version = asset->find("version");
    const std::string text =
        version != asset->end() && version->is_string() ? version->get<std::string>() : "";
    return gltf_version_problem(&text);
}

// The number at `key` of a JSON object as a non-negative whole number, or -1.
int64_t whole_number(const tinygltf::Value& object, const char* key) {
    if (!object.Has(key)) return -1;
    const tinygltf::Value& value = object.Get(key);
    if (!value.IsNumber()) return -1;
    const double number = value.GetNumberAsDouble();
    if (!(number >= 0) || number > 9.0e15 || std::floor(number) != number) return -1;
    return static_cast<int64_t>(number);
}

std::string text_at(const tinygltf::Value& object, const char* key, const char* fallback) {
    if (!object.Has(key) || !object.Get(key).IsString()) return fallback;
    return object.Get(key).Get<std::string>();
}

class Decoder {
public:
    Decoder(tinygltf::Model& model, int64_t budget) : model_(model), budget_(budget) {}

    int64_t spent() const { return spent_; }

    // Each view's decoded bytes go into a buffer of their own, which the view then names.
    BilingualText meshopt_views() {
        for (size_t v = 0; v < model_.bufferViews.size(); ++v) {
            tinygltf::BufferView& view = model_.bufferViews[v];
            const auto found = view.extensions.find(kMeshopt);
            if (found == view.extensions.end()) continue;
            std::vector<unsigned char> decoded;
            const BilingualText problem = meshopt_view(view, found->second, decoded);
            if (!problem.empty()) {
                return inside(format_both({"バッファビュー %zu", "buffer view %zu"}, v), problem);
            }
            view.buffer = add_buffer(std::move(decoded));
            view.byteOffset = 0;
        }
        return {};
    }

    BilingualText draco_primitives(const CompressedParts& parts) {
        for (const CompressedParts::DracoIndices& put : parts.draco_indices) {
            if (put.mesh < model_.meshes.size() &&
                put.primitive < model_.meshes[put.mesh].primitives.size()) {
                model_.meshes[put.mesh].primitives[put.primitive].indices = put.accessor;
            }
        }
        for (size_t m = 0; m < model_.meshes.size(); ++m) {
            for (size_t p = 0; p < model_.meshes[m].primitives.size(); ++p) {
                tinygltf::Primitive& primitive = model_.meshes[m].primitives[p];
                const auto found = primitive.extensions.find(kDraco);
                if (found == primitive.extensions.end()) continue;
                const BilingualText problem = draco_primitive(primitive, found->second);
                if (!problem.empty()) {
                    return inside(format_both({"メッシュ %1$zu のプリミティブ %2$zu",
                                               "primitive %2$zu of mesh %1$zu"},
                                              m, p),
                                  problem);
                }
            }
        }
        return {};
    }

private:
    int add_buffer(std::vector<unsigned char> bytes) {
        tinygltf::Buffer buffer;
        buffer.data = std::move(bytes);
        model_.buffers.push_back(std::move(buffer));
        return static_cast<int>(model_.buffers.size() - 1);
    }

    // Counts `bytes` of decoded data (in positions of 12 bytes) before they are allocated.
    BilingualText charge(uint64_t bytes) {
        const uint64_t positions = bytes / 12 + 1;
        if (positions > static_cast<uint64_t>(budget_ - spent_)) {
            return format_both({"展開すると %llu バイトになり、読み込める %lld 個の要素を超えます",
                                "it decodes to %llu bytes, past the %lld elements an import "
                                "reads"},
                               static_cast<unsigned long long>(bytes),
                               static_cast<long long>(budget_));
        }
        spent_ += static_cast<int64_t>(positions);
        return {};
    }

    // The encoded bytes of a view: buffer, offset and length as the extension names them.
    BilingualText encoded_bytes(const tinygltf::Value& extension, const unsigned char*& data,
                                size_t& length) const {
        const int64_t buffer = whole_number(extension, "buffer");
        const int64_t offset = std::max<int64_t>(whole_number(extension, "byteOffset"), 0);
        const int64_t size = whole_number(extension, "byteLength");
        if (buffer < 0 || static_cast<uint64_t>(buffer) >= model_.buffers.size() || size < 0) {
            return format_both(
                {"%s にバッファかその長さがありません", "its %s names no buffer or no length"},
                same_in_both(kMeshopt));
        }
        const std::vector<unsigned char>& bytes = model_.buffers[static_cast<size_t>(buffer)].data;
        if (static_cast<uint64_t>(offset) > bytes.size() ||
            static_cast<uint64_t>(size) > bytes.size() - static_cast<uint64_t>(offset)) {
            return format_both({"圧縮されたバイト（%lld バイト目から %lld バイト）が %zu バイトの"
                                "バッファからはみ出しています",
                                "its compressed bytes (%lld from byte %lld) lie outside their "
                                "buffer of %zu bytes"},
                               static_cast<long long>(size), static_cast<long long>(offset),
                               bytes.size());
        }
        data = bytes.data() + offset;
        length = static_cast<size_t>(size);
        return {};
    }

    BilingualText meshopt_view(const tinygltf::BufferView& view, const tinygltf::Value& extension,
                               std::vector<unsigned char>& decoded) {
        const int64_t count = whole_number(extension, "count");
        const int64_t stride = whole_number(extension, "byteStride");
        const std::string mode = text_at(extension, "mode", "");
        const std::string filter = text_at(extension, "filter", "NONE");
        const bool attributes = mode == "ATTRIBUTES";
        if (!attributes && mode != "TRIANGLES" && mode != "INDICES") {
            return format_both({"%s のモード%sは読めません", "its %s mode %s is not one read"},
                               same_in_both(kMeshopt), quoted_name(mode));
        }
        if (count < 0 || stride <= 0 ||
            (attributes ? stride % 4 != 0 || stride > 256 : stride != 2 && stride != 4) ||
            (mode == "TRIANGLES" && count % 3 != 0)) {
            return format_both({"%s の要素数 %lld かストライド %lld がモード %s に合いません",
                                "its %s count %lld or stride %lld does not suit mode %s"},
                               same_in_both(kMeshopt), static_cast<long long>(count),
                               static_cast<long long>(stride), same_in_both(mode));
        }
        const bool known_filter =
            filter == "NONE" ||
            (attributes && ((filter == "OCTAHEDRAL" && stride <= 8) ||
                            (filter == "QUATERNION" && stride == 8) || filter == "EXPONENTIAL"));
        if (!known_filter) {
            return format_both({"%s のフィルタ%sはストライド %lld では読めません",
                                "its %s filter %s is not read with a stride of %lld"},
                               same_in_both(kMeshopt), quoted_name(filter),
                               static_cast<long long>(stride));
        }
        // The decoded bytes are the view's: as many as it says it has, no more.
        if (static_cast<uint64_t>(count) > UINT64_MAX / 256 ||
            static_cast<uint64_t>(count * stride) != view.byteLength) {
            return format_both({"%s の %lld 個 × %lld バイトがバッファビューの %zu バイトに"
                                "合いません",
                                "its %s count %lld × stride %lld does not make its %zu bytes"},
                               same_in_both(kMeshopt), static_cast<long long>(count),
                               static_cast<long long>(stride), view.byteLength);
        }
        const unsigned char* data = nullptr;
        size_t length = 0;
        BilingualText problem = encoded_bytes(extension, data, length);
        if (problem.empty()) problem = charge(view.byteLength);
        if (!problem.empty()) return problem;
        decoded.assign(view.byteLength, 0);
        const size_t n = static_cast<size_t>(count);
        const size_t size = static_cast<size_t>(stride);
        const int failed = attributes
                               ? meshopt_decodeVertexBuffer(decoded.data(), n, size, data, length)
                           : mode == "TRIANGLES"
                               ? meshopt_decodeIndexBuffer(decoded.data(), n, size, data, length)
                               : meshopt_decodeIndexSequence(decoded.data(), n, size, data, length);
        if (failed != 0) {
            return format_both({"%s の圧縮されたバイトが壊れています（デコーダの結果 %d）",
                                "its %s bytes do not decode (the decoder says %d)"},
                               same_in_both(kMeshopt), failed);
        }
        if (filter == "OCTAHEDRAL") meshopt_decodeFilterOct(decoded.data(), n, size);
        if (filter == "QUATERNION") meshopt_decodeFilterQuat(decoded.data(), n, size);
        if (filter == "EXPONENTIAL") meshopt_decodeFilterExp(decoded.data(), n, size);
        return {};
    }

    // The accessor `index` gets `bytes` in a buffer and view of its own, as elements of
    // `component_type`.
    void point_accessor(int index, std::vector<unsigned char> bytes, int component_type) {
        tinygltf::BufferView view;
        view.byteLength = bytes.size();
        view.buffer = add_buffer(std::move(bytes));
        model_.bufferViews.push_back(std::move(view));
        tinygltf::Accessor& accessor = model_.accessors[static_cast<size_t>(index)];
        accessor.bufferView = static_cast<int>(model_.bufferViews.size() - 1);
        accessor.byteOffset = 0;
        accessor.componentType = component_type;
        accessor.normalized = false;
        accessor.sparse.isSparse = false;
    }

    // The accessor of `index` when it is one the Draco data fills: named, without bytes of
    // its own (a file may keep an uncompressed copy for readers without the decoder).
    tinygltf::Accessor* filled(int index) {
        if (index < 0 || static_cast<size_t>(index) >= model_.accessors.size()) return nullptr;
        tinygltf::Accessor& accessor = model_.accessors[static_cast<size_t>(index)];
        return accessor.bufferView < 0 ? &accessor : nullptr;
    }

    BilingualText draco_primitive(tinygltf::Primitive& primitive,
                                  const tinygltf::Value& extension) {
        // Of the attributes only the positions are read; the others stay unread, as in a
        // plain file.
        const auto position = primitive.attributes.find("POSITION");
        tinygltf::Accessor* positions =
            position == primitive.attributes.end() ? nullptr : filled(position->second);
        tinygltf::Accessor* corners = filled(primitive.indices);
        if (!positions && !corners) return {};
        const tinygltf::Value& ids = extension.Get("attributes");
        if (positions && (!ids.IsObject() || whole_number(ids, "POSITION") < 0)) {
            return format_both(
                {"%s に POSITION の属性がありません", "its %s names no POSITION attribute"},
                same_in_both(kDraco));
        }
        const int64_t view_index = whole_number(extension, "bufferView");
        if (view_index < 0 || static_cast<uint64_t>(view_index) >= model_.bufferViews.size()) {
            return format_both({"%s のバッファビューがファイルにありません",
                                "its %s names no buffer view of the file"},
                               same_in_both(kDraco));
        }
        const tinygltf::BufferView& view = model_.bufferViews[static_cast<size_t>(view_index)];
        if (view.buffer < 0 || static_cast<size_t>(view.buffer) >= model_.buffers.size() ||
            view.byteOffset > model_.buffers[static_cast<size_t>(view.buffer)].data.size() ||
            view.byteLength >
                model_.buffers[static_cast<size_t>(view.buffer)].data.size() - view.byteOffset) {
            return format_both({"%s のバッファビュー %lld がバッファからはみ出しています",
                                "its %s buffer view %lld lies outside its buffer"},
                               same_in_both(kDraco), static_cast<long long>(view_index));
        }
        // What the accessors say the Draco data holds is counted before it is decoded, and the
        // decoded mesh must hold just that.
        const size_t points = positions ? positions->count : 0;
        const size_t indices = corners ? corners->count : 0;
        if (points > (UINT64_MAX / 16) || indices > (UINT64_MAX / 16)) {
            return {"アクセサの要素が多すぎます", "its accessors claim too many elements"};
        }
        BilingualText problem = charge(uint64_t{points} * 12 + uint64_t{indices} * 4);
        if (!problem.empty()) return problem;

        const auto* data = reinterpret_cast<const char*>(
            model_.buffers[static_cast<size_t>(view.buffer)].data.data() + view.byteOffset);
        draco::DecoderBuffer buffer;
        buffer.Init(data, view.byteLength);
        const auto type = draco::Decoder::GetEncodedGeometryType(&buffer);
        if (!type.ok() || type.value() != draco::TRIANGULAR_MESH) {
            return format_both(
                {"%s のデータが三角形のメッシュではありません", "its %s data is no triangle mesh"},
                same_in_both(kDraco));
        }
        draco::Decoder decoder;
        auto decoded = decoder.DecodeMeshFromBuffer(&buffer);
        if (!decoded.ok() || !decoded.value()) {
            const std::string why = decoded.ok() ? "" : decoded.status().error_msg_string();
            return format_both(
                {"%s のデータが壊れています（%s）", "its %s data does not decode (%s)"},
                same_in_both(kDraco), same_in_both(display_text(why)));
        }
        const std::unique_ptr<draco::Mesh> mesh = std::move(decoded).value();
        if (positions) {
            const draco::PointAttribute* attribute =
                mesh->GetAttributeByUniqueId(static_cast<uint32_t>(whole_number(ids, "POSITION")));
            if (!attribute || attribute->num_components() != 3) {
                return format_both({"%s のデータに 3 成分の POSITION 属性がありません",
                                    "its %s data has no POSITION attribute of 3 components"},
                                   same_in_both(kDraco));
            }
            if (mesh->num_points() != points) {
                return format_both({"%s のデータの頂点は %u 個ですが、アクセサは %zu 個です",
                                    "its %s data has %u vertices where its accessor has %zu"},
                                   same_in_both(kDraco), mesh->num_points(), points);
            }
            std::vector<unsigned char> bytes(points * 12);
            for (uint32_t i = 0; i < points; ++i) {
                float value[3] = {0, 0, 0};
                if (!attribute->ConvertValue<float>(attribute->mapped_index(draco::PointIndex(i)),
                                                    3, value)) {
                    return format_both({"%s のデータの頂点 %u が読めません",
                                        "its %s data has an unreadable vertex %u"},
                                       same_in_both(kDraco), i);
                }
                std::memcpy(bytes.data() + size_t{i} * 12, value, 12);
            }
            point_accessor(position->second, std::move(bytes), TINYGLTF_COMPONENT_TYPE_FLOAT);
        }
        if (corners) {
            if (uint64_t{mesh->num_faces()} * 3 != indices) {
                return format_both({"%s のデータの三角形は %u 個ですが、アクセサの頂点番号は %zu "
                                    "個です",
                                    "its %s data has %u triangles for the %zu indices of its "
                                    "accessor"},
                                   same_in_both(kDraco), mesh->num_faces(), indices);
            }
            std::vector<unsigned char> bytes(indices * 4);
            for (uint32_t f = 0; f < mesh->num_faces(); ++f) {
                const draco::Mesh::Face& face = mesh->face(draco::FaceIndex(f));
                for (int c = 0; c < 3; ++c) {
                    const uint32_t corner = face[c].value();
                    std::memcpy(bytes.data() + (size_t{f} * 3 + c) * 4, &corner, 4);
                }
            }
            point_accessor(primitive.indices, std::move(bytes),
                           TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT);
            corners->type = TINYGLTF_TYPE_SCALAR;
            // Draco holds triangles, whatever list or strip they were made from.
            primitive.mode = TINYGLTF_MODE_TRIANGLES;
        }
        return {};
    }

    tinygltf::Model& model_;
    int64_t budget_;
    int64_t spent_ = 0;
};

}  // namespace

BilingualText prepare_gltf_json(const char* json, size_t length, std::string& rewritten,
                                CompressedParts& parts) {
    rewritten.clear();
    parts = CompressedParts{};
    // Only a file that names a compression has anything to rewrite; others are not parsed twice.
    const std::string_view text(json, length);
    if (text.find(kMeshopt) == std::string_view::npos &&
        text.find(kDraco) == std::string_view::npos) {
        return {};
    }
    nlohmann::json root = nlohmann::json::parse(json, json + length, nullptr, false);
    if (!root.is_object()) return {};
    // refused here already, before anything is decoded
    BilingualText problem = version_problem(root);
    if (!problem.empty()) return problem;
    const auto required = root.find("extensionsRequired");
    if (required != root.end() && required->is_array()) {
        std::vector<std::string> names;
        for (const nlohmann::json& name : *required) {
            if (name.is_string()) names.push_back(name.get<std::string>());
        }
        problem = gltf_extension_problem(names);
        if (!problem.empty()) return problem;
    }
    bool changed = false;
    // A fallback buffer has a length but no bytes (the views on it are decoded from elsewhere):
    // it is handed to tinygltf as a few bytes of its own, never read from a file or the binary
    // chunk.
    const auto buffers = root.find("buffers");
    if (buffers != root.end() && buffers->is_array()) {
        for (nlohmann::json& buffer : *buffers) {
            if (!buffer.is_object()) continue;
            const nlohmann::json* marker = nullptr;
            const auto extensions = buffer.find("extensions");
            if (extensions != buffer.end() && extensions->is_object()) {
                const auto found = extensions->find(kMeshopt);
                if (found != extensions->end() && found->is_object()) marker = &*found;
            }
            const auto fallback =
                marker ? marker->find("fallback") : nlohmann::json::const_iterator();
            if (!marker || fallback == marker->end() || *fallback != true) continue;
            buffer["uri"] = "data:application/octet-stream;base64,AAAAAA==";
            buffer["byteLength"] = 4;
            changed = true;
        }
    }
    // A Draco primitive's indices have no bytes until decoded; tinygltf refuses such indices,
    // so they are taken out here and put back before decoding.
    const auto meshes = root.find("meshes");
    if (meshes != root.end() && meshes->is_array()) {
        for (size_t m = 0; m < meshes->size(); ++m) {
            nlohmann::json& mesh = (*meshes)[m];
            const auto primitives = mesh.is_object() ? mesh.find("primitives") : mesh.end();
            if (!mesh.is_object() || primitives == mesh.end() || !primitives->is_array()) continue;
            for (size_t p = 0; p < primitives->size(); ++p) {
                nlohmann::json& primitive = (*primitives)[p];
                if (!primitive.is_object()) continue;
                const auto extensions = primitive.find("extensions");
                const auto indices = primitive.find("indices");
                if (extensions == primitive.end() || !extensions->is_object() ||
                    !extensions->contains(kDraco) || indices == primitive.end() ||
                    !indices->is_number_integer()) {
                    continue;
                }
                parts.draco_indices.push_back({m, p, indices->get<int>()});
                primitive.erase("indices");
                changed = true;
            }
        }
    }
    if (changed) rewritten = root.dump();
    return {};
}

BilingualText gltf_version_problem(const std::string* version) {
    if (!version) {
        return {"asset の項目がなく、glTF 1.0 のファイルです。読めるのは glTF 2.0 だけです",
                "it has no asset object, as a glTF 1.0 file has; only glTF 2.0 is read"};
    }
    if (version->empty()) {
        return {"asset に glTF のバージョンがありません", "its asset object names no glTF version"};
    }
    if (version->compare(0, 2, "1.") == 0 || *version == "1") {
        return format_both({"glTF 1.0 のファイル（バージョン %s）です。読めるのは glTF 2.0 "
                            "だけです",
                            "it is a glTF 1.0 file (version %s); only glTF 2.0 is read"},
                           same_in_both(display_text(*version)));
    }
    if (version->compare(0, 2, "2.") != 0) {
        return format_both({"glTF のバージョン %s は読めません。読めるのは glTF 2.0 だけです",
                            "it is glTF version %s; only glTF 2.0 is read"},
                           same_in_both(display_text(*version)));
    }
    return {};
}

BilingualText gltf_extension_problem(const std::vector<std::string>& required) {
    for (const std::string& name : required) {
        if (!readable_extension(name)) {
            return format_both({"%s が必要なファイルですが、Warpkit は %s を読めません",
                                "it needs %s, which Warpkit does not read"},
                               same_in_both(display_text(name)), same_in_both(display_text(name)));
        }
    }
    return {};
}

BilingualText gltf_json_version_problem(const char* json, size_t length) {
    const nlohmann::json root = nlohmann::json::parse(json, json + length, nullptr, false);
    return root.is_object() ? version_problem(root) : BilingualText{};
}

BilingualText decode_compressed(tinygltf::Model& model, const CompressedParts& parts,
                                int64_t budget, int64_t& spent) {
    Decoder decoder(model, budget);
    BilingualText problem = decoder.meshopt_views();
    if (problem.empty()) problem = decoder.draco_primitives(parts);
    spent = decoder.spent();
    return problem;
}

}  // namespace warpkit
