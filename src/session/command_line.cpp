#include "session/command_line.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "base/input_file.h"
#include "project/project_file.h"

#ifndef WARPKIT_VERSION
#error "WARPKIT_VERSION is the project's version, set in the top CMakeLists.txt"
#endif

namespace warpkit {

namespace {

const char* const kUsage =
    "Usage: warpkit [--lang ja|en] [FILE]\n"
    "\n"
    "Prepares morph animations from QXM rev.3 objects and saves them as projects (.twp).\n"
    "FILE is opened when the window is up: a project as File > Load opens it, any other file\n"
    "as the source object, as the source's LOAD button reads it. A file that cannot be\n"
    "opened is reported in the window, which then starts empty.\n"
    "\n"
    "Options:\n"
    "  --lang ja|en   the language to start in (Japanese unless given)\n"
    "  -h, --help     show this text\n"
    "  --version      show the version\n"
    "  --             what follows is the file, even when it starts with '-'\n"
    "\n"
    "The open dialogs start in the folder configured as 'modeldata' in the group 'path' of\n"
    "Halvtorn/Shapeforge.conf under $XDG_CONFIG_DIRS (default /etc/xdg), else in the\n"
    "current folder.\n"
    "\n"
    "Exit status: 0 the window was closed, 1 File > Quit, 2 bad usage.\n";

StartArguments bad_usage(std::string problem) {
    StartArguments arguments;
    arguments.action = StartArguments::Action::kBadUsage;
    arguments.problem = std::move(problem);
    return arguments;
}

std::string absolute_file(std::string file, const std::string& current_folder) {
    if (file.front() == '/' || current_folder.empty()) return file;
    // "./a.qxm" is what shells complete; the path lands in saved projects, so keep it plain.
    while (file.size() > 2 && file.compare(0, 2, "./") == 0) file.erase(0, 2);
    return current_folder.back() == '/' ? current_folder + file : current_folder + "/" + file;
}

bool ends_with_no_case(const std::string& text, const std::string& suffix) {
    if (text.size() < suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        const char c = text[text.size() - suffix.size() + i];
        if (std::tolower(static_cast<unsigned char>(c)) != suffix[i]) return false;
    }
    return true;
}

}  // namespace

StartArguments parse_start_arguments(const std::vector<std::string>& args,
                                     const std::string& current_folder) {
    StartArguments arguments;
    bool language_given = false;
    bool options_ended = false;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options_ended || arg.size() < 2 || arg[0] != '-') {
            if (arg.empty()) return bad_usage("an empty file name");
            files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_ended = true;
        } else if (arg == "--help" || arg == "-h") {
            arguments.action = StartArguments::Action::kHelp;
            return arguments;
        } else if (arg == "--version") {
            arguments.action = StartArguments::Action::kVersion;
            return arguments;
        } else if (arg == "--lang" || arg.rfind("--lang=", 0) == 0) {
            std::string language;
            if (arg == "--lang") {
                if (i + 1 == args.size()) return bad_usage("--lang needs a language: ja or en");
                language = args[++i];
            } else {
                language = arg.substr(7);
            }
            if (language_given) return bad_usage("--lang is given twice");
            if (language != "ja" && language != "en")
                return bad_usage("unknown language '" + language + "' (ja or en)");
            language_given = true;
            arguments.ui_language = language == "ja" ? 1 : 0;
        } else {
            return bad_usage("unknown option '" + arg + "'");
        }
    }
    if (files.size() > 1)
        return bad_usage("one file at a time: '" + files[0] + "' and '" + files[1] + "' given");
    if (!files.empty()) arguments.file = absolute_file(files[0], current_folder);
    return arguments;
}

std::optional<int> answer_without_window(const StartArguments& arguments, std::ostream& out,
                                         std::ostream& err) {
    switch (arguments.action) {
        case StartArguments::Action::kStart:
            return std::nullopt;
        case StartArguments::Action::kBadUsage:
            err << "warpkit: " << arguments.problem << "\nTry 'warpkit --help'.\n";
            return 2;
        case StartArguments::Action::kHelp:
            out << kUsage;
            break;
        case StartArguments::Action::kVersion:
            out << "warpkit " << program_version() << "\n";
            break;
    }
    // `warpkit --help > /dev/full` must not look like success.
    out.flush();
    if (!out) {
        err << "warpkit: cannot write to the standard output\n";
        return 1;
    }
    return 0;
}

const char* program_version() {
    return WARPKIT_VERSION;
}

StartFileKind start_file_kind(const std::string& path) {
    if (ends_with_no_case(path, ".twp")) return StartFileKind::kProject;
    const InputFile input = InputFile::open(path);
    if (!input.is_open()) return StartFileKind::kObject;
    const size_t magic_size = std::strlen(kProjectMagic);
    std::string head(magic_size, '\0');
    head.resize(std::fread(head.data(), 1, magic_size, input.get()));
    return head == kProjectMagic ? StartFileKind::kProject : StartFileKind::kObject;
}

BilingualText open_problem(const std::string& path) {
    const InputFile input = InputFile::open(path);
    return input.is_open() ? BilingualText() : input.cause();
}

}  // namespace warpkit
