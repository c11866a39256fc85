#include "project/project_file.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "base/display_text.h"
#include "base/input_file.h"
#include "base/safe_replace.h"

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

BilingualText target_words(int slot) {
    return format_both({"ターゲット %d", "target %d"}, slot);
}

BilingualText key_words(size_t index, int slot) {
    return format_both({"ターゲット %2$d のキー %1$zu", "key %zu of target %d"}, index + 1, slot);
}

// "<what> is empty" and the like: the subject, then the predicate, which brings its own blank
// in English; in Japanese a subject that ends in a number or other ASCII gets one before it.
BilingualText said_of(const BilingualText& what, const BilingualText& predicate) {
    BilingualText text = what;
    if (!text.ja.empty() && static_cast<unsigned char>(text.ja.back()) < 0x80) text.ja += ' ';
    return text + predicate;
}

BilingualText longer_than(const BilingualText& what, int capacity) {
    return said_of(
        what, format_both({"が %d バイトを超えています", " is longer than %d bytes"}, capacity));
}

// A fragment of a file shown in a reason: a token, ".qxm". The file's bytes may be in any
// encoding, and a message is UTF-8.
BilingualText quoted_fragment(std::string_view text) {
    const std::string shown = display_text(std::string(text));
    return {"「" + shown + "」", "\"" + shown + "\""};
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

BilingualText path_problem(const BilingualText& what, const std::string& path, bool target) {
    if (path.empty()) return said_of(what, {"が空です", " is empty"});
    if (path.size() > static_cast<size_t>(kPathCapacity)) return longer_than(what, kPathCapacity);
    if (holds_nul(path)) return said_of(what, {"に NUL バイトがあります", " holds a NUL byte"});
    for (char c : path) {
        if (is_space(c) && c != ' ') {
            return said_of(what, {"にタブか改行があり、プロジェクトファイルに記録できません",
                                  " holds a tab or line break, which a project file cannot keep"});
        }
    }
    if (path.front() == ' ') {
        return said_of(what, {"が空白で始まっていて、プロジェクトファイルに記録できません",
                              " starts with a blank, which a project file cannot keep"});
    }

    // the reader ends a path at the first piece ending in the suffix
    size_t start = 0;
    bool first_piece = true;
    while (true) {
        const size_t blank = path.find(' ', start);
        const std::string_view piece = std::string_view(path).substr(
            start, blank == std::string::npos ? blank : blank - start);
        if (first_piece && target && piece == kNoTarget) {
            return said_of(what, {"が空きスロットを表す語 None で始まっています",
                                  " starts with the word None, which marks an empty slot"});
        }
        if (blank == std::string::npos) break;
        if (ends_in_object_suffix(piece)) {
            return said_of(what, {"の途中に「.qxm」で終わる部分があります",
                                  " has a part ending in \".qxm\" before its end"});
        }
        start = blank + 1;
        first_piece = false;
    }
    if (!ends_in_object_suffix(path)) {
        return said_of(what, {"が「.qxm」で終わっていません", " does not end in \".qxm\""});
    }
    return {};
}

BilingualText name_problem(const BilingualText& what, const std::string& name) {
    if (name.empty()) return said_of(what, {"が空です", " is empty"});
    if (name.size() > static_cast<size_t>(kNameCapacity)) return longer_than(what, kNameCapacity);
    if (holds_nul(name)) return said_of(what, {"に NUL バイトがあります", " holds a NUL byte"});
    if (holds_whitespace(name)) {
        return said_of(what, {"に空白があり、プロジェクトファイルに記録できません",
                              " holds whitespace, which a project file cannot keep"});
    }
    return {};
}

BilingualText keys_problem(const KeyTrack& keys, int slot) {
    const BilingualText who = target_words(slot);
    if (keys.frames.size() != keys.weights.size()) {
        return format_both({"%sのキーのフレームとウェイトの数が合いません",
                            "the keys of %s have frames and weights in unequal numbers"},
                           who);
    }
    if (keys.frames.empty()) return said_of(who, {"にキーがありません", " has no key"});
    for (size_t i = 0; i < keys.frames.size(); ++i) {
        const int32_t frame = keys.frames[i];
        if (i == 0 && frame != 0) {
            return format_both({"%s の最初のキーがフレーム 0 ではなくフレーム %d にあります",
                                "the first key of %s lies at frame %d, not at frame 0"},
                               who, frame);
        }
        if (i > 0 && frame <= keys.frames[i - 1]) {
            return key_words(i, slot) +
                   format_both({"がフレーム %2$d より後ではなくフレーム %1$d にあります",
                                " lies at frame %d, not after frame %d"},
                               frame, keys.frames[i - 1]);
        }
        if (!std::isfinite(keys.weights[i])) {
            return said_of(key_words(i, slot),
                           {"のウェイトが有限の数ではありません", " has no finite weight"});
        }
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
BilingualText quoted(std::string_view token) {
    if (token.size() <= kShownTokenBytes) return quoted_fragment(token);
    size_t end = kShownTokenBytes;
    while (end > 0 && (static_cast<unsigned char>(token[end]) & 0xC0) == 0x80) --end;
    return quoted_fragment(std::string(token.substr(0, end)) + "...");
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

// The words of the fields the parser reads, for its reasons.
constexpr Bilingual kFirstLine = {"最初の行", "the first line"};
constexpr Bilingual kMaxFrameLabel = {"見出し Max_Frame", "the label Max_Frame"};
constexpr Bilingual kMaxFrameCount = {"最大フレーム数", "the maximum frame count"};
constexpr Bilingual kSourceLabel = {"見出し Source_Object", "the label Source_Object"};
constexpr Bilingual kSourcePath = {"ソースのパス", "the path of the source"};
constexpr Bilingual kSourceName = {"ソースのオブジェクト名", "the object name of the source"};

BilingualText words(const Bilingual& fixed) {
    return {fixed.ja, fixed.en};
}

BilingualText of_target(const Bilingual& format, int slot) {
    return format_both(format, slot);
}

BilingualText of_key(const Bilingual& format, size_t index, int slot) {
    return format_both(format, index + 1, slot);
}

// One key as the file gives it, before the track is put in order.
struct ReadKey {
    int32_t frame = 0;
    float weight = 0.0f;
    int line = 0;
};

// A change made to put a track in order, worded only if it is listed: a file in utter
// disorder may need millions.
struct Change {
    enum Kind { kMaxFrameRaised, kNegativeDropped, kSorted, kSameFrameDropped, kZeroAdded, kNoKey };
    Kind kind = kNoKey;
    int line = 0;
    int32_t frame = 0;
    int32_t other = 0;    // kSorted: the later frame it came after; kSameFrameDropped: kept line
    float weight = 0.0f;  // kZeroAdded
};

BilingualText change_words(const Change& change) {
    switch (change.kind) {
        case Change::kMaxFrameRaised:
            return format_both({"最大フレーム数 %d は 1 未満のため 1 にしました",
                                "the maximum frame count %d is below 1 and becomes 1"},
                               change.frame);
        case Change::kNegativeDropped:
            return format_both({"負のフレーム %d のキーを外しました",
                                "the key at the negative frame %d is dropped"},
                               change.frame);
        case Change::kSorted:
            return format_both({"キーをフレーム順に並べ替えました（フレーム %d がフレーム %d の後に"
                                "ありました）",
                                "the keys are put in frame order (frame %d came after frame %d)"},
                               change.frame, change.other);
        case Change::kSameFrameDropped:
            return format_both(
                {"フレーム %d の 2 つ目のキーを外しました（%d 行目のキーを残しました）",
                 "a second key on frame %d is dropped (the key on line %d is kept)"},
                change.frame, change.other);
        case Change::kZeroAdded:
            return format_both(
                {"最初のキーがフレーム %d にあるため、フレーム 0 に同じウェイト %.2f "
                 "のキーを加えました",
                 "the first key lies at frame %d, so a key at frame 0 with its "
                 "weight %.2f is added"},
                change.frame, static_cast<double>(change.weight));
        case Change::kNoKey:
            break;
    }
    return {"キーがないため、フレーム 0 にウェイト 0.00 のキーを加えました",
            "the target has no key, so it gets a key at frame 0 with weight 0.00"};
}

// Puts the keys of one target in the order every track keeps (frames strictly increasing from
// frame 0) and returns what that changed, by line: keys at negative frames are dropped, the
// rest sorted by frame (stable), of keys on one frame the first in the file kept; a track whose
// first key lies after frame 0 gets a key at frame 0 with that key's weight, which is what
// frame 0 showed anyway, and a track with no key the key (0, 0.00) a newly loaded target has.
std::vector<Change> put_in_order(int count_line, std::vector<ReadKey> keys, KeyTrack& track) {
    std::vector<Change> changes;

    // drop negative frames; note the first key that comes after a later frame
    std::vector<ReadKey> kept;
    kept.reserve(keys.size());
    bool sorted = true;
    int32_t latest = 0;
    for (const ReadKey& key : keys) {
        if (key.frame < 0) {
            changes.push_back({Change::kNegativeDropped, key.line, key.frame, 0, 0.0f});
            continue;
        }
        if (sorted && !kept.empty() && key.frame < latest) {
            sorted = false;
            changes.push_back({Change::kSorted, key.line, key.frame, latest, 0.0f});
        }
        latest = std::max(latest, key.frame);
        kept.push_back(key);
    }
    std::stable_sort(kept.begin(), kept.end(),
                     [](const ReadKey& a, const ReadKey& b) { return a.frame < b.frame; });

    // of keys on one frame keep the first
    track.clear();
    int kept_line = 0;
    for (const ReadKey& key : kept) {
        if (!track.frames.empty() && track.frames.back() == key.frame) {
            changes.push_back({Change::kSameFrameDropped, key.line, key.frame, kept_line, 0.0f});
            continue;
        }
        track.frames.push_back(key.frame);
        track.weights.push_back(key.weight);
        kept_line = key.line;
    }

    // every track starts at frame 0
    if (track.frames.empty()) {
        changes.push_back({Change::kNoKey, count_line, 0, 0, 0.0f});
        track.frames.push_back(0);
        track.weights.push_back(0.0f);
    } else if (track.frames.front() != 0) {
        const float first_weight = track.weights.front();
        changes.push_back(
            {Change::kZeroAdded, kept.front().line, track.frames.front(), 0, first_weight});
        track.frames.insert(track.frames.begin(), 0);
        track.weights.insert(track.weights.begin(), first_weight);
    }

    std::stable_sort(changes.begin(), changes.end(),
                     [](const Change& a, const Change& b) { return a.line < b.line; });
    return changes;
}

// Reads the steps of the format in order; the first failure stops it and is kept. What can be
// read but is out of order is put in order, and each change is noted.
class ProjectParser {
public:
    explicit ProjectParser(std::string_view text) : tokens_(text) {}

    bool parse(ProjectData& data) {
        Token token;
        if (!next_token(words(kFirstLine), token)) return false;
        if (!next_token(words(kMaxFrameLabel), token)) return false;
        int line = 0;
        if (!next_int32(words(kMaxFrameCount), data.max_frame, line)) return false;
        if (data.max_frame < 1) {
            note(0, {Change::kMaxFrameRaised, line, data.max_frame, 0, 0.0f});
            data.max_frame = 1;
        }
        if (!next_token(words(kSourceLabel), token)) return false;
        if (!next_token(words(kSourcePath), token)) return false;
        if (!complete_path(words(kSourcePath), token, data.source_path)) return false;
        if (!next_name(words(kSourceName), data.source_name)) return false;
        for (int slot = 1; slot <= kTargetCount; ++slot) {
            if (!parse_target(slot, data.targets[slot - 1])) return false;
        }
        return true;
    }

    const ParseOutcome& failure() const { return failure_; }
    // The changes made, the first kMaxListedRepairs worded, and how many there were.
    ParseOutcome& repaired() { return repaired_; }

private:
    bool fail(int line, BilingualText reason) {
        failure_ = ParseOutcome();
        failure_.reason = std::move(reason);
        failure_.line = line;
        return false;
    }

    // The next token, refused when there is none or when no field could hold it.
    bool next_token(const BilingualText& what, Token& token) {
        const bool empty_file = tokens_.at_start();
        if (!tokens_.next(token)) {
            if (empty_file) return fail(0, {"ファイルが空です", "the file is empty"});
            return fail(0, BilingualText{"", "the file ends before "} + what +
                               BilingualText{"の前でファイルが終わっています", ""});
        }
        if (token.text.size() > static_cast<size_t>(kPathCapacity)) {
            return fail(token.line, longer_than(what, kPathCapacity));
        }
        if (holds_nul(token.text)) {
            return fail(token.line,
                        said_of(what, {"に NUL バイトがあります", " holds a NUL byte"}));
        }
        return true;
    }

    bool next_int32(const BilingualText& what, int32_t& value, int& line) {
        Token token;
        if (!next_token(what, token)) return false;
        line = token.line;
        switch (read_int32(token.text, value)) {
            case NumberRead::kOk:
                return true;
            case NumberRead::kOutOfRange:
                return fail(line, said_of(what, {"が範囲外です：", " is out of range: "}) +
                                      quoted(token.text));
            case NumberRead::kNotANumber:
                break;
        }
        return fail(line, said_of(what, {"が整数ではありません：", " is not a whole number: "}) +
                              quoted(token.text));
    }

    bool next_float(const BilingualText& what, float& value) {
        Token token;
        if (!next_token(what, token)) return false;
        switch (read_float(token.text, value)) {
            case NumberRead::kOk:
                return true;
            case NumberRead::kOutOfRange:
                return fail(token.line, said_of(what, {"が範囲外です：", " is out of range: "}) +
                                            quoted(token.text));
            case NumberRead::kNotANumber:
                break;
        }
        return fail(token.line, said_of(what, {"が数値ではありません：", " is not a number: "}) +
                                    quoted(token.text));
    }

    bool next_name(const BilingualText& what, std::string& name) {
        Token token;
        if (!next_token(what, token)) return false;
        if (token.text.size() > static_cast<size_t>(kNameCapacity)) {
            return fail(token.line, longer_than(what, kNameCapacity));
        }
        name.assign(token.text);
        return true;
    }

    // Appends tokens to `first` until one ends in the object suffix; each run of whitespace
    // between them comes back as as many blanks.
    bool complete_path(const BilingualText& what, const Token& first, std::string& path) {
        path.assign(first.text);
        std::string_view last = first.text;
        while (!ends_in_object_suffix(last)) {
            Token piece;
            if (!tokens_.next(piece)) {
                return fail(
                    first.line,
                    said_of(what, {"がファイルの終わりまでに「.qxm」で終わりません",
                                   " does not end in \".qxm\" before the end of the file"}));
            }
            if (path.size() + piece.gap + piece.text.size() > static_cast<size_t>(kPathCapacity)) {
                return fail(first.line,
                            said_of(what, format_both({"が %d バイト以内に「.qxm」で終わりません",
                                                       " does not end in \".qxm\" within %d bytes"},
                                                      kPathCapacity)));
            }
            if (holds_nul(piece.text)) {
                return fail(piece.line,
                            said_of(what, {"に NUL バイトがあります", " holds a NUL byte"}));
            }
            path.append(piece.gap, ' ');
            path.append(piece.text);
            last = piece.text;
        }
        return true;
    }

    bool parse_target(int slot, ProjectTarget& target) {
        Token token;
        if (!next_token(of_target({"ターゲット %d の見出し", "the label of target %d"}, slot),
                        token)) {
            return false;
        }
        if (!next_token(of_target({"ターゲット %d のパスまたは None",
                                   "the path of target %d or the word None"},
                                  slot),
                        token)) {
            return false;
        }
        if (token.text == kNoTarget) {
            target = ProjectTarget();
            return true;
        }
        target.present = true;
        const BilingualText path =
            of_target({"ターゲット %d のパス", "the path of target %d"}, slot);
        if (!complete_path(path, token, target.path)) return false;
        if (!next_name(
                of_target({"ターゲット %d のオブジェクト名", "the object name of target %d"}, slot),
                target.name)) {
            return false;
        }
        if (!next_token(
                of_target({"ターゲット %d の見出し keys:", "the label keys: of target %d"}, slot),
                token)) {
            return false;
        }
        return parse_keys(slot, target.keys);
    }

    // The count is trusted for nothing but the loop, so a huge count in a short file ends at the
    // end of the file, not in an allocation. A negative count is no count at all: how many key
    // lines follow cannot be known, so the file is refused rather than read out of step.
    bool parse_keys(int slot, KeyTrack& keys) {
        const BilingualText count_words =
            of_target({"ターゲット %d のキー数", "the key count of target %d"}, slot);
        int32_t count = 0;
        int count_line = 0;
        if (!next_int32(count_words, count, count_line)) return false;
        if (count < 0) {
            return fail(
                count_line,
                said_of(count_words, format_both({" %d が負です", " is %d, below 0"}, count)));
        }
        std::vector<ReadKey> read;
        for (size_t i = 0; i < static_cast<size_t>(count); ++i) {
            ReadKey key;
            if (!next_int32(of_key({"ターゲット %2$d のキー %1$zu のフレーム",
                                    "the frame of key %zu of target %d"},
                                   i, slot),
                            key.frame, key.line)) {
                return false;
            }
            if (!next_float(of_key({"ターゲット %2$d のキー %1$zu のウェイト",
                                    "the weight of key %zu of target %d"},
                                   i, slot),
                            key.weight)) {
                return false;
            }
            read.push_back(key);
        }
        for (const Change& change : put_in_order(count_line, std::move(read), keys)) {
            note(slot, change);
        }
        return true;
    }

    void note(int slot, const Change& change) {
        ++repaired_.repair_count;
        if (repaired_.repairs.size() < kMaxListedRepairs) {
            repaired_.repairs.push_back({slot, change.line, change_words(change)});
        }
    }

    Tokenizer tokens_;
    ParseOutcome failure_;
    ParseOutcome repaired_;
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

BilingualText project_data_problem(const ProjectData& data) {
    if (data.max_frame < 1) {
        return format_both(
            {"最大フレーム数 %d が 1 未満です", "the maximum frame count is %d, below 1"},
            data.max_frame);
    }
    BilingualText problem = path_problem(words(kSourcePath), data.source_path, false);
    if (problem.empty()) problem = name_problem(words(kSourceName), data.source_name);
    for (int slot = 1; slot <= kTargetCount && problem.empty(); ++slot) {
        const ProjectTarget& target = data.targets[slot - 1];
        if (!target.present) continue;
        problem = path_problem(of_target({"ターゲット %d のパス", "the path of target %d"}, slot),
                               target.path, true);
        if (problem.empty()) {
            problem = name_problem(
                of_target({"ターゲット %d のオブジェクト名", "the object name of target %d"}, slot),
                target.name);
        }
        if (problem.empty()) problem = keys_problem(target.keys, slot);
    }
    return problem;
}

bool project_can_record_name(const std::string& name) {
    return name_problem(BilingualText(), name).empty();
}

SaveOutcome save_project_file(const std::string& path, const ProjectData& data) {
    BilingualText problem = project_data_problem(data);
    if (!problem.empty()) return {false, std::move(problem)};
    FileOutcome written = replace_file_contents(path, write_project_text(data));
    return {written.ok, std::move(written.reason)};
}

ParseOutcome parse_project_text(const std::string& text, ProjectData& out) {
    ProjectData data;
    ProjectParser parser(text);
    if (!parser.parse(data)) return parser.failure();
    out = std::move(data);
    ParseOutcome outcome = std::move(parser.repaired());
    outcome.ok = true;
    return outcome;
}

namespace {

ParseOutcome unreadable(BilingualText reason) {
    ParseOutcome outcome;
    outcome.reason = std::move(reason);
    return outcome;
}

}  // namespace

ParseOutcome read_project_file(const std::string& path, ProjectData& out) {
    const InputFile input = InputFile::open(path);
    // A folder has always been "cannot be read", as a pipe or a device now is.
    if (input.not_regular()) {
        return unreadable(format_both({"ファイルを読めません：%s", "the file cannot be read: %s"},
                                      input.cause()));
    }
    if (!input.is_open()) {
        return unreadable(format_both({"ファイルを開けません：%s", "the file cannot be opened: %s"},
                                      input.cause()));
    }
    std::string text;
    // Measured first, so that a file too large is refused before any of it is read.
    const int err =
        input.size() > kMaxProjectFileBytes ? EFBIG : read_rest(input, kMaxProjectFileBytes, text);
    if (err == EFBIG) {
        return unreadable({"ファイルがプロジェクトとしては大きすぎます",
                           "the file is larger than any project could be"});
    }
    if (err != 0) {
        return unreadable(format_both({"ファイルを読めません：%s", "the file cannot be read: %s"},
                                      std::strerror(err)));
    }
    return parse_project_text(text, out);
}

std::vector<BilingualText> repair_lines(const ParseOutcome& parsed, size_t shown) {
    std::vector<BilingualText> lines;
    for (size_t i = 0; i < parsed.repairs.size() && i < shown; ++i) {
        const ProjectRepair& change = parsed.repairs[i];
        if (change.slot == 0) {
            lines.push_back(format_both({"%d 行目：%s", "line %d: %s"}, change.line, change.words));
        } else {
            lines.push_back(format_both({"ターゲット %d、%d 行目：%s", "target %d, line %d: %s"},
                                        change.slot, change.line, change.words));
        }
    }
    if (parsed.repair_count > lines.size()) {
        lines.push_back(format_both({"ほか %zu 件の変更", "and %zu more changes"},
                                    parsed.repair_count - lines.size()));
    }
    return lines;
}

}  // namespace warpkit
