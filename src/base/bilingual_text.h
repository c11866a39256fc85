#pragma once
// A text made at run time in both languages, so that a reason built deep in the core ("the
// frame of key 2 of target 1 is not a whole number") can be shown inside a message of either
// language. The fixed texts stay in texts.h; this carries what is put together from them.
#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>

#include "base/texts.h"

namespace warpkit {

struct BilingualText {
    std::string ja;
    std::string en;

    // The text of the language, by the rule of pick(): Japanese when ui_language is 1.
    const std::string& in(int32_t ui_language) const { return ui_language == 1 ? ja : en; }
    bool empty() const { return ja.empty() && en.empty(); }

    BilingualText& operator+=(const BilingualText& more) {
        ja += more.ja;
        en += more.en;
        return *this;
    }
};

inline BilingualText operator+(BilingualText text, const BilingualText& more) {
    text += more;
    return text;
}

inline bool operator==(const BilingualText& a, const BilingualText& b) {
    return a.ja == b.ja && a.en == b.en;
}

// A text that reads the same in both languages: a number, a file name, a quoted token.
inline BilingualText same_in_both(std::string text) {
    return {text, std::move(text)};
}

namespace bilingual_detail {

inline const char* argument(const BilingualText& text, int32_t ui_language) {
    return text.in(ui_language).c_str();
}
inline const char* argument(const std::string& text, int32_t) {
    return text.c_str();
}
template <typename T, typename = std::enable_if_t<std::is_arithmetic_v<T> || std::is_pointer_v<T>>>
T argument(T value, int32_t) {
    return value;
}

}  // namespace bilingual_detail

// printf-style formatting of both texts of `format` with the same arguments; an argument that is
// itself a BilingualText gives each language its own text. Japanese formats may reorder their
// arguments with %1$s and the like.
template <typename... Args>
BilingualText format_both(const Bilingual& format, const Args&... args) {
    return {format_text(format.ja, bilingual_detail::argument(args, 1)...),
            format_text(format.en, bilingual_detail::argument(args, 2)...)};
}

}  // namespace warpkit
