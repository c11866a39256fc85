#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "export/export_fixture.h"
#include "export/project_load.h"
#include "morph/key_track.h"

namespace warpkit::exporting {
namespace {

using testing::ExportFixture;
using testing::FaceProject;
using testing::run_tool;

// What a point cache holds, read the way a third-party reader does.
struct Cache {
    std::string signature;  // PC2 only
    int32_t version = 0;    // PC2 only
    int32_t points = 0;
    float start = 0.0f;  // PC2 only
    float rate = 0.0f;   // PC2 only
    int32_t frames = 0;
    std::vector<float> times;  // MDD only
    std::vector<std::vector<Vec3>> shapes;
    size_t unread = 0;  // bytes past the last frame
};

class Reader {
public:
    Reader(const std::string& path, bool big_endian) : big_endian_(big_endian) {
        std::ifstream in(path, std::ios::binary);
        bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    uint32_t word() {
        if (at_ + 4 > bytes_.size()) {
            at_ = bytes_.size() + 1;
            return 0;
        }
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const uint32_t byte = static_cast<unsigned char>(bytes_[at_ + i]);
            value |= byte << (big_endian_ ? 24 - 8 * i : 8 * i);
        }
        at_ += 4;
        return value;
    }
    int32_t integer() { return static_cast<int32_t>(word()); }
    float real() {
        const uint32_t bits = word();
        float value = 0.0f;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    std::string text(size_t length) {
        std::string out = bytes_.substr(std::min(at_, bytes_.size()), length);
        at_ += length;
        return out;
    }
    size_t left() const { return at_ > bytes_.size() ? 0 : bytes_.size() - at_; }

private:
    std::string bytes_;
    size_t at_ = 0;
    bool big_endian_;
};

Cache read_cache(const std::string& path, bool mdd) {
    Reader in(path, mdd);
    Cache cache;
    if (mdd) {
        cache.frames = in.integer();
        cache.points = in.integer();
        for (int32_t f = 0; f < cache.frames && in.left() > 0; ++f)
            cache.times.push_back(in.real());
    } else {
        cache.signature = in.text(12);
        cache.version = in.integer();
        cache.points = in.integer();
        cache.start = in.real();
        cache.rate = in.real();
        cache.frames = in.integer();
    }
    for (int32_t f = 0; f < cache.frames && in.left() > 0; ++f) {
        cache.shapes.emplace_back();
        for (int32_t p = 0; p < cache.points; ++p) {
            const float x = in.real();
            const float y = in.real();
            cache.shapes.back().push_back({x, y, in.real()});
        }
    }
    cache.unread = in.left();
    return cache;
}

TEST(PointCache, holds_the_programs_blend_at_each_chosen_frame_in_the_sources_order) {
    ExportFixture fixture;
    const FaceProject face(fixture);
    LoadedProject program;
    ASSERT_TRUE(load_project(face.path, program).ok);

    struct Row {
        std::vector<std::string> options;
        std::vector<int32_t> frames;
        double fps;
    };
    std::vector<int32_t> timeline;
    for (int32_t f = 0; f <= 40; ++f) timeline.push_back(f);
    const Row rows[] = {
        {{}, timeline, 30.0},
        {{"--frames", "8..12"}, {8, 9, 10, 11, 12}, 30.0},
        {{"--step", "7", "--fps", "24"}, {0, 7, 14, 21, 28, 35}, 24.0},
        {{"--frames", "13..40", "--step", "9"}, {13, 22, 31, 40}, 30.0},
        {{"--frames", "40"}, {40}, 30.0},
    };
    for (const char* format : {"pc2", "mdd"}) {
        const bool mdd = std::string(format) == "mdd";
        for (const Row& row : rows) {
            std::string options;
            for (const std::string& option : row.options) options += " " + option;
            SCOPED_TRACE(format + options);
            const std::string path = fixture.folder.file(std::string("out.") + format);
            std::vector<std::string> args = {format, face.path, "-o", path};
            args.insert(args.end(), row.options.begin(), row.options.end());
            const auto run = run_tool(args);
            ASSERT_EQ(run.status, 0) << run.err;
            EXPECT_EQ(run.out, "wrote " + path +
                                   format_text(": %zu frame%s of 12 points, frames %d to %d\n",
                                               row.frames.size(), row.frames.size() == 1 ? "" : "s",
                                               row.frames.front(), row.frames.back()));

            const Cache cache = read_cache(path, mdd);
            EXPECT_EQ(cache.points, 12);
            EXPECT_EQ(cache.frames, static_cast<int32_t>(row.frames.size()));
            EXPECT_EQ(cache.unread, 0u);
            if (mdd) {
                ASSERT_EQ(cache.times.size(), row.frames.size());
                for (size_t i = 0; i < row.frames.size(); ++i) {
                    EXPECT_FLOAT_EQ(cache.times[i], row.frames[i] / row.fps);
                }
            } else {
                EXPECT_EQ(cache.signature, std::string("POINTCACHE2\0", 12));
                EXPECT_EQ(cache.version, 1);
                EXPECT_EQ(cache.start, static_cast<float>(row.frames.front()));
                EXPECT_EQ(cache.rate,
                          row.frames.size() > 1 ? float(row.frames[1] - row.frames[0]) : 1.0f);
            }
            ASSERT_EQ(cache.shapes.size(), row.frames.size());
            for (size_t i = 0; i < row.frames.size(); ++i) {
                std::array<float, kTargetCount + 1> weights{};
                for (int k : {1, 3}) {
                    weights[k] = evaluate_track(program.state.slots[k].keys, row.frames[i]).weight;
                }
                blend(program.state, weights);
                for (size_t v = 0; v < 12; ++v) {
                    const Vec3 shown = program.state.mesh.displayed[v];
                    const Vec3 cached = cache.shapes[i][v];
                    EXPECT_TRUE(cached.x == shown.x && cached.y == shown.y && cached.z == shown.z)
                        << "frame " << row.frames[i] << " vertex " << v;
                }
            }
        }
    }
}

TEST(PointCache, bad_usage_exits_2_and_unwritable_outputs_1_with_nothing_written) {
    ExportFixture fixture;
    const FaceProject face(fixture);
    const auto file = [&](const std::string& name) { return fixture.folder.file(name); };
    std::ofstream(file("victim")) << "kept";
    ASSERT_EQ(symlink(file("victim").c_str(), file("linked.pc2").c_str()), 0);
    std::filesystem::create_directories(file("folder.mdd"));

    struct Row {
        std::vector<std::string> args;
        int status;
        std::string words;
    };
    const std::string usage = " (see warpkit-export --help)\n";
    const Row rows[] = {
        {{"pc2", face.path}, 2, "pc2 needs an output file (-o OUT.pc2)" + usage},
        {{"mdd", face.path, "-o", file("a.pc2")},
         2,
         "the output of mdd must end in .mdd, not '" + file("a.pc2") + "'" + usage},
        {{"pc2", face.path, "-o", file("a.pc2"), "--normals"},
         2,
         "pc2 takes no option --normals" + usage},
        {{"mdd", face.path, "-o", file("a.mdd"), "--step", "0"},
         2,
         "--step needs a whole number above 0, not '0'" + usage},
        {{"pc2", face.path, "-o", file("a.pc2"), "--frames", "30..41"},
         2,
         face.path + ": frames 30..41 go past the last frame 40\n"},
        {{"pc2", face.path, "-o", file("linked.pc2")},
         1,
         face.path + ": cannot write " + file("linked.pc2") +
             ": it is a symbolic link, and no output is written through one\n"},
        {{"mdd", face.path, "-o", file("folder.mdd")},
         1,
         face.path + ": cannot write " + file("folder.mdd") + ": the name belongs to a folder\n"},
        {{"mdd", face.path, "-o", file("missing/a.mdd")},
         1,
         face.path + ": cannot write " + file("missing/a.mdd") + ": "},
        {{"pc2", file("shapes.qxm"), "-o", file("a.pc2")}, 1, "is an object file"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.back());
        const auto run = run_tool(row.args);
        EXPECT_EQ(run.status, row.status);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(row.words), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(file("a.pc2")));
    EXPECT_FALSE(std::filesystem::exists(file("a.mdd")));
    std::ifstream victim(file("victim"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(victim), {}), "kept");
}

}  // namespace
}  // namespace warpkit::exporting
