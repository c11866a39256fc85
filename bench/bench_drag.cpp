// A step as the user gets it, in the real main window on the X display: the mouse-move event
// on a weight spinner (or the playback timer's tick), the window repaint the handler asks for,
// the blend of eight targets, the normals, the draw, and the picture on the screen. The
// program's way (native surface, lean draw) is measured against the way of earlier
// releases (composed widget, vertex arrays with two-sided lighting) in the same run, and
// against the driver's draw call alone. Sizes: 100 k, 1 M and 2 M triangles (the last on
// 1 M vertices). Needs an X display with OpenGL (scripts/bench.sh starts Xvfb when there is
// none).
#include <GL/gl.h>
#include <sys/resource.h>

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>

#include "app/session_recovery.h"
#include "app/tform1.h"
#include "app/timeline_controller.h"
#include "bench_meshes.h"
#include "bench_support.h"
#include "controls/push_panel.h"
#include "model/normals.h"
#include "morph/key_track.h"
#include "quiet_dialogs.h"
#include "session/session.h"
#include "support/qxm_writer.h"
#include "view/gl_format.h"
#include "view/gl_view.h"
#include "view/scene_renderer.h"

// From Xlib, whose header does not mix with Qt's: a round trip to the X server.
extern "C" int XSync(Display* display, int discard);

