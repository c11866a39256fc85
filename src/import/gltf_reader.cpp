#include "import/gltf_reader.h"

#include <sys/stat.h>
#include <tiny_gltf.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <new>
#include <set>

#include "base/display_text.h"
#include "base/file_paths.h"
#include "import/file_bytes.h"
#include "import/gltf_compressed.h"
#include "import/imported_scene.h"
#include "import/inside_folder.h"
#include "import/placement.h"
#include "model/qxm_reader.h"

namespace warpkit {
namespace {

// tinygltf turns nested JSON into its own values by recursion; a file nested deeper than any
// real one could exhaust the stack, so it is refused before tinygltf sees it.
constexpr int kMaxJsonDepth = 64;
constexpr uint32_t kGlbMagic = 0x46546C67;  // "glTF"
constexpr uint32_t kJsonChunk = 0x4E4F534A;
constexpr uint32_t kBinChunk = 0x004E4942;
// The grey the program shows an object in when a primitive names no material.
constexpr uint8_t kDefaultGrey = 220;

uint32_t load_u32(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return uint32_t{b[0]} | (uint32_t{b[1]} << 8) | (uint32_t{b[2]} << 16) | (uint32_t{b[3]} << 24);
}

ImportOutcome refused(BilingualText reason) {
    return ImportOutcome{false, std::move(reason)};
}

// How deeply the JSON text nests arrays and objects (brackets inside strings do not count).
int json_depth(const char* text, size_t size) {
    int depth = 0;
    int deepest = 0;
    bool in_string = false;
    for (size_t i = 0; i < size; ++i) {
        const char c = text[i];
        if (in_string) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                in_string = false;
            }
        } else if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return deepest;
}

// The binary container's own structure: a header, a JSON chunk, an optional binary chunk, each
// inside the file. Returns the problem, or empty with the JSON chunk's place.
BilingualText glb_problem(const std::string& bytes, size_t& json_at, size_t& json_length) {
    if (bytes.size() < 20) {
        return {"バイナリ glTF ファイルがヘッダの途中で終わっています",
                "the binary glTF file ends inside its header"};
    }
    if (load_u32(bytes.data() + 4) != 2) {
        return format_both(
            {"バイナリ glTF ファイルのバージョンは %u ですが、読めるのはバージョン 2 "
             "だけです",
             "the binary glTF file has version %u; only version 2 is read"},
            load_u32(bytes.data() + 4));
    }
    const uint32_t length = load_u32(bytes.data() + 8);
    if (length < 20) {
        return format_both({"バイナリ glTF ファイルは長さを %u バイトとしていますが、ヘッダの長さに"
                            "足りません",
                            "the binary glTF file claims %u bytes, fewer than its header has"},
                           length);
    }
    if (length > bytes.size()) {
        return format_both({"バイナリ glTF ファイルは長さを %u バイトとしていますが、実際は %zu "
                            "バイトです",
                            "the binary glTF file claims %u bytes but has %zu"},
                           length, bytes.size());
    }
    json_length = load_u32(bytes.data() + 12);
    json_at = 20;
    if (load_u32(bytes.data() + 16) != kJsonChunk) {
        return {"バイナリ glTF ファイルの最初のチャンクが JSON チャンクではありません",
                "the binary glTF file has no JSON chunk first"};
    }
    if (json_length > length - json_at) {
        return {"バイナリ glTF ファイルの JSON チャンクがファイルの終わりを越えています",
                "the JSON chunk of the binary glTF file ends past the file"};
    }
    const uint64_t next = json_at + ((uint64_t{json_length} + 3) & ~uint64_t{3});
    if (next + 8 <= length) {
        const uint64_t bin_length = load_u32(bytes.data() + next);
        if (load_u32(bytes.data() + next + 4) == kBinChunk && bin_length > length - next - 8) {
            return {"バイナリ glTF ファイルのバイナリチャンクがファイルの終わりを越えています",
                    "the binary chunk of the binary glTF file ends past the file"};
        }
    }
    return {};
}

// File access for tinygltf: regular files inside the glTF file's folder (once links and ".."
// are resolved), each no larger than the import limit. Without a folder (bytes in memory) no
// file is found. tinygltf only passes on a refusal's English, and takes a missing image for a
// warning, so the first refusal and any name that leaves the folder are kept here whole.
struct FileAccess {
    std::string folder;
    int64_t max_bytes = 0;
    BilingualText problem;
    BilingualText outside;
};

// The file tinygltf asks for, by the name it joined to the folder (it also tries the name from
// the working folder, which is not the file's and is never found).
NamedFile named_file(const std::string& path, FileAccess& access) {
    NamedFile file;
    file.missing = true;
    if (access.folder.empty()) return file;
    const std::string inside = access.folder.back() == '/' ? access.folder : access.folder + "/";
    if (path.compare(0, inside.size(), inside) != 0) return file;
    file = file_in_folder(access.folder, path.substr(inside.size()));
    if (!file.problem.empty() && access.outside.empty()) access.outside = file.problem;
    return file;
}

bool file_exists(const std::string& path, void* user) {
    const NamedFile file = named_file(path, *static_cast<FileAccess*>(user));
    struct stat info;
    return file.problem.empty() && !file.missing && stat(file.path.c_str(), &info) == 0 &&
           S_ISREG(info.st_mode);
}

std::string expand_nothing(const std::string& path, void*) {
    return path;
}

bool read_whole_file(std::vector<unsigned char>* out, std::string* err, const std::string& path,
                     void* user) {
    auto* access = static_cast<FileAccess*>(user);
    // resolved again: the file may have become a link since it was found
    const NamedFile file = named_file(path, *access);
    std::string bytes;
    BilingualText problem = file.problem;
    if (problem.empty()) {
        problem = file.missing
                      ? format_both({"%s が見つかりません", "%s is not found"}, display_text(path))
                      : read_file_bytes(file.path, access->max_bytes, bytes);
    }
    if (!problem.empty()) {
        if (err) *err += problem.en;
        if (access->problem.empty()) access->problem = problem;
        return false;
    }
    out->assign(bytes.begin(), bytes.end());
    return true;
}

bool write_nothing(std::string* err, const std::string&, const std::vector<unsigned char>&, void*) {
    if (err) *err += "an import writes no file";
    return false;
}

// Images are not needed for the shape; they are kept undecoded.
bool skip_image(tinygltf::Image*, const int, std::string*, std::string*, int, int,
                const unsigned char*, int, void*) {
    return true;
}

uint8_t srgb_byte(double linear) {
    const double c = std::clamp(std::isfinite(linear) ? linear : 0.0, 0.0, 1.0);
    const double srgb = c <= 0.0031308 ? c * 12.92 : 1.055 * std::pow(c, 1.0 / 2.4) - 0.055;
    return static_cast<uint8_t>(std::lround(std::clamp(srgb, 0.0, 1.0) * 255.0));
}

// Reads accessors of one model, each checked against the bytes that back it, and counts what
// they cost against the import limits.
class AccessorReader {
public:
    // `spent` elements of the limit are taken already (decoded compressed data).
    AccessorReader(const tinygltf::Model& model, const ImportLimits& limits, int64_t spent)
        : model_(model),
          limits_(limits),
          backed_count_(largest_backed_count(model)),
          spent_(spent) {}

