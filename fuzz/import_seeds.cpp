// Seeds of the two mesh reader targets, written with the test support's glTF builder: glTF
// files (text and binary) of the shapes the reader distinguishes, their compressed forms
// (meshopt and Draco), damaged variants, and OBJ texts.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/compressed_glb.h"
#include "support/mesh_fixtures.h"

namespace {

namespace fs = std::filesystem;
using warpkit::Vec3;
using warpkit::testing::GltfBuilder;

void write_seed(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

std::string number(int value) {
    return std::to_string(value);
}

// A triangle pair with two morph targets, two materials and a weights animation of the given
// interpolation, placed by a node.
std::string animated(GltfBuilder& builder, const std::string& interpolation, bool binary) {
    const int base = builder.add_points({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}});
    const int up = builder.add_points({{0, 0, 1}, {0, 0, 1}, {0, 0, 0}, {0, 0, 0}}, "up");
    const int side = builder.add_points({{1, 0, 0}, {0, 0, 0}, {0, 0, 0}, {1, 0, 0}}, "side");
    const int first = builder.add_indices({0, 1, 2});
    const int second = builder.add_indices({1, 3, 2});
    const bool cubic = interpolation == "CUBICSPLINE";
    const int times = builder.add_scalars({0.0f, 0.5f, 1.0f});
    std::vector<float> values;
    for (int k = 0; k < 3; ++k) {
        for (int part = 0; part < (cubic ? 3 : 1); ++part)
            values.insert(values.end(), {0.5f * k, 1.0f - 0.5f * k});
    }
    const int weights = builder.add_scalars(values);
    const std::string targets =
        "[{\"POSITION\":" + number(up) + "},{\"POSITION\":" + number(side) + "}]";
    const std::string rest =
        "\"meshes\":[{\"name\":\"pair\",\"weights\":[0,0.5],\"extras\":{\"targetNames\":[\"up\","
        "\"side\"]},"
        "\"primitives\":[{\"attributes\":{\"POSITION\":" +
        number(base) + "},\"indices\":" + number(first) + ",\"material\":0,\"targets\":" + targets +
        "},{\"attributes\":{\"POSITION\":" + number(base) + "},\"indices\":" + number(second) +
        ",\"material\":1,\"targets\":" + targets +
        "}]}],"
        "\"materials\":[{\"pbrMetallicRoughness\":{\"baseColorFactor\":[1,0.5,0,1]}},{}],"
        "\"nodes\":[{\"mesh\":0,\"translation\":[1,2,3],\"rotation\":[0,0.7071068,0,0.7071068],"
        "\"scale\":[2,2,2]}],"
        "\"scenes\":[{\"nodes\":[0]}],\"scene\":0,"
        "\"animations\":[{\"name\":\"wave\",\"channels\":[{\"sampler\":0,\"target\":{\"node\":0,"
        "\"path\":\"weights\"}}],"
        "\"samplers\":[{\"input\":" +
        number(times) + ",\"output\":" + number(weights) + ",\"interpolation\":\"" + interpolation +
        "\"}]}]";
    return binary ? builder.glb(rest) : builder.gltf(rest);
}

void write_gltf_seeds(const fs::path& folder) {
    for (const char* interpolation : {"LINEAR", "STEP", "CUBICSPLINE"}) {
        for (const bool binary : {false, true}) {
            GltfBuilder builder;
            const std::string bytes = animated(builder, interpolation, binary);
            const std::string name = std::string(interpolation) + (binary ? ".glb" : ".gltf");
            write_seed(folder / name, bytes);
            // cut short, and with one byte of the binary container's lengths spoiled
            write_seed(folder / ("cut-" + name), bytes.substr(0, bytes.size() / 2));
            if (binary) {
                std::string spoiled = bytes;
                spoiled[13] = '\x7f';
                write_seed(folder / ("spoiled-" + name), spoiled);
            }
        }
    }
    // two animations, one of them driving the weights of two meshes
    write_seed(folder / "two-animations.gltf", warpkit::testing::two_animations_gltf());
    // compressed forms, decoded by the reader before any accessor is read; Draco's of a pair
    // in one primitive, as its data holds no point that no triangle uses
    GltfBuilder compressed;
    write_seed(folder / "meshopt.glb",
               warpkit::testing::meshopt_glb(animated(compressed, "LINEAR", true)));
    GltfBuilder drawn;
    const int pair = drawn.add_points({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}});
    const int lift = drawn.add_points({{0, 0, 1}, {0, 0, 1}, {0, 0, 0}, {0, 0, 0}}, "lift");
    const int quad = drawn.add_indices({0, 1, 2, 1, 3, 2});
    write_seed(folder / "draco.glb",
               warpkit::testing::draco_glb(drawn.glb(
                   "\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":" + number(pair) +
                   "},\"indices\":" + number(quad) + ",\"targets\":[{\"POSITION\":" + number(lift) +
                   "}]}]}]")));

