#include "export/command_line.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

#include "import/child_import.h"

namespace warpkit::exporting {

const char* const kUsageText =
    "Usage: warpkit-export COMMAND FILE [OPTIONS]\n"
    "\n"
    "Checks Warpkit projects (.twp), exports their animation and imports meshes, without a\n"
    "window.\n"
    "\n"
    "Commands:\n"
    "  info FILE.qxm                       list the objects of an object file\n"
    "  info MESHFILE                       list the meshes of a mesh file (vertices, triangles,\n"
    "                                      morph targets by their full names) and the\n"
    "                                      animations of their weights (length, key times, the\n"
    "                                      meshes each drives), numbered for --mesh, --animation\n"
    "  check PROJECT.twp [--strict]        load the project as Warpkit does and report on it\n"
    "  gltf PROJECT.twp -o OUT.glb [--fps N] [--frames A..B] [--step N] [--normals]\n"
    "       [--compress] [--names plain] [--smooth-angle DEGREES] [--strict]\n"
    "  gltf PROJECT.twp --onto ORIGINAL.glb -o OUT.glb [--mesh NAME|INDEX]\n"
    "       [--animation-name NAME] [--replace-animation NAME] [--fps N] [--frames A..B]\n"
    "       [--step N] [--normals] [--strict]\n"
    "                                      write the source with one morph target per target\n"
    "                                      and the key animation as glTF 2.0 (OUT.gltf: text\n"
    "                                      with a .bin beside it); with --onto, the original\n"
    "                                      file whole with the animation added to the mesh\n"
    "                                      that is the project's source\n"
    "  obj PROJECT.twp -o DIR [--frames A..B] [--step N] [--strict]\n"
    "                                      write the blended shape of every frame of the\n"
    "                                      timeline (or of frames A to B) with normals, as\n"
    "                                      DIR/frame_0000.obj ..., named by frame number\n"
    "  pc2 PROJECT.twp -o OUT.pc2 [--frames A..B] [--step N] [--fps N] [--strict]\n"
    "  mdd PROJECT.twp -o OUT.mdd [--frames A..B] [--step N] [--fps N] [--strict]\n"
    "                                      write the blended shape of the frames obj writes as\n"
    "                                      one point cache (PC2 or MDD) in the source's vertex\n"
    "                                      order, for Blender's Mesh Cache modifier\n"
    "  weights PROJECT.twp --frame N       print each target's weight in percent at frame N\n"
    "  match SOURCE.qxm[:OBJECT] TARGET.qxm[:OBJECT] -o OUT.qxm\n"
    "                                      put the target's vertices into the source's order\n"
    "                                      and write them with the source's triangles and\n"
    "                                      colours to OUT.qxm (never replaced); OBJECT names\n"
    "                                      the object of a file that holds several\n"
    "  qxm MESHFILE -o OUT.qxm [--object NAME | --mesh NAME|INDEX]\n"
    "                                      convert a glTF, OBJ, FBX, COLLADA, PLY or STL file to\n"
    "                                      a QXM object file: every mesh (or the one named), each\n"
    "                                      followed by its morph targets as objects of their own\n"
    "  project MESHFILE -o OUT.twp [--fps N] [--mesh NAME|INDEX] [--animation NAME|INDEX]\n"
    "       [--strict]                     make a project from a morph animation in any file qxm\n"
    "                                      reads: the mesh (written as OUT.qxm beside it) is the\n"
    "                                      source, its morph targets the targets, its animation\n"
    "                                      the keys at N frames a second (30 unless given);\n"
    "                                      unless chosen, the first, said on stderr when there\n"
    "                                      were several\n"
    "\n"
    "Options:\n"
    "  -o, --output PATH   the file (gltf, pc2, mdd, match, qxm, project) or folder (obj)\n"
    "                      to write\n"
    "  --object NAME       qxm: the mesh to convert, by the name qxm lists for it\n"
    "  --reason-ja         qxm: after a refusal, print its reason once more in Japanese on a\n"
    "                      line that starts with \"ja: \" (Warpkit reads it)\n"
    "  --animations-to FILE\n"
    "                      qxm: write the file's weights animations to FILE as text\n"
    "                      (Warpkit reads it)\n"
    "  --fps N             frames per second of the glTF animation and of the MDD times\n"
    "                      (a positive number; 30 unless given)\n"
    "  --frames A..B       the frames to export (A alone: one frame); gltf keeps the keys\n"
    "                      inside the range and adds A and B, timed from A\n"
    "  --step N            every Nth frame from the first: obj, pc2 and mdd write only\n"
    "                      those; gltf samples them, and the last frame, instead of\n"
    "                      keeping the keys\n"
    "  --normals           gltf: give every morph target the change of the normals too\n"
    "                      (with --onto: every added one, over the original's normals)\n"
    "  --compress          gltf: compress with EXT_meshopt_compression (players need its\n"
    "                      decoder)\n"
    "  --smooth-angle DEGREES\n"
    "                      gltf: vertices at one position (UV and material seams) share\n"
    "                      their normal when theirs differ by less than this (60 unless\n"
    "                      given; 0: never), so seams vanish and hard edges stay\n"
    "  --names plain       gltf: name morph targets \"smile\" instead of \"1 smile\"; a repeated\n"
    "                      name gets a suffix\n"
    "  --onto FILE         gltf: write FILE (.glb or .gltf, either as either) whole, with the\n"
    "                      project's targets as its mesh's morph targets (the same ones, or\n"
    "                      added) and its keys as a new animation\n"
    "  --mesh NAME|INDEX   gltf --onto: the mesh of the source, when the geometry does not\n"
    "                      tell; project, qxm: the mesh taken, by the index info lists, its\n"
    "                      full name or the name it keeps\n"
    "  --animation NAME|INDEX\n"
    "                      project: the animation taken, by the index info lists or its name;\n"
    "                      it brings the mesh it drives unless --mesh is given\n"
    "  --animation-name NAME\n"
    "                      gltf --onto: the new animation's name (the project's unless given)\n"
    "  --replace-animation NAME\n"
    "                      gltf --onto: replace the animation of this name instead of adding\n"
    "  --strict            exit 1, writing nothing, when a target is left out, a target's\n"
    "                      vertices seem to be in another order than the source's, no target\n"
    "                      would be written, or (gltf --normals) the file would have more\n"
    "                      than 8 morphed attributes, or (--onto) a target had to be added\n"
    "                      or the source was found in another vertex order, or (project) a\n"
    "                      mesh or an animation was taken among several without --mesh or\n"
    "                      --animation\n"
    "  --frame N           the frame to evaluate\n"
    "  -h, --help          show this text\n"
    "  --version           show the version (alone)\n"
    "  --                  end of the options: every word after it is a file, even one\n"
    "                      that starts with '-'\n"
    "\n"
    "Exit status: 0 done, 1 a file was refused or could not be written, or --strict found a\n"
    "problem, 2 bad usage (also a frame past the project's last frame).\n";

namespace {

constexpr unsigned bit(Command command) {
    return 1u << static_cast<unsigned>(command);
}

struct CommandSpec {
    const char* name;
    Command command;
    const char* input;  // what its file is, for messages
};
constexpr CommandSpec kCommands[] = {
    {"info", Command::kInfo, "an object file or a mesh file"},
    {"check", Command::kCheck, "a project file"},
    {"gltf", Command::kGltf, "a project file"},
    {"obj", Command::kObj, "a project file"},
    {"weights", Command::kWeights, "a project file"},
    {"match", Command::kMatch, "a source and a target object file"},
    {"qxm", Command::kQxm, "a mesh file"},
    {"project", Command::kProject, "a glTF file"},
    {"pc2", Command::kPc2, "a project file"},
    {"mdd", Command::kMdd, "a project file"},
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

// Each option's setter takes its value (empty for a flag) and returns a problem, or nothing.
using Setter = std::string (*)(CommandLine& line, const std::string& value);

std::string set_output(CommandLine& line, const std::string& value) {
    if (value.empty()) return "--output needs a value";
    line.output = value;
    return std::string();
}

std::string set_fps(CommandLine& line, const std::string& value) {
    const std::optional<double> fps = positive_number(value);
    if (!fps) return "--fps needs a positive number, not '" + value + "'";
    line.fps = *fps;
    return std::string();
}

std::string set_frames(CommandLine& line, const std::string& value) {
    const size_t dots = value.find("..");
    const std::optional<int32_t> first =
        frame_number(dots == std::string::npos ? value : value.substr(0, dots));
    const std::optional<int32_t> last =
        dots == std::string::npos ? first : frame_number(value.substr(dots + 2));
    if (!first || !last) {
        return "--frames needs A..B with frame numbers A <= B, not '" + value + "'";
    }
    if (*first > *last) return "--frames " + value + " ends before it starts";
    line.frames_given = true;
    line.first_frame = *first;
    line.last_frame = *last;
    return std::string();
}

std::string set_step(CommandLine& line, const std::string& value) {
    const std::optional<int32_t> step = frame_number(value);
    if (!step || *step == 0) return "--step needs a whole number above 0, not '" + value + "'";
    line.step = *step;
    return std::string();
}

std::string set_frame(CommandLine& line, const std::string& value) {
    const std::optional<int32_t> frame = frame_number(value);
    if (!frame) return "--frame needs a frame number, not '" + value + "'";
    line.frame = *frame;
    return std::string();
}

std::string set_names(CommandLine& line, const std::string& value) {
    if (value == "plain") {
        line.names = TargetNaming::kPlain;
    } else if (value == "numbered") {
        line.names = TargetNaming::kNumbered;
    } else {
        return "--names needs plain or numbered, not '" + value + "'";
    }
    return std::string();
}

std::string set_object(CommandLine& line, const std::string& value) {
    if (value.empty()) return "--object needs a mesh name";
    line.object = value;
    return std::string();
}

std::string set_japanese_reason(CommandLine& line, const std::string&) {
    line.japanese_reason = true;
    return std::string();
}

std::string set_animations_to(CommandLine& line, const std::string& value) {
    if (value.empty()) return std::string(kAnimationsOption) + " needs a file";
    line.animations_to = value;
    return std::string();
}

std::string set_smooth_angle(CommandLine& line, const std::string& value) {
    // Unlike --fps, 0 is allowed: it turns the smoothing off.
    double degrees = -1.0;
    const char* end = value.data() + value.size();
    const auto [stop, error] = std::from_chars(value.data(), end, degrees);
    if (value.empty() || value[0] == '-' || error != std::errc() || stop != end ||
        !(degrees >= 0.0 && degrees <= 180.0)) {
        return "--smooth-angle needs degrees from 0 to 180, not '" + value + "'";
    }
    line.smooth_angle = degrees;
    return std::string();
}

std::string set_normals(CommandLine& line, const std::string&) {
    line.normals = true;
    return std::string();
}

std::string set_compress(CommandLine& line, const std::string&) {
    line.compress = true;
    return std::string();
}

std::string set_strict(CommandLine& line, const std::string&) {
    line.strict = true;
    return std::string();
}

std::string set_onto(CommandLine& line, const std::string& value) {
    if (value.empty()) return "--onto needs the original .glb or .gltf file";
    line.onto = value;
    return std::string();
}

std::string set_mesh(CommandLine& line, const std::string& value) {
    if (value.empty()) return "--mesh needs a mesh name or index";
    line.mesh = value;
    return std::string();
}

std::string set_animation(CommandLine& line, const std::string& value) {
    if (value.empty()) return "--animation needs an animation's name or index";
    line.animation = value;
    return std::string();
}

std::string set_animation_name(CommandLine& line, const std::string& value) {
    if (value.empty()) return "--animation-name needs a name";
    line.animation_name = value;
    return std::string();
}

std::string set_replace_animation(CommandLine& line, const std::string& value) {
    if (value.empty()) return "--replace-animation needs an animation's name";
    line.replace_animation = value;
    return std::string();
}

struct OptionSpec {
    const char* name;
    const char* alias;  // a short form, or nullptr
    bool has_value;     // false: a flag
    unsigned commands;  // bit() of each command that takes it
    Setter set;
};
constexpr unsigned kCaches = bit(Command::kPc2) | bit(Command::kMdd);
constexpr unsigned kExports = bit(Command::kGltf) | bit(Command::kObj) | kCaches;
constexpr unsigned kWritesOneFile =
    bit(Command::kMatch) | bit(Command::kQxm) | bit(Command::kProject);
constexpr OptionSpec kOptions[] = {
    {"--output", "-o", true, kExports | kWritesOneFile, set_output},
    {"--fps", nullptr, true, bit(Command::kGltf) | bit(Command::kProject) | kCaches, set_fps},
    {"--object", nullptr, true, bit(Command::kQxm), set_object},
    {kJapaneseReasonOption, nullptr, false, bit(Command::kQxm), set_japanese_reason},
    {kAnimationsOption, nullptr, true, bit(Command::kQxm), set_animations_to},
    {"--frames", nullptr, true, kExports, set_frames},
    {"--step", nullptr, true, kExports, set_step},
    {"--frame", nullptr, true, bit(Command::kWeights), set_frame},
    {"--normals", nullptr, false, bit(Command::kGltf), set_normals},
    {"--compress", nullptr, false, bit(Command::kGltf), set_compress},
    {"--smooth-angle", nullptr, true, bit(Command::kGltf), set_smooth_angle},
    {"--names", nullptr, true, bit(Command::kGltf), set_names},
    {"--strict", nullptr, false, bit(Command::kCheck) | bit(Command::kProject) | kExports,
     set_strict},
    {"--onto", nullptr, true, bit(Command::kGltf), set_onto},
    {"--mesh", nullptr, true, bit(Command::kGltf) | bit(Command::kProject) | bit(Command::kQxm),
     set_mesh},
    {"--animation", nullptr, true, bit(Command::kProject), set_animation},
    {"--animation-name", nullptr, true, bit(Command::kGltf), set_animation_name},
    {"--replace-animation", nullptr, true, bit(Command::kGltf), set_replace_animation},
};

// Options a command cannot do without, and what is said when one is missing.
struct Requirement {
    Command command;
    const char* option;
    const char* problem;
};
constexpr Requirement kRequirements[] = {
    {Command::kGltf, "--output", "gltf needs an output file (-o OUT.glb)"},
    {Command::kObj, "--output", "obj needs an output folder (-o DIR)"},
    {Command::kWeights, "--frame", "weights needs a frame (--frame N)"},
    {Command::kMatch, "--output", "match needs an output file (-o OUT.qxm)"},
    {Command::kQxm, "--output", "qxm needs an output file (-o OUT.qxm)"},
    {Command::kProject, "--output", "project needs an output file (-o OUT.twp)"},
    {Command::kPc2, "--output", "pc2 needs an output file (-o OUT.pc2)"},
    {Command::kMdd, "--output", "mdd needs an output file (-o OUT.mdd)"},
};

ParsedCommandLine refuse(std::string problem) {
    ParsedCommandLine parsed;
    parsed.problem = std::move(problem);
    return parsed;
}

const OptionSpec* find_option(const std::string& text) {
    for (const OptionSpec& option : kOptions) {
        if (text == option.name || (option.alias && text == option.alias)) return &option;
    }
    return nullptr;
}

bool option_given(const std::vector<const OptionSpec*>& seen, const char* name) {
    return std::any_of(seen.begin(), seen.end(), [name](const OptionSpec* option) {
        return std::string(option->name) == name;
    });
}

// --onto keeps the original's normals, materials, names and compression, so the options that
// make them have nothing to act on (its seams are the original's normals' own); the options
// of --onto mean nothing without it.
std::string onto_problem(const CommandLine& line, const std::vector<const OptionSpec*>& seen) {
    if (line.command != Command::kGltf) return std::string();
    if (line.onto.empty()) {
        for (const char* option : {"--mesh", "--animation-name", "--replace-animation"}) {
            if (option_given(seen, option)) return std::string(option) + " needs --onto ORIGINAL";
        }
        return std::string();
    }
    for (const char* option : {"--compress", "--names", "--smooth-angle"}) {
        if (option_given(seen, option)) {
            return std::string(option) + " does not go with --onto, which keeps the original's own";
        }
    }
    return std::string();
}

}  // namespace

bool is_gltf_text_path(const std::string& path) {
    return ends_with_no_case(path, ".gltf");
}

ParsedCommandLine parse_command_line(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        if (arg == "--") break;
        if (arg == "--help" || arg == "-h") {
            ParsedCommandLine parsed;
            parsed.ok = true;
            return parsed;
        }
    }
    if (args.empty()) return refuse("no command given");