    // `components` floats per element; the accessor's type must have that many. Integer
    // components are read as the KHR_mesh_quantization extension allows (normalized or not).
    // `charged` false reads an accessor whose elements were already counted (a mesh's positions
    // and corners, a morph target's moves).
    BilingualText floats(int index, int components, std::vector<float>& out, bool charged = true) {
        out.clear();
        const tinygltf::Accessor* accessor = nullptr;
        const unsigned char* base = nullptr;
        size_t stride = 0;
        BilingualText problem = checked_floats(index, components, accessor, base, stride);
        if (problem.empty() && charged) problem = charge(index, accessor->count);
        if (!problem.empty()) return problem;
        const int type = accessor->componentType;
        out.assign(accessor->count * static_cast<size_t>(components), 0.0f);
        const auto decode = [&](const unsigned char* element, float* into) {
            for (int c = 0; c < components; ++c)
                into[c] = component(element, c, type, accessor->normalized);
        };
        if (base) {
            for (size_t i = 0; i < accessor->count; ++i)
                decode(base + i * stride, &out[i * components]);
        }
        return sparse(index, *accessor, components, [&](size_t at, const unsigned char* element) {
            decode(element, &out[at * components]);
        });
    }

    BilingualText indices(int index, std::vector<uint32_t>& out, bool charged = true) {
        out.clear();
        const tinygltf::Accessor* accessor = nullptr;
        const unsigned char* base = nullptr;
        size_t stride = 0;
        BilingualText problem = checked_indices(index, accessor, base, stride);
        if (problem.empty() && charged) problem = charge(index, accessor->count);
        if (!problem.empty()) return problem;
        const int type = accessor->componentType;
        out.assign(accessor->count, 0);
        if (base) {
            for (size_t i = 0; i < accessor->count; ++i)
                out[i] = unsigned_at(base + i * stride, type);
        }
        return sparse(index, *accessor, 1, [&](size_t at, const unsigned char* element) {
            out[at] = unsigned_at(element, type);
        });
    }

    // The element count of an accessor that floats() or indices() (components 0) would read,
    // checked against its bytes without reading or counting it.
    BilingualText count_of(int index, int components, size_t& count) const {
        const tinygltf::Accessor* accessor = nullptr;
        const unsigned char* base = nullptr;
        size_t stride = 0;
        BilingualText problem = components > 0
                                    ? checked_floats(index, components, accessor, base, stride)
                                    : checked_indices(index, accessor, base, stride);
        count = problem.empty() ? accessor->count : 0;
        return problem;
    }

    // Counts `count` elements against the import's limit; every element read and every
    // position the scene will hold is counted, before it is allocated.
    BilingualText charge(const BilingualText& whose, size_t count) {
        if (count > static_cast<size_t>(limits_.max_positions) ||
            static_cast<int64_t>(count) > limits_.max_positions - spent_) {
            return format_both({"%s を読むと、読み込める %lld 個の要素を超えます",
                                "%s would take the file past the %lld elements an import reads"},
                               whose, static_cast<long long>(limits_.max_positions));
        }
        spent_ += static_cast<int64_t>(count);
        return {};
    }

    const tinygltf::Accessor* accessor(int index) const {
        return index >= 0 && static_cast<size_t>(index) < model_.accessors.size()
                   ? &model_.accessors[static_cast<size_t>(index)]
                   : nullptr;
    }

private:
    static BilingualText label(int index) {
        return format_both({"アクセサ %d", "accessor %d"}, index);
    }

    BilingualText find(int index, const tinygltf::Accessor*& out) const {
        out = accessor(index);
        if (!out) {
            return format_both({"アクセサ %d が指定されていますが、ファイルのアクセサは %zu 個です",
                                "accessor %d is named but the file has %zu"},
                               index, model_.accessors.size());
        }
        return {};
    }

    BilingualText charge(int index, size_t count) { return charge(label(index), count); }

    // An accessor of floats: its type, and its bytes (`base` null when it has no buffer view).
    BilingualText checked_floats(int index, int components, const tinygltf::Accessor*& accessor,
                                 const unsigned char*& base, size_t& stride) const {
        BilingualText problem = find(index, accessor);
        if (!problem.empty()) return problem;
        const int32_t has = tinygltf::GetNumComponentsInType(static_cast<uint32_t>(accessor->type));
        if (has != components) {
            return format_both({"アクセサ %d の要素の成分は %d 個ですが、%d 個のはずです",
                                "accessor %d has %d components per element where %d belong"},
                               index, has, components);
        }
        const int type = accessor->componentType;
        if (type != TINYGLTF_COMPONENT_TYPE_FLOAT && type != TINYGLTF_COMPONENT_TYPE_BYTE &&
            type != TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE &&
            type != TINYGLTF_COMPONENT_TYPE_SHORT &&
            type != TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT) {
            return format_both({"アクセサ %d の成分の型 %d では座標を表せません",
                                "accessor %d has component type %d, which holds no coordinates"},
                               index, type);
        }
        return bytes_of(index, *accessor, components, base, stride);
    }

