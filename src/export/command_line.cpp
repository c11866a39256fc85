#include "export/command_line.h"

#include <charconv>
#include <cmath>
#include <optional>

namespace warpkit::exporting {

const char* const kUsageText =
    "Usage: warpkit-export COMMAND FILE [OPTIONS]\n"
    "\n"
    "Checks Warpkit projects (.twp), exports their animation and imports meshes, without a\n"
    "window.\n"
    "\n"
    "Commands:\n"
    "  info FILE.qxm                       list the objects of an object file\n"
    "  check PROJECT.twp                   load the project as Warpkit does and report on it\n"
    "  gltf PROJECT.twp -o OUT.glb [--fps N]\n"
    "                                      write the source with one morph target per target\n"
    "                                      and the key animation as glTF 2.0 (OUT.gltf: text\n"
    "                                      with a .bin beside it); N frames a second, 30 unless\n"
    "                                      given\n"
    "  obj PROJECT.twp --frames A..B -o DIR\n"
    "                                      write the blended shape of frames A to B as\n"
    "                                      DIR/frame_0000.obj ... with normals\n"
    "  weights PROJECT.twp --frame N       print each target's weight in percent at frame N\n"
    "  qxm MESHFILE -o OUT.qxm [--object NAME]\n"
    "                                      convert a glTF, OBJ, FBX, COLLADA, PLY or STL file to\n"
    "                                      a QXM object file: every mesh (or the one named), each\n"
    "                                      followed by its morph targets as objects of their own\n"
    "  project IN.glb -o OUT.twp [--fps N]  make a project from a glTF morph animation: the mesh\n"
    "                                      (written as OUT.qxm beside it) is the source, its\n"
    "                                      morph targets the targets, the first weights animation\n"
    "                                      the keys at N frames a second (30 unless given)\n"
    "\n"
    "Options:\n"
    "  -o, --output PATH   the file (gltf, qxm, project) or folder (obj) to write\n"
    "  --fps N             frames per second of the glTF animation (a positive number)\n"
    "  --frames A..B       the frames to write (A alone: one frame)\n"
    "  --frame N           the frame to evaluate\n"
    "  --object NAME       the mesh to convert, by the name qxm lists for it\n"
    "  -h, --help          show this text\n"
    "\n"
    "Exit status: 0 done, 1 a file was refused or could not be written, 2 bad usage.\n";

namespace {

struct CommandName {
    const char* name;
    Command command;
};
constexpr CommandName kCommands[] = {
    {"info", Command::kInfo},       {"check", Command::kCheck},     {"gltf", Command::kGltf},
    {"obj", Command::kObj},         {"weights", Command::kWeights}, {"qxm", Command::kQxm},
    {"project", Command::kProject},
};

bool ends_with_no_case(const std::string& text, const std::string& suffix) {
    if (text.size() < suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        char c = text[text.size() - suffix.size() + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

// A whole, non-negative decimal number that fits in int32; nothing else in the text.
std::optional<int32_t> frame_number(const std::string& text) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return std::nullopt;
    int32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end) return std::nullopt;
    return value;
}

std::optional<double> positive_number(const std::string& text) {
    if (text.empty() || !((text[0] >= '0' && text[0] <= '9') || text[0] == '.')) {
        return std::nullopt;
    }
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || !std::isfinite(value) || value <= 0.0) {
        return std::nullopt;
    }
    return value;
}

ParsedCommandLine refuse(std::string problem) {
    ParsedCommandLine parsed;
    parsed.problem = std::move(problem);
    return parsed;
}

// Which options a command takes.
bool takes(Command command, const std::string& option) {
    if (option == "--output") {
        return command == Command::kGltf || command == Command::kObj || command == Command::kQxm ||
               command == Command::kProject;
    }
    if (option == "--fps") return command == Command::kGltf || command == Command::kProject;
    if (option == "--object") return command == Command::kQxm;
    if (option == "--frames") return command == Command::kObj;
    if (option == "--frame") return command == Command::kWeights;
    return false;
}

}  // namespace

bool is_gltf_text_path(const std::string& path) {
    return ends_with_no_case(path, ".gltf");
}

ParsedCommandLine parse_command_line(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            ParsedCommandLine parsed;
            parsed.ok = true;
            return parsed;
        }
    }
    if (args.empty()) return refuse("no command given");

    CommandLine line;
    const std::string& name = args[0];
    bool known = false;
    for (const CommandName& command : kCommands) {
        if (name == command.name) {
            line.command = command.command;
            known = true;
        }
    }
    if (!known) return refuse("unknown command '" + name + "'");

    // Every option is given at most once; its value follows it or comes after '='.
    std::vector<std::string> seen;
    std::vector<std::string> positional;
    for (size_t i = 1; i < args.size(); ++i) {
        std::string option = args[i];
        std::optional<std::string> value;
        if (option.size() > 1 && option[0] == '-') {
            const size_t equals = option.find('=');
            if (option.rfind("--", 0) == 0 && equals != std::string::npos) {
                value = option.substr(equals + 1);
                option = option.substr(0, equals);
            }
            if (option == "-o") option = "--output";
            if (option != "--output" && option != "--fps" && option != "--frames" &&
                option != "--frame" && option != "--object") {
                return refuse("unknown option '" + option + "'");
            }
            if (!takes(line.command, option)) {
                return refuse(name + " takes no option " + option);
            }
            for (const std::string& earlier : seen) {
                if (earlier == option) return refuse(option + " is given twice");
            }
            seen.push_back(option);
            if (!value) {
                if (i + 1 == args.size()) return refuse(option + " needs a value");
                value = args[++i];
            }
        } else {
            positional.push_back(option);
            continue;
        }

        if (option == "--output") {
            if (value->empty()) return refuse("--output needs a value");
            line.output = *value;
        } else if (option == "--fps") {
            const std::optional<double> fps = positive_number(*value);
            if (!fps) return refuse("--fps needs a positive number, not '" + *value + "'");
            line.fps = *fps;
        } else if (option == "--object") {
            if (value->empty()) return refuse("--object needs a mesh name");
            line.object = *value;
        } else if (option == "--frame") {
            const std::optional<int32_t> frame = frame_number(*value);
            if (!frame) return refuse("--frame needs a frame number, not '" + *value + "'");
            line.frame = *frame;
        } else {
            const size_t dots = value->find("..");
            const std::optional<int32_t> first =
                frame_number(dots == std::string::npos ? *value : value->substr(0, dots));
            const std::optional<int32_t> last =
                dots == std::string::npos ? first : frame_number(value->substr(dots + 2));
            if (!first || !last) {
                return refuse("--frames needs A..B with frame numbers A <= B, not '" + *value +
                              "'");
            }
            if (*first > *last) {
                return refuse("--frames " + *value + " ends before it starts");
            }
            line.first_frame = *first;
            line.last_frame = *last;
        }
    }

    const char* kind = line.command == Command::kInfo      ? "an object file"
                       : line.command == Command::kQxm     ? "a mesh file"
                       : line.command == Command::kProject ? "a glTF file"
                                                           : "a project file";
    if (positional.empty()) return refuse(name + " needs " + kind);
    if (positional.size() > 1) return refuse(name + " takes one file, not '" + positional[1] + "'");
    line.input = positional[0];

    auto given = [&](const char* option) {
        for (const std::string& earlier : seen) {
            if (earlier == option) return true;
        }
        return false;
    };
    if (line.command == Command::kGltf) {
        if (!given("--output")) return refuse("gltf needs an output file (-o OUT.glb)");
        if (!ends_with_no_case(line.output, ".glb") && !is_gltf_text_path(line.output)) {
            return refuse("the output of gltf must end in .glb or .gltf, not '" + line.output +
                          "'");
        }
    }
    if (line.command == Command::kObj) {
        if (!given("--frames")) return refuse("obj needs the frames to write (--frames A..B)");
        if (!given("--output")) return refuse("obj needs an output folder (-o DIR)");
    }
    if (line.command == Command::kQxm || line.command == Command::kProject) {
        const char* suffix = line.command == Command::kQxm ? ".qxm" : ".twp";
        if (!given("--output")) {
            return refuse(name + " needs an output file (-o OUT" + suffix + ")");
        }
        if (!ends_with_no_case(line.output, suffix)) {
            return refuse("the output of " + name + " must end in " + suffix + ", not '" +
                          line.output + "'");
        }
    }
    if (line.command == Command::kWeights && !given("--frame")) {
        return refuse("weights needs a frame (--frame N)");
    }

    ParsedCommandLine parsed;
    parsed.ok = true;
    parsed.line = line;
    return parsed;
}

}  // namespace warpkit::exporting
