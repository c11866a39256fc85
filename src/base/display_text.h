#pragma once
// Object names and paths as the user sees them.
#include <string>

namespace warpkit {

// Object names and paths are bytes: UTF-8 when they are valid UTF-8, else Shift-JIS.
// Returns UTF-8 for display; bytes that neither decodes become U+FFFD.
std::string display_text(const std::string& bytes);

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates).
bool is_valid_utf8(const std::string& text);

}  // namespace warpkit