    BilingualText checked_indices(int index, const tinygltf::Accessor*& accessor,
                                  const unsigned char*& base, size_t& stride) const {
        BilingualText problem = find(index, accessor);
        if (!problem.empty()) return problem;
        const int type = accessor->componentType;
        if (accessor->type != TINYGLTF_TYPE_SCALAR ||
            (type != TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE &&
             type != TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT &&
             type != TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT)) {
            return format_both({"アクセサ %d は頂点番号を持てません（型 %d、成分の型 %d）",
                                "accessor %d cannot hold vertex indices (type %d, component type "
                                "%d)"},
                               index, accessor->type, type);
        }
        return bytes_of(index, *accessor, 1, base, stride);
    }

    // Where the elements lie. An accessor without a buffer view holds zeros (and its sparse
    // values) that no byte of the file pays for, so its count is held to the largest count that
    // bytes do back: a few bytes cannot claim millions of vertices.
    BilingualText bytes_of(int index, const tinygltf::Accessor& accessor, int components,
                           const unsigned char*& base, size_t& stride) const {
        base = nullptr;
        stride = 0;
        if (accessor.bufferView >= 0) return backing(index, accessor, components, base, stride);
        if (accessor.count > backed_count_) {
            return format_both({"アクセサ %d はバッファビューを持たずに %zu 個の要素があるとして"
                                "いますが、バイトを持つアクセサの要素は多くても %zu 個です",
                                "accessor %d has no buffer view but claims %zu elements, more "
                                "than the %zu of the largest accessor with bytes"},
                               index, accessor.count, backed_count_);
        }
        return {};
    }

    // The most elements any accessor of the model has in bytes: in its buffer view, or as the
    // sparse values of one without (glTF lets an accessor be given by its sparse values alone).
    static size_t largest_backed_count(const tinygltf::Model& model) {
        // how many elements of `element` bytes, `stride` apart, view `index` holds from `offset`
        const auto held = [&model](int index, size_t offset, size_t element, size_t stride) {
            if (index < 0 || static_cast<size_t>(index) >= model.bufferViews.size() ||
                element == 0) {
                return size_t{0};
            }
            const tinygltf::BufferView& view = model.bufferViews[static_cast<size_t>(index)];
            if (view.buffer < 0 || static_cast<size_t>(view.buffer) >= model.buffers.size())
                return size_t{0};
            const size_t bytes = model.buffers[static_cast<size_t>(view.buffer)].data.size();
            if (view.byteOffset > bytes || view.byteLength > bytes - view.byteOffset ||
                offset > view.byteLength || element > view.byteLength - offset) {
                return size_t{0};
            }
            return (view.byteLength - offset - element) / std::max(stride, element) + 1;
        };
        size_t largest = 0;
        for (const tinygltf::Accessor& accessor : model.accessors) {
            const int components =
                tinygltf::GetNumComponentsInType(static_cast<uint32_t>(accessor.type));
            const size_t element = component_size(accessor.componentType) *
                                   static_cast<size_t>(std::max(components, 0));
            size_t count = 0;
            if (accessor.bufferView >= 0) {
                const size_t stride =
                    static_cast<size_t>(accessor.bufferView) < model.bufferViews.size()
                        ? model.bufferViews[static_cast<size_t>(accessor.bufferView)].byteStride
                        : 0;
                count = std::min(accessor.count,
                                 held(accessor.bufferView, accessor.byteOffset, element, stride));
            } else if (accessor.sparse.isSparse && accessor.sparse.count > 0 &&
                       accessor.sparse.values.byteOffset >= 0) {
                count = std::min(
                    static_cast<size_t>(accessor.sparse.count),
                    held(accessor.sparse.values.bufferView,
                         static_cast<size_t>(accessor.sparse.values.byteOffset), element, element));
            }
            largest = std::max(largest, count);
        }
        return largest;
    }

    static size_t component_size(int type) {
        const int size = tinygltf::GetComponentSizeInBytes(static_cast<uint32_t>(type));
        return size > 0 ? static_cast<size_t>(size) : 0;
    }

    // The bytes of buffer view `view_index` from `offset`, which must hold `needed` bytes.
    BilingualText view_bytes(int view_index, size_t offset, size_t needed,
                             const BilingualText& whose, const unsigned char*& out) const {
        if (view_index < 0 || static_cast<size_t>(view_index) >= model_.bufferViews.size()) {
            return format_both({"%s がバッファビュー %d を指定していますが、バッファビューは %zu "
                                "個です",
                                "%s names buffer view %d of %zu"},
                               whose, view_index, model_.bufferViews.size());
        }
        const tinygltf::BufferView& view = model_.bufferViews[static_cast<size_t>(view_index)];
        if (view.buffer < 0 || static_cast<size_t>(view.buffer) >= model_.buffers.size()) {
            return format_both({"バッファビュー %d がバッファ %d を指定していますが、バッファは "
                                "%zu 個です",
                                "buffer view %d names buffer %d of %zu"},
                               view_index, view.buffer, model_.buffers.size());
        }
        const std::vector<unsigned char>& data =
            model_.buffers[static_cast<size_t>(view.buffer)].data;
        if (view.byteOffset > data.size() || view.byteLength > data.size() - view.byteOffset) {
            return format_both({"バッファビュー %1$d（%3$zu バイト目から %2$zu バイト）が %4$zu "
                                "バイトのバッファからはみ出しています",
                                "buffer view %1$d (%2$zu bytes from byte %3$zu) lies outside its "
                                "buffer of %4$zu bytes"},
                               view_index, view.byteLength, view.byteOffset, data.size());
        }
        if (offset > view.byteLength || needed > view.byteLength - offset) {
            return format_both({"%1$s はバッファビュー %4$d の %3$zu バイト目から %2$zu バイトを"
                                "必要としますが、バッファビューは %5$zu バイトです",
                                "%1$s needs %2$zu bytes from byte %3$zu of buffer view %4$d, "
                                "which has %5$zu"},
                               whose, needed, offset, view_index, view.byteLength);
        }
        out = data.data() + view.byteOffset + offset;
        return {};
    }

