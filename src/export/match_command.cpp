#include "export/match_command.h"

#include <filesystem>
#include <optional>
#include <ostream>

#include "base/texts.h"
#include "export/export_tool.h"
#include "export/printable.h"
#include "export/progress.h"
#include "model/target_measure.h"
#include "model/vertex_match.h"

namespace warpkit::exporting {

namespace {

constexpr const char* kProgram = "warpkit-export: ";

int refuse(std::ostream& err, const std::string& message) {
    err << kProgram << printable(message) << "\n";
    return kExitRefused;
}

// "smile in face.qxm"
std::string object_label(const std::string& name, const std::string& path) {
    return printable(name) + " in " + printable(path);
}

// Reads the named object, or the only object of a file when none is named. Empty on success,
// else the refusal.
std::string read_object(const ObjectPath& where, ObjectFileReader& reader) {
    size_t listed = 0;
    const ReadOutcome outcome = reader.ReadObject(
        where.path, where.object, where.named, [&](const ObjectTable& table, const std::string&) {
            listed = table.objects.size();
            return listed == 1 ? 0 : -1;
        });
    if (outcome.status == ReadStatus::kCancelled) {
        return printable(where.path) +
               (listed == 0
                    ? std::string(" holds no object")
                    : format_text(" holds %zu objects; name one as FILE.qxm:OBJECT", listed));
    }
    return outcome.ok() ? std::string() : object_file_refusal(outcome, where.path);
}

// "the target moves 3 of 674 vertices by more than 25% of the source's bounding-box diagonal;
// the largest move is 12.5% of it", naming the reorder mark when the target shows it.
std::string moves_line(const TargetMeasure& measure) {
    return format_text(
        "the target moves %d of %d vertices by more than %.0f%% of the source's bounding-box "
        "diagonal%s; the largest move is %.1f%% of it\n",
        static_cast<int>(measure.far), static_cast<int>(measure.vertex_count), 100.0 * kFarShare,
        measure.suspicious ? " (the mark of another vertex order)" : "",
        100.0 * measure.largest_share);
}

}  // namespace

ObjectPath split_object_path(const std::string& text) {
    ObjectPath split;
    split.path = text;
    for (size_t at = text.size(); at-- > 4;) {
        if (text[at] != ':') continue;
        std::string suffix = text.substr(at - 4, 4);
        for (char& c : suffix) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (suffix != ".qxm") continue;
        split.path = text.substr(0, at);
        split.object = text.substr(at + 1);
        split.named = true;
        break;
    }
    return split;
}

int run_match(const CommandLine& line, std::ostream& out, std::ostream& err) {
    // a file that is there is never replaced, so say so before the reading and matching
    std::error_code error;
    if (std::filesystem::symlink_status(line.output, error).type() !=
        std::filesystem::file_type::not_found) {
        return refuse(err, "cannot write " + printable(line.output) + ": the file already exists");
    }

    const ObjectPath source_path = split_object_path(line.input);
    const ObjectPath target_path = split_object_path(line.target);
    ObjectFileReader source, target;
    std::string problem = read_object(source_path, source);
    if (problem.empty()) problem = read_object(target_path, target);
    if (!problem.empty()) return refuse(err, problem);
    const ReadResult& s = source.result();
    const ReadResult& t = target.result();
    const std::string source_label = object_label(s.object_name, source_path.path);
    const std::string target_label = object_label(t.object_name, target_path.path);

    std::optional<Progress> progress;
    if (line.show_progress) progress.emplace(err, "matching", 100);
    const VertexMatch match =
        match_vertex_order(s.vertices, s.triangles, t.vertices, t.triangles, [&](double share) {
            if (progress) progress->advance(static_cast<int64_t>(share * 100.0));
            return true;
        });
    if (progress) progress->finish();
    if (match.status != MatchStatus::kMatched) {
        return refuse(err,
                      "cannot match " + target_label + " to " + source_label + ": " + match.reason);
    }

    const QxmObject matched = matched_object(s, t, match);
    const FileOutcome written =
        write_qxm_file(line.output, {matched}, palette_of(s), ExistingFile::kKeep);
    if (!written.ok) {
        return refuse(err, "cannot write " + printable(line.output) + ": " + written.reason.en);
    }

    out << "source: " << source_label
        << format_text(", %d vertices, %d triangles, %d colours\n",
                       static_cast<int>(s.vertex_count), static_cast<int>(s.triangle_count),
                       static_cast<int>(s.colour_count));
    out << "target: " << target_label
        << format_text(", %d vertices, %d triangles\n", static_cast<int>(t.vertex_count),
                       static_cast<int>(t.triangle_count));
    out << "before: " << moves_line(measure_target_positions(s.vertices, t.vertices));
    out << (match.method == MatchMethod::kTopology
                ? format_text("matched by topology, %d part%s", static_cast<int>(match.parts),
                              match.parts == 1 ? "" : "s")
                : std::string("matched by nearest position"))
        << format_text(": %d of %d vertices renumbered\n", static_cast<int>(match.renumbered),
                       static_cast<int>(match.vertex_count));
    out << "after: " << moves_line(measure_target_positions(s.vertices, matched.vertices));
    out << "wrote " << printable(line.output) << ": " << printable(cut_object_name(t.object_name))
        << " with the source's triangles and colours\n";
    return kExitDone;
}

}  // namespace warpkit::exporting
