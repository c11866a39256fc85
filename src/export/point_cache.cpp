#include "export/point_cache.h"

#include <cmath>
#include <cstring>

#include "base/texts.h"
#include "export/frame_weights.h"
#include "export/output_file.h"
#include "export/printable.h"
#include "export/shape_check.h"

namespace warpkit::exporting {

namespace {

constexpr char kPc2Signature[12] = "POINTCACHE2";  // with its terminating zero: 12 bytes
constexpr size_t kPc2HeaderBytes = sizeof kPc2Signature + 5 * 4;
constexpr size_t kMddHeaderBytes = 2 * 4;

// Writes 32-bit words in the file's byte order whatever the machine's.
class WordWriter {
public:
    WordWriter(std::string& out, bool big_endian) : out_(out), big_endian_(big_endian) {}

    void word(uint32_t value) {
        char bytes[4];
        for (int i = 0; i < 4; ++i) {
            const int shift = big_endian_ ? 24 - 8 * i : 8 * i;
            bytes[i] = static_cast<char>((value >> shift) & 0xFFu);
        }
        out_.append(bytes, 4);
    }
    void integer(int64_t value) { word(static_cast<uint32_t>(value)); }
    void real(float value) {
        uint32_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        word(bits);
    }

private:
    std::string& out_;
    bool big_endian_;
};

}  // namespace

CacheExport write_point_cache(EditorState& state, CacheFormat format, const CacheFrames& frames,
                              const std::string& path, Progress* progress) {
    CacheExport result;
    const std::string problem = output_path_problem(path);
    if (!problem.empty()) {
        result.problem = "cannot write " + printable(path) + ": " + problem;
        return result;
    }
    const bool pc2 = format == CacheFormat::kPc2;
    const int64_t count = stepped_frame_count(frames.first, frames.last, frames.step);
    const uint64_t points = state.mesh.displayed.size();
    if (count > kMaxSamples) {
        result.problem = format_text(
            "%lld frames are more than the %lld a cache may have; choose fewer with --frames or "
            "--step",
            static_cast<long long>(count), static_cast<long long>(kMaxSamples));
        return result;
    }
    // Bounded frames times int32 points: no overflow.
    const uint64_t header = pc2 ? kPc2HeaderBytes : kMddHeaderBytes + 4 * count;
    const uint64_t bytes = header + count * points * 12;
    if (bytes > kMaxCacheBytes) {
        result.problem = format_text(
            "%lld frames of %llu points make %llu bytes, more than the %llu a cache may take; "
            "choose fewer frames with --frames or --step",
            static_cast<long long>(count), static_cast<unsigned long long>(points),
            static_cast<unsigned long long>(bytes),
            static_cast<unsigned long long>(kMaxCacheBytes));
        return result;
    }

    std::string out;
    out.reserve(bytes);
    WordWriter writer(out, !pc2);
    if (pc2) {
        out.append(kPc2Signature, sizeof kPc2Signature);
        writer.integer(1);
        writer.integer(static_cast<int64_t>(points));
        writer.real(static_cast<float>(frames.first));
        writer.real(static_cast<float>(frames.step));
        writer.integer(count);
    } else {
        writer.integer(count);
        writer.integer(static_cast<int64_t>(points));
        for (int64_t frame = frames.first; frame <= frames.last; frame += frames.step) {
            writer.real(static_cast<float>(static_cast<double>(frame) / frames.fps));
        }
    }
    for (int64_t next = frames.first; next <= frames.last; next += frames.step) {
        const int32_t frame = static_cast<int32_t>(next);
        blend_at(state, frame);
        result.problem =
            non_finite_problem(state.mesh.displayed, "the shape at frame " + std::to_string(frame));
        if (!result.problem.empty()) return result;
        for (const Vec3& p : state.mesh.displayed) {
            writer.real(p.x);
            writer.real(p.y);
            writer.real(p.z);
        }
        ++result.frames;
        if (progress) progress->advance(result.frames);
    }
    const FileOutcome written = write_output_file(path, out);
    if (!written.ok) {
        result.problem = "cannot write " + printable(path) + ": " + written.reason.en;
        return result;
    }
    result.bytes = out.size();
    result.ok = true;
    return result;
}

}  // namespace warpkit::exporting