    BilingualText backing(int index, const tinygltf::Accessor& accessor, int components,
                          const unsigned char*& base, size_t& stride) const {
        const size_t element =
            component_size(accessor.componentType) * static_cast<size_t>(components);
        const size_t view_stride =
            static_cast<size_t>(accessor.bufferView) < model_.bufferViews.size()
                ? model_.bufferViews[static_cast<size_t>(accessor.bufferView)].byteStride
                : 0;
        stride = view_stride == 0 ? element : view_stride;
        if (stride < element) {
            return format_both({"アクセサ %d の要素は %zu バイトですが、ストライドが %zu バイト"
                                "です",
                                "accessor %d has elements of %zu bytes but a stride of %zu"},
                               index, element, stride);
        }
        if (accessor.count == 0) return {};
        // The last element needs only its own bytes, not a whole stride.
        if (accessor.count - 1 > (SIZE_MAX - element) / stride)
            return format_both({"アクセサ %d が大きすぎます", "accessor %d is too large"}, index);
        return view_bytes(accessor.bufferView, accessor.byteOffset,
                          (accessor.count - 1) * stride + element, label(index), base);
    }

    template <typename Apply>
    BilingualText sparse(int index, const tinygltf::Accessor& accessor, int components,
                         Apply apply) {
        if (!accessor.sparse.isSparse) return {};
        const int count = accessor.sparse.count;
        if (count < 0 || static_cast<size_t>(count) > accessor.count) {
            return format_both({"アクセサ %d にはスパース値が %d 個ありますが、要素は %zu 個です",
                                "accessor %d has %d sparse values for %zu elements"},
                               index, count, accessor.count);
        }
        const int index_type = accessor.sparse.indices.componentType;
        const size_t index_size = component_size(index_type);
        if (index_type != TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE &&
            index_type != TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT &&
            index_type != TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT) {
            return format_both({"アクセサ %d のスパースインデックスの成分の型 %d は使えません",
                                "accessor %d has sparse indices of component type %d"},
                               index, index_type);
        }
        const size_t element =
            component_size(accessor.componentType) * static_cast<size_t>(components);
        if (accessor.sparse.indices.byteOffset < 0 || accessor.sparse.values.byteOffset < 0) {
            return format_both({"アクセサ %d のスパースのバイトオフセットが負です",
                                "accessor %d has a negative sparse byte offset"},
                               index);
        }
        const unsigned char* indices = nullptr;
        const unsigned char* values = nullptr;
        BilingualText problem = view_bytes(
            accessor.sparse.indices.bufferView,
            static_cast<size_t>(accessor.sparse.indices.byteOffset),
            index_size * static_cast<size_t>(count),
            format_both({"アクセサ %d のスパースインデックス", "accessor %d's sparse indices"},
                        index),
            indices);
        if (problem.empty()) {
            problem = view_bytes(
                accessor.sparse.values.bufferView,
                static_cast<size_t>(accessor.sparse.values.byteOffset),
                element * static_cast<size_t>(count),
                format_both({"アクセサ %d のスパース値", "accessor %d's sparse values"}, index),
                values);
        }
        if (!problem.empty()) return problem;
        for (int k = 0; k < count; ++k) {
            const uint32_t at =
                unsigned_at(indices + static_cast<size_t>(k) * index_size, index_type);
            if (at >= accessor.count) {
                return format_both({"アクセサ %d のスパースインデックス %u が %zu 個の要素の外を"
                                    "指しています",
                                    "accessor %d has sparse index %u of %zu elements"},
                                   index, at, accessor.count);
            }
            apply(at, values + static_cast<size_t>(k) * element);
        }
        return {};
    }

    static uint32_t unsigned_at(const unsigned char* p, int type) {
        switch (type) {
            case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE:
                return p[0];
            case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT:
                return uint32_t{p[0]} | (uint32_t{p[1]} << 8);
            default:
                return load_u32(reinterpret_cast<const char*>(p));
        }
    }

    static float component(const unsigned char* element, int c, int type, bool normalized) {
        switch (type) {
            case TINYGLTF_COMPONENT_TYPE_FLOAT: {
                const uint32_t bits = load_u32(reinterpret_cast<const char*>(element + 4 * c));
                float value;
                std::memcpy(&value, &bits, sizeof value);
                return value;
            }
            case TINYGLTF_COMPONENT_TYPE_BYTE: {
                const auto v = static_cast<int8_t>(element[c]);
                return normalized ? std::max(v / 127.0f, -1.0f) : static_cast<float>(v);
            }
            case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE:
                return normalized ? element[c] / 255.0f : static_cast<float>(element[c]);
            case TINYGLTF_COMPONENT_TYPE_SHORT: {
                const auto v = static_cast<int16_t>(
                    unsigned_at(element + 2 * c, TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT));
                return normalized ? std::max(v / 32767.0f, -1.0f) : static_cast<float>(v);
            }
            default: {
                const uint32_t v =
                    unsigned_at(element + 2 * c, TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT);
                return normalized ? v / 65535.0f : static_cast<float>(v);
            }
        }
    }

    const tinygltf::Model& model_;
    const ImportLimits& limits_;
    size_t backed_count_;
    int64_t spent_ = 0;
};

std::vector<Vec3> as_points(const std::vector<float>& values) {
    std::vector<Vec3> points(values.size() / 3);
    for (size_t i = 0; i < points.size(); ++i) {
        points[i] = Vec3{values[3 * i], values[3 * i + 1], values[3 * i + 2]};
    }
    return points;
}

// Triangles of one primitive from its corner list, by its mode; points and lines give none.
BilingualText add_triangles(int mode, const std::vector<uint32_t>& corners, size_t vertex_count,
                            int32_t first, int32_t colour, std::vector<Triangle>& out) {
    for (size_t i = 0; i < corners.size(); ++i) {
        if (corners[i] >= vertex_count) {
            return format_both({"角 %zu が頂点 %u を使っていますが、頂点は %zu 個です",
                                "corner %zu uses vertex %u of %zu"},
                               i, corners[i], vertex_count);
        }
    }
    const auto at = [&](size_t i) { return first + static_cast<int32_t>(corners[i]); };
    const size_t n = corners.size();
    switch (mode) {
        case TINYGLTF_MODE_TRIANGLES:
            for (size_t i = 0; i + 2 < n; i += 3)
                out.push_back(make_triangle(at(i), at(i + 1), at(i + 2), colour));
            break;
        case TINYGLTF_MODE_TRIANGLE_STRIP:
            // Every second triangle of a strip turns the other way; swapping keeps them facing
            // alike.
            for (size_t i = 0; i + 2 < n; ++i) {
                out.push_back(i % 2 == 0 ? make_triangle(at(i), at(i + 1), at(i + 2), colour)
                                         : make_triangle(at(i + 1), at(i), at(i + 2), colour));
            }
            break;
        case TINYGLTF_MODE_TRIANGLE_FAN:
            for (size_t i = 1; i + 1 < n; ++i)
                out.push_back(make_triangle(at(i), at(i + 1), at(0), colour));
            break;
        case TINYGLTF_MODE_POINTS:
        case TINYGLTF_MODE_LINE:
        case TINYGLTF_MODE_LINE_LOOP:
        case TINYGLTF_MODE_LINE_STRIP:
            break;
        default:
            return format_both({"モード %d は glTF のプリミティブのモードではありません",
                                "mode %d is no glTF primitive mode"},
                               mode);
    }
    return {};
}

int attribute(const std::map<std::string, int>& attributes, const char* name) {
    const auto it = attributes.find(name);
    return it == attributes.end() ? -1 : it->second;
}

class SceneBuilder {
public:
    SceneBuilder(const tinygltf::Model& model, const ImportLimits& limits, int64_t decoded,
                 ImportedScene& scene)
        : model_(model), limits_(limits), accessors_(model, limits, decoded), scene_(scene) {}