    CommandLine line;
    const std::string& name = args[0];
    const CommandSpec* command = nullptr;
    for (const CommandSpec& spec : kCommands) {
        if (name == spec.name) command = &spec;
    }
    if (!command) return refuse("unknown command '" + name + "'");
    line.command = command->command;

    // Every option is given at most once; its value follows it or comes after '='. After "--"
    // every word is a file, so a file whose name starts with '-' can be named.
    std::vector<const OptionSpec*> seen;
    std::vector<std::string> positional;
    bool options_ended = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!options_ended && arg == "--") {
            options_ended = true;
            continue;
        }
        if (options_ended || arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        std::string written = arg;
        std::optional<std::string> value;
        const size_t equals = arg.find('=');
        if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            written = arg.substr(0, equals);
            value = arg.substr(equals + 1);
        }
        const OptionSpec* option = find_option(written);
        if (!option) return refuse("unknown option '" + written + "'");
        if (!(option->commands & bit(line.command))) {
            return refuse(name + " takes no option " + option->name);
        }
        for (const OptionSpec* earlier : seen) {
            if (earlier == option) return refuse(std::string(option->name) + " is given twice");
        }
        seen.push_back(option);
        if (!option->has_value) {
            if (value) return refuse(std::string(option->name) + " takes no value");
            value = std::string();
        } else if (!value) {
            if (i + 1 == args.size()) return refuse(std::string(option->name) + " needs a value");
            value = args[++i];
        }
        const std::string problem = option->set(line, *value);
        if (!problem.empty()) return refuse(problem);
    }

    const bool match = line.command == Command::kMatch;
    const size_t files = match ? 2 : 1;
    if (positional.size() < files) return refuse(name + " needs " + command->input);
    if (positional.size() > files) {
        return refuse(name + (match ? " takes two files" : " takes one file") + ", not '" +
                      positional[files] + "'");
    }
    line.input = positional[0];
    if (match) line.target = positional[1];

    for (const Requirement& requirement : kRequirements) {
        if (requirement.command != line.command) continue;
        bool given = false;
        for (const OptionSpec* option : seen) {
            given = given || std::string(option->name) == requirement.option;
        }
        if (!given) return refuse(requirement.problem);
    }
    if (line.command == Command::kGltf && !ends_with_no_case(line.output, ".glb") &&
        !is_gltf_text_path(line.output)) {
        return refuse("the output of gltf must end in .glb or .gltf, not '" + line.output + "'");
    }
    if (const std::string problem = onto_problem(line, seen); !problem.empty()) {
        return refuse(problem);
    }
    if (option_given(seen, "--mesh") && option_given(seen, "--object")) {
        return refuse("--mesh and --object both choose the mesh; give one");
    }
    if ((match || line.command == Command::kQxm) && !ends_with_no_case(line.output, ".qxm")) {
        return refuse("the output of " + name + " must end in .qxm, not '" + line.output + "'");
    }
    if (line.command == Command::kProject && !ends_with_no_case(line.output, ".twp")) {
        return refuse("the output of project must end in .twp, not '" + line.output + "'");
    }
    // Blender's Mesh Cache modifier is told the format, but a cache named for the other one
    // is a slip worth stopping.
    if ((line.command == Command::kPc2 || line.command == Command::kMdd) &&
        !ends_with_no_case(line.output, "." + name)) {
        return refuse("the output of " + name + " must end in ." + name + ", not '" + line.output +
                      "'");
    }

    ParsedCommandLine parsed;
    parsed.ok = true;
    parsed.line = line;
    return parsed;
}

}  // namespace warpkit::exporting