namespace warpkit {
namespace {

// The program as it is, or the way earlier releases showed the picture.
enum class Way { kProgram, kEarlier };

const char* way_name(Way way) {
    return way == Way::kProgram ? "program" : "earlier";
}

// A shown main window with a source of hills and eight targets loaded.
struct Session {
    EditorState state;
    bench::QuietDialogs dialogs;
    std::unique_ptr<TForm1> form;
    Way way = Way::kProgram;
};

// Windows must go before the application object, so they are not left to static destruction.
std::map<std::pair<int64_t, Way>, std::unique_ptr<Session>> sessions;

void use(Way way) {
    set_draw_path(way == Way::kProgram ? DrawPath::kLean : DrawPath::kVertexArrays);
}

// The window of a case goes on top first: the windows of all sizes stand at the same place, and
// a covered window shows nothing.
void bring_up(Session& s) {
    s.form->raise();
    s.form->activateWindow();
    QApplication::processEvents();
}

Session& session(bench::GridSize size, Way way) {
    std::unique_ptr<Session>& session = sessions[{size.triangles(), way}];
    if (session) {
        bring_up(*session);
        return *session;
    }
    session = std::make_unique<Session>();
    session->way = way;
    set_presentation(way == Way::kProgram ? Presentation::kNativeSurface
                                          : Presentation::kComposedWidget);
    session->form = std::make_unique<TForm1>(session->state, session->dialogs, std::string());
    set_presentation(Presentation::kNativeSurface);
    TForm1& form = *session->form;
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) throw std::runtime_error("no window on the display");
    QWindow* surface = form.view->surface();
    if (surface != nullptr && !QTest::qWaitForWindowExposed(surface)) {
        throw std::runtime_error("the preview never showed");
    }
    install_source(session->state, "hills.qxm", bench::as_read_result(bench::hills("hills", size)));
    for (int k = 1; k <= kTargetCount; ++k) {
        const float phase = 0.3f * static_cast<float>(k);
        install_target(session->state, k, "target.qxm",
                       bench::as_read_result(bench::hills("target", size, phase)));
    }
    form.refresh_slot_rows();
    for (int k = 1; k <= kTargetCount; ++k) form.weight_fields[k]->setText("10.0");
    use(way);
    form.DrawScene();
    QApplication::processEvents();
    return *session;
}

Display* x_display() {
    return qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->display();
}

// Until the picture a step drew is on the screen: the event loop runs until the view has
// shown one more picture (the composed widget shows it when Qt composes the window), then a
// round trip to the X server makes sure it has taken the pixels.
bool wait_until_shown(Session& s, int shown_before) {
    QElapsedTimer waited;
    waited.start();
    QApplication::processEvents();
    while (s.form->view->presented_frames() == shown_before) {
        if (waited.elapsed() > 5000) return false;
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    XSync(x_display(), 0);
    return true;
}

using Clock = std::chrono::steady_clock;

// Pages the kernel had to hand the process so far: memory freed and taken again every step
// shows here.
long page_faults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A spinner drag on target 3: each step moves the pointer 10 pixels up or down, which changes
// the weight by 2, and hands the move to the spinner as the window system would.
// `before_move` runs before each move, outside the timed part.
void drag_step(benchmark::State& bench, bench::GridSize size, Way way,
               const std::function<void()>& before_move = {}) {
    Session& s = session(size, way);
    use(way);
    s.state.ShadingMode = kFlat;
    TForm1& form = *s.form;
    QWidget* spinner = form.spinner_panels[3];
    const QPoint centre(7, 7);
    QCursor::setPos(spinner->mapToGlobal(centre));
    QTest::mousePress(spinner, Qt::LeftButton, {}, centre);
    // The drag timer puts the pointer back on the anchor between moves; here the steps alone
    // are timed, so the pointer is placed for each one instead.
    form.Timer1->stop();
    const QPoint anchor = form.anchor;
    const int asked = s.dialogs.asked;
    int dy = 10;
    const long faults = page_faults();
    for (auto _ : bench) {
        dy = -dy;
        if (before_move) before_move();
        QCursor::setPos(anchor + QPoint(0, dy));
        QApplication::processEvents();
        const int shown = form.view->presented_frames();
        const Clock::time_point start = Clock::now();
        QTest::mouseMove(spinner, centre + QPoint(0, dy));
        if (!wait_until_shown(s, shown)) bench.SkipWithError("the picture never showed");
        bench.SetIterationTime(seconds_since(start));
    }
    bench.counters["page_faults"] = benchmark::Counter(static_cast<double>(page_faults() - faults),
                                                       benchmark::Counter::kAvgIterations);
    QTest::mouseRelease(spinner, Qt::LeftButton, {}, centre);
    if (s.dialogs.asked != asked) bench.SkipWithError("a step stopped at a message");
}

// Playback: the one-millisecond timer's tick moves to the next frame, blends and draws. An
// iteration lasts until one more picture is on the screen; the counter tells how many steps
// were computed for each picture shown (1: every step shown, nothing drawn in vain).
void playback_step(benchmark::State& bench, bench::GridSize size, Way way) {
    Session& s = session(size, way);
    use(way);
    s.state.ShadingMode = kFlat;
    TForm1& form = *s.form;
    // Keys so that every frame has its own weights.
    for (int k = 1; k <= kTargetCount; ++k) {
        s.state.slots[k].keys.frames = {0, 100};
        s.state.slots[k].keys.weights = {0.0f, 10.0f * static_cast<float>(k)};
    }
    s.state.current_frame = 0;
    form.timeline->ForeDown();
    form.timeline->ForeUp();
    int64_t steps = 0;
    int64_t shown_total = 0;
    for (auto _ : bench) {
        const int shown = form.view->presented_frames();
        const int frame = s.state.current_frame;
        const Clock::time_point start = Clock::now();
        if (!wait_until_shown(s, shown)) bench.SkipWithError("the picture never showed");
        bench.SetIterationTime(seconds_since(start));
        const int advanced =
            (s.state.current_frame - frame + s.state.max_frame + 1) % (s.state.max_frame + 1);
        steps += advanced;
        shown_total += form.view->presented_frames() - shown;
    }
    form.timeline->ForeDown();  // stops
    form.timeline->ForeUp();
    bench.counters["steps_per_picture"] =
        shown_total > 0 ? static_cast<double>(steps) / static_cast<double>(shown_total) : 0.0;
}

// The driver's draw alone: the last draw call sent again on cleared buffers, through glFinish.
void draw_alone(benchmark::State& bench, bench::GridSize size, Way way) {
    Session& s = session(size, way);
    use(way);
    s.state.ShadingMode = kFlat;
    GlView& view = *s.form->view;
    view.DrawScene();
    for (auto _ : bench) {
        view.makeCurrent();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glFinish();
        const Clock::time_point start = Clock::now();
        if (!view.repeat_last_draw()) bench.SkipWithError("nothing to draw");
        glFinish();
        bench.SetIterationTime(seconds_since(start));
    }
}

// Showing a picture already drawn and finished: the native surface's swap, or Qt composing
// the window with the widget's framebuffer in it.
void present_alone(benchmark::State& bench, bench::GridSize size, Way way) {
    Session& s = session(size, way);
    use(way);
    s.state.ShadingMode = kFlat;
    GlView& view = *s.form->view;
    for (auto _ : bench) {
        view.DrawScene();
        view.makeCurrent();
        glFinish();
        if (QWindow* surface = view.surface()) {
            const Clock::time_point start = Clock::now();
            QOpenGLContext::currentContext()->swapBuffers(surface);
            XSync(x_display(), 0);
            bench.SetIterationTime(seconds_since(start));
        } else {
            // The draw asked for the composition; it runs when the event loop next does.
            const int shown = view.presented_frames();
            const Clock::time_point start = Clock::now();
            if (!wait_until_shown(s, shown)) bench.SkipWithError("the picture never showed");
            bench.SetIterationTime(seconds_since(start));
        }
    }
}

// The same drag with the recovery copy on, at its worst: before every move the session
// changes what a save would write and is looked at at once, with no delay, so a write is
// always under way on the writer's thread while the window drags.
void drag_with_recovery(benchmark::State& bench, bench::GridSize size) {
    Session& s = session(size, Way::kProgram);
    const testing::TempFolder folder;
    SessionRecovery recovery(*s.form, folder.path() + "/warpkit", 0);
    recovery.start();
    float& first_key = s.state.slots[1].keys.weights[0];
    drag_step(bench, size, Way::kProgram, [&] {
        first_key = first_key == 40.0f ? 41.0f : 40.0f;
        recovery.check();
    });
    recovery.finish();
    first_key = 0.0f;
}

// The repaint of the whole window that the spinner's handler asks for before it blends.
void repaint_alone(benchmark::State& bench, bench::GridSize size) {
    Session& s = session(size, Way::kProgram);
    for (auto _ : bench) {
        const Clock::time_point start = Clock::now();
        s.form->repaint();
        XSync(x_display(), 0);
        bench.SetIterationTime(seconds_since(start));
    }
}

// The blend and the flat normals of a step, alone.
void blend_alone(benchmark::State& bench, bench::GridSize size) {
    Session& s = session(size, Way::kProgram);
    std::array<float, kTargetCount + 1> weights{};
    for (int k = 1; k <= kTargetCount; ++k) weights[k] = 10.0f;
    for (auto _ : bench) {
        weights[3] = weights[3] == 40.0f ? 42.0f : 40.0f;
        const Clock::time_point start = Clock::now();
        blend(s.state, weights);
        bench.SetIterationTime(seconds_since(start));
    }
}

void normals_alone(benchmark::State& bench, bench::GridSize size) {
    Session& s = session(size, Way::kProgram);
    for (auto _ : bench) {
        const Clock::time_point start = Clock::now();
        compute_face_normals(s.state);
        bench.SetIterationTime(seconds_since(start));
    }
}

// The grid of 1 M vertices has 1 996 002 triangles: "2M" reads better in the tables.
std::string label(bench::GridSize size) {
    if (size.triangles() == bench::k1MVertices.triangles()) return "2M";
    return bench::count_label(size.triangles());
}

std::string case_name(const char* what, bench::GridSize size, Way way) {
    return std::string(what) + "/" + label(size) + "/" + way_name(way);
}

template <typename Run>
benchmark::internal::Benchmark* add_case(const std::string& name, Run run) {
    return benchmark::RegisterBenchmark(name.c_str(), run)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
}

// Cases that time a small part of a long iteration get a fixed count: left to the time they
// measure, they would run the untimed rest thousands of times.
constexpr int kPartIterations = 40;

struct SizeGoals {
    bench::GridSize size;
    double present_share;  // showing a drawn picture against the step, at most (0: not measured)
    double speed_up;       // the program's step against the earlier one: time ratio, at most
    double steps_per_s;    // on this machine, at least (0: none)
    double overhead_ms;    // step - (draw + blend + normals), at most (0: no goal)
    double draw_speed_up;  // the program's draw against the earlier one: time ratio (0: none)
};

std::vector<bench::Comparison> register_size(const SizeGoals& goals) {
    const bench::GridSize size = goals.size;
    const std::string n = label(size);
    for (const Way way : {Way::kProgram, Way::kEarlier}) {
        add_case(case_name("drag_step", size, way),
                 [=](benchmark::State& b) { drag_step(b, size, way); });
        add_case(case_name("playback_step", size, way),
                 [=](benchmark::State& b) { playback_step(b, size, way); });
        add_case(case_name("draw_alone", size, way),
                 [=](benchmark::State& b) { draw_alone(b, size, way); });
        if (goals.present_share > 0.0) {
            add_case(case_name("present_alone", size, way), [=](benchmark::State& b) {
                present_alone(b, size, way);
            })->Iterations(kPartIterations);
        }
    }
    add_case("blend_alone/" + n, [=](benchmark::State& b) { blend_alone(b, size); });
    if (goals.present_share > 0.0) {
        add_case("repaint_alone/" + n, [=](benchmark::State& b) { repaint_alone(b, size); });
    }
    add_case("normals_alone/" + n, [=](benchmark::State& b) { normals_alone(b, size); });

    std::vector<bench::Comparison> out;
    const auto compare = [&](const std::string& title, const std::string& measured,
                             const std::string& reference, double goal) {
        bench::Comparison c;
        c.title = title;
        c.measured = measured;
        c.reference = reference;
        c.clock = bench::Clock::kWall;
        c.goal = goal;
        out.push_back(c);
        return &out.back();
    };
    for (const char* kind : {"drag_step", "playback_step"}) {
        const std::string what = kind == std::string("drag_step") ? "drag step" : "playback step";
        const std::string program = case_name(kind, size, Way::kProgram);
        const std::string earlier = case_name(kind, size, Way::kEarlier);
        compare(what + ", flat, " + n +
                    " triangles, event to picture on screen: the program against earlier "
                    "releases (composed widget, vertex arrays, two-sided lighting)",
                program, earlier, goals.speed_up);
        if (goals.steps_per_s > 0.0) {
            bench::Comparison* rate =
                compare(what + ", " + n + " triangles: steps per second on this machine", program,
                        "", goals.steps_per_s);
            rate->measure = bench::Measure::kRate;
        }
        compare(what + ", " + n + " triangles, against the driver's draw call alone", program,
                case_name("draw_alone", size, Way::kProgram), 0.0);
    }
    for (const Way way : {Way::kProgram, Way::kEarlier}) {
        bench::Comparison* shown =
            compare(std::string("playback, ") + n + " triangles, " + way_name(way) +
                        ": steps computed per picture shown (1: nothing drawn that is not shown)",
                    case_name("playback_step", size, way), "", 0.0);
        shown->measure = bench::Measure::kCounter;
        shown->counter = "steps_per_picture";
    }
    compare("showing a drawn picture, " + n + " triangles: share of the program's drag step",
            case_name("present_alone", size, Way::kProgram),
            case_name("drag_step", size, Way::kProgram), goals.present_share);
    compare("showing a drawn picture, " + n + " triangles: earlier releases' share of their step",
            case_name("present_alone", size, Way::kEarlier),
            case_name("drag_step", size, Way::kEarlier), 0.0);
    compare("the window repaint the spinner asks for, " + n +
                " triangles: share of the program's drag step",
            "repaint_alone/" + n, case_name("drag_step", size, Way::kProgram), 0.0);
    bench::Comparison* overhead =
        compare("drag step, " + n + " triangles: what the step adds to draw, blend and normals",
                case_name("drag_step", size, Way::kProgram),
                case_name("draw_alone", size, Way::kProgram), goals.overhead_ms);
    overhead->measure = bench::Measure::kOverhead;
    overhead->parts = {"blend_alone/" + n, "normals_alone/" + n};
    compare("the driver's draw call alone, " + n +
                " triangles: the lean draw (front-side lighting, flat layout on the face normals, "
                "indices in a buffer object) against "
                "earlier releases' vertex arrays",
            case_name("draw_alone", size, Way::kProgram),
            case_name("draw_alone", size, Way::kEarlier), goals.draw_speed_up);
    return out;
}

}  // namespace
}  // namespace warpkit

