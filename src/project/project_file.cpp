#include "project/project_file.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "project/safe_replace.h"

namespace warpkit {
namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr std::string_view kObjectSuffix = ".qxm";
constexpr std::string_view kNoTarget = "None";
constexpr size_t kShownTokenBytes = 32;  // how much of a bad token a message quotes

// The whitespace of the C locale, which the file's tokens are delimited by in any locale.
constexpr bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool holds_whitespace(std::string_view text) {
    for (char c : text) {
        if (is_space(c)) return true;
    }
    return false;
}

bool holds_nul(std::string_view text) {
    return text.find('\0') != std::string_view::npos;
}

// A piece shorter than the suffix never ends a path.
bool ends_in_object_suffix(std::string_view piece) {
    if (piece.size() < kObjectSuffix.size()) return false;
    const std::string_view tail = piece.substr(piece.size() - kObjectSuffix.size());
    for (size_t i = 0; i < tail.size(); ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kObjectSuffix[i]) return false;
    }
    return true;
}

std::string target_words(int slot) {
    return "target " + std::to_string(slot);
}

std::string key_words(size_t index, int slot) {
    return "key " + std::to_string(index + 1) + " of " + target_words(slot);
}

// ---- writing ----

void put_line(std::string& out, std::string_view line) {
    out += line;
    out += kLineEnd;
}

// "%3.2f" of the weight widened to double, without the locale's decimal comma.
std::string two_decimals(float weight) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(weight),
                                      std::chars_format::fixed, 2);
    return std::string(buffer, result.ptr);
}

// ---- checking what a save would write ----

std::string path_problem(const std::string& what, const std::string& path, bool target) {
    if (path.empty()) return what + " is empty";
    if (path.size() > static_cast<size_t>(kPathCapacity)) {
        return what + " is longer than " + std::to_string(kPathCapacity) + " bytes";
    }
    if (holds_nul(path)) return what + " holds a NUL byte";
    for (char c : path) {
        if (is_space(c) && c != ' ') {
            return what + " holds a tab or line break, which a project file cannot keep";
        }
    }
    if (path.front() == ' ') return what + " starts with a blank, which a project file cannot keep";

    // the reader ends a path at the first piece ending in the suffix
    size_t start = 0;
    bool first_piece = true;
    while (true) {
        const size_t blank = path.find(' ', start);
        const std::string_view piece = std::string_view(path).substr(
            start, blank == std::string::npos ? blank : blank - start);
        if (first_piece && target && piece == kNoTarget) {
            return what + " starts with the word None, which marks an empty slot";
        }
        if (blank == std::string::npos) break;
        if (ends_in_object_suffix(piece)) {
            return what + " has a part ending in \".qxm\" before its end";
        }
        start = blank + 1;
        first_piece = false;
    }
    if (!ends_in_object_suffix(path)) return what + " does not end in \".qxm\"";
    return {};
}

std::string name_problem(const std::string& what, const std::string& name) {
    if (name.empty()) return what + " is empty";
    if (name.size() > static_cast<size_t>(kNameCapacity)) {
        return what + " is longer than " + std::to_string(kNameCapacity) + " bytes";
    }
    if (holds_nul(name)) return what + " holds a NUL byte";
    if (holds_whitespace(name)) return what + " holds whitespace, which a project file cannot keep";
    return {};
}

std::string keys_problem(const KeyTrack& keys, int slot) {
    if (keys.frames.size() != keys.weights.size()) {
        return "the keys of " + target_words(slot) + " have frames and weights in unequal numbers";
    }
    if (keys.frames.empty()) return target_words(slot) + " has no key";
    for (size_t i = 0; i < keys.frames.size(); ++i) {
        const int32_t frame = keys.frames[i];
        if (i == 0 && frame != 0) {
            return "the first key of " + target_words(slot) + " lies at frame " +
                   std::to_string(frame) + ", not at frame 0";
        }
        if (i > 0 && frame <= keys.frames[i - 1]) {
            return key_words(i, slot) + " lies at frame " + std::to_string(frame) +
                   ", not after frame " + std::to_string(keys.frames[i - 1]);
        }
        if (!std::isfinite(keys.weights[i])) return key_words(i, slot) + " has no finite weight";
    }
    return {};
}

// ---- reading ----

struct Token {
    std::string_view text;
    size_t gap = 0;  // whitespace bytes skipped in front of it
    int line = 0;    // 1-based
};

