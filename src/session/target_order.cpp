#include "session/target_order.h"

#include <cmath>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "base/display_text.h"
#include "base/texts.h"
#include "model/target_measure.h"
#include "model/vertex_match.h"

namespace warpkit {

namespace {

namespace fs = std::filesystem;

// No folder holds this many matched copies of one target; past it the write is refused
// rather than searched on.
constexpr int kMaxMatchedNames = 1000;

// What a matched target takes from the source: the positions it is matched against, the
// triangles and palette it is written with.
struct SourceShape {
    const std::vector<Vec3>& vertices;
    const ReadResult& shape;  // its triangles and palette
};

enum class Step {
    kAsItIs,
    kMatched,
    kStop,    // the user's Cancel to the question or the refusal
    kGaveUp,  // Cancel in the progress or in the save dialog
};

struct Asking {
    UserDialogs& dialogs;
    int32_t language;
    bool in_project;  // other texts, and there Cancel stops the whole load

    const char* in(const Bilingual& text) const { return pick(language, text); }
};

// The target with its triangles, or nothing with the words why it cannot be had.
using FullTarget = std::function<const ReadResult*(BilingualText& why_not)>;

// The loaded source's triangles and palette as the file held them (the mesh keeps the
// palette as byte / 255, which rounds back exactly).
ReadResult loaded_source_shape(const EditorState& state) {
    const ObjectMesh& mesh = state.mesh;
    ReadResult source;
    source.triangles = mesh.triangles;
    source.triangle_count = static_cast<int32_t>(mesh.triangles.size());
    const auto byte = [](float unit) { return static_cast<uint8_t>(std::lround(unit * 255.0f)); };
    for (size_t j = 0; j < mesh.palette_red.size(); ++j) {
        source.red.push_back(byte(mesh.palette_red[j]));
        source.green.push_back(byte(mesh.palette_green[j]));
        source.blue.push_back(byte(mesh.palette_blue[j]));
    }
    source.colour_count = static_cast<int32_t>(source.red.size());
    return source;
}

// The object as the reader would give it back from the file it was written to.
ReadResult as_read(QxmObject object, QxmPalette palette) {
    ReadResult result;
    result.vertex_count = static_cast<int32_t>(object.vertices.size());
    result.triangle_count = static_cast<int32_t>(object.triangles.size());
    result.colour_count = static_cast<int32_t>(palette.size());
    result.vertices = std::move(object.vertices);
    result.triangles = std::move(object.triangles);
    result.red = std::move(palette.red);
    result.green = std::move(palette.green);
    result.blue = std::move(palette.blue);
    result.object_name = cut_object_name(object.name);
    return result;
}

// Whether a target shows the reorder mark, with the measure of its moves. A target moved as a
// whole (shifted by one offset everywhere) moves every vertex far but keeps the source's order
// and blends well, so the mark must show in the moves less their mean as well.
bool shows_reorder_mark(const std::vector<Vec3>& source, const std::vector<Vec3>& target,
                        TargetMeasure& measure) {
    measure = measure_target_positions(source, target);
    if (!measure.suspicious) return false;
    std::vector<Vec3> moves(source.size());
    double sum[3] = {0.0, 0.0, 0.0};
    for (size_t i = 0; i < source.size(); ++i) {
        moves[i] = {target[i].x - source[i].x, target[i].y - source[i].y,
                    target[i].z - source[i].z};
        sum[0] += moves[i].x, sum[1] += moves[i].y, sum[2] += moves[i].z;
    }
    const double count = static_cast<double>(source.size());
    const Vec3 mean{static_cast<float>(sum[0] / count), static_cast<float>(sum[1] / count),
                    static_cast<float>(sum[2] / count)};
    for (Vec3& move : moves) move = {move.x - mean.x, move.y - mean.y, move.z - mean.z};
    return measure_target(moves, bounding_box_diagonal(source)).suspicious;
}

BilingualText refusal_words(const VertexMatch& match) {
    if (match.refusal == MatchRefusal::kNoOneToOne) {
        return {format_text(texts::kUnmatchedReasonJapanese, static_cast<int>(match.unmatched),
                            static_cast<int>(match.vertex_count)),
                match.reason};
    }
    return same_in_both(match.reason);
}

// The match behind the progress dialog; nothing when the user cancelled it.
std::optional<VertexMatch> match_with_progress(const Asking& ask, int k, const SourceShape& source,
                                               const ReadResult& target) {
    const ProgressRequest request{ask.in(texts::kMatchProgress.title),
                                  format_text(ask.in(texts::kMatchProgress.text), k,
                                              display_text(target.object_name).c_str()),
                                  ask.in(texts::kCancelAnswer)};
    VertexMatch match;
    const bool went_on = ask.dialogs.run_with_progress(request, [&](const ProgressReport& report) {
        match = match_vertex_order(source.vertices, source.shape.triangles, target.vertices,
                                   target.triangles, report);
    });
    if (!went_on || match.status == MatchStatus::kCancelled) return std::nullopt;
    return match;
}

// Writes the matched target beside the original, or where the user says when that fails;
// the name written, or nothing when the user cancelled the save dialog.
std::optional<std::string> save_matched(const Asking& ask, const std::string& target_path,
                                        const QxmObject& object, const QxmPalette& palette) {
    MatchedFile written = write_matched_file(target_path, object, palette);
    while (!written.outcome.ok) {
        const MessageText& failed = texts::kMatchedSaveFailed;
        ask.dialogs.warn(shown_message(ask.language, failed, display_text(written.path).c_str(),
                                       written.outcome.reason.in(ask.language).c_str()));
        const fs::path tried(written.path);
        FileDialogRequest request;
        request.title = ask.in(texts::kSaveMatchedTitle);
        request.filter = texts::kObjectFilter;
        request.folder = tried.parent_path().string();
        request.file_name = tried.filename().string();
        request.default_suffix = texts::kObjectSuffix;
        request.may_replace = false;  // the original above all must stay as it is
        const std::optional<std::string> chosen = ask.dialogs.save_file(request);
        if (!chosen) return std::nullopt;
        written.path = *chosen;
        written.outcome = write_qxm_file(*chosen, {object}, palette, ExistingFile::kKeep);
    }
    return written.path;
}

// One target that shows the mark: asks, matches, writes, and on a match replaces `path` and
// `target` with the new file and what it holds.
Step settle_one(const Asking& ask, int k, const TargetMeasure& measure, const SourceShape& source,
                std::string& path, ReadResult& target, const FullTarget& full_target) {
    const std::string name = display_text(target.object_name);
    const MessageText& question =
        ask.in_project ? texts::kProjectReorderQuestion : texts::kReorderQuestion;
    const int answer = ask.dialogs.ask_choice(
        shown_message(ask.language, question, k, display_text(path).c_str(), name.c_str(),
                      static_cast<int>(measure.far), static_cast<int>(measure.vertex_count)),
        {ask.in(texts::kMatchOrderAnswer), ask.in(texts::kLoadAsItIsAnswer),
         ask.in(texts::kCancelAnswer)});
    if (answer == 1) return Step::kAsItIs;
    if (answer != 0) return Step::kStop;

    BilingualText why_not;
    const ReadResult* full = full_target(why_not);
    std::optional<VertexMatch> match;
    if (full != nullptr) {
        match = match_with_progress(ask, k, source, *full);
        if (!match) return Step::kGaveUp;
    }
    if (full == nullptr || match->status != MatchStatus::kMatched) {
        const BilingualText reason = full == nullptr ? why_not : refusal_words(*match);
        const MessageText& refusal =
            ask.in_project ? texts::kProjectMatchRefused : texts::kMatchRefused;
        const int choice = ask.dialogs.ask_choice(
            shown_message(ask.language, refusal, k, name.c_str(), reason.in(ask.language).c_str()),
            {ask.in(texts::kLoadAsItIsAnswer), ask.in(texts::kCancelAnswer)});
        return choice == 0 ? Step::kAsItIs : Step::kStop;
    }

    QxmObject object = matched_object(source.shape, *full, *match);
    QxmPalette palette = palette_of(source.shape);
    const std::optional<std::string> written = save_matched(ask, path, object, palette);
    if (!written) return Step::kGaveUp;
    const MessageText& notice = texts::kMatchedNotice;
    ask.dialogs.notify(
        shown_message(ask.language, notice, k, name.c_str(),
                      ask.in(match->method == MatchMethod::kTopology ? texts::kMatchedByTopology
                                                                     : texts::kMatchedByPosition),
                      static_cast<int>(match->renumbered), display_text(*written).c_str()));
    path = *written;
    target = as_read(std::move(object), std::move(palette));
    return Step::kMatched;
}

}  // namespace

bool target_shows_reorder_mark(const std::vector<Vec3>& source, const std::vector<Vec3>& target) {
    TargetMeasure measure;
    return shows_reorder_mark(source, target, measure);
}

std::string matched_file_name(const std::string& target_path, int attempt) {
    const size_t slash = target_path.find_last_of('/');
    const size_t base = slash == std::string::npos ? 0 : slash + 1;
    size_t end = target_path.size();
    if (end - base > 4) {
        std::string suffix = target_path.substr(end - 4);
        for (char& c : suffix) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (suffix == ".qxm") end -= 4;
    }
    std::string name = target_path.substr(0, end) + "-matched";
    if (attempt > 1) name += "-" + std::to_string(attempt);
    return name + ".qxm";
}

MatchedFile write_matched_file(const std::string& target_path, const QxmObject& object,
                               const QxmPalette& palette) {
    // A name is taken when anything is there, a dangling link included; a name whose state
    // cannot be learnt (a folder that cannot be read) is tried, so its write says why.
    const auto taken = [](const std::string& path) {
        std::error_code error;
        const fs::file_status status = fs::symlink_status(path, error);
        return fs::status_known(status) && status.type() != fs::file_type::not_found;
    };
    MatchedFile written;
    for (int attempt = 1; attempt <= kMaxMatchedNames; ++attempt) {
        written.path = matched_file_name(target_path, attempt);
        if (taken(written.path)) continue;
        written.outcome = write_qxm_file(written.path, {object}, palette, ExistingFile::kKeep);
        // another program may have taken the name since it was looked at
        if (written.outcome.ok || !taken(written.path)) return written;
    }
    written.outcome = {
        false, format_both({"%s まで、名前がすべて使われています", "every name up to %s is taken"},
                           display_text(written.path))};
    return written;
}

TargetOrder settle_target_order(UserDialogs& dialogs, const EditorState& state, int k,
                                std::string& path, ReadResult& target) {
    const std::vector<Vec3>& positions = state.slots[0].vertices;
    TargetMeasure measure;
    if (!shows_reorder_mark(positions, target.vertices, measure)) return TargetOrder::kAsItIs;
    const ReadResult shape = loaded_source_shape(state);
    const Asking ask{dialogs, state.UiLanguage, false};
    switch (settle_one(ask, k, measure, {positions, shape}, path, target,
                       [&](BilingualText&) { return &target; })) {
        case Step::kAsItIs:
            return TargetOrder::kAsItIs;
        case Step::kMatched:
            return TargetOrder::kMatched;
        case Step::kStop:
        case Step::kGaveUp:
            break;
    }
    return TargetOrder::kCancelled;
}

Rematch rematch_target(UserDialogs& dialogs, const EditorState& state, int k,
                       const ReadResult& target, const std::string& matched_path) {
    Rematch out;
    const ReadResult shape = loaded_source_shape(state);
    const SourceShape source{state.slots[0].vertices, shape};
    const Asking ask{dialogs, state.UiLanguage, false};
    const std::optional<VertexMatch> match = match_with_progress(ask, k, source, target);
    if (!match) {
        out.cancelled = true;
        return out;
    }
    if (match->status != MatchStatus::kMatched) {
        out.refusal = refusal_words(*match);
        return out;
    }
    const FileOutcome written =
        write_qxm_file(matched_path, {matched_object(shape, target, *match)}, palette_of(shape),
                       ExistingFile::kReplace);
    out.written = written.ok;
    out.refusal = written.reason;
    return out;
}

TargetOrder settle_project_target_orders(UserDialogs& dialogs, int32_t language,
                                         ProjectData& project, PreparedProject& prepared) {
    const Asking ask{dialogs, language, true};
    const SourceShape source{prepared.source.vertices, prepared.source};
    std::vector<std::string> written;
    for (int k = 1; k <= kTargetCount; ++k) {
        if (!prepared.targets[k]) continue;
        ReadResult& target = *prepared.targets[k];
        TargetMeasure measure;
        if (!shows_reorder_mark(source.vertices, target.vertices, measure)) continue;
        ProjectTarget& named = project.targets[k - 1];
        // The prepared project keeps only the positions of a target; its triangles are read
        // again only when it is to be matched.
        ObjectFileReader reader;
        const FullTarget full_target = [&](BilingualText& why_not) -> const ReadResult* {
            const ReadOutcome read = reader.ReadObject(named.path, named.name, true);
            if (read.ok()) return &reader.result();
            why_not = read_failure_words(read, named.path, named.name);
            return nullptr;
        };
        std::string path = named.path;
        switch (settle_one(ask, k, measure, source, path, target, full_target)) {
            case Step::kMatched:
                named.path = path;
                written.push_back(path);
                break;
            case Step::kStop:
                // a cancelled load leaves nothing behind, not even its new files
                for (const std::string& file : written) {
                    std::error_code ignored;
                    fs::remove(file, ignored);
                }
                return TargetOrder::kCancelled;
            case Step::kAsItIs:
            case Step::kGaveUp:
                break;
        }
    }
    return written.empty() ? TargetOrder::kAsItIs : TargetOrder::kMatched;
}

}  // namespace warpkit
