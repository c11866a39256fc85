#include "support/mesh_fixtures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace warpkit::testing {
namespace {

std::string base64(const std::vector<uint8_t>& bytes) {
    static const char* const alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const uint32_t a = bytes[i];
        const uint32_t b = i + 1 < bytes.size() ? bytes[i + 1] : 0;
        const uint32_t c = i + 2 < bytes.size() ? bytes[i + 2] : 0;
        const uint32_t triple = (a << 16) | (b << 8) | c;
        out += alphabet[(triple >> 18) & 63];
        out += alphabet[(triple >> 12) & 63];
        out += i + 1 < bytes.size() ? alphabet[(triple >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? alphabet[triple & 63] : '=';
    }
    return out;
}

void put_u32(std::string& out, uint32_t value) {
    for (int k = 0; k < 4; ++k) out += static_cast<char>((value >> (8 * k)) & 0xFF);
}

// FBX keeps times in ticks of this many a second.
constexpr double kFbxTicks = 46186158000.0;

std::string number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

template <typename T>
std::string joined(const std::vector<T>& values) {
    std::string out;
    for (size_t i = 0; i < values.size(); ++i)
        out += (i ? "," : "") + number(static_cast<double>(values[i]));
    return out;
}

}  // namespace

int GltfBuilder::add_view(const void* bytes, size_t length) {
    while (data_.size() % 4 != 0) data_.push_back(0);
    const size_t offset = data_.size();
    const auto* first = static_cast<const uint8_t*>(bytes);
    data_.insert(data_.end(), first, first + length);
    views_.push_back("{\"buffer\":0,\"byteOffset\":" + std::to_string(offset) +
                     ",\"byteLength\":" + std::to_string(length) + "}");
    return static_cast<int>(views_.size() - 1);
}

int GltfBuilder::add_points(const std::vector<Vec3>& points, const std::string& name) {
    const std::vector<uint8_t> bytes(
        reinterpret_cast<const uint8_t*>(points.data()),
        reinterpret_cast<const uint8_t*>(points.data() + points.size()));
    return add_raw(bytes, "\"componentType\":5126,\"count\":" + std::to_string(points.size()) +
                              ",\"type\":\"VEC3\"" +
                              (name.empty() ? "" : ",\"name\":\"" + name + "\""));
}

int GltfBuilder::add_indices(const std::vector<uint16_t>& indices) {
    const auto* first = reinterpret_cast<const uint8_t*>(indices.data());
    return add_raw({first, first + 2 * indices.size()},
                   "\"componentType\":5123,\"count\":" + std::to_string(indices.size()) +
                       ",\"type\":\"SCALAR\"");
}

int GltfBuilder::add_scalars(const std::vector<float>& values) {
    const auto* first = reinterpret_cast<const uint8_t*>(values.data());
    return add_raw({first, first + 4 * values.size()},
                   "\"componentType\":5126,\"count\":" + std::to_string(values.size()) +
                       ",\"type\":\"SCALAR\"");
}

int GltfBuilder::add_raw(const std::vector<uint8_t>& bytes, const std::string& accessor_fields) {
    const int view = bytes.empty() ? -1 : add_view(bytes.data(), bytes.size());
    accessors_.push_back(
        "{" + (view >= 0 ? "\"bufferView\":" + std::to_string(view) + "," : std::string()) +
        accessor_fields + "}");
    return static_cast<int>(accessors_.size() - 1);
}

std::string GltfBuilder::json(const std::string& rest, bool embedded) const {
    std::string out = "{\"asset\":{\"version\":\"2.0\"},\"buffers\":[{\"byteLength\":" +
                      std::to_string(data_.size());
    if (embedded) out += ",\"uri\":\"data:application/octet-stream;base64," + base64(data_) + "\"";
    out += "}],\"bufferViews\":[";
    for (size_t i = 0; i < views_.size(); ++i) out += (i ? "," : "") + views_[i];
    out += "],\"accessors\":[";
    for (size_t i = 0; i < accessors_.size(); ++i) out += (i ? "," : "") + accessors_[i];
    out += "]";
    if (!rest.empty()) out += "," + rest;
    return out + "}";
}

std::string GltfBuilder::gltf(const std::string& rest) const {
    return json(rest, true);
}

std::string GltfBuilder::glb(const std::string& rest) const {
    std::string text = json(rest, false);
    while (text.size() % 4 != 0) text += ' ';
    std::vector<uint8_t> bin = data_;
    while (bin.size() % 4 != 0) bin.push_back(0);
    std::string out = "glTF";
    put_u32(out, 2);
    put_u32(out, static_cast<uint32_t>(12 + 8 + text.size() + 8 + bin.size()));
    put_u32(out, static_cast<uint32_t>(text.size()));
    out += "JSON" + text;
    put_u32(out, static_cast<uint32_t>(bin.size()));
    out += std::string("BIN\0", 4);
    out.append(bin.begin(), bin.end());
    return out;
}

namespace {

// The accessors of a 3 x 3 grid of unit cells at z = 0: its positions and its corners.
std::pair<int, int> add_grid(GltfBuilder& builder) {
    std::vector<Vec3> points;
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 3; ++x) points.push_back(Vec3{float(x), float(y), 0});
    }
    return {builder.add_points(points),
            builder.add_indices(
                {0, 1, 4, 0, 4, 3, 1, 2, 5, 1, 5, 4, 3, 4, 7, 3, 7, 6, 4, 5, 8, 4, 8, 7})};
}

