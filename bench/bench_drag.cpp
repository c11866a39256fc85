// One step of a spinner drag in the real main window: the weight changes, the shape is
// blended from eight targets, the normals are recomputed and the whole picture is drawn and
// finished. Sent as vertex arrays against one begin/end per triangle, in flat and smooth
// shading, at 100 k and 1 M triangles. Needs an X display with OpenGL (scripts/bench.sh
// starts Xvfb when there is none).
#include <GL/gl.h>

#include <QApplication>
#include <QLineEdit>
#include <QSurfaceFormat>
#include <QTest>
#include <map>
#include <memory>
#include <stdexcept>

#include "app/session.h"
#include "app/tform1.h"
#include "app/user_dialogs.h"
#include "bench_meshes.h"
#include "bench_support.h"
#include "project/session_recovery.h"
#include "support/qxm_writer.h"
#include "view/gl_format.h"
#include "view/gl_view.h"
#include "view/scene_renderer.h"

namespace warpkit {
namespace {

// Answers nothing and counts what it was asked, so a step that stopped at a message shows.
class NoDialogs : public UserDialogs {
public:
    int asked = 0;
    bool confirm(const std::string&, const std::string&) override { return ++asked, false; }
    SaveAnswer ask_save(const std::string&, const std::string&) override {
        ++asked;
        return SaveAnswer::kCancel;
    }
    void warn(const std::string&, const std::string&) override { ++asked; }
    void notify(const std::string&, const std::string&) override { ++asked; }
    void plain(const std::string&) override { ++asked; }
    std::optional<std::string> open_file(const FileDialogRequest&) override {
        ++asked;
        return std::nullopt;
    }
    std::optional<std::string> save_file(const FileDialogRequest&) override {
        ++asked;
        return std::nullopt;
    }
    std::optional<Rgb> choose_colour(const Rgb&) override {
        ++asked;
        return std::nullopt;
    }
    int32_t choose_object(const ObjectTable&, const std::string&) override { return ++asked, -1; }
    void frame_dialog(FrameDialogMode) override { ++asked; }
    int ask_choice(const std::string&, const std::string&,
                   const std::vector<std::string>& answers) override {
        ++asked;
        return static_cast<int>(answers.size()) - 1;
    }
    bool run_with_progress(const ProgressRequest&, const ProgressWork&) override {
        ++asked;
        return false;
    }
};

// A shown main window with a source of hills and eight targets loaded, one per size.
struct Session {
    EditorState state;
    NoDialogs dialogs;
    std::unique_ptr<TForm1> form;
};

// Windows must go before the application object, so they are not left to static destruction.
std::map<int64_t, std::unique_ptr<Session>> sessions;

Session& session(bench::GridSize size) {
    std::unique_ptr<Session>& session = sessions[size.triangles()];
    if (session) return *session;
    session = std::make_unique<Session>();
    session->form = std::make_unique<TForm1>(session->state, session->dialogs, std::string());
    TForm1& form = *session->form;
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) throw std::runtime_error("no window on the display");
    install_source(session->state, "hills.qxm", bench::as_read_result(bench::hills("hills", size)));
    for (int k = 1; k <= kTargetCount; ++k) {
        const float phase = 0.3f * static_cast<float>(k);
        install_target(session->state, k, "target.qxm",
                       bench::as_read_result(bench::hills("target", size, phase)));
    }
    form.refresh_slot_rows();
    for (int k = 1; k <= kTargetCount; ++k) form.weight_fields[k]->setText("10.0");
    QApplication::processEvents();
    return *session;
}

void finish_drawing(TForm1& form) {
    form.view->makeCurrent();
    glFinish();
    form.view->doneCurrent();
}

// What the window does after a step when the event loop runs: the widget is composed onto
// the screen, which asks the widget to paint.
enum class Composition { kLeftOut, kIncluded };

void drag(benchmark::State& bench, bench::GridSize size, int32_t mode, DrawPath path,
          Composition composition) {
    Session& s = session(size);
    s.state.ShadingMode = mode;
    set_draw_path(path);
    const int asked = s.dialogs.asked;
    int percent = 40;
    for (auto _ : bench) {
        percent = percent == 40 ? 41 : 40;
        s.form->scroll_go(3, percent);
        finish_drawing(*s.form);
        if (composition == Composition::kIncluded) {
            QApplication::processEvents();
            finish_drawing(*s.form);
        }
    }
    if (s.dialogs.asked != asked) bench.SkipWithError("a step stopped at a message");
    set_draw_path(DrawPath::kVertexArrays);
}

// The same step with the recovery copy on, at its worst: every step changes what a save would
// write and is looked at at once, with no delay, so a write is always under way on the
// writer's thread while the window drags.
void drag_with_recovery(benchmark::State& bench, bench::GridSize size) {
    Session& s = session(size);
    s.state.ShadingMode = kFlat;
    const testing::TempFolder folder;
    SessionRecovery recovery(*s.form, folder.path() + "/warpkit", 0);
    recovery.start();
    const int asked = s.dialogs.asked;
    float& first_key = s.state.slots[1].keys.weights[0];
    int percent = 40;
    for (auto _ : bench) {
        percent = percent == 40 ? 41 : 40;
        first_key = static_cast<float>(percent);
        recovery.check();
        s.form->scroll_go(3, percent);
        finish_drawing(*s.form);
    }
    recovery.finish();
    first_key = 0.0f;
    if (s.dialogs.asked != asked) bench.SkipWithError("a step stopped at a message");
}

std::string step_name(bench::GridSize size, int32_t mode, DrawPath path,
                      Composition composition = Composition::kLeftOut) {
    return std::string(composition == Composition::kIncluded ? "drag_step+composition/"
                                                             : "drag_step/") +
           (mode == kFlat ? "flat/" : "smooth/") + bench::count_label(size.triangles()) +
           (path == DrawPath::kVertexArrays ? "/arrays" : "/per_triangle");
}

void register_step(bench::GridSize size, int32_t mode, DrawPath path,
                   Composition composition = Composition::kLeftOut) {
    benchmark::RegisterBenchmark(
        step_name(size, mode, path, composition).c_str(),
        [=](benchmark::State& bench) { drag(bench, size, mode, path, composition); })
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
}

}  // namespace
}  // namespace warpkit