int main(int argc, char** argv) {
    using namespace warpkit;
    QSurfaceFormat::setDefaultFormat(preview_surface_format());
    QApplication app(argc, argv);

    // Goals: 100 k twice the earlier rate, showing the picture at most a quarter of a step;
    // 1 M at least 10 steps/s (earlier 8), 2 M at least 6.5 (earlier 5); at 1 M a step at most
    // 3 ms beyond draw, blend and normals and a draw 1.3 times as fast as the earlier one.
    const SizeGoals sizes[] = {
        {bench::k100kTriangles, 0.25, 0.5, 80.0, 0.0, 0.0},
        {bench::k1MTriangles, 0.0, 0.8, 10.0, 3.0, 1.0 / 1.3},
        {bench::k1MVertices, 0.0, 0.77, 6.5, 0.0, 1.0 / 1.3},
    };
    std::vector<bench::Comparison> comparisons;
    for (const SizeGoals& goals : sizes) {
        const std::vector<bench::Comparison> more = register_size(goals);
        comparisons.insert(comparisons.end(), more.begin(), more.end());
    }
    add_case("drag_step+recovery/100k/program",
             [](benchmark::State& b) { drag_with_recovery(b, bench::k100kTriangles); });
    bench::Comparison recovering;
    recovering.title =
        "drag step, flat, 100k triangles, with the recovery copy written all the while, "
        "against the step alone";
    recovering.measured = "drag_step+recovery/100k/program";
    recovering.reference = case_name("drag_step", bench::k100kTriangles, Way::kProgram);
    recovering.clock = bench::Clock::kWall;
    recovering.goal = 1.1;
    comparisons.push_back(recovering);
    const int status = bench::run_benchmarks(argc, argv, comparisons);
    sessions.clear();
    return status;
}