// The grid's mesh: its accessors in `builder`, its JSON returned.
std::string grid_mesh(GltfBuilder& builder, int targets) {
    const auto [base, corners] = add_grid(builder);
    std::string list;
    std::string weights;
    for (int t = 0; t < targets; ++t) {
        const int moved = builder.add_points(std::vector<Vec3>(9, Vec3{0, 0, float(t + 1)}),
                                             "t" + std::to_string(t));
        list += (t ? ",{\"POSITION\":" : "{\"POSITION\":") + std::to_string(moved) + "}";
        weights += t ? ",0" : "0.5";
    }
    return "\"meshes\":[{\"name\":\"grid face\",\"weights\":[" + weights +
           "],\"primitives\":[{\"attributes\":{\"POSITION\":" + std::to_string(base) +
           "},\"indices\":" + std::to_string(corners) + ",\"targets\":[" + list + "]}]}]";
}

}  // namespace

std::string grid_gltf(int targets) {
    GltfBuilder builder;
    return builder.gltf(grid_mesh(builder, targets));
}

std::string animated_grid_gltf(int targets) {
    GltfBuilder builder;
    const std::string mesh = grid_mesh(builder, targets);
    std::vector<float> values(3 * static_cast<size_t>(targets), 0.0f);
    for (int t = 0; t < targets; ++t) values[static_cast<size_t>(targets + t)] = (t + 1) / 10.0f;
    const int times = builder.add_scalars({0.1f, 0.5f, 1.2f});
    const int weights = builder.add_scalars(values);
    return builder.gltf(mesh +
                        ",\"nodes\":[{\"mesh\":0}],\"animations\":[{\"name\":\"blink\","
                        "\"channels\":[{\"sampler\":0,\"target\":{\"node\":0,\"path\":"
                        "\"weights\"}}],\"samplers\":[{\"input\":" +
                        std::to_string(times) + ",\"output\":" + std::to_string(weights) + "}]}]");
}

std::string two_animations_gltf() {
    GltfBuilder builder;
    std::string meshes = grid_mesh(builder, 2);
    meshes.pop_back();  // the list goes on
    const int triangle = builder.add_points({{0, 0, 1}, {1, 0, 1}, {0, 1, 1}});
    const int corners = builder.add_indices({0, 1, 2});
    const int open = builder.add_points({{0, -1, 0}, {0, -1, 0}, {0, -1, 0}});
    meshes +=
        ",{\"name\":\"lower teeth and tongue\",\"extras\":{\"targetNames\":[\"jaw open as "
        "wide as it goes\"]},\"primitives\":[{\"attributes\":{\"POSITION\":" +
        std::to_string(triangle) + "},\"indices\":" + std::to_string(corners) +
        ",\"targets\":[{\"POSITION\":" + std::to_string(open) + "}]}]}]";
    const auto sampler = [&](const std::vector<float>& times, const std::vector<float>& values) {
        return "{\"input\":" + std::to_string(builder.add_scalars(times)) +
               ",\"output\":" + std::to_string(builder.add_scalars(values)) + "}";
    };
    const auto channel = [](int sampler_index, int node) {
        return "{\"sampler\":" + std::to_string(sampler_index) +
               ",\"target\":{\"node\":" + std::to_string(node) + ",\"path\":\"weights\"}}";
    };
    const std::string blink = sampler({0.0f, 0.1f, 0.2f}, {0, 0, 1, 0, 0, 0});
    const std::string talk_face = sampler({0.0f, 1.5f, 3.0f}, {0, 0, 0, 1, 0, 0});
    const std::string talk_teeth = sampler({0.0f, 3.0f}, {0, 1});
    return builder.gltf(meshes +
                        ",\"nodes\":[{\"mesh\":0},{\"mesh\":1}],\"animations\":["
                        "{\"name\":\"blink\",\"channels\":[" +
                        channel(0, 0) + "],\"samplers\":[" + blink +
                        "]},{\"name\":\"talk\",\"channels\":[" + channel(0, 0) + "," +
                        channel(1, 1) + "],\"samplers\":[" + talk_face + "," + talk_teeth + "]}]");
}

