// The OBJ reader: the file's v lines in order as a mesh's vertices, polygons fanned from their
// first corner, meshes by `o` section, material colours, refusals; and a file with materials
// from the public test models checked against its own v lines.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "import/any_object_reader.h"
#include "import/obj_reader.h"
#include "support/import_checks.h"
#include "support/mesh_fixtures.h"
#include "support/qxm_writer.h"

namespace warpkit {
namespace {

struct Expected {
    std::string name;
    std::vector<float> xs;                          // x of each vertex, in order
    std::vector<std::array<int32_t, 4>> triangles;  // corners and colour
};

ImportOutcome read(const std::string& text, ImportedScene& scene) {
    return finish_import(read_obj_text(text, "file", ImportLimits{}, scene), scene);
}

TEST(ObjReader, meshes_keep_the_files_v_lines_and_fan_each_polygon_from_its_first_corner) {
    struct Case {
        const char* what;
        std::string text;
        std::vector<Expected> meshes;
    };
    const Case cases[] = {
        {"unused v lines stay, a pentagon fans from its first corner",
         "v 0 0 0\nv 1 0 0\nv 9 9 9\nv 2 1 0\nv 1 2 0\nv 0 1 0\nf 1 2 4 5 6\n",
         {{"file", {0, 1, 9, 2, 1, 0}, {{0, 1, 3, 0}, {0, 3, 4, 0}, {0, 4, 5, 0}}}}},
        {"negative, slashed and forward indices",
         "v 0 0 0\nv 1 0 0\nf -2/1/1 -1//2 3\nv 0 1 0\n",
         {{"file", {0, 1, 0}, {{0, 1, 2, 0}}}}},
        {"o sections with their own v lines are meshes of their own; g lines split nothing",
         "o left part\nv 0 0 0\nv 1 0 0\nv 0 1 0\ng skin\nf 1 2 3\no right\nv 5 0 0\nv 6 0 0\nv 5 "
         "1 0\nf 4 5 6\n",
         {{"left_part", {0, 1, 0}, {{0, 1, 2, 0}}}, {"right", {5, 6, 5}, {{0, 1, 2, 0}}}}},
        {"sections that share v lines are one mesh",
         "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\no a\nf 1 2 3\no b\nf 2 4 3\n",
         {{"a", {0, 1, 0, 1}, {{0, 1, 2, 0}, {1, 3, 2, 0}}}}},
        {"a section of lines beside a surface is left out",
         "o guide\nv 0 0 0\nv 9 0 0\nl 1 2\no face\nv 5 0 0\nv 6 0 0\nv 5 1 0\nf 3 4 5\n",
         {{"face", {5, 6, 5}, {{0, 1, 2, 0}}}}},
    };
    for (const Case& c : cases) {
        ImportedScene scene;
        const ImportOutcome outcome = read(c.text, scene);
        ASSERT_TRUE(outcome.ok) << c.what << ": " << outcome.reason.en;
        ASSERT_EQ(scene.meshes.size(), c.meshes.size()) << c.what;
        for (size_t m = 0; m < c.meshes.size(); ++m) {
            const ImportedMesh& mesh = scene.meshes[m];
            EXPECT_EQ(mesh.name, c.meshes[m].name) << c.what;
            ASSERT_EQ(mesh.vertices.size(), c.meshes[m].xs.size()) << c.what;
            for (size_t v = 0; v < mesh.vertices.size(); ++v)
                EXPECT_EQ(mesh.vertices[v].x, c.meshes[m].xs[v]) << c.what;
            ASSERT_EQ(mesh.triangles.size(), c.meshes[m].triangles.size()) << c.what;
            for (size_t t = 0; t < mesh.triangles.size(); ++t) {
                const std::array<int32_t, 4>& want = c.meshes[m].triangles[t];
                const Triangle& got = mesh.triangles[t];
                EXPECT_EQ((std::array<int32_t, 4>{got.v[0], got.v[1], got.v[2], got.colour}), want)
                    << c.what << ", triangle " << t;
            }
        }
    }
}

TEST(ObjReader, broken_files_are_refused_with_the_reason) {
    struct Case {
        const char* text;
        const char* words;
    };
    const Case cases[] = {
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 0\n", "names vertex 0"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 -4\n", "names vertex -4"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 9\n", "names vertex 9 but the file has 3 v lines"},
        {"v 0 0 1e999\n", "v line 1 has a coordinate that is not a finite number"},
        {"v 0 0 1e-2147483648\n", "an exponent of ten or more digits"},
        {"# nothing\nvn 0 0 1\n", "no v lines and no faces"},
        {"o dots\nv 1 2 3\nv 4 5 6\n", "mesh 1 (\"dots\") has no triangles"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 2147483648\n", "names vertex 2147483648"},
    };
    for (const Case& c : cases) {
        ImportedScene scene;
        const ImportOutcome outcome = read(c.text, scene);
        EXPECT_FALSE(outcome.ok) << c.text;
        EXPECT_NE(outcome.reason.en.find(c.words), std::string::npos)
            << c.text << ": " << outcome.reason.en;
        EXPECT_EQ(testing::untranslated(outcome.reason), "") << c.text;
        EXPECT_TRUE(scene.meshes.empty());
    }
}

TEST(ObjReader, material_colours_come_from_the_library_beside_the_file) {
    testing::TempFolder folder;
    testing::write_text(folder.file("skin.mtl"),
                        "newmtl pale\nKd 1 0.5 0\nnewmtl dark\nKd 0.2 0.2 0.2\n");
    testing::write_text(
        folder.file("face.obj"),
        "mtllib skin.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nusemtl dark\nf 1 2 3\n"
        "usemtl missing\nf 2 4 3\nusemtl pale\nf 1 2 4\n");
    ImportedScene scene;
    ASSERT_TRUE(
        finish_import(read_obj_file(folder.file("face.obj"), ImportLimits{}, scene), scene).ok);
    EXPECT_EQ(scene.meshes[0].name, "face");
    ASSERT_EQ(scene.palette.size(), 3u);
    EXPECT_EQ(
        (std::vector<uint8_t>{scene.palette.red[0], scene.palette.green[0], scene.palette.blue[0]}),
        (std::vector<uint8_t>{255, 128, 0}));
    const std::vector<Triangle>& triangles = scene.meshes[0].triangles;
    EXPECT_EQ(triangles[0].colour, 1);
    EXPECT_EQ(triangles[1].colour, 2);  // no such material: the grey after the library's
    EXPECT_EQ(scene.palette.red[2], 220);
    EXPECT_EQ(triangles[2].colour, 0);
}

TEST(ObjReader, the_spider_of_the_test_models_keeps_every_v_line_in_order) {
    const std::string path = std::string(WARPKIT_TEST_MODELS) + "/OBJ/spider.obj";
    std::vector<Vec3> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string tag;
        Vec3 v;
        if (words >> tag && tag == "v" && words >> v.x >> v.y >> v.z) lines.push_back(v);
    }
    ASSERT_EQ(lines.size(), 762u) << "scripts/setup.sh installs assimp-testmodels";
    ImportedScene scene;
    ASSERT_TRUE(finish_import(read_obj_file(path, ImportLimits{}, scene), scene).ok);
    ASSERT_EQ(scene.meshes.size(), 1u);  // its g groups are parts of one mesh
    const ImportedMesh& spider = scene.meshes[0];
    EXPECT_EQ(spider.name, "spider");
    ASSERT_EQ(spider.vertices.size(), lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_FLOAT_EQ(spider.vertices[i].x, lines[i].x) << i;
        EXPECT_FLOAT_EQ(spider.vertices[i].z, lines[i].z) << i;
    }
    EXPECT_EQ(spider.triangles.size(), 1368u);
    EXPECT_EQ(scene.palette.size(), 5u);  // the materials of spider.mtl
}

}  // namespace
}  // namespace warpkit
