// Peak memory of the program as the user runs it: a project of a source and eight targets of
// 1 M vertices (1 996 002 triangles) loaded through the menu command into the real main
// window, a spinner drag, playback, then smooth shading and wire frame with a drag each. The
// peak is the process's highest resident memory (VmHWM) from the moment the application
// starts; the object files are written before that and freed. `--earlier` draws the way
// earlier releases did (composed widget, vertex arrays), for comparison. Needs an X display
// with OpenGL.
#include <malloc.h>

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QSurfaceFormat>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "app/tform1.h"
#include "app/timeline_controller.h"
#include "bench_meshes.h"
#include "controls/push_panel.h"
#include "project/project_file.h"
#include "quiet_dialogs.h"
#include "view/gl_format.h"
#include "view/gl_view.h"
#include "view/scene_renderer.h"

namespace warpkit {
namespace {

constexpr double kGoalMiB = 400.0;

// A line of /proc/self/status in MiB ("VmHWM", "VmRSS").
double status_mib(const std::string& key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key + ":", 0) == 0) return std::stod(line.substr(key.size() + 1)) / 1024.0;
    }
    return -1.0;
}

// The nine object files and the project naming them.
std::string write_project(const testing::TempFolder& folder) {
    ProjectData project;
    const auto write = [&](const std::string& name, float phase) {
        testing::QxmFileSpec file_spec;
        file_spec.objects.push_back(bench::hills(name, bench::k1MVertices, phase));
        file_spec.colours = testing::make_palette(8);
        file_spec.junk_seed = 0;
        return testing::write_qxm(folder.file(name + ".qxm"), file_spec);
    };
    project.source_path = write("source", 0.0f);
    project.source_name = "source";
    for (int k = 1; k <= kTargetCount; ++k) {
        ProjectTarget& target = project.targets[k - 1];
        target.present = true;
        target.name = "target" + std::to_string(k);
        target.path = write(target.name, 0.1f * static_cast<float>(k));
        target.keys.frames = {0, 100};
        target.keys.weights = {0.0f, 10.0f * static_cast<float>(k)};
    }
    const std::string path = folder.file("nine.twp");
    if (!save_project_file(path, project).ok) return std::string();
    return path;
}

void phase(const char* what) {
    std::printf("  %-34s peak %7.1f MiB, now %7.1f MiB\n", what, status_mib("VmHWM"),
                status_mib("VmRSS"));
}

// A few steps of a drag on target 3's spinner, each one a blend and a draw.
void drag(TForm1& form, int steps) {
    QWidget* spinner = form.spinner_panels[3];
    const QPoint centre(7, 7);
    QCursor::setPos(spinner->mapToGlobal(centre));
    QTest::mousePress(spinner, Qt::LeftButton, {}, centre);
    for (int i = 0; i < steps; ++i) {
        const int dy = i % 2 == 0 ? -10 : 10;
        QCursor::setPos(form.anchor + QPoint(0, dy));
        QTest::mouseMove(spinner, centre + QPoint(0, dy));
    }
    QTest::mouseRelease(spinner, Qt::LeftButton, {}, centre);
}

}  // namespace
}  // namespace warpkit

int main(int argc, char** argv) {
    using namespace warpkit;
    const bool earlier = argc > 1 && std::strcmp(argv[1], "--earlier") == 0;
    testing::TempFolder folder;
    const std::string project = write_project(folder);
    if (project.empty()) {
        std::cerr << "the project could not be written in " << folder.path() << "\n";
        return 1;
    }
    // What writing the files took is given back, so the peak counts the program alone.
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";

    QSurfaceFormat::setDefaultFormat(preview_surface_format());
    QApplication app(argc, argv);
    set_presentation(earlier ? Presentation::kComposedWidget : Presentation::kNativeSurface);
    set_draw_path(earlier ? DrawPath::kVertexArrays : DrawPath::kLean);
    std::printf("peak memory, a source and 8 targets of 1M vertices (1996002 triangles), %s\n",
                earlier ? "drawn as earlier releases drew" : "the program");
    EditorState state;
    bench::QuietDialogs dialogs;
    {
        TForm1 form(state, dialogs, folder.path());
        form.show();
        if (!QTest::qWaitForWindowExposed(&form)) return 1;
        phase("window shown");

        dialogs.open_answer = project;
        form.LOADPROJECT1->trigger();
        QApplication::processEvents();
        int targets = 0;
        for (int k = 1; k <= kTargetCount; ++k) targets += state.target_loaded(k) ? 1 : 0;
        if (!state.source_loaded() || targets != kTargetCount || dialogs.asked != 0) {
            std::cerr << "the project did not load whole\n";
            return 1;
        }
        phase("project loaded, flat");
        drag(form, 6);
        phase("drag, flat");
        form.timeline->ForeDown();
        form.timeline->ForeUp();
        for (const int start = state.current_frame; state.current_frame < start + 4;) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        }
        form.timeline->ForeDown();
        form.timeline->ForeUp();
        phase("playback, flat");
        for (const char* mode : {"drag, smooth", "drag, wire frame", "drag, flat again"}) {
            form.xxx1->trigger();  // flat, smooth, wire frame, flat
            drag(form, 4);
            phase(mode);
        }
    }
    const double peak = status_mib("VmHWM");
    std::printf("  peak %.1f MiB", peak);
    if (!earlier)
        std::printf(" (goal <= %.0f MiB: %s)", kGoalMiB, peak <= kGoalMiB ? "met" : "NOT met");
    std::printf("\n");
    return 0;
}
