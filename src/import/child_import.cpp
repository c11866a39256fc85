#include "import/child_import.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include "base/bilingual_text.h"
#include "base/display_text.h"
#include "base/sanitized.h"
#include "import/file_bytes.h"
#include "model/qxm_reader.h"

namespace warpkit {
namespace {

constexpr size_t kMaxCapture = size_t{1} << 20;
constexpr int64_t kMiB = int64_t{1} << 20;

// A folder of its own under the system's temporary folder, removed with its contents.
class ScratchFolder {
public:
    ScratchFolder() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/warpkit-import-XXXXXX";
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

void close_quietly(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

// The child's last words: the last line of its error output without the program's prefix, and
// the Japanese line that follows it when there is one.
BilingualText last_words(const std::string& err) {
    std::istringstream lines(err);
    std::string english;
    std::string japanese;
    bool has_japanese = false;
    const std::string mark = kJapaneseReasonMark;
    for (std::string line; std::getline(lines, line);) {
        while (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        has_japanese = line.compare(0, mark.size(), mark) == 0;
        if (has_japanese) {
            japanese = line.substr(mark.size());
        } else {
            english = line;
        }
    }
    const std::string prefix = "warpkit-export: ";
    if (english.compare(0, prefix.size(), prefix) == 0) english = english.substr(prefix.size());
    // the file is named by the caller already
    const std::string named = " cannot be imported: ";
    const size_t reason = english.find(named);
    if (reason != std::string::npos) english = english.substr(reason + named.size());
    if (english.empty()) return {};
    if (!has_japanese) japanese = format_text("warpkit-export の報告：%s", english.c_str());
    return {japanese, english};
}

// What the machine has free for a new process: the kernel's own estimate, or the free pages
// where there is none.
int64_t available_memory() {
    std::ifstream info("/proc/meminfo");
    std::string key;
    int64_t kib = 0;
    std::string unit;
    while (info >> key >> kib >> unit) {
        if (key == "MemAvailable:") return kib * 1024;
    }
    const int64_t pages = sysconf(_SC_AVPHYS_PAGES);
    const int64_t page_size = sysconf(_SC_PAGESIZE);
    return pages > 0 && page_size > 0 ? pages * page_size : int64_t{2} << 30;
}

// Collects both outputs of the child `pid` until both end, then reaps it; at the deadline, or
// when `watch` says stop, kills its whole process group and reaps it. May run on a thread of its
// own: it touches nothing but its arguments.
void wait_for_child(pid_t pid, int out_fd, int err_fd, const ChildLimits& limits,
                    const ChildWatch& watch, ChildRun& run, int& status) {
    const auto started = std::chrono::steady_clock::now();
    const auto deadline = started + std::chrono::seconds(limits.timeout_seconds);
    const auto carry_on = [&] {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            run.timed_out = true;
            return false;
        }
        const double share = std::chrono::duration<double>(now - started).count() /
                             std::max(1, limits.timeout_seconds);
        if (!watch(share)) {
            run.cancelled = true;
            return false;
        }
        return true;
    };
    int fds[2] = {out_fd, err_fd};
    std::string* texts[2] = {&run.out, &run.err};
    bool stopped = false;
    while ((fds[0] >= 0 || fds[1] >= 0) && !stopped) {
        if (!carry_on()) {
            stopped = true;
            break;
        }
        pollfd polled[2];
        nfds_t count = 0;
        for (const int fd : fds) {
            if (fd >= 0) polled[count++] = pollfd{fd, POLLIN, 0};
        }
        // a tenth of a second at most, so that a Cancel takes effect at once
        const int ready = poll(polled, count, 100);
        if (ready < 0 && errno != EINTR) break;
        for (int k = 0; k < 2; ++k) {
            if (fds[k] < 0) continue;
            const pollfd* entry = std::find_if(polled, polled + count,
                                               [&](const pollfd& p) { return p.fd == fds[k]; });
            if (entry == polled + count || entry->revents == 0) continue;
            char buffer[65536];
            const ssize_t n = read(fds[k], buffer, sizeof buffer);
            if (n > 0) {
                const size_t room = kMaxCapture - std::min(kMaxCapture, texts[k]->size());
                texts[k]->append(buffer, std::min(room, static_cast<size_t>(n)));
            } else if (n == 0 || errno != EINTR) {
                close_quietly(fds[k]);
            }
        }
    }
    close_quietly(fds[0]);
    close_quietly(fds[1]);

    // the child closed its outputs; it gets until the deadline to end
    while (!stopped) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) return;
        if (done < 0 && errno != EINTR) return;
        if (!carry_on()) break;
        usleep(10000);
    }
    kill(-pid, SIGKILL);
    kill(pid, SIGKILL);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

BilingualText run_problem(const ChildRun& run, const ChildLimits& limits) {
    if (!run.started) {
        return format_both(
            {"warpkit-export を起動できません：%s", "warpkit-export could not be started: %s"},
            run.err);
    }
    if (run.cancelled) {
        return {"読み込みを取り消しました", "the import was cancelled"};
    }
    if (run.timed_out) {
        return format_both({"読み込みが %d 秒を超えたため止めました",
                            "reading it took longer than %d seconds and was stopped"},
                           limits.timeout_seconds);
    }
    if (run.signal != 0) {
        BilingualText words = format_both({"読み込みプログラムがシグナル %d（%s）で止まりました",
                                           "the importer stopped with signal %d (%s)"},
                                          run.signal, strsignal(run.signal));
        if (limits.memory_bytes > 0) {
            words += format_both({"。使ってよいメモリ %lld MiB では足りなかったのかもしれません",
                                  "; it may have needed more than the %lld MiB it may use"},
                                 static_cast<long long>(limits.memory_bytes / kMiB));
        }
        return words;
    }
    if (run.exit_status != 0) {
        BilingualText words = last_words(run.err);
        if (!words.empty()) return words;
        return format_both({"読み込みプログラムが終了コード %d で終わりました",
                            "the importer ended with status %d"},
                           run.exit_status);
    }
    return {};
}

// Reads the listing back: for each object, the mesh it is a target of (or -1), and the joined
// corners. False when the lines do not say that of every object.
bool read_listing(const std::string& out, size_t objects, std::vector<int64_t>& target_of,
                  int64_t& joined) {
    target_of.assign(objects, -2);
    joined = 0;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::vector<std::string> tokens;
        for (std::string token; words >> token;) tokens.push_back(token);
        if (tokens.size() >= 2 && tokens[0] == "joined") {
            joined = std::strtoll(tokens[1].c_str(), nullptr, 10);
            continue;
        }
        if (tokens.size() < 4 || tokens.size() > 5 ||
            tokens[0].find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const size_t index = std::strtoull(tokens[0].c_str(), nullptr, 10);
        if (index >= objects) return false;
        target_of[index] = tokens.size() == 5 ? std::strtoll(tokens[4].c_str(), nullptr, 10) : -1;
    }
    return std::none_of(target_of.begin(), target_of.end(), [](int64_t of) { return of == -2; });
}

// A full name on one line of the listing, as one word: blanks, controls and '%' as %XX.
std::string listed_name(const std::string& name) {
    std::string word;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > 0x20 && byte != 0x7F && c != '%') {
            word += c;
        } else {
            word += format_text("%%%02X", byte);
        }
    }
    return word;
}

std::string name_of_listed(const std::string& word) {
    std::string name;
    for (size_t i = 0; i < word.size(); ++i) {
        if (word[i] == '%' && i + 2 < word.size()) {
            name += static_cast<char>(std::strtol(word.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            name += word[i];
        }
    }
    return name;
}

// The "renamed INDEX NAME" lines of the listing: the objects whose file gave them a longer or
// other name, which the child had to change.
void read_renamed(const std::string& out, const std::vector<std::pair<size_t, int>>& place_of,
                  ImportedScene& scene) {
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string word, index, full;
        if (!(words >> word >> index >> full) || word != "renamed" ||
            index.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const size_t i = std::strtoull(index.c_str(), nullptr, 10);
        if (i >= place_of.size()) continue;
        const auto [mesh, target] = place_of[i];
        const std::string& stored =
            target < 0 ? scene.meshes[mesh].name
                       : scene.meshes[mesh].targets[static_cast<size_t>(target)].name;
        scene.renamed.push_back({mesh, target, name_of_listed(full), stored});
    }
}

BilingualText converted_unreadable(const BilingualText& reason) {
    return format_both(
        {"変換したファイルを読めません：%s", "the converted file cannot be read: %s"}, reason);
}

// The meshes of a QXM file written by the child: each object that is no target is a mesh, and
// the targets listed after it are its morph targets.
ImportOutcome scene_from_qxm(const std::string& qxm, const std::string& listing,
                             ImportedScene& scene) {
    ObjectTable table;
    ReadOutcome outcome = read_object_table(qxm, table);
    if (!outcome.ok()) return ImportOutcome{false, converted_unreadable(outcome.reason)};
    std::vector<int64_t> target_of;
    if (!read_listing(listing, table.objects.size(), target_of, scene.joined_corners)) {
        return ImportOutcome{
            false,
            {"warpkit-export が書き出したオブジェクトの一覧を、このプログラムは読めません",
             "warpkit-export listed the objects it wrote in a way this program does not read"}};
    }
    ObjectFileReader reader;
    std::vector<int64_t> mesh_of_object(table.objects.size(), -1);
    std::vector<std::pair<size_t, int>> place_of;  // mesh and target of each object
    for (size_t i = 0; i < table.objects.size(); ++i) {
        outcome = reader.ReadObject(
            qxm, std::string(), false,
            [i](const ObjectTable&, const std::string&) { return static_cast<int32_t>(i); });
        if (!outcome.ok()) return ImportOutcome{false, converted_unreadable(outcome.reason)};
        ReadResult& object = reader.result();
        if (i == 0) {
            scene.palette = QxmPalette{object.red, object.green, object.blue};
        }
        if (target_of[i] < 0) {
            place_of.emplace_back(scene.meshes.size(), -1);
            mesh_of_object[i] = static_cast<int64_t>(scene.meshes.size());
            scene.meshes.push_back(ImportedMesh{object.object_name,
                                                std::move(object.vertices),
                                                std::move(object.triangles),
                                                {},
                                                {},
                                                {}});
            continue;
        }
        const auto of = static_cast<size_t>(target_of[i]);
        if (of >= i || mesh_of_object[of] < 0) {
            return ImportOutcome{
                false, format_both({"warpkit-export はオブジェクト %zu を、それより前にある"
                                    "メッシュではないオブジェクトのターゲットとしています",
                                    "warpkit-export listed object %zu as a target of an object "
                                    "that is no mesh before it"},
                                   i)};
        }
        ImportedMesh& mesh = scene.meshes[static_cast<size_t>(mesh_of_object[of])];
        place_of.emplace_back(static_cast<size_t>(mesh_of_object[of]),
                              static_cast<int>(mesh.targets.size()));
        mesh.targets.push_back(MorphShape{object.object_name, std::move(object.vertices)});
    }
    read_renamed(listing, place_of, scene);
    return ImportOutcome{true, {}};
}

constexpr const char* kTransferHeader = "warpkit weights animations 2";

const char* interpolation_word(Interpolation interpolation) {
    switch (interpolation) {
        case Interpolation::kStep:
            return "step";
        case Interpolation::kCubicSpline:
            return "cubic";
        case Interpolation::kLinear:
            break;
    }
    return "linear";
}

}  // namespace

std::string animation_transfer_text(const std::vector<WeightsAnimation>& animations) {
    std::string text = std::string(kTransferHeader) + format_text("\n%zu\n", animations.size());
    const auto numbers = [&text](const std::vector<float>& values) {
        for (size_t i = 0; i < values.size(); ++i)
            text += format_text(i ? " %.9g" : "%.9g", static_cast<double>(values[i]));
        text += "\n";
    };
    for (const WeightsAnimation& animation : animations) {
        // the name as its bytes, whatever they are, on a line of its own
        text += format_text("%zu %zu %zu %zu %s %zu\n", animation.mesh, animation.clip,
                            animation.targets, animation.times.size(),
                            interpolation_word(animation.interpolation), animation.name.size()) +
                animation.name + "\n";
        numbers(animation.times);
        numbers(animation.values);
    }
    return text;
}

BilingualText read_animation_transfer(const std::string& text, const ImportedScene& scene,
                                      std::vector<WeightsAnimation>& animations) {
    animations.clear();
    const BilingualText unreadable = {
        "warpkit-export が渡したアニメーションを、このプログラムは読めません",
        "warpkit-export passed an animation this program does not read"};
    std::istringstream in(text);
    std::string header;
    size_t count = 0;
    if (!std::getline(in, header) || header != kTransferHeader || !(in >> count) ||
        count > text.size()) {
        return unreadable;
    }
    // every number takes at least two bytes, so no count beyond the text is allocated
    const auto read_numbers = [&](size_t how_many, std::vector<float>& out) {
        if (how_many > text.size() / 2) return false;
        out.resize(how_many);
        for (float& value : out) {
            if (!(in >> value) || !std::isfinite(value)) return false;
        }
        return true;
    };
    for (size_t a = 0; a < count; ++a) {
        WeightsAnimation animation;
        size_t keys = 0;
        size_t name_bytes = 0;
        std::string interpolation;
        if (!(in >> animation.mesh >> animation.clip >> animation.targets >> keys >>
              interpolation >> name_bytes) ||
            in.get() != '\n' || name_bytes > text.size()) {
            return unreadable;
        }
        animation.name.resize(name_bytes);
        if (!in.read(animation.name.data(), static_cast<std::streamsize>(name_bytes)))
            return unreadable;
        size_t stride = 1;
        if (interpolation == "step") {
            animation.interpolation = Interpolation::kStep;
        } else if (interpolation == "cubic") {
            animation.interpolation = Interpolation::kCubicSpline;
            stride = 3;
        } else if (interpolation != "linear") {
            return unreadable;
        }
        if (animation.mesh >= scene.meshes.size() ||
            animation.targets != scene.meshes[animation.mesh].targets.size() ||
            animation.targets == 0 || keys == 0 || keys > text.size() ||
            animation.targets > text.size() / (keys * stride) ||
            !read_numbers(keys, animation.times) ||
            !read_numbers(keys * stride * animation.targets, animation.values)) {
            animations.clear();
            return unreadable;
        }
        for (size_t k = 1; k < keys; ++k) {
            if (!(animation.times[k] > animation.times[k - 1])) {
                animations.clear();
                return unreadable;
            }
        }
        animations.push_back(std::move(animation));
    }
    return {};
}

ChildLimits child_limits_for(int64_t file_bytes, int64_t available_bytes, int64_t own_limit) {
    ChildLimits limits;
    int64_t cap = std::min(int64_t{4} << 30, std::max<int64_t>(available_bytes, 0) / 2);
    if (own_limit > 0) cap = std::min(cap, own_limit);
    const int64_t grown =
        (int64_t{1} << 30) +
        std::min<int64_t>(std::max<int64_t>(file_bytes, 0), int64_t{1} << 32) * 48;
    // 0 would mean no limit at all
    limits.memory_bytes = std::max(std::min(grown, cap), kMiB);
    limits.timeout_seconds =
        60 + static_cast<int>(std::min<int64_t>(std::max<int64_t>(file_bytes, 0) / kMiB, 600));
    return limits;
}

ChildLimits child_limits_for(int64_t file_bytes) {
    struct rlimit own;
    const int64_t own_limit = getrlimit(RLIMIT_AS, &own) == 0 && own.rlim_cur != RLIM_INFINITY
                                  ? static_cast<int64_t>(own.rlim_cur)
                                  : 0;
    ChildLimits limits = child_limits_for(file_bytes, available_memory(), own_limit);
#ifdef WARPKIT_SANITIZED
    limits.memory_bytes = 0;
#endif
    return limits;
}

struct ChildWaitAccess {
    static thread_local ChildWaitPlace* current;
    // Runs `wait` through the innermost place of this thread, or right here; false when
    // cancelled.
    static bool run(const std::function<void(const ChildWatch&)>& wait) {
        ChildWaitPlace* place = current;
        if (place == nullptr || !place->runner_) {
            wait([](double) { return true; });
            return true;
        }
        const bool went_on = place->runner_(wait);
        if (!went_on) place->cancelled_ = true;
        return went_on;
    }
};
thread_local ChildWaitPlace* ChildWaitAccess::current = nullptr;

ChildWaitPlace::ChildWaitPlace(ChildWaitRunner runner)
    : runner_(std::move(runner)), outer_(std::exchange(ChildWaitAccess::current, this)) {}

ChildWaitPlace::~ChildWaitPlace() {
    ChildWaitAccess::current = outer_;
}

ChildRun run_child(const std::vector<std::string>& argv, const ChildLimits& limits) {
    ChildRun run;
    // everything the child needs is made before fork: after it, only calls that allocate nothing
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    int out_pipe[2] = {-1, -1};
    int err_pipe[2] = {-1, -1};
    if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) {
        run.err = std::strerror(errno);
        for (int* fd : {&out_pipe[0], &out_pipe[1], &err_pipe[0], &err_pipe[1]}) close_quietly(*fd);
        return run;
    }
    struct rlimit memory = {static_cast<rlim_t>(limits.memory_bytes),
                            static_cast<rlim_t>(limits.memory_bytes)};
    struct rlimit no_core = {0, 0};

    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        if (limits.memory_bytes > 0) setrlimit(RLIMIT_AS, &memory);
        setrlimit(RLIMIT_CORE, &no_core);
        const int nothing = open("/dev/null", O_RDONLY);
        if (nothing >= 0) dup2(nothing, 0);
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        execv(args[0], args.data());
        _exit(127);
    }
    close_quietly(out_pipe[1]);
    close_quietly(err_pipe[1]);
    if (pid < 0) {
        run.err = std::strerror(errno);
        close_quietly(out_pipe[0]);
        close_quietly(err_pipe[0]);
        return run;
    }
    run.started = true;
    setpgid(pid, pid);  // as the child does, whichever runs first