std::string named_grid_glb(const std::vector<std::string>& names) {
    GltfBuilder builder;
    const auto [base, corners] = add_grid(builder);
    std::string targets, listed;
    for (size_t t = 0; t < names.size(); ++t) {
        std::vector<Vec3> lift(9, Vec3{0, 0, 0});
        lift[t % 9].z = 1.0f;
        targets += (t ? "," : "") + std::string("{\"POSITION\":") +
                   std::to_string(builder.add_points(lift)) + "}";
        listed += (t ? ",\"" : "\"") + names[t] + "\"";
    }
    return builder.glb("\"meshes\":[{\"name\":\"Face Mesh\",\"extras\":{\"targetNames\":[" +
                       listed + "]},\"primitives\":[{\"attributes\":{\"POSITION\":" +
                       std::to_string(base) + "},\"indices\":" + std::to_string(corners) +
                       ",\"targets\":[" + targets + "]}]}],\"nodes\":[{\"mesh\":0}]");
}

std::string fbx_text(const FbxMesh& mesh) {
    std::ostringstream out;
    std::vector<float> points;
    for (const Vec3& p : mesh.points) points.insert(points.end(), {p.x, p.y, p.z});
    std::vector<int32_t> polygon_index;
    for (const std::vector<int32_t>& polygon : mesh.polygons) {
        for (size_t c = 0; c < polygon.size(); ++c) {
            // the last corner of a polygon is written as -(index + 1)
            polygon_index.push_back(c + 1 == polygon.size() ? -polygon[c] - 1 : polygon[c]);
        }
    }
    out << "; FBX 7.4.0 project file\n"
        << "FBXHeaderExtension:  {\n\tFBXHeaderVersion: 1003\n\tFBXVersion: 7400\n}\n"
        << "GlobalSettings:  {\n\tVersion: 1000\n\tProperties70:  {\n"
        << "\t\tP: \"UnitScaleFactor\", \"double\", \"Number\", \"\"," << number(mesh.unit_scale)
        << "\n";
    if (mesh.frame_rate != 0) {
        out << "\t\tP: \"TimeMode\", \"enum\", \"\", \"\",14\n"
            << "\t\tP: \"CustomFrameRate\", \"double\", \"Number\", \"\","
            << number(mesh.frame_rate) << "\n";
    }
    out << "\t}\n}\n"
        << "Objects:  {\n"
        << "\tGeometry: 1000, \"Geometry::" << mesh.name << "\", \"Mesh\" {\n"
        << "\t\tVertices: *" << points.size() << " {\n\t\t\ta: " << joined(points) << "\n\t\t}\n"
        << "\t\tPolygonVertexIndex: *" << polygon_index.size()
        << " {\n\t\t\ta: " << joined(polygon_index) << "\n\t\t}\n\t\tGeometryVersion: 124\n";
    if (mesh.colours.size() > 1) {
        out << "\t\tLayerElementMaterial: 0 {\n\t\t\tVersion: 101\n\t\t\tName: \"\"\n"
            << "\t\t\tMappingInformationType: \"ByPolygon\"\n\t\t\tReferenceInformationType: "
               "\"IndexToDirect\"\n"
            << "\t\t\tMaterials: *" << mesh.polygon_materials.size()
            << " {\n\t\t\t\ta: " << joined(mesh.polygon_materials) << "\n\t\t\t}\n\t\t}\n"
            << "\t\tLayer: 0 {\n\t\t\tVersion: 100\n\t\t\tLayerElement:  {\n"
            << "\t\t\t\tType: \"LayerElementMaterial\"\n\t\t\t\tTypedIndex: 0\n\t\t\t}\n\t\t}\n";
    }
    out << "\t}\n\tModel: 2000, \"Model::" << mesh.name
        << "\", \"Mesh\" {\n\t\tVersion: 232\n\t}\n";
    for (size_t m = 0; m < mesh.colours.size(); ++m) {
        const Vec3& c = mesh.colours[m];
        out << "\tMaterial: " << 6000 + m << ", \"Material::colour" << m
            << "\", \"\" {\n\t\tVersion: 102\n"
            << "\t\tShadingModel: \"phong\"\n\t\tProperties70:  {\n\t\t\tP: \"DiffuseColor\", "
               "\"Color\", \"\", \"A\","
            << number(c.x) << "," << number(c.y) << "," << number(c.z) << "\n\t\t}\n\t}\n";
    }
    if (!mesh.shapes.empty())
        out << "\tDeformer: 4000, \"Deformer::Blend\", \"BlendShape\" {\n\t\tVersion: 100\n\t}\n";
    for (size_t s = 0; s < mesh.shapes.size(); ++s) {
        const FbxShape& shape = mesh.shapes[s];
        std::vector<float> moves;
        for (const Vec3& m : shape.moves) moves.insert(moves.end(), {m.x, m.y, m.z});
        const std::vector<float> normals(moves.size(), 0.0f);
        out << "\tDeformer: " << 5000 + s << ", \"SubDeformer::" << shape.name
            << "\", \"BlendShapeChannel\" {\n"
            << "\t\tVersion: 100\n\t\tDeformPercent: 0\n\t\tFullWeights: *1 {\n\t\t\ta: "
               "100\n\t\t}\n\t}\n"
            << "\tGeometry: " << 3000 + s << ", \"Geometry::" << shape.name
            << "\", \"Shape\" {\n\t\tVersion: 100\n"
            << "\t\tIndexes: *" << shape.indexes.size() << " {\n\t\t\ta: " << joined(shape.indexes)
            << "\n\t\t}\n"
            << "\t\tVertices: *" << moves.size() << " {\n\t\t\ta: " << joined(moves) << "\n\t\t}\n"
            << "\t\tNormals: *" << normals.size() << " {\n\t\t\ta: " << joined(normals)
            << "\n\t\t}\n\t}\n";
    }
    // each stack: one layer, a curve node and a curve per animated blend shape
    std::string connections;
    for (size_t a = 0; a < mesh.stacks.size(); ++a) {
        const FbxStack& stack = mesh.stacks[a];
        const size_t stack_id = 7000 + a, layer_id = 7500 + a;
        double last = 0;
        for (const FbxCurve& curve : stack.curves) {
            for (const double t : curve.seconds) last = std::max(last, t);
        }
        out << "\tAnimationStack: " << stack_id << ", \"AnimStack::" << stack.name
            << "\", \"\" {\n\t\tProperties70:  {\n"
            << "\t\t\tP: \"LocalStart\", \"KTime\", \"Time\", \"\",0\n"
            << "\t\t\tP: \"LocalStop\", \"KTime\", \"Time\", \"\","
            << std::llround(last * kFbxTicks) << "\n\t\t}\n\t}\n\tAnimationLayer: " << layer_id
            << ", \"AnimLayer::BaseLayer\", \"\" {\n\t}\n";
        connections +=
            "\tC: \"OO\"," + std::to_string(layer_id) + "," + std::to_string(stack_id) + "\n";
        for (size_t c = 0; c < stack.curves.size(); ++c) {
            const FbxCurve& curve = stack.curves[c];
            const std::string node = std::to_string(8000 + 100 * a + c);
            const std::string keys = std::to_string(9000 + 100 * a + c);
            std::vector<int64_t> ticks;
            for (const double t : curve.seconds) ticks.push_back(std::llround(t * kFbxTicks));
            std::string times;
            for (size_t k = 0; k < ticks.size(); ++k)
                times += (k ? "," : "") + std::to_string(ticks[k]);
            out << "\tAnimationCurveNode: " << node
                << ", \"AnimCurveNode::DeformPercent\", \"\" {\n\t\tProperties70:  {\n"
                << "\t\t\tP: \"d|DeformPercent\", \"Number\", \"\", \"A\",0\n\t\t}\n\t}\n"
                << "\tAnimationCurve: " << keys << ", \"AnimCurve::\", \"\" {\n\t\tDefault: 0\n"
                << "\t\tKeyVer: 4008\n\t\tKeyTime: *" << ticks.size() << " {\n\t\t\ta: " << times
                << "\n\t\t}\n\t\tKeyValueFloat: *" << curve.percents.size()
                << " {\n\t\t\ta: " << joined(curve.percents) << "\n\t\t}\n\t}\n";
            connections += "\tC: \"OO\"," + node + "," + std::to_string(layer_id) + "\n" +
                           "\tC: \"OP\"," + node + "," + std::to_string(5000 + curve.shape) +
                           ", \"DeformPercent\"\n" + "\tC: \"OP\"," + keys + "," + node +
                           ", \"d|DeformPercent\"\n";
        }
    }
    out << "}\nConnections:  {\n\tC: \"OO\",2000,0\n\tC: \"OO\",1000,2000\n" << connections;
    for (size_t m = 0; m < mesh.colours.size(); ++m) out << "\tC: \"OO\"," << 6000 + m << ",2000\n";
    if (!mesh.shapes.empty()) out << "\tC: \"OO\",4000,1000\n";
    for (size_t s = 0; s < mesh.shapes.size(); ++s) {
        out << "\tC: \"OO\"," << 5000 + s << ",4000\n\tC: \"OO\"," << 3000 + s << "," << 5000 + s
            << "\n";
    }
    out << "}\n";
    return out.str();
}

void write_text(const std::string& path, const std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) throw std::runtime_error("cannot create " + path);
    const bool written =
        text.empty() || std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (std::fclose(file) != 0 || !written) throw std::runtime_error("cannot write " + path);
}

}  // namespace warpkit::testing