    BilingualText build() {
        for (const tinygltf::Material& material : model_.materials) {
            const std::vector<double>& factor = material.pbrMetallicRoughness.baseColorFactor;
            const auto channel = [&](size_t c) {
                return c < factor.size() ? srgb_byte(factor[c]) : uint8_t{255};
            };
            scene_.palette.red.push_back(channel(0));
            scene_.palette.green.push_back(channel(1));
            scene_.palette.blue.push_back(channel(2));
        }
        if (model_.meshes.size() > static_cast<size_t>(kMaxListedObjects))
            return too_many_meshes(model_.meshes.size());
        for (size_t m = 0; m < model_.meshes.size(); ++m) {
            const BilingualText problem = charge_mesh(model_.meshes[m]);
            if (!problem.empty())
                return inside(format_both({"メッシュ %zu", "mesh %zu"}, m), problem);
        }
        for (size_t m = 0; m < model_.meshes.size(); ++m) {
            ImportedMesh mesh;
            const BilingualText problem = build_mesh(model_.meshes[m], mesh);
            if (!problem.empty())
                return inside(format_both({"メッシュ %zu", "mesh %zu"}, m), problem);
            if (mesh.name.empty()) mesh.name = node_name(m);
            scene_.meshes.push_back(std::move(mesh));
        }
        const std::vector<Placement> placements = mesh_placements();
        for (size_t m = 0; m < scene_.meshes.size(); ++m) {
            scene_.meshes[m].placement = placements[m];
            place(placements[m], scene_.meshes[m].vertices);
            for (MorphShape& target : scene_.meshes[m].targets)
                place(placements[m], target.vertices);
        }
        return find_animation();
    }

private:
    // Counts what a mesh will hold before anything of it is read: its vertices once for itself
    // and once for each morph target (a target without positions is a copy all the same), and
    // its corners. Small files that claim huge meshes or thousands of targets stop here.
    BilingualText charge_mesh(const tinygltf::Mesh& source) {
        std::set<int> seen;  // a set: files may hold many thousands of primitives
        size_t vertices = 0;
        size_t corners = 0;
        size_t targets = 0;
        for (size_t p = 0; p < source.primitives.size(); ++p) {
            const tinygltf::Primitive& primitive = source.primitives[p];
            targets = std::max(targets, primitive.targets.size());
            const int positions = attribute(primitive.attributes, "POSITION");
            if (positions < 0) continue;
            // each problem in the words build_mesh() would find it in
            size_t count = 0;
            BilingualText problem = accessors_.count_of(positions, 3, count);
            if (!problem.empty()) return problem;
            if (primitive.indices >= 0) {
                size_t listed = 0;
                problem = accessors_.count_of(primitive.indices, 0, listed);
                if (!problem.empty())
                    return inside(format_both({"プリミティブ %zu", "primitive %zu"}, p), problem);
                corners += listed;
            } else {
                corners += count;
            }
            if (seen.insert(positions).second) vertices += count;
        }
        const size_t most = static_cast<size_t>(std::max<int64_t>(limits_.max_positions, 0));
        const BilingualText whose = format_both(
            {"頂点 %zu 個とモーフターゲット %zu 個", "its %zu vertices and %zu morph targets"},
            vertices, targets);
        if (vertices > most || corners > most || (vertices > 0 && targets > most / vertices))
            return accessors_.charge(whose, most + 1);
        return accessors_.charge(whose, vertices * (targets + 1) + corners);
    }