    int status = 0;
    bool went_on = false;
    try {
        went_on = ChildWaitAccess::run([&](const ChildWatch& watch) {
            wait_for_child(pid, out_pipe[0], err_pipe[0], limits, watch, run, status);
        });
    } catch (...) {
        // a wait cut short leaves no child running
        kill(-pid, SIGKILL);
        kill(pid, SIGKILL);
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        throw;
    }
    if (!went_on) run.cancelled = true;
    if (run.timed_out || run.cancelled) return run;
    if (WIFEXITED(status)) run.exit_status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
    return run;
}

std::string find_export_tool(const std::string& program_folder) {
    for (const char* place : {"/warpkit-export", "/src/export/warpkit-export"}) {
        const std::string candidate = program_folder + place;
        struct stat info;
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

ImportOutcome import_in_child(const std::string& tool, const std::string& path,
                              const ChildLimits& limits, ImportedScene& scene) {
    scene = ImportedScene{};
    if (tool.empty()) {
        return ImportOutcome{false,
                             {"この種類のファイルを読む warpkit-export が、プログラムと同じ場所に"
                              "インストールされていません",
                              "warpkit-export, which reads files of this kind, is not installed "
                              "beside the program"}};
    }
    ScratchFolder scratch;
    if (scratch.path().empty()) {
        return ImportOutcome{false, format_both({"一時フォルダを作れません：%s",
                                                 "no temporary folder could be made: %s"},
                                                std::strerror(errno))};
    }
    const std::string converted = scratch.path() + "/converted.qxm";
    const std::string animated = scratch.path() + "/animations.txt";
    // A name that starts with '-' would read as an option.
    const std::string input = !path.empty() && path[0] == '-' ? "./" + path : path;
    const ChildRun run = run_child(
        {tool, "qxm", input, "-o", converted, kJapaneseReasonOption, kAnimationsOption, animated},
        limits);
    BilingualText problem = run_problem(run, limits);
    if (!problem.empty()) return ImportOutcome{false, std::move(problem)};
    ImportOutcome outcome = scene_from_qxm(converted, run.out, scene);

    // the animations, passed beside the object file
    if (outcome.ok) {
        std::string text;
        std::vector<WeightsAnimation> animations;
        problem = read_file_bytes(animated, int64_t{1} << 31, text);
        if (problem.empty()) problem = read_animation_transfer(text, scene, animations);
        if (!problem.empty()) {
            outcome = ImportOutcome{false, converted_unreadable(problem)};
        } else {
            scene.animations = std::move(animations);
        }
    }

    if (!outcome.ok) scene = ImportedScene{};
    return outcome;
}

std::string written_objects_listing(const std::string& path, const ImportedScene& scene,
                                    const std::vector<size_t>& meshes) {
    size_t objects = 0;
    for (const size_t m : meshes) objects += 1 + scene.meshes[m].targets.size();
    std::string out =
        display_text(path) + format_text(": %zu object%s, %zu colour%s\n", objects,
                                         objects == 1 ? "" : "s", scene.palette.size(),
                                         scene.palette.size() == 1 ? "" : "s");
    out += "index  name             vertices  triangles  target of\n";
    size_t index = 0;
    const auto line = [&](const std::string& name, size_t vertices, size_t triangles,
                          const std::string& of) {
        std::string shown = display_text(name);
        size_t width = 0;
        for (const unsigned char c : shown) width += (c & 0xC0) != 0x80;
        shown.append(width < 16 ? 16 - width : 1, ' ');
        out += format_text("%5zu  ", index++) + shown +
               format_text("%9zu  %9zu", vertices, triangles) + (of.empty() ? "" : "  " + of) +
               "\n";
    };
    std::vector<size_t> first_index(scene.meshes.size(), SIZE_MAX);
    for (const size_t m : meshes) {
        const ImportedMesh& mesh = scene.meshes[m];
        first_index[m] = index;
        const std::string of = std::to_string(index);
        line(mesh.name, mesh.vertices.size(), mesh.triangles.size(), std::string());
        for (const MorphShape& target : mesh.targets)
            line(target.name, target.vertices.size(), mesh.triangles.size(), of);
    }
    if (scene.joined_corners > 0) {
        out += format_text(
            "joined %lld corners that lie together in the base and in every blend shape\n",
            static_cast<long long>(scene.joined_corners));
    }
    // last, so that names however long cannot push the rest out of what the parent reads
    for (const RenamedObject& renamed : scene.renamed) {
        if (first_index[renamed.mesh] == SIZE_MAX) continue;
        out += format_text("renamed %zu ",
                           first_index[renamed.mesh] + static_cast<size_t>(renamed.target + 1)) +
               listed_name(renamed.full) + "\n";
    }
    return out;
}

}  // namespace warpkit
