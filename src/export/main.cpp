// warpkit-export: checks Warpkit projects and exports their animation, without a window.
#include <unistd.h>

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "export/export_tool.h"
#include "export/printable.h"
#include "session/command_line.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    // The same version as the program's, from the same place, so a package answers for both.
    if (args.size() == 1 && args[0] == "--version") {
        std::cout << "warpkit-export " << warpkit::program_version() << std::endl;
        return std::cout ? warpkit::exporting::kExitDone : warpkit::exporting::kExitRefused;
    }
    int status = warpkit::exporting::kExitRefused;
    try {
        status = warpkit::exporting::run_export_tool(args, std::cout, std::cerr,
                                                     isatty(STDERR_FILENO) == 1);
    } catch (const std::exception& error) {
        // Out of memory, or a library that throws; say so rather than abort.
        std::cerr << "warpkit-export: " << warpkit::exporting::printable(error.what()) << "\n";
        return warpkit::exporting::kExitRefused;
    }
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "warpkit-export: cannot write to the standard output\n";
        return warpkit::exporting::kExitRefused;
    }
    return status;
}