    BilingualText build_mesh(const tinygltf::Mesh& source, ImportedMesh& mesh) {
        mesh.name = source.name;
        for (const double weight : source.weights)
            mesh.weights.push_back(static_cast<float>(weight));

        // the POSITION accessors in first-use order, each with its first vertex and the
        // primitive that first used it (whose morph targets move it)
        struct Run {
            int accessor;
            int32_t first;
            size_t count;
            const tinygltf::Primitive* primitive;
        };
        std::vector<Run> runs;
        std::map<int, size_t> run_of;  // accessor -> runs index
        size_t target_count = 0;
        for (size_t p = 0; p < source.primitives.size(); ++p) {
            const tinygltf::Primitive& primitive = source.primitives[p];
            if (p == 0) target_count = primitive.targets.size();
            if (primitive.targets.size() != target_count) {
                return {"プリミティブごとにモーフターゲットの数が違います",
                        "its primitives have different numbers of morph targets"};
            }
            const int positions = attribute(primitive.attributes, "POSITION");
            if (positions < 0) continue;
            const auto known = run_of.find(positions);
            if (known == run_of.end()) {
                std::vector<float> values;
                // counted with the mesh (charge_mesh)
                BilingualText problem = accessors_.floats(positions, 3, values, false);
                if (!problem.empty()) return problem;
                if (mesh.vertices.size() + values.size() / 3 > static_cast<size_t>(INT32_MAX)) {
                    return {"頂点がオブジェクトファイルで数えられる数を超えています",
                            "it has more vertices than an object file can count"};
                }
                const std::vector<Vec3> points = as_points(values);
                runs.push_back(Run{positions, static_cast<int32_t>(mesh.vertices.size()),
                                   points.size(), &primitive});
                mesh.vertices.insert(mesh.vertices.end(), points.begin(), points.end());
                run_of[positions] = runs.size() - 1;
            }
            const Run* run = &runs[run_of[positions]];

            // corners: the index accessor, or the positions in order
            std::vector<uint32_t> corners;
            const auto in_primitive = [p] {
                return format_both({"プリミティブ %zu", "primitive %zu"}, p);
            };
            if (primitive.indices >= 0) {
                BilingualText problem = accessors_.indices(primitive.indices, corners, false);
                if (!problem.empty()) return inside(in_primitive(), problem);
            } else {
                corners.resize(run->count);
                for (size_t i = 0; i < corners.size(); ++i) corners[i] = static_cast<uint32_t>(i);
            }
            const BilingualText problem =
                add_triangles(primitive.mode, corners, run->count, run->first, colour_of(primitive),
                              mesh.triangles);
            if (!problem.empty()) return inside(in_primitive(), problem);
            if (primitive.material >= static_cast<int>(model_.materials.size())) {
                return format_both(
                    {"%s がマテリアル %d を指定していますが、マテリアルは %zu 個です",
                     "%s names material %d of %zu"},
                    in_primitive(), primitive.material, model_.materials.size());
            }
        }

        // each morph target as a whole shape: every run moved by its primitive's target
        for (size_t t = 0; t < target_count; ++t) {
            MorphShape shape;
            shape.name = target_name(source, t, runs.empty() ? nullptr : runs.front().primitive);
            shape.vertices = mesh.vertices;
            for (const Run& run : runs) {
                const int moved = attribute(run.primitive->targets[t], "POSITION");
                if (moved < 0) continue;
                const auto in_target = [t] {
                    return format_both({"モーフターゲット %zu", "morph target %zu"}, t);
                };
                // the moves were counted with the shape they make: read only as many
                size_t count = 0;
                BilingualText problem = accessors_.count_of(moved, 3, count);
                if (!problem.empty()) return inside(in_target(), problem);
                if (count != run.count) {
                    return format_both({"%s は %zu 個の頂点を動かしますが、頂点は %zu 個です",
                                        "%s moves %zu vertices of %zu"},
                                       in_target(), count, run.count);
                }
                std::vector<float> values;
                problem = accessors_.floats(moved, 3, values, false);
                if (!problem.empty()) return inside(in_target(), problem);
                for (size_t i = 0; i < run.count; ++i) {
                    Vec3& v = shape.vertices[static_cast<size_t>(run.first) + i];
                    v.x += values[3 * i];
                    v.y += values[3 * i + 1];
                    v.z += values[3 * i + 2];
                }
            }
            mesh.targets.push_back(std::move(shape));
        }
        return {};
    }

    int32_t colour_of(const tinygltf::Primitive& primitive) {
        if (primitive.material >= 0) return primitive.material;
        if (default_colour_ < 0) {
            default_colour_ = static_cast<int32_t>(scene_.palette.size());
            scene_.palette.red.push_back(kDefaultGrey);
            scene_.palette.green.push_back(kDefaultGrey);
            scene_.palette.blue.push_back(kDefaultGrey);
        }
        return default_colour_;
    }

    std::string target_name(const tinygltf::Mesh& source, size_t t,
                            const tinygltf::Primitive* first) const {
        const tinygltf::Value& names = source.extras.Get("targetNames");
        if (names.IsArray() && t < names.ArrayLen() && names.Get(static_cast<int>(t)).IsString()) {
            return names.Get(static_cast<int>(t)).Get<std::string>();
        }
        if (first) {
            const tinygltf::Accessor* moved =
                accessors_.accessor(attribute(first->targets[t], "POSITION"));
            if (moved) return moved->name;
        }
        return {};
    }

    static Placement node_placement(const tinygltf::Node& node) {
        if (node.matrix.size() == 16) return placement_from_columns(node.matrix.data());
        const double none[3] = {0, 0, 0};
        const double unturned[4] = {0, 0, 0, 1};
        const double unscaled[3] = {1, 1, 1};
        return placement_from_trs(node.translation.size() == 3 ? node.translation.data() : none,
                                  node.rotation.size() == 4 ? node.rotation.data() : unturned,
                                  node.scale.size() == 3 ? node.scale.data() : unscaled);
    }

    // Where the first node that shows each mesh puts it, walking the default scene (or the
    // first, or every node that is no child) depth first; a mesh no node shows stays put.
    std::vector<Placement> mesh_placements() const {
        std::vector<Placement> placements(scene_.meshes.size());
        std::vector<bool> placed(scene_.meshes.size(), false);
        std::vector<bool> visited(model_.nodes.size(), false);
        std::vector<int> roots;
        const int scene = model_.defaultScene >= 0 ? model_.defaultScene : 0;
        if (static_cast<size_t>(scene) < model_.scenes.size()) {
            roots = model_.scenes[static_cast<size_t>(scene)].nodes;
        } else {
            std::vector<bool> child(model_.nodes.size(), false);
            for (const tinygltf::Node& node : model_.nodes) {
                for (const int c : node.children) {
                    if (c >= 0 && static_cast<size_t>(c) < child.size())
                        child[static_cast<size_t>(c)] = true;
                }
            }
            for (size_t n = 0; n < child.size(); ++n) {
                if (!child[n]) roots.push_back(static_cast<int>(n));
            }
        }
        // a stack of (node, its parent's placement); a node is entered once, so cycles end
        std::vector<std::pair<int, Placement>> stack;
        for (auto root = roots.rbegin(); root != roots.rend(); ++root)
            stack.emplace_back(*root, Placement{});
        while (!stack.empty()) {
            const auto [index, parent] = stack.back();
            stack.pop_back();
            if (index < 0 || static_cast<size_t>(index) >= model_.nodes.size() ||
                visited[static_cast<size_t>(index)]) {
                continue;
            }
            visited[static_cast<size_t>(index)] = true;
            const tinygltf::Node& node = model_.nodes[static_cast<size_t>(index)];
            const Placement here = parent.after(node_placement(node));
            if (node.mesh >= 0 && static_cast<size_t>(node.mesh) < placed.size() &&
                !placed[static_cast<size_t>(node.mesh)]) {
                placed[static_cast<size_t>(node.mesh)] = true;
                placements[static_cast<size_t>(node.mesh)] = here;
            }
            for (auto child = node.children.rbegin(); child != node.children.rend(); ++child) {
                stack.emplace_back(*child, here);
            }
        }
        return placements;
    }

