#include "base/display_text.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <vector>

namespace warpkit {
namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";

std::string decode_shift_jis(const std::string& bytes) {
    iconv_t converter = iconv_open("UTF-8", "CP932");
    if (converter == reinterpret_cast<iconv_t>(-1)) converter = iconv_open("UTF-8", "SHIFT_JIS");
    std::string out;
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        // No converter at all: keep what is ASCII and mark the rest.
        for (const char c : bytes)
            out += (static_cast<unsigned char>(c) < 0x80) ? std::string(1, c) : kReplacement;
        return out;
    }
    std::vector<char> input(bytes.begin(), bytes.end());
    char* in = input.data();
    size_t in_left = input.size();
    // Two bytes of Shift-JIS never take more than three of UTF-8; one never more than three.
    std::vector<char> output(bytes.size() * 3 + 4);
    while (in_left > 0) {
        char* out_ptr = output.data();
        size_t out_left = output.size();
        const size_t done = iconv(converter, &in, &in_left, &out_ptr, &out_left);
        out.append(output.data(), static_cast<size_t>(out_ptr - output.data()));
        if (done == static_cast<size_t>(-1)) {
            if (errno == E2BIG) continue;
            // A byte that starts no character: mark it and go on after it.
            out += kReplacement;
            ++in;
            --in_left;
            iconv(converter, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(converter);
    return out;
}

}  // namespace

bool is_valid_utf8(const std::string& text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char lead = *p;
        int length;
        uint32_t code;
        uint32_t minimum;
        if (lead < 0x80) {
            ++p;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2, code = lead & 0x1F, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, code = lead & 0x0F, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, code = lead & 0x07, minimum = 0x10000;
        } else {
            return false;
        }
        if (end - p < length) return false;
        for (int k = 1; k < length; ++k) {
            if ((p[k] & 0xC0) != 0x80) return false;
            code = (code << 6) | (p[k] & 0x3F);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        p += length;
    }
    return true;
}

std::string display_text(const std::string& bytes) {
    if (is_valid_utf8(bytes)) return bytes;
    return decode_shift_jis(bytes);
}

}  // namespace warpkit
