#pragma once
// Reads one object out of a QXM rev.3 object file.
//
// The file is never trusted: every count, offset and index is checked against the file's
// real size and the object's own ranges before anything is allocated or read, and a file
// that fails a check is refused with a reason. Names and paths are bytes, kept unchanged.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/bilingual_text.h"
#include "base/geometry.h"
#include "base/texts.h"

namespace warpkit {

constexpr int kMaxListedObjects = 100;  // a file with more offers its first 100

struct ObjectEntry {
    std::string name;  // up to the first NUL of its 16-byte field, at most 15 bytes
    int32_t vertex_count = 0;
    int32_t triangle_count = 0;
    int32_t first_vertex = 0;
    int32_t first_triangle = 0;
};

// The objects of one file in file order (at most kMaxListedObjects) and its colour count.
// Every listed entry has non-negative counts and runs that lie inside their sections.
struct ObjectTable {
    std::vector<ObjectEntry> objects;
    int32_t colour_count = 0;
};

// The chosen object: vertices, triangles with indices local to the object, the file's colours.
// Every triangle's vertex indices lie in 0 .. vertex_count - 1. When colour_count > 0 every
// colour index lies in 0 .. colour_count - 1. When colour_count is 0 the palette is empty and
// the colour indices are kept as the file gives them: whoever draws per-triangle colours must
// not look them up in an empty palette.
struct ReadResult {
    std::vector<Vec3> vertices;
    std::vector<Triangle> triangles;
    int32_t vertex_count = 0;
    int32_t triangle_count = 0;
    int32_t colour_count = 0;
    std::vector<uint8_t> red, green, blue;
    std::string object_name;
};

enum class ReadStatus {
    kOk,
    kCannotOpen,    // silent: the caller changes nothing; but when `reason` is set the path
                    // names no regular file (a pipe, a device, a folder) and the caller says so
    kBadMagic,      // the format message (also for a file shorter than the magic)
    kDamaged,       // a check failed; `reason` says which
    kCancelled,     // the user declined in the selection dialog; silent
    kNameNotFound,  // read by name: no object of that name
    kNotImported,   // a mesh file of another format that cannot be imported; `reason` says why
};

struct ReadOutcome {
    ReadStatus status = ReadStatus::kOk;
    // Words for kDamaged, kNameNotFound and kNotImported, in both languages
    // ("triangle 7 uses vertex 12 but the object has 5 vertices"); for kCannotOpen the cause
    // without the file's name ("not a regular file"), or nothing.
    BilingualText reason;
    std::string object_name;  // kNameNotFound: the name that was looked for, as bytes
    bool ok() const { return status == ReadStatus::kOk; }
};

// Shows the object table to the user; returns the chosen index, or -1 when declined.
using ObjectChooser = std::function<int32_t(const ObjectTable& table, const std::string& prompt)>;

class ObjectFileReader {
public:
    // by_name false: `text` is the prompt and `choose` picks the object. The chooser is asked
    // even when the file holds no object; an answer that is not -1 or an index below the
    // object count counts as declined, and so does a missing chooser.
    // by_name true: `text` is the object name; the first listed object whose name equals it
    // byte for byte is taken, without asking.
    // Every read first drops the previous result and table. On success the object is in
    // result() until ReleaseReadResult(); on failure result() stays empty.
    ReadOutcome ReadObject(const std::string& path, const std::string& text, bool by_name,
                           const ObjectChooser& choose = {});
    // Reads by name as ReadObject does, with every check and the same outcome, but keeps only
    // the vertices of the object (its triangles are checked, counted and dropped): a morph
    // target's triangles are its source's.
    ReadOutcome ReadPositions(const std::string& path, const std::string& name);
    // The same, scanning the offsets from `base` (a source's positions) of each piece of the
    // vertices while it is at hand, which spares a target's check a pass over both arrays:
    // first_non_finite_offset() then gives the first vertex whose offset has a coordinate
    // that is not finite, or -1. An object of another vertex count is not scanned.
    ReadOutcome ReadPositions(const std::string& path, const std::string& name,
                              const std::vector<Vec3>& base);
    // After a successful ReadPositions with a base of the object's vertex count: the scan's
    // answer. Otherwise empty.
    std::optional<int64_t> first_non_finite_offset() const { return first_non_finite_offset_; }
    // Frees the result's arrays and leaves it empty.
    void ReleaseReadResult();

    const ReadResult& result() const { return result_; }
    ReadResult& result() { return result_; }
    const ObjectTable& table() const { return table_; }
    const std::string& SelectionPrompt() const { return prompt_; }

private:
    ReadOutcome Read(const std::string& path, const std::string& text, bool by_name,
                     const ObjectChooser& choose, bool keep_triangles,
                     const std::vector<Vec3>* base = nullptr);

    ObjectTable table_;
    ReadResult result_;
    std::string prompt_;
    std::optional<int64_t> first_non_finite_offset_;
};

// Reads only the header and the object table (for listing a file's objects), with the same
// checks as ReadObject makes before it chooses.
ReadOutcome read_object_table(const std::string& path, ObjectTable& table);

// The message a refused read shows: text and title in the given language, naming the file.
// Empty text for the silent outcomes (kOk, kCannotOpen, kCancelled).
ShownMessage read_failure_message(const ReadOutcome& outcome, const std::string& path,
                                  int32_t ui_language);

}  // namespace warpkit