    std::string node_name(size_t mesh) const {
        for (const tinygltf::Node& node : model_.nodes) {
            if (node.mesh == static_cast<int>(mesh) && !node.name.empty()) return node.name;
        }
        return {};
    }

    // Every animation's weights channels on nodes with a mesh that has morph targets, one for
    // each animation and mesh (a mesh two nodes show is driven by the first channel). A damaged
    // one is refused: the keys are what a project is made from.
    BilingualText find_animation() {
        for (size_t a = 0; a < model_.animations.size(); ++a) {
            const tinygltf::Animation& animation = model_.animations[a];
            std::set<size_t> driven;
            for (const tinygltf::AnimationChannel& channel : animation.channels) {
                if (channel.target_path != "weights" || channel.target_node < 0 ||
                    static_cast<size_t>(channel.target_node) >= model_.nodes.size()) {
                    continue;
                }
                const int mesh = model_.nodes[static_cast<size_t>(channel.target_node)].mesh;
                if (mesh < 0 || static_cast<size_t>(mesh) >= scene_.meshes.size() ||
                    scene_.meshes[static_cast<size_t>(mesh)].targets.empty() ||
                    !driven.insert(static_cast<size_t>(mesh)).second) {
                    continue;
                }
                scene_.animations.emplace_back();
                const BilingualText problem = read_animation(
                    animation, channel, static_cast<size_t>(mesh), scene_.animations.back());
                if (problem.empty()) {
                    scene_.animations.back().clip = a;
                    continue;
                }
                scene_.animations.clear();
                return inside(
                    format_both({"アニメーション%s", "animation %s"}, quoted_name(animation.name)),
                    problem);
            }
        }
        return {};
    }

    BilingualText read_animation(const tinygltf::Animation& animation,
                                 const tinygltf::AnimationChannel& channel, size_t mesh,
                                 WeightsAnimation& out) {
        if (channel.sampler < 0 ||
            static_cast<size_t>(channel.sampler) >= animation.samplers.size()) {
            return format_both({"ウェイトのチャンネルがサンプラー %d を指定していますが、サンプラー"
                                "は %zu 個です",
                                "its weights channel names sampler %d of %zu"},
                               channel.sampler, animation.samplers.size());
        }
        const tinygltf::AnimationSampler& sampler =
            animation.samplers[static_cast<size_t>(channel.sampler)];
        out.mesh = mesh;
        out.name = animation.name;
        out.targets = scene_.meshes[mesh].targets.size();
        if (sampler.interpolation == "STEP") {
            out.interpolation = Interpolation::kStep;
        } else if (sampler.interpolation == "CUBICSPLINE") {
            out.interpolation = Interpolation::kCubicSpline;
        } else if (sampler.interpolation != "LINEAR") {
            return format_both({"補間%sは glTF の補間ではありません",
                                "interpolation %s is not a glTF interpolation"},
                               quoted_name(sampler.interpolation));
        }
        BilingualText problem = accessors_.floats(sampler.input, 1, out.times);
        if (problem.empty()) problem = accessors_.floats(sampler.output, 1, out.values);
        if (!problem.empty()) return problem;
        if (out.times.empty()) return {"キーがありません", "it has no keys"};
        for (size_t k = 0; k < out.times.size(); ++k) {
            if (!std::isfinite(out.times[k]) || (k > 0 && !(out.times[k] > out.times[k - 1]))) {
                return format_both({"キー %zu でキーの時刻が増えていません",
                                    "its key times do not increase at key %zu"},
                                   k);
            }
        }
        const size_t stride = out.interpolation == Interpolation::kCubicSpline ? 3 : 1;
        if (out.values.size() != out.times.size() * stride * out.targets) {
            return format_both({"ウェイトが %zu 個ありますが、キー %zu 個とモーフターゲット %zu "
                                "個には合いません",
                                "it has %zu weights for %zu keys of %zu morph targets"},
                               out.values.size(), out.times.size(), out.targets);
        }
        for (const float value : out.values) {
            if (!std::isfinite(value)) {
                return {"有限の数でないウェイトがあります",
                        "it has a weight that is not a finite number"};
            }
        }
        return {};
    }