    GltfBuilder builder;
    const int points = builder.add_points({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {0, 2, 0}});
    for (const char* mode : {"0", "1", "2", "3", "5", "6"}) {
        write_seed(folder / (std::string("mode-") + mode + ".gltf"),
                   builder.gltf("\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":" +
                                number(points) + "},\"mode\":" + mode + "}]}]"));
    }
    const int indices =
        builder.add_raw({2, 0, 0, 0}, "\"componentType\":5123,\"count\":1,\"type\":\"SCALAR\"");
    const int moves = builder.add_raw({0, 0, 0, 0, 0, 0, 0x80, 0x3f, 0, 0, 0, 0},
                                      "\"componentType\":5126,\"count\":1,\"type\":\"VEC3\"");
    const int sparse = builder.add_raw(
        {},
        "\"componentType\":5126,\"count\":5,\"type\":\"VEC3\",\"sparse\":{\"count\":1,"
        "\"indices\":{\"bufferView\":" +
            number(indices) +
            ",\"componentType\":5123},\"values\":{\"bufferView\":" + number(moves) + "}}");
    write_seed(folder / "sparse-target.gltf",
               builder.gltf(
                   "\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":" + number(points) +
                   "},\"mode\":5,\"targets\":[{\"POSITION\":" + number(sparse) + "}]}]}]"));

    // claims that once cost gigabytes: elements over no byte, a stride far past its view,
    // targets that are copies all the same, a default weight no key keeps; and a buffer
    // outside the file's folder
    write_seed(folder / "claims.gltf",
               "{\"asset\":{\"version\":\"2.0\"},\"accessors\":[{\"componentType\":5126,"
               "\"count\":134217727,\"type\":\"VEC3\"}],\"meshes\":[{\"primitives\":[{"
               "\"attributes\":{\"POSITION\":0}}]}]}");
    GltfBuilder hostile;
    const int corners = hostile.add_points({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    const std::string triangle =
        "\"meshes\":[{\"primitives\":[{\"attributes\":{\"POSITION\":" + number(corners) + "}}]}]";
    std::string strided = hostile.gltf(triangle);
    strided.replace(strided.find("\"byteLength\":36}"), 16,
                    "\"byteLength\":36,\"byteStride\":252}");
    strided.replace(strided.find("\"count\":3"), 9, "\"count\":134217728");
    write_seed(folder / "stride.gltf", strided);
    std::string targets = "[{}";
    for (int t = 1; t < 200; ++t) targets += ",{}";
    write_seed(folder / "empty-targets.gltf",
               hostile.gltf("\"meshes\":[{\"weights\":[1e30],\"primitives\":[{\"attributes\":{"
                            "\"POSITION\":" +
                            number(corners) + "},\"targets\":" + targets + "]}]}]"));
    std::string outside = hostile.gltf(triangle);
    const size_t uri = outside.find("data:");
    outside.replace(uri, outside.find('"', uri) - uri, "..%2F..%2Fx.bin");
    write_seed(folder / "outside.gltf", outside);
}

void write_obj_seeds(const fs::path& folder) {
    const std::pair<const char*, const char*> texts[] = {
        {"quad.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\n"},
        {"slashes.obj",
         "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\nf 1/1/1 2/1/1 3//1\nf -3 -2 -1\n"},
        {"objects.obj",
         "o a\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\no b b\nv 5 0 0\nv 6 0 0\nv 5 1 0\nf 4 5 6\n"},
        {"shared.obj",
         "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\no a\nusemtl x\nf 1 2 3\no b\ng part\nf 2 4 3\n"},
        {"broken.obj", "v 0 0 0\nv 1 0 0\nf 1 2 0\nf 1 2 9\nv 1e999 0 0\n"},
        {"points.obj", "o dots\nv 1 2 3\nv 4 5 6 7\np 1 2\nl 1 2\n"},
        {"wrap.obj",
         "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4294967299\nf 1 2 99999999999999999999\nf 1 2 "
         "-4294967295\n"},
        {"outside.obj", "mtllib ../../x.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl x\nf 1 2 3\n"},
    };
    for (const auto& [name, text] : texts) write_seed(folder / name, text);
}

}  // namespace

void write_import_seeds(const fs::path& root) {
    fs::create_directories(root / "gltf");
    fs::create_directories(root / "obj");
    write_gltf_seeds(root / "gltf");
    write_obj_seeds(root / "obj");
}