int main(int argc, char** argv) {
    using namespace warpkit;
    QSurfaceFormat::setDefaultFormat(preview_surface_format());
    QApplication app(argc, argv);

    std::vector<bench::Comparison> comparisons;
    for (const bench::GridSize size : {bench::k100kTriangles, bench::k1MTriangles}) {
        for (const int32_t mode : {kFlat, kSmooth}) {
            register_step(size, mode, DrawPath::kVertexArrays);
            register_step(size, mode, DrawPath::kPerTriangle);
            bench::Comparison step;
            step.title = std::string(
                             "drag step (blend of 8 targets, normals, whole picture "
                             "drawn and finished), ") +
                         (mode == kFlat ? "flat" : "smooth") + ", " +
                         bench::count_label(size.triangles()) +
                         " triangles, 809 x 378 window: vertex arrays against one begin/end "
                         "per triangle";
            step.measured = step_name(size, mode, DrawPath::kVertexArrays);
            step.reference = step_name(size, mode, DrawPath::kPerTriangle);
            step.clock = bench::Clock::kWall;
            if (mode == kFlat) step.goal = size.triangles() == 1000000 ? 0.45 : 0.5;
            comparisons.push_back(step);
        }
    }
    // Not a goal, a watch: how much the composition that follows a step in the running
    // program adds to it.
    register_step(bench::k100kTriangles, kFlat, DrawPath::kVertexArrays, Composition::kIncluded);
    bench::Comparison composed;
    composed.title =
        "the same flat step at 100k triangles, followed by the window's composition "
        "(the event loop's paint), against the step alone";
    composed.measured =
        step_name(bench::k100kTriangles, kFlat, DrawPath::kVertexArrays, Composition::kIncluded);
    composed.reference = step_name(bench::k100kTriangles, kFlat, DrawPath::kVertexArrays);
    composed.clock = bench::Clock::kWall;
    comparisons.push_back(composed);

    benchmark::RegisterBenchmark(
        "drag_step+recovery/flat/100k/arrays",
        [](benchmark::State& bench) { drag_with_recovery(bench, bench::k100kTriangles); })
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    bench::Comparison recovering;
    recovering.title =
        "the same flat step at 100k triangles with the recovery copy written all the while, "
        "against the step alone";
    recovering.measured = "drag_step+recovery/flat/100k/arrays";
    recovering.reference = step_name(bench::k100kTriangles, kFlat, DrawPath::kVertexArrays);
    recovering.clock = bench::Clock::kWall;
    recovering.goal = 1.1;
    comparisons.push_back(recovering);

    const int status = bench::run_benchmarks(argc, argv, comparisons);
    sessions.clear();
    return status;
}