class Tokenizer {
  public:
    explicit Tokenizer(std::string_view text) : text_(text) {}

    // False at the end of the text.
    bool next(Token& token) {
        size_t gap = 0;
        while (pos_ < text_.size() && is_space(text_[pos_])) {
            if (text_[pos_] == '\n') ++line_;
            ++pos_;
            ++gap;
        }
        if (pos_ == text_.size()) return false;
        const size_t start = pos_;
        while (pos_ < text_.size() && !is_space(text_[pos_])) ++pos_;
        token = {text_.substr(start, pos_ - start), gap, line_};
        return true;
    }

    bool at_start() const { return pos_ == 0; }

  private:
    std::string_view text_;
    size_t pos_ = 0;
    int line_ = 1;
};

// A bad token as a message shows it: quoted, and cut short at a character boundary.
std::string quoted(std::string_view token) {
    if (token.size() <= kShownTokenBytes) return "\"" + std::string(token) + "\"";
    size_t end = kShownTokenBytes;
    while (end > 0 && (static_cast<unsigned char>(token[end]) & 0xC0) == 0x80) --end;
    return "\"" + std::string(token.substr(0, end)) + "...\"";
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

size_t skip_digits(std::string_view text, size_t pos) {
    while (pos < text.size() && is_digit(text[pos])) ++pos;
    return pos;
}

enum class NumberRead { kOk, kNotANumber, kOutOfRange };

// An optional sign and decimal digits, the whole token, within int32.
NumberRead read_int32(std::string_view token, int32_t& value) {
    const size_t digits_from = (token[0] == '+' || token[0] == '-') ? 1 : 0;
    if (digits_from == token.size() || skip_digits(token, digits_from) != token.size()) {
        return NumberRead::kNotANumber;
    }
    const std::string_view parsed = token[0] == '+' ? token.substr(1) : token;
    const auto result = std::from_chars(parsed.data(), parsed.data() + parsed.size(), value);
    if (result.ec == std::errc::result_out_of_range) return NumberRead::kOutOfRange;
    return result.ec == std::errc() ? NumberRead::kOk : NumberRead::kNotANumber;
}

// A decimal real as "%f" takes it (sign, digits with one optional point, optional exponent),
// the whole token, finite as a float.
NumberRead read_float(std::string_view token, float& value) {
    size_t pos = (token[0] == '+' || token[0] == '-') ? 1 : 0;
    const size_t integer_end = skip_digits(token, pos);
    size_t digit_count = integer_end - pos;
    pos = integer_end;
    if (pos < token.size() && token[pos] == '.') {
        const size_t fraction_end = skip_digits(token, pos + 1);
        digit_count += fraction_end - (pos + 1);
        pos = fraction_end;
    }
    if (digit_count == 0) return NumberRead::kNotANumber;
    if (pos < token.size() && (token[pos] == 'e' || token[pos] == 'E')) {
        size_t exponent = pos + 1;
        if (exponent < token.size() && (token[exponent] == '+' || token[exponent] == '-')) {
            ++exponent;
        }
        const size_t exponent_end = skip_digits(token, exponent);
        if (exponent_end == exponent) return NumberRead::kNotANumber;
        pos = exponent_end;
    }
    if (pos != token.size()) return NumberRead::kNotANumber;

    const std::string_view parsed = token[0] == '+' ? token.substr(1) : token;
    const auto result = std::from_chars(parsed.data(), parsed.data() + parsed.size(), value,
                                        std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) return NumberRead::kOutOfRange;
    if (result.ec != std::errc() || result.ptr != parsed.data() + parsed.size()) {
        return NumberRead::kNotANumber;
    }
    return std::isfinite(value) ? NumberRead::kOk : NumberRead::kOutOfRange;
}

// Reads the steps of the format in order; the first failure stops it and is kept.
class ProjectParser {
  public:
    explicit ProjectParser(std::string_view text) : tokens_(text) {}

    bool parse(ProjectData& data) {
        Token token;
        if (!next_token("the first line", token)) return false;
        if (!next_token("the label Max_Frame", token)) return false;
        int line = 0;
        if (!next_int32("the maximum frame count", data.max_frame, line)) return false;
        if (data.max_frame < 1) {
            return fail(
                line, "the maximum frame count is " + std::to_string(data.max_frame) + ", below 1");
        }
        if (!next_token("the label Source_Object", token)) return false;
        if (!next_token("the path of the source", token)) return false;
        if (!complete_path("the path of the source", token, data.source_path)) return false;
        if (!next_name("the object name of the source", data.source_name)) return false;
        for (int slot = 1; slot <= kTargetCount; ++slot) {
            if (!parse_target(slot, data.targets[slot - 1])) return false;
        }
        return true;
    }

    const ParseOutcome& failure() const { return failure_; }

  private:
    bool fail(int line, std::string reason) {
        failure_ = {false, std::move(reason), line};
        return false;
    }

    // The next token, refused when there is none or when no field could hold it.
    bool next_token(const std::string& what, Token& token) {
        const bool empty_file = tokens_.at_start();
        if (!tokens_.next(token)) {
            return fail(0, empty_file ? "the file is empty" : "the file ends before " + what);
        }
        if (token.text.size() > static_cast<size_t>(kPathCapacity)) {
            return fail(token.line,
                        what + " is longer than " + std::to_string(kPathCapacity) + " bytes");
        }
        if (holds_nul(token.text)) return fail(token.line, what + " holds a NUL byte");
        return true;
    }

    bool next_int32(const std::string& what, int32_t& value, int& line) {
        Token token;
        if (!next_token(what, token)) return false;
        line = token.line;
        switch (read_int32(token.text, value)) {
            case NumberRead::kOk:
                return true;
            case NumberRead::kOutOfRange:
                return fail(line, what + " is out of range: " + quoted(token.text));
            case NumberRead::kNotANumber:
                break;
        }
        return fail(line, what + " is not a whole number: " + quoted(token.text));
    }

    bool next_float(const std::string& what, float& value) {
        Token token;
        if (!next_token(what, token)) return false;
        switch (read_float(token.text, value)) {
            case NumberRead::kOk:
                return true;
            case NumberRead::kOutOfRange:
                return fail(token.line, what + " is out of range: " + quoted(token.text));
            case NumberRead::kNotANumber:
                break;
        }
        return fail(token.line, what + " is not a number: " + quoted(token.text));
    }

    bool next_name(const std::string& what, std::string& name) {
        Token token;
        if (!next_token(what, token)) return false;
        if (token.text.size() > static_cast<size_t>(kNameCapacity)) {
            return fail(token.line,
                        what + " is longer than " + std::to_string(kNameCapacity) + " bytes");
        }
        name.assign(token.text);
        return true;
    }

    // Appends tokens to `first` until one ends in the object suffix; each run of whitespace
    // between them comes back as as many blanks.
    bool complete_path(const std::string& what, const Token& first, std::string& path) {
        path.assign(first.text);
        std::string_view last = first.text;
        while (!ends_in_object_suffix(last)) {
            Token piece;
            if (!tokens_.next(piece)) {
                return fail(first.line,
                            what + " does not end in \".qxm\" before the end of the file");
            }
            if (path.size() + piece.gap + piece.text.size() > static_cast<size_t>(kPathCapacity)) {
                return fail(first.line, what + " does not end in \".qxm\" within " +
                                            std::to_string(kPathCapacity) + " bytes");
            }
            if (holds_nul(piece.text)) return fail(piece.line, what + " holds a NUL byte");
            path.append(piece.gap, ' ');
            path.append(piece.text);
            last = piece.text;
        }
        return true;
    }

    bool parse_target(int slot, ProjectTarget& target) {
        const std::string who = target_words(slot);
        Token token;
        if (!next_token("the label of " + who, token)) return false;
        if (!next_token("the path of " + who + " or the word None", token)) return false;
        if (token.text == kNoTarget) {
            target = ProjectTarget();
            return true;
        }
        target.present = true;
        if (!complete_path("the path of " + who, token, target.path)) return false;
        if (!next_name("the object name of " + who, target.name)) return false;
        if (!next_token("the label keys: of " + who, token)) return false;
        return parse_keys(slot, target.keys);
    }

    // Keys are stored as they are read; the count is trusted for nothing but the loop, so a
    // huge count in a short file ends at the end of the file, not in an allocation.
    bool parse_keys(int slot, KeyTrack& keys) {
        const std::string who = target_words(slot);
        int32_t count = 0;
        int line = 0;
        if (!next_int32("the key count of " + who, count, line)) return false;
        if (count < 1) {
            return fail(line,
                        "the key count of " + who + " is " + std::to_string(count) + ", below 1");
        }
        keys.clear();
        for (size_t i = 0; i < static_cast<size_t>(count); ++i) {
            const std::string key = key_words(i, slot);
            int32_t frame = 0;
            float weight = 0.0f;
            if (!next_int32("the frame of " + key, frame, line)) return false;
            if (frame < 0) {
                return fail(line, key + " lies at the negative frame " + std::to_string(frame));
            }
            if (i == 0 && frame != 0) {
                return fail(line, "the first key of " + who + " lies at frame " +
                                      std::to_string(frame) + ", not at frame 0");
            }
            if (i > 0 && frame <= keys.frames.back()) {
                return fail(line, key + " lies at frame " + std::to_string(frame) +
                                      ", not after frame " + std::to_string(keys.frames.back()));
            }
            if (!next_float("the weight of " + key, weight)) return false;
            keys.frames.push_back(frame);
            keys.weights.push_back(weight);
        }
        return true;
    }

    Tokenizer tokens_;
    ParseOutcome failure_;
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

ProjectData project_from_state(const EditorState& state) {
    ProjectData data;
    data.max_frame = state.max_frame;
    data.source_path = state.slots[0].path;
    data.source_name = state.slots[0].name;
    for (int slot = 1; slot <= kTargetCount; ++slot) {
        if (!state.target_loaded(slot)) continue;
        ProjectTarget& target = data.targets[slot - 1];
        target.present = true;
        target.path = state.slots[slot].path;
        target.name = state.slots[slot].name;
        target.keys = state.slots[slot].keys;
    }
    return data;
}

std::string write_project_text(const ProjectData& data) {
    std::string out;
    put_line(out, kProjectMagic);
    put_line(out, "Max_Frame");
    put_line(out, std::to_string(data.max_frame));
    put_line(out, "Source_Object");
    put_line(out, data.source_path);
    put_line(out, data.source_name);
    put_line(out, "");
    for (int slot = 1; slot <= kTargetCount; ++slot) {
        const ProjectTarget& target = data.targets[slot - 1];
        put_line(out, "Target" + std::to_string(slot));
        if (!target.present) {
            put_line(out, kNoTarget);
        } else {
            put_line(out, target.path);
            put_line(out, target.name);
            put_line(out, "keys: " + std::to_string(target.keys.count()));
            for (size_t i = 0; i < target.keys.frames.size(); ++i) {
                const float weight = i < target.keys.weights.size() ? target.keys.weights[i] : 0.0f;
                put_line(out, std::to_string(target.keys.frames[i]) + " " + two_decimals(weight));
            }
        }
        put_line(out, "");
    }
    return out;
}

std::string project_data_problem(const ProjectData& data) {
    if (data.max_frame < 1) {
        return "the maximum frame count is " + std::to_string(data.max_frame) + ", below 1";
    }
    std::string problem = path_problem("the path of the source", data.source_path, false);
    if (problem.empty()) problem = name_problem("the object name of the source", data.source_name);
    for (int slot = 1; slot <= kTargetCount && problem.empty(); ++slot) {
        const ProjectTarget& target = data.targets[slot - 1];
        if (!target.present) continue;
        const std::string who = target_words(slot);
        problem = path_problem("the path of " + who, target.path, true);
        if (problem.empty()) problem = name_problem("the object name of " + who, target.name);
        if (problem.empty()) problem = keys_problem(target.keys, slot);
    }
    return problem;
}

SaveOutcome save_project_file(const std::string& path, const ProjectData& data) {
    const std::string problem = project_data_problem(data);
    if (!problem.empty()) return {false, problem};
    const FileOutcome written = replace_file_contents(path, write_project_text(data));
    return {written.ok, written.reason};
}

ParseOutcome parse_project_text(const std::string& text, ProjectData& out) {
    ProjectData data;
    ProjectParser parser(text);
    if (!parser.parse(data)) return parser.failure();
    out = std::move(data);
    return {true, {}, 0};
}

ParseOutcome read_project_file(const std::string& path, ProjectData& out) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return {false, std::string("the file cannot be opened: ") + std::strerror(errno), 0};

    std::string text;
    char buffer[65536];
    while (true) {
        const size_t n = std::fread(buffer, 1, sizeof buffer, file.get());
        text.append(buffer, n);
        if (text.size() > static_cast<size_t>(kMaxProjectFileBytes)) {
            return {false, "the file is larger than any project could be", 0};
        }
        if (n < sizeof buffer) break;
    }
    if (std::ferror(file.get())) {
        return {false, std::string("the file cannot be read: ") + std::strerror(errno), 0};
    }
    return parse_project_text(text, out);
}

}  // namespace warpkit
