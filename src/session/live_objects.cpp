#include "session/live_objects.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <optional>

#include "base/display_text.h"
#include "base/texts.h"
#include "model/object_mesh.h"
#include "model/qxm_writer.h"
#include "session/file_command_guard.h"
#include "session/import_steps.h"
#include "session/project_session.h"
#include "session/target_order.h"

namespace warpkit {

namespace {

bool finite(const Vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

Vec3 plus(const Vec3& a, const Vec3& b) {
    return Vec3{a.x + b.x, a.y + b.y, a.z + b.z};
}

Vec3 minus(const Vec3& a, const Vec3& b) {
    return Vec3{a.x - b.x, a.y - b.y, a.z - b.z};
}

// Target k's positions as the slot holds them: the source plus its offsets.
std::vector<Vec3> target_positions(const EditorState& state, int k) {
    const std::vector<Vec3>& source = state.slots[0].vertices;
    const std::vector<Vec3>& offsets = state.slots[k].vertices;
    std::vector<Vec3> positions(offsets.size());
    for (size_t i = 0; i < offsets.size() && i < source.size(); ++i) {
        positions[i] = plus(source[i], offsets[i]);
    }
    return positions;
}

// Reads the object named `name` out of `file` by the route its load took (any format; an
// import in a child process behind the progress). An object the file no longer holds is
// kNameNotFound; nothing when the user stopped the import.
std::optional<ReadOutcome> read_by_name(UserDialogs& dialogs, int32_t language,
                                        AnyObjectReader& reader, const std::string& file,
                                        const std::string& name) {
    bool found = false;
    note_file_read(file);
    const ImportProgress progress(dialogs, language, file);
    ReadOutcome outcome =
        reader.ReadObject(file, name, [&](const ObjectTable& table, const std::string&) {
            for (size_t j = 0; j < table.objects.size(); ++j) {
                if (table.objects[j].name == name) {
                    found = true;
                    return static_cast<int32_t>(j);
                }
            }
            return int32_t{-1};
        });
    if (progress.cancelled()) {
        reader.ReleaseReadResult();
        return std::nullopt;
    }
    if (outcome.status == ReadStatus::kCancelled && !found) {
        outcome.status = ReadStatus::kNameNotFound;
        outcome.object_name = name;
    }
    return outcome;
}

// Gone, or between a modeller's removing and writing it: it is read when it is back.
bool gone(const ReadOutcome& outcome) {
    return outcome.status == ReadStatus::kCannotOpen && outcome.reason.empty();
}

std::string file_name_of(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return display_text(slash == std::string::npos ? path : path.substr(slash + 1));
}

}  // namespace

bool live_reload_waits(const EditorState& state) {
    return state.drag_mode != 0 || state.spinner_active != 0 || state.playing_forward != 0 ||
           state.playing_backward != 0;
}

std::vector<std::string> watched_files(const EditorState& state, const KeptImports& kept) {
    std::vector<std::string> files;
    if (!state.source_loaded()) return files;
    const auto add = [&files](const std::string& file) {
        if (!file.empty() && std::find(files.begin(), files.end(), file) == files.end()) {
            files.push_back(file);
        }
    };
    for (int k = 0; k <= kTargetCount; ++k) {
        if (state.slots[k].loaded == 1) add(state.slots[k].path);
    }
    const std::vector<std::string> read = files;
    for (const std::string& file : read) {
        const auto import = kept.find(file);
        if (import != kept.end()) add(import->second.from);
    }
    return files;
}

std::vector<std::string> kept_from(const EditorState& state, const KeptImports& kept,
                                   const std::string& file) {
    std::vector<std::string> files;
    for (const auto& [path, import] : kept) {
        if (import.from == file && !slots_reading(state, path).empty()) files.push_back(path);
    }
    return files;
}

std::vector<int> slots_reading(const EditorState& state, const std::string& file) {
    std::vector<int> slots;
    if (!state.source_loaded()) return slots;
    for (int k = 0; k <= kTargetCount; ++k) {
        if (state.slots[k].loaded == 1 && state.slots[k].path == file) slots.push_back(k);
    }
    return slots;
}

void ChangeSettler::changed(const std::string& file, int64_t now) {
    last_change_[file] = now;
}

std::vector<std::string> ChangeSettler::take_settled(int64_t now, bool hold) {
    std::vector<std::string> settled;
    if (hold) return settled;
    for (auto it = last_change_.begin(); it != last_change_.end();) {
        if (now - it->second >= kSettleMilliseconds) {
            settled.push_back(it->first);
            it = last_change_.erase(it);
        } else {
            ++it;
        }
    }
    return settled;
}

int64_t ChangeSettler::next_due(int64_t now) const {
    int64_t due = -1;
    for (const auto& [file, when] : last_change_) {
        const int64_t left = std::max<int64_t>(0, when + kSettleMilliseconds - now);
        if (due < 0 || left < due) due = left;
    }
    return due;
}

SlotCheck check_reloaded_source(const EditorState& state, const ReadResult& source) {
    SlotCheck check = check_source_object(source);
    if (!check.ok()) return check;
    if (source.vertex_count != state.vertex_count ||
        source.vertices.size() != state.slots[0].vertices.size()) {
        check.refusal = SlotRefusal::kVertexCount;
        return check;
    }
    // Every target keeps its positions, so each must still have a finite offset from the
    // new source, as check_target_object demands at a load.
    for (int k = 1; k <= kTargetCount; ++k) {
        if (!state.target_loaded(k)) continue;
        const std::vector<Vec3> positions = target_positions(state, k);
        for (size_t i = 0; i < positions.size(); ++i) {
            const Vec3 offset = minus(positions[i], source.vertices[i]);
            if (!finite(offset)) {
                check.refusal = SlotRefusal::kNonFiniteOffset;
                check.vertex = static_cast<int32_t>(i);
                check.value = offset;
                return check;
            }
        }
    }
    return check;
}

void reload_source(EditorState& state, const ReadResult& source) {
    assert(check_reloaded_source(state, source).ok());
    // work out every target's new offsets before anything changes, so running out of memory
    // on the way leaves the session as it was
    std::array<std::vector<Vec3>, kTargetCount + 1> offsets;
    for (int k = 1; k <= kTargetCount; ++k) {
        if (!state.target_loaded(k)) continue;
        offsets[k] = target_positions(state, k);
        for (size_t i = 0; i < offsets[k].size(); ++i) {
            offsets[k][i] = minus(offsets[k][i], source.vertices[i]);
        }
    }
    std::vector<Vec3> positions = source.vertices;

    // the user's view and colours are no part of the file
    const Vec3 centre = state.view_centre;
    const float distance = state.view_distance, yaw = state.yaw, pitch = state.pitch;
    float colour[3];
    std::copy(std::begin(state.object_colour), std::end(state.object_colour), colour);

    state.slots[0].vertices = std::move(positions);
    state.triangle_count = source.triangle_count;
    InitSource(state, source);
    for (int k = 1; k <= kTargetCount; ++k) {
        if (state.target_loaded(k)) state.slots[k].vertices = std::move(offsets[k]);
    }

    state.view_centre = centre;
    state.view_distance = distance;
    state.yaw = yaw;
    state.pitch = pitch;
    std::copy(std::begin(colour), std::end(colour), state.object_colour);
}

void reload_target(EditorState& state, int k, const ReadResult& target) {
    assert(k >= 1 && k <= kTargetCount && state.target_loaded(k));
    assert(check_target_object(state.slots[0].vertices, target).ok());
    const std::vector<Vec3>& source = state.slots[0].vertices;
    std::vector<Vec3> offsets(source.size());
    for (size_t i = 0; i < offsets.size(); ++i) offsets[i] = minus(target.vertices[i], source[i]);
    state.slots[k].vertices = std::move(offsets);
}

void install_matched_reload(EditorState& state, const MatchedReload& matched) {
    install_target(state, matched.slot, matched.path, matched.target);
    TargetSlot& slot = state.slots[matched.slot];
    slot.keys = matched.keys;
    slot.weight = matched.weight;
}

namespace {

BilingualText slot_with_name(const EditorState& state, int k) {
    const std::string name = display_text(state.slots[k].name);
    if (k == 0) return format_both(texts::kReloadSlotSource, name);
    return format_both(texts::kReloadSlotTarget, k, name);
}

}  // namespace

BilingualText reload_refusal(const EditorState& state, const SlotCheck& check,
                             const ReadResult& object) {
    switch (check.refusal) {
        case SlotRefusal::kNone:
            return {};
        case SlotRefusal::kNoVertices:
            return {texts::kReloadNoVertices.ja, texts::kReloadNoVertices.en};
        case SlotRefusal::kVertexCount:
            return format_both(texts::kReloadVertexCount, object.vertex_count, state.vertex_count);
        case SlotRefusal::kNonFiniteVertex:
        case SlotRefusal::kNonFiniteOffset:
            break;
    }
    return check.reason();
}

ReloadReport reload_file(UserDialogs& dialogs, EditorState& state, AnyObjectReader& reader,
                         const std::string& file) {
    ReloadReport report;
    const int32_t language = state.UiLanguage;
    const auto refuse = [&](int k, const BilingualText& reason) {
        dialogs.warn(shown_message(language, texts::kReloadRefusal,
                                   slot_with_name(state, k).in(language).c_str(),
                                   display_text(file).c_str(), reason.in(language).c_str()));
        ++report.refused;
    };
    for (const int k : slots_reading(state, file)) {
        const std::string name = state.slots[k].name;
        const std::optional<ReadOutcome> outcome =
            read_by_name(dialogs, language, reader, file, name);
        if (!outcome) continue;
        if (gone(*outcome)) {
            report.file_missing = true;
            return report;
        }
        if (!outcome->ok()) {
            refuse(k, read_failure_words(*outcome, file, name));
            continue;
        }

        ReadResult& object = reader.result();
        if (k == 0) {
            const SlotCheck check = check_reloaded_source(state, object);
            if (!check.ok()) {
                refuse(k, reload_refusal(state, check, object));
            } else {
                reload_source(state, object);
                report.reloaded.push_back(k);
            }
            reader.ReleaseReadResult();
            continue;
        }

        const SlotCheck check = check_target_object(state.slots[0].vertices, object);
        if (!check.ok()) {
            refuse(k, reload_refusal(state, check, object));
            reader.ReleaseReadResult();
            continue;
        }
        // A target loaded as it is in spite of the mark was answered for at its load; only a
        // target whose order has changed since is asked about.
        std::string path = file;
        TargetOrder order = TargetOrder::kAsItIs;
        if (!target_shows_reorder_mark(state.slots[0].vertices, target_positions(state, k))) {
            order = settle_target_order(dialogs, state, k, path, object);
        }
        switch (order) {
            case TargetOrder::kAsItIs:
                reload_target(state, k, object);
                report.reloaded.push_back(k);
                break;
            case TargetOrder::kMatched:
                report.matched.push_back(
                    {k, path, std::move(object), state.slots[k].keys, state.slots[k].weight});
                break;
            case TargetOrder::kCancelled:
                break;
        }
        reader.ReleaseReadResult();
    }
    return report;
}

bool rewrite_kept_import(UserDialogs& dialogs, const EditorState& state, AnyObjectReader& reader,
                         const std::string& kept, const KeptImport& import) {
    const std::vector<int> slots = slots_reading(state, kept);
    if (slots.empty()) return false;
    const int32_t language = state.UiLanguage;
    const auto refuse = [&](const BilingualText& reason) {
        dialogs.warn(shown_message(language, texts::kReloadRefusal,
                                   slot_with_name(state, slots.front()).in(language).c_str(),
                                   display_text(import.from).c_str(), reason.in(language).c_str()));
        reader.ReleaseReadResult();
        return false;
    };
    const std::optional<ReadOutcome> outcome =
        read_by_name(dialogs, language, reader, import.from, import.mesh);
    if (!outcome || gone(*outcome)) return false;
    if (!outcome->ok()) return refuse(read_failure_words(*outcome, import.from, import.mesh));
    if (import.matched != 0) {
        const SlotCheck check = check_target_object(state.slots[0].vertices, reader.result());
        if (!check.ok()) return refuse(reload_refusal(state, check, reader.result()));
        const Rematch rematch =
            rematch_target(dialogs, state, import.matched, reader.result(), kept);
        if (rematch.cancelled) {
            reader.ReleaseReadResult();
            return false;
        }
        if (!rematch.written) return refuse(rematch.refusal);
        reader.ReleaseReadResult();
        return true;
    }
    const ImportedMesh* mesh = reader.imported_mesh();
    if (mesh == nullptr) {
        return refuse(format_both(texts::kReloadNotMeshFile, display_text(import.from)));
    }
    // a mesh of another count would be refused by every slot; the kept file stays as it is
    if (mesh->vertices.size() != static_cast<size_t>(state.vertex_count)) {
        return refuse(format_both(texts::kReloadVertexCount,
                                  static_cast<int>(mesh->vertices.size()), state.vertex_count));
    }
    const FileOutcome written = write_qxm_file(
        kept, qxm_objects_for(*mesh), reader.imported_scene().palette, ExistingFile::kReplace);
    if (!written.ok) return refuse(written.reason);
    reader.ReleaseReadResult();
    return true;
}

BilingualText reload_notice(const EditorState& state, const std::vector<int>& slots,
                            const std::string& file) {
    BilingualText list;
    for (const int k : slots) {
        if (!list.empty()) list += {texts::kReloadListSeparator.ja, texts::kReloadListSeparator.en};
        list += slot_with_name(state, k);
    }
    return format_both(texts::kReloadNotice, list, file_name_of(file));
}

}  // namespace warpkit