    const tinygltf::Model& model_;
    const ImportLimits& limits_;
    AccessorReader accessors_;
    ImportedScene& scene_;
    int32_t default_colour_ = -1;
};

BilingualText too_large() {
    return {"glTF ファイルとしては大きすぎます", "the file is larger than a glTF file can be"};
}

// The file's model as tinygltf reads it, with every buffer's bytes and no image; the views a
// compression extension holds are left for decode_compressed, as `parts` lists them.
ImportOutcome load_model(const std::string& bytes, const std::string& folder,
                         const ImportLimits& limits, tinygltf::Model& model,
                         CompressedParts& parts) {
    const bool binary = is_glb(bytes);
    size_t json_at = 0;
    size_t json_length = bytes.size();
    if (binary) {
        BilingualText problem = glb_problem(bytes, json_at, json_length);
        if (!problem.empty()) return refused(std::move(problem));
    }
    if (json_depth(bytes.data() + json_at, json_length) > kMaxJsonDepth) {
        return refused(format_both(
            {"JSON の入れ子が %d 段より深くなっています", "the JSON nests deeper than %d levels"},
            kMaxJsonDepth));
    }

    // Compressed files are handed to tinygltf in a form it reads (see gltf_compressed.h); the
    // binary container is rebuilt around the new JSON, its binary chunk as it was.
    std::string rewritten;
    BilingualText prepared =
        prepare_gltf_json(bytes.data() + json_at, json_length, rewritten, parts);
    if (!prepared.empty()) return refused(std::move(prepared));
    std::string rebuilt;
    if (!rewritten.empty()) {
        if (binary) {
            while (rewritten.size() % 4 != 0) rewritten.push_back(' ');
            const size_t end = load_u32(bytes.data() + 8);  // within the bytes (glb_problem)
            const size_t rest =
                std::min<size_t>(end, json_at + ((uint64_t{json_length} + 3) & ~uint64_t{3}));
            const size_t total = 20 + rewritten.size() + (end - rest);
            if (total > UINT32_MAX) return refused(too_large());
            const uint32_t head[5] = {kGlbMagic, 2, static_cast<uint32_t>(total),
                                      static_cast<uint32_t>(rewritten.size()), kJsonChunk};
            rebuilt.reserve(total);
            for (const uint32_t word : head) {
                for (int b = 0; b < 4; ++b) rebuilt.push_back(static_cast<char>(word >> (8 * b)));
            }
            rebuilt += rewritten;
            rebuilt.append(bytes, rest, end - rest);
        } else {
            rebuilt = std::move(rewritten);
        }
    }
    const std::string& given = rebuilt.empty() ? bytes : rebuilt;

    FileAccess access{folder, limits.max_file_bytes, {}, {}};
    tinygltf::TinyGLTF loader;
    loader.SetImageLoader(skip_image, nullptr);
    loader.SetFsCallbacks(tinygltf::FsCallbacks{file_exists, expand_nothing, read_whole_file,
                                                write_nothing, &access});
    std::string err;
    std::string warn;
    const auto* data = reinterpret_cast<const unsigned char*>(given.data());
    const bool loaded =
        binary ? loader.LoadBinaryFromMemory(&model, &err, &warn, data,
                                             static_cast<unsigned int>(given.size()), folder)
               : loader.LoadASCIIFromString(&model, &err, &warn, given.data(),
                                            static_cast<unsigned int>(given.size()), folder);
    // Images are never read, but one named outside the folder is refused as a buffer would be.
    for (const tinygltf::Image& image : model.images) {
        if (folder.empty() || !access.outside.empty() || image.uri.empty() ||
            image.uri.compare(0, 5, "data:") == 0) {
            continue;
        }
        access.outside = file_in_folder(folder, percent_decoded(image.uri)).problem;
    }
    if (!access.outside.empty()) return refused(access.outside);
    BilingualText unread = loaded ? gltf_version_problem(&model.asset.version)
                                  : gltf_json_version_problem(bytes.data() + json_at, json_length);
    if (unread.empty() && loaded) unread = gltf_extension_problem(model.extensionsRequired);
    if (!unread.empty()) return refused(std::move(unread));
    if (!loaded) {
        if (err.empty())
            return refused({"glTF 2.0 のファイルではありません", "it is not a glTF 2.0 file"});
        // tinygltf ends its messages with line breaks; the refusal is one line.
        std::string words = err;
        while (!words.empty() && (words.back() == '\n' || words.back() == '\r')) words.pop_back();
        std::replace(words.begin(), words.end(), '\n', ' ');
        // A file this reader refused to hand over says why in its own words.
        return refused({access.problem.empty()
                            ? format_text("glTF ファイルとして読めません：%s", words.c_str())
                            : access.problem.ja,
                        words});
    }
    return ImportOutcome{true, {}};
}

ImportOutcome read_gltf(const std::string& bytes, const std::string& folder,
                        const ImportLimits& limits, ImportedScene& scene) {
    scene = ImportedScene{};
    tinygltf::Model model;
    CompressedParts parts;
    const ImportOutcome loaded = load_model(bytes, folder, limits, model, parts);
    if (!loaded.ok) return loaded;
    // The decoded bytes come out of the same budget as everything the scene holds.
    int64_t decoded = 0;
    BilingualText problem = decode_compressed(model, parts, limits.max_positions, decoded);
    if (!problem.empty()) return refused(std::move(problem));
    problem = SceneBuilder(model, limits, decoded, scene).build();
    if (!problem.empty()) {
        scene = ImportedScene{};
        return refused(std::move(problem));
    }
    return ImportOutcome{true, {}};
}

}  // namespace

bool is_glb(const std::string& start) {
    return start.size() >= 4 && load_u32(start.data()) == kGlbMagic;
}

ImportOutcome read_gltf_file(const std::string& path, const ImportLimits& limits,
                             ImportedScene& scene) {
    try {
        std::string bytes;
        BilingualText problem = read_file_bytes(path, limits.max_file_bytes, bytes);
        if (!problem.empty()) return refused(std::move(problem));
        if (bytes.size() > UINT32_MAX) return refused(too_large());
        return read_gltf(bytes, folder_of(path), limits, scene);
    } catch (const std::bad_alloc&) {
        scene = ImportedScene{};
        return refused(out_of_memory(same_in_both(display_text(path))));
    }
}

ImportOutcome read_gltf_buffers(const std::string& path, const ImportLimits& limits,
                                std::vector<std::string>& buffers) {
    buffers.clear();
    try {
        std::string bytes;
        BilingualText problem = read_file_bytes(path, limits.max_file_bytes, bytes);
        if (!problem.empty()) return refused(std::move(problem));
        if (bytes.size() > UINT32_MAX) return refused(too_large());
        tinygltf::Model model;
        CompressedParts parts;  // the original's compressed views are kept as they are
        const ImportOutcome loaded = load_model(bytes, folder_of(path), limits, model, parts);
        if (!loaded.ok) return loaded;
        for (const tinygltf::Buffer& buffer : model.buffers) {
            buffers.emplace_back(buffer.data.begin(), buffer.data.end());
        }
        return loaded;
    } catch (const std::bad_alloc&) {
        buffers.clear();
        return refused(out_of_memory(same_in_both(display_text(path))));
    }
}

ImportOutcome read_gltf_bytes(const std::string& bytes, const ImportLimits& limits,
                              ImportedScene& scene) {
    if (bytes.size() > UINT32_MAX) return refused(too_large());
    try {
        return read_gltf(bytes, std::string(), limits, scene);
    } catch (const std::bad_alloc&) {
        scene = ImportedScene{};
        return refused(out_of_memory({"glTF ファイル", "the glTF file"}));
    }
}

}  // namespace warpkit
