#pragma once
// What the two file readers promise about any input, however hostile, written as checks that
// name the first broken promise. The fuzz targets abort on a non-empty answer; the hostile-input
// test replays the saved findings through the same checks. Header-only, so each of them compiles
// it with its own sanitizers.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/display_text.h"
#include "model/qxm_reader.h"
#include "project/project_file.h"

namespace warpkit::testing {

// ---- shared ----

inline bool is_valid_utf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t length = 1;
        uint32_t code = lead;
        uint32_t minimum = 0;
        if (lead >= 0x80) {
            if ((lead & 0xE0) == 0xC0) {
                length = 2, code = lead & 0x1F, minimum = 0x80;
            } else if ((lead & 0xF0) == 0xE0) {
                length = 3, code = lead & 0x0F, minimum = 0x800;
            } else if ((lead & 0xF8) == 0xF0) {
                length = 4, code = lead & 0x07, minimum = 0x10000;
            } else {
                return false;
            }
            if (text.size() - i < length) return false;
            for (size_t k = 1; k < length; ++k) {
                const auto next = static_cast<unsigned char>(text[i + k]);
                if ((next & 0xC0) != 0x80) return false;
                code = (code << 6) | (next & 0x3F);
            }
            if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

// Whether a reason or a repair is said in both languages, in valid UTF-8.
inline bool said_in_both(const BilingualText& words) {
    return !words.ja.empty() && !words.en.empty() && is_valid_utf8(words.ja) &&
           is_valid_utf8(words.en);
}

// Bit patterns, so that a NaN read from a file equals itself.
inline bool same_bits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// ---- object files ----

// The answer a chooser gives for the control byte in front of a fuzzed object file: small
// indices, -1 (declined), other negatives, the edges of int32 and indices just past a table.
inline int32_t chooser_answer(uint8_t control) {
    switch (control) {
        case 0xFF:
            return -1;
        case 0xFE:
            return INT32_MIN;
        case 0xFD:
            return INT32_MAX;
        case 0xFC:
            return kMaxListedObjects;
        case 0xFB:
            return kMaxListedObjects - 1;
        default:
            break;
    }
    return control < 0x80 ? control % 8 : -static_cast<int32_t>(control - 0x7F) * 1000;
}

inline std::string check_read_result(const ReadResult& result, const ObjectEntry& entry,
                                     int32_t colour_count) {
    if (result.object_name != entry.name) return "the result is named unlike its table entry";
    if (result.vertex_count != entry.vertex_count ||
        result.vertices.size() != static_cast<size_t>(entry.vertex_count)) {
        return "the vertex count of the result differs from its table entry";
    }
    if (result.triangle_count != entry.triangle_count ||
        result.triangles.size() != static_cast<size_t>(entry.triangle_count)) {
        return "the triangle count of the result differs from its table entry";
    }
    if (result.colour_count != colour_count) return "the colour count differs from the table's";
    const auto colours = static_cast<size_t>(colour_count);
    if (result.red.size() != colours || result.green.size() != colours ||
        result.blue.size() != colours) {
        return "a colour array is not sized to the colour count";
    }
    for (size_t t = 0; t < result.triangles.size(); ++t) {
        const Triangle& triangle = result.triangles[t];
        for (const int32_t v : triangle.v) {
            if (v < 0 || v >= result.vertex_count) {
                return "triangle " + std::to_string(t) + " of the result uses vertex " +
                       std::to_string(v) + " of " + std::to_string(result.vertex_count);
            }
        }
        if (colour_count > 0 && (triangle.colour < 0 || triangle.colour >= colour_count)) {
            return "triangle " + std::to_string(t) + " of the result uses colour " +
                   std::to_string(triangle.colour) + " of " + std::to_string(colour_count);
        }
    }
    return {};
}

inline bool same_result(const ReadResult& a, const ReadResult& b) {
    if (a.object_name != b.object_name || a.vertex_count != b.vertex_count ||
        a.triangle_count != b.triangle_count || a.colour_count != b.colour_count ||
        a.vertices.size() != b.vertices.size() || a.triangles.size() != b.triangles.size() ||
        a.red != b.red || a.green != b.green || a.blue != b.blue) {
        return false;
    }
    for (size_t i = 0; i < a.vertices.size(); ++i) {
        if (!same_bits(a.vertices[i].x, b.vertices[i].x) ||
            !same_bits(a.vertices[i].y, b.vertices[i].y) ||
            !same_bits(a.vertices[i].z, b.vertices[i].z)) {
            return false;
        }
    }
    for (size_t i = 0; i < a.triangles.size(); ++i) {
        const Triangle& s = a.triangles[i];
        const Triangle& t = b.triangles[i];
        if (s.v[0] != t.v[0] || s.v[1] != t.v[1] || s.v[2] != t.v[2] || s.colour != t.colour) {
            return false;
        }
    }
    return true;
}

inline std::string check_table(const ObjectTable& table) {
    if (table.objects.size() > static_cast<size_t>(kMaxListedObjects)) {
        return "the table lists more than " + std::to_string(kMaxListedObjects) + " objects";
    }
    if (table.colour_count < 0) return "the table has a negative colour count";
    for (size_t i = 0; i < table.objects.size(); ++i) {
        const ObjectEntry& entry = table.objects[i];
        const bool shown_checked = i < 4;  // decoding every name would cost more than it finds
        const std::string which = "table entry " + std::to_string(i);
        if (entry.name.size() > static_cast<size_t>(kNameCapacity)) {
            return which + " has a name longer than " + std::to_string(kNameCapacity) + " bytes";
        }
        if (entry.name.find('\0') != std::string::npos) return which + " has a NUL in its name";
        if (entry.vertex_count < 0 || entry.triangle_count < 0 || entry.first_vertex < 0 ||
            entry.first_triangle < 0) {
            return which + " has a negative count or first index";
        }
        if (shown_checked && !is_valid_utf8(display_text(entry.name))) {
            return which + "'s name is shown as invalid UTF-8";
        }
    }
    return {};
}

inline std::string check_failure_message(const ReadOutcome& outcome, const std::string& path) {
    const bool silent = outcome.status == ReadStatus::kOk ||
                        outcome.status == ReadStatus::kCannotOpen ||
                        outcome.status == ReadStatus::kCancelled;
    for (const int32_t language : {1, 2}) {
        const ShownMessage shown = read_failure_message(outcome, path, language);
        if (silent != shown.text.empty()) return "a refusal shows the wrong kind of message";
        if (!silent && shown.title.empty()) return "a refusal's message has no title";
        if (!is_valid_utf8(shown.text) || !is_valid_utf8(shown.title)) {
            return "a refusal's message is not valid UTF-8";
        }
    }
    if (outcome.status == ReadStatus::kDamaged && !said_in_both(outcome.reason)) {
        return "a damaged file is refused without a reason in both languages";
    }
    return {};
}

// Reads the object file at `path` every way the program does: the table for the selection
// dialog, a choice answered from `control`, and by name (a name no object has; the chosen or
// a listed name, followed by a NUL and more text when `control` is odd). Returns the first
// broken promise, or "".
inline std::string check_object_file(const std::string& path, uint8_t control) {
    ObjectTable table;
    const ReadOutcome listed = read_object_table(path, table);
    if (listed.ok()) {
        if (std::string fault = check_table(table); !fault.empty()) return fault;
    } else if (!table.objects.empty()) {
        return "a refused table still lists objects";
    }

    // The choice.
    const int32_t answer = chooser_answer(control);
    ObjectFileReader reader;
    bool asked = false;
    bool same_table = true;
    const ReadOutcome chosen = reader.ReadObject(
        path, "Select Source Object", false, [&](const ObjectTable& shown, const std::string&) {
            asked = true;
            same_table = shown.objects.size() == table.objects.size();
            for (size_t i = 0; same_table && i < shown.objects.size(); ++i) {
                same_table = shown.objects[i].name == table.objects[i].name &&
                             shown.objects[i].vertex_count == table.objects[i].vertex_count &&
                             shown.objects[i].triangle_count == table.objects[i].triangle_count;
            }
            return answer;
        });
    if (std::string fault = check_failure_message(chosen, path); !fault.empty()) return fault;
    if (asked != listed.ok()) return "the chooser was asked although the table was refused";
    if (!same_table) return "the chooser was shown another table than read_object_table gives";
    const auto listed_count = static_cast<int32_t>(table.objects.size());
    const bool in_range = answer >= 0 && answer < listed_count;
    if (!listed.ok()) {
        if (chosen.status != listed.status) return "a read refuses unlike its table read";
    } else if (!in_range && chosen.status != ReadStatus::kCancelled) {
        return "an answer of " + std::to_string(answer) + " for " + std::to_string(listed_count) +
               " objects is not taken as declined";
    } else if (in_range && chosen.status != ReadStatus::kOk &&
               chosen.status != ReadStatus::kDamaged) {
        return "a listed choice was neither read nor refused as damaged";
    }
    ReadResult first_read;
    if (chosen.ok()) {
        const ObjectEntry& entry = table.objects[static_cast<size_t>(answer)];
        if (std::string fault = check_read_result(reader.result(), entry, table.colour_count);
            !fault.empty()) {
            return fault;
        }
        first_read = std::move(reader.result());
    } else if (!reader.result().vertices.empty() || !reader.result().triangles.empty() ||
               !reader.result().red.empty()) {
        return "a refused read left a result behind";
    }

    if (!listed.ok()) return {};

    // A name no object has is refused and named, and nothing is read.
    const std::string missing = "no object is named this";  // longer than any listed name
    const ReadOutcome absent = reader.ReadObject(path, missing, true);
    if (absent.status != ReadStatus::kNameNotFound) return "a name no object has was not refused";
    if (absent.object_name != missing) return "the refusal names another name than asked for";
    if (std::string fault = check_failure_message(absent, path); !fault.empty()) return fault;
    if (table.objects.empty()) return {};

    // By name: the chosen object's name (or a listed one) gives the first object of that name,
    // also when the asked text goes on after a NUL. The same object read twice, once by choice
    // and once by name, gives the same bits.
    const size_t named = in_range ? static_cast<size_t>(answer) : control % table.objects.size();
    const std::string& name = table.objects[named].name;
    size_t first = 0;
    while (table.objects[first].name != name) ++first;
    const std::string asked_for = control % 2 ? name + std::string(1, '\0') + "tail" : name;
    const ReadOutcome by_name = reader.ReadObject(path, asked_for, true);
    if (std::string fault = check_failure_message(by_name, path); !fault.empty()) return fault;
    if (by_name.status != ReadStatus::kOk && by_name.status != ReadStatus::kDamaged) {
        return "a listed name was neither read nor refused as damaged";
    }
    if (by_name.ok()) {
        if (std::string fault =
                check_read_result(reader.result(), table.objects[first], table.colour_count);
            !fault.empty()) {
            return "by name: " + fault;
        }
        if (chosen.ok() && first == named && !same_result(first_read, reader.result())) {
            return "a read by name differs from the choice of the same object";
        }
    } else if (chosen.ok() && first == named) {
        return "an object read by choice is refused by name";
    }

    return {};
}

// ---- project texts ----

inline bool same_project(const ProjectData& a, const ProjectData& b) {
    if (a.max_frame != b.max_frame || a.source_path != b.source_path ||
        a.source_name != b.source_name) {
        return false;
    }
    for (size_t i = 0; i < a.targets.size(); ++i) {
        const ProjectTarget& s = a.targets[i];
        const ProjectTarget& t = b.targets[i];
        if (s.present != t.present || s.path != t.path || s.name != t.name ||
            s.keys.frames != t.keys.frames || s.keys.weights.size() != t.keys.weights.size()) {
            return false;
        }
        for (size_t k = 0; k < s.keys.weights.size(); ++k) {
            if (!same_bits(s.keys.weights[k], t.keys.weights[k])) return false;
        }
    }
    return true;
}

// The weight that a key of weight `w` has after one save and load: two decimals, read back to
// the nearest float.
inline float weight_after_save(float w) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", static_cast<double>(w));
    return std::strtof(text, nullptr);
}

// Parses `text` and returns the first broken promise, or "": a refusal leaves the data alone,
// names a line of the text and says why in both languages; accepted data is data a save would
// write, every repair made on the way names a line of the text, in order, in both languages, and
// writing then reading the data back gives the same slots, names, paths and frames, weights to
// two decimals, the same text again and nothing to repair.
inline std::string check_project_text(const std::string& text) {
    ProjectData sentinel;
    sentinel.max_frame = 7;
    sentinel.source_path = "/untouched.qxm";
    sentinel.source_name = "untouched";
    ProjectData data = sentinel;
    const ParseOutcome parsed = parse_project_text(text, data);
    const auto lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
    if (!parsed.ok) {
        if (!same_project(data, sentinel)) return "a refused text changed the data";
        if (!said_in_both(parsed.reason)) {
            return "a text is refused without a reason in both languages";
        }
        if (parsed.repair_count > 0) return "a refused text lists repairs";
        if (parsed.line < 0 || parsed.line > lines) {
            return "a refusal names line " + std::to_string(parsed.line) + " of " +
                   std::to_string(lines);
        }
        return {};
    }

    if (parsed.repairs.size() != std::min(parsed.repair_count, kMaxListedRepairs)) {
        return "the repairs listed are not the first of those counted";
    }
    int previous_line = 0;
    for (const ProjectRepair& change : parsed.repairs) {
        if (change.line < 1 || change.line > lines || change.line < previous_line) {
            return "a repair names line " + std::to_string(change.line) + " of " +
                   std::to_string(lines) + " after line " + std::to_string(previous_line);
        }
        if (change.slot < 0 || change.slot > kTargetCount) return "a repair names no target";
        if (!said_in_both(change.words)) return "a repair is not said in both languages";
        previous_line = change.line;
    }
    if (BilingualText problem = project_data_problem(data); !problem.empty()) {
        return "accepted data a save would refuse: " + problem.en;
    }
    if (data.max_frame < 1) return "an accepted maximum frame below 1";
    for (const ProjectTarget& target : data.targets) {
        if (!target.present) {
            if (!target.path.empty() || !target.name.empty() || target.keys.count() != 0) {
                return "an empty slot carries a path, a name or keys";
            }
            continue;
        }
        const KeyTrack& keys = target.keys;
        if (keys.frames.empty() || keys.frames.size() != keys.weights.size() ||
            keys.frames[0] != 0) {
            return "an accepted track is empty, uneven or does not start at frame 0";
        }
        for (size_t k = 1; k < keys.frames.size(); ++k) {
            if (keys.frames[k] <= keys.frames[k - 1]) return "accepted frames do not increase";
        }
    }

    const std::string written = write_project_text(data);
    ProjectData back;
    const ParseOutcome reread = parse_project_text(written, back);
    if (!reread.ok) return "written data is refused on reading: " + reread.reason.en;
    if (reread.repair_count > 0) return "written data needs repairs on reading";
    ProjectData expected = data;
    for (ProjectTarget& target : expected.targets) {
        for (float& w : target.keys.weights) w = weight_after_save(w);
    }
    if (!same_project(expected, back)) return "written data reads back as other data";
    if (write_project_text(back) != written) return "writing read-back data gives another text";
    return {};
}

}  // namespace warpkit::testing
