#include "project/recovery.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <random>
#include <sstream>

#include "base/display_text.h"
#include "base/input_file.h"

namespace warpkit {
namespace {

constexpr const char* kInfoMagic = "Warpkit_Recovery_Info_v1";
constexpr const char* kProjectSuffix = ".twp";
constexpr const char* kInfoSuffix = ".info";
constexpr const char* kLockSuffix = ".lock";

bool ends_with(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string file_name_of(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

// Files of /proc are far smaller than this; their size shows as 0, so they are read to the end.
constexpr int64_t kMaxSystemFileBytes = 64 * 1024;

// The first line of a small system file, without its line end; empty when it cannot be read.
std::string first_line_of(const std::string& path) {
    std::string text;
    if (read_rest(InputFile::open(path), kMaxSystemFileBytes, text) != 0) return {};
    return text.substr(0, text.find('\n'));
}

// Field 22 of /proc/<pid>/stat, the start time; counted after the command name, which is in
// parentheses and may itself hold blanks and parentheses.
std::optional<uint64_t> proc_start_ticks(int64_t pid) {
    const InputFile in = InputFile::open("/proc/" + std::to_string(pid) + "/stat");
    if (!in.is_open()) return std::nullopt;
    std::string text;
    read_rest(in, kMaxSystemFileBytes, text);
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return uint64_t{0};
    std::istringstream fields(text.substr(close + 1));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
        if (i < 22) continue;
        uint64_t ticks = 0;
        const auto parsed = std::from_chars(field.data(), field.data() + field.size(), ticks);
        if (parsed.ec == std::errc()) return ticks;
    }
    return uint64_t{0};  // runs, start unknown
}

// The "btime" line of /proc/stat: when this boot began, in seconds since 1970; 0 unknown.
int64_t proc_boot_time() {
    std::string text;
    // /proc/stat grows with the number of processors: a line each, some 200 bytes.
    if (read_rest(InputFile::open("/proc/stat"), 16 * 1024 * 1024, text) != 0) return 0;
    const size_t line = text.find("\nbtime ");
    if (line == std::string::npos) return 0;
    int64_t seconds = 0;
    const char* start = text.data() + line + 7;
    std::from_chars(start, text.data() + text.size(), seconds);
    return seconds;
}

std::string escape_value(const std::string& bytes) {
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || c == '%') {
            char code[4];
            std::snprintf(code, sizeof code, "%%%02X", byte);
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<std::string> unescape_value(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = hex_digit(text[i + 1]);
        const int low = hex_digit(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

template <typename Number>
bool parse_number(const std::string& text, Number& out) {
    Number value{};
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
    if (parsed.ec != std::errc() || parsed.ptr != text.data() + text.size()) return false;
    out = value;
    return true;
}

int64_t modified_at(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_mtime) : 0;
}

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

BilingualText system_words(const Bilingual& format, const std::string& path, int err) {
    return format_both(format, display_text(path), std::strerror(err));
}

}  // namespace

std::string recovery_folder(const char* xdg_state_home, const char* home) {
    if (xdg_state_home != nullptr && xdg_state_home[0] == '/') {
        return std::string(xdg_state_home) + "/warpkit";
    }
    if (home != nullptr && home[0] == '/') return std::string(home) + "/.local/state/warpkit";
    return {};
}

std::string kept_folder(const std::string& folder) {
    return folder + "/kept";
}

RecoveryFiles recovery_files(const std::string& folder, const std::string& id) {
    const std::string stem = folder + "/" + id;
    return {id, stem + kProjectSuffix, stem + kInfoSuffix, stem + kLockSuffix};
}

std::string new_recovery_id() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char when[32];
    std::strftime(when, sizeof when, "%Y%m%d-%H%M%S", &local);
    std::random_device random;
    char id[96];
    std::snprintf(id, sizeof id, "%s-%lld-%06x", when, static_cast<long long>(getpid()),
                  random() & 0xffffffu);
    return id;
}

FileOutcome make_recovery_folder(const std::string& folder) {
    // each missing part in turn, so the parents (~/.local/state) are the user's alone as well
    for (size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
        const std::string part = folder.substr(0, end);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return {false, system_words({"フォルダ %s を作成できません：%s",
                                         "the folder %s could not be created: %s"},
                                        part, errno)};
        }
        if (end == std::string::npos) break;
    }
    return {true, {}};
}

ProcessProbe system_probe(const std::string& host) {
    ProcessProbe probe;
    probe.host = host;
    probe.boot_id = first_line_of("/proc/sys/kernel/random/boot_id");
    // Without /proc no process can be looked up, which must not read as "none runs".
    if (proc_start_ticks(getpid())) probe.start_ticks_of = proc_start_ticks;
    probe.boot_time = proc_boot_time();
    probe.ticks_per_second = std::max<int64_t>(sysconf(_SC_CLK_TCK), 0);
    return probe;
}

SessionOwner this_process(const ProcessProbe& probe) {
    SessionOwner owner;
    owner.pid = getpid();
    owner.host = probe.host;
    owner.boot_id = probe.boot_id;
    if (probe.start_ticks_of) owner.start_ticks = probe.start_ticks_of(owner.pid).value_or(0);
    return owner;
}

bool owner_has_ended(const SessionOwner& owner, const ProcessProbe& now) {
    if (owner.pid <= 0) return false;
    if (!owner.host.empty() && owner.host != now.host) return false;
    if (!owner.boot_id.empty() && !now.boot_id.empty() && owner.boot_id != now.boot_id) {
        return true;
    }
    if (!now.start_ticks_of) return false;
    const std::optional<uint64_t> started = now.start_ticks_of(owner.pid);
    if (!started) return true;
    return owner.start_ticks != 0 && *started != 0 && *started != owner.start_ticks;
}

bool owner_seen_running(const SessionOwner& owner, const ProcessProbe& now) {
    if (owner.pid <= 0 || owner.start_ticks == 0 || !now.start_ticks_of) return false;
    if (owner.host != now.host || owner.boot_id != now.boot_id) return false;
    return now.start_ticks_of(owner.pid) == owner.start_ticks;
}

bool lock_left_over(const SessionOwner& holder, int64_t written_at, const ProcessProbe& now) {
    if (owner_has_ended(holder, now)) return true;
    if (holder.pid <= 0 || holder.host != now.host || !now.start_ticks_of || now.boot_time <= 0 ||
        now.ticks_per_second <= 0) {
        return false;
    }
    const std::optional<uint64_t> ticks = now.start_ticks_of(holder.pid);
    if (!ticks || *ticks == 0) return false;
    const int64_t started_at = now.boot_time + static_cast<int64_t>(*ticks) / now.ticks_per_second;
    // Both times are whole seconds and the boot time is rounded: a second either way is no
    // proof. A writer takes its lock after it starts, never before.
    return started_at > written_at + 1;
}

bool copy_left_behind(bool lock_taken, int64_t lock_holder,
                      const std::optional<SessionOwner>& writer, const ProcessProbe& now) {
    if (lock_taken) return !writer || !owner_seen_running(*writer, now);
    if (!writer || lock_holder != writer->pid) return false;
    return owner_has_ended(*writer, now);
}

std::string write_recovery_info(const RecoveryInfo& info) {
    std::string text = std::string(kInfoMagic) + "\n";
    const auto line = [&text](const char* key, const std::string& value) {
        text += std::string(key) + " " + value + "\n";
    };
    line("project_folder", escape_value(info.project_folder));
    line("save_name", escape_value(info.save_name));
    line("frame", std::to_string(info.current_frame));
    line("language", std::to_string(info.language));
    line("pid", std::to_string(info.owner.pid));
    line("host", escape_value(info.owner.host));
    line("boot_id", escape_value(info.owner.boot_id));
    line("start_ticks", std::to_string(info.owner.start_ticks));
    return text;
}

bool parse_recovery_info(const std::string& text, RecoveryInfo& out, BilingualText& reason) {
    std::istringstream lines(text);
    std::string line;
    if (!std::getline(lines, line) || line != kInfoMagic) {
        reason = {"復元情報ファイルではありません", "it is not a recovery information file"};
        return false;
    }
    RecoveryInfo info;
    const std::map<std::string, std::string*> texts = {{"project_folder", &info.project_folder},
                                                       {"save_name", &info.save_name},
                                                       {"host", &info.owner.host},
                                                       {"boot_id", &info.owner.boot_id}};
    for (int number = 2; std::getline(lines, line); ++number) {
        const size_t blank = line.find(' ');
        const std::string key = line.substr(0, blank);
        const std::string value = blank == std::string::npos ? "" : line.substr(blank + 1);
        bool ok = true;
        if (const auto found = texts.find(key); found != texts.end()) {
            const std::optional<std::string> bytes = unescape_value(value);
            if (bytes) *found->second = *bytes;
            ok = bytes.has_value();
        } else if (key == "frame") {
            ok = parse_number(value, info.current_frame);
        } else if (key == "language") {
            ok = parse_number(value, info.language);
        } else if (key == "pid") {
            ok = parse_number(value, info.owner.pid);
        } else if (key == "start_ticks") {
            ok = parse_number(value, info.owner.start_ticks);
        }
        if (!ok) {
            reason = format_both({"%d 行目の値が読めません", "the value on line %d cannot be read"},
                                 number);
            return false;
        }
    }
    out = info;
    return true;
}

BilingualText read_recovery_text(const std::string& path, int64_t max_bytes, std::string& out) {
    out.clear();
    const InputFile input = InputFile::open(path);
    if (!input.is_open()) return input.cause();
    const int err = input.size() > max_bytes ? EFBIG : read_rest(input, max_bytes, out);
    if (err == EFBIG) {
        return format_both({"復元用のファイルとしては大きすぎます（%lld バイトを超えています）",
                            "it is over %lld bytes, more than a recovery file can be"},
                           static_cast<long long>(max_bytes));
    }
    if (err != 0) return same_in_both(std::strerror(err));
    return {};
}

std::vector<FoundCopy> find_copies(const std::string& folder, const std::string& own_id) {
    std::map<std::string, FoundCopy> found;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.empty() || name[0] == '.') continue;
            for (const char* suffix : {kProjectSuffix, kInfoSuffix, kLockSuffix}) {
                if (!ends_with(name, suffix)) continue;
                const std::string id = name.substr(0, name.size() - std::strlen(suffix));
                if (id.empty() || id == own_id) continue;
                FoundCopy& copy = found[id];
                copy.files = recovery_files(folder, id);
                if (suffix == kProjectSuffix) copy.has_project = true;
                if (suffix == kInfoSuffix) copy.has_info = true;
            }
        }
        closedir(dir);
    }
    std::vector<FoundCopy> copies;
    for (auto& [id, copy] : found) {
        if (copy.has_project) copy.written_at = modified_at(copy.files.project);
        copies.push_back(copy);
    }
    std::sort(copies.begin(), copies.end(), [](const FoundCopy& a, const FoundCopy& b) {
        if (a.has_project != b.has_project) return a.has_project;
        if (a.written_at != b.written_at) return a.written_at > b.written_at;
        return a.files.id > b.files.id;
    });
    return copies;
}

