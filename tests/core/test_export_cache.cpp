#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "export/export_fixture.h"
#include "export/project_load.h"
#include "morph/key_track.h"

namespace warpkit::exporting {
namespace {

using testing::run_tool;

// The words of a point cache in its byte order, as floats or integers; 0 past the end.
struct CacheWords {
    CacheWords(const std::string& path, bool big_endian) : big(big_endian) {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    uint32_t at(size_t word) const {
        uint32_t value = 0;
        for (size_t i = 0; i < 4 && 4 * word + 4 <= bytes.size(); ++i) {
            const uint32_t byte = static_cast<unsigned char>(bytes[4 * word + i]);
            value |= byte << (big ? 24 - 8 * i : 8 * i);
        }
        return value;
    }
    float real(size_t word) const {
        const uint32_t bits = at(word);
        float value = 0.0f;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    std::string bytes;
    bool big;
};

TEST(PointCache, holds_the_programs_blend_at_each_chosen_frame_in_the_sources_order) {
    testing::ExportFixture fixture;
    const testing::FaceProject face(fixture);
    LoadedProject program;
    ASSERT_TRUE(load_project(face.path, program).ok);
    struct Row {
        std::vector<std::string> options;
        int32_t first, last, step;
        double fps;
    };
    const Row rows[] = {{{}, 0, 40, 1, 30.0},
                        {{"--frames", "8..12"}, 8, 12, 1, 30.0},
                        {{"--step", "7", "--fps", "24"}, 0, 35, 7, 24.0},
                        {{"--frames", "13..40", "--step", "9"}, 13, 40, 9, 30.0},
                        {{"--frames", "40"}, 40, 40, 1, 30.0}};
    for (const bool mdd : {false, true}) {
        for (const Row& row : rows) {
            const std::string path = fixture.folder.file(mdd ? "out.mdd" : "out.pc2");
            std::vector<std::string> args = {mdd ? "mdd" : "pc2", face.path, "-o", path};
            args.insert(args.end(), row.options.begin(), row.options.end());
            SCOPED_TRACE(args[0] + " " + std::to_string(row.first) + ".." +
                         std::to_string(row.last));
            const auto run = run_tool(args);
            ASSERT_EQ(run.status, 0) << run.err;
            const size_t frames = static_cast<size_t>((row.last - row.first) / row.step + 1);
            EXPECT_EQ(run.out,
                      "wrote " + path +
                          format_text(": %zu frame%s of 12 points, frames %d to %d\n", frames,
                                      frames == 1 ? "" : "s", row.first, row.last));

            // PC2: signature, version, points, start frame, rate, samples; MDD: frames, points,
            // times. Then 12 points of x y z per frame, and nothing after them.
            const CacheWords words(path, mdd);
            const size_t header = mdd ? 2 + frames : 8;
            EXPECT_EQ(words.bytes.size(), 4 * (header + frames * 36));
            EXPECT_EQ(words.at(mdd ? 0 : 3), mdd ? frames : 1u);
            EXPECT_EQ(words.at(mdd ? 1 : 4), 12u);
            if (!mdd) {
                EXPECT_EQ(words.bytes.substr(0, 12), std::string("POINTCACHE2\0", 12));
                EXPECT_EQ(words.real(5), float(row.first));
                EXPECT_EQ(words.real(6), float(row.step));
                EXPECT_EQ(words.at(7), frames);
            }
            for (size_t f = 0; f < frames; ++f) {
                const int32_t frame = row.first + static_cast<int32_t>(f) * row.step;
                if (mdd) {
                    EXPECT_FLOAT_EQ(words.real(2 + f), frame / row.fps);
                }
                std::array<float, kTargetCount + 1> weights{};
                for (int k : {1, 3})
                    weights[k] = evaluate_track(program.state.slots[k].keys, frame).weight;
                blend(program.state, weights);
                for (size_t c = 0; c < 36; ++c) {
                    const Vec3& p = program.state.mesh.displayed[c / 3];
                    EXPECT_EQ(words.real(header + 36 * f + c), (&p.x)[c % 3]) << frame << " " << c;
                }
            }
        }
    }
}

}  // namespace
}  // namespace warpkit::exporting