FileOutcome move_aside(const RecoveryFiles& files) {
    const std::string folder = files.project.substr(0, files.project.rfind('/'));
    const std::string kept = kept_folder(folder);
    if (mkdir(kept.c_str(), 0700) != 0 && errno != EEXIST) {
        return {false, system_words({"フォルダ %s を作成できません：%s",
                                     "the folder %s could not be created: %s"},
                                    kept, errno)};
    }
    // the project first: a side file left behind alone is tidied away at a later start
    for (const std::string* path : {&files.project, &files.info}) {
        if (!exists(*path)) continue;
        const std::string moved = kept + "/" + file_name_of(*path);
        if (std::rename(path->c_str(), moved.c_str()) != 0 && path == &files.project) {
            return {false, system_words({"%s を移せません：%s", "%s could not be moved: %s"}, *path,
                                        errno)};
        }
    }
    return {true, {}};
}

void remove_copy(const RecoveryFiles& files) {
    std::remove(files.project.c_str());
    std::remove(files.info.c_str());
}

void remove_stale_temporaries(const std::string& folder, int64_t age_seconds) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return;
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    const std::string prefix = kTemporaryPrefix;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string path = folder + "/" + name;
        if (now - modified_at(path) > age_seconds) std::remove(path.c_str());
    }
    closedir(dir);
}

std::optional<BilingualText> FailureNotice::after(bool ok, const BilingualText& reason) {
    if (ok) {
        failing_ = false;
        return std::nullopt;
    }
    if (failing_) return std::nullopt;
    failing_ = true;
    return reason;
}

}  // namespace warpkit
