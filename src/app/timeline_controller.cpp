#include "app/timeline_controller.h"

#include <QAction>
#include <QCursor>
#include <QLabel>
#include <QTimer>
#include <chrono>

#include "app/edit_history.h"
#include "app/morph_controller.h"
#include "app/tform1.h"
#include "controls/push_panel.h"
#include "morph/frame_steps.h"
#include "session/user_dialogs.h"

namespace warpkit {

TimelineController::TimelineController(TForm1& form) : QObject(&form), form_(form) {
    connect(form.First, &PushPanel::pressed, this, [this] { FirstDown(); });
    connect(form.First, &PushPanel::released, this, [this] { FirstUp(); });
    connect(form.Last, &PushPanel::pressed, this, [this] { LastDown(); });
    connect(form.Last, &PushPanel::released, this, [this] { LastUp(); });
    connect(form.Back, &PushPanel::pressed, this, [this] { BackDown(); });
    connect(form.Back, &PushPanel::released, this, [this] { BackUp(); });
    connect(form.Fore, &PushPanel::pressed, this, [this] { ForeDown(); });
    connect(form.Fore, &PushPanel::released, this, [this] { ForeUp(); });
    connect(form.FrameSlide, &PushPanel::pressed, this,
            [this](Qt::MouseButton button) { FrameSlideDown(button); });
    connect(form.FrameSlide, &PushPanel::moved, this, [this] { FrameSlideMove(); });
    connect(form.FrameSlide, &PushPanel::released, this, [this] { FrameSlideUp(); });
    connect(form.Timer2, &QTimer::timeout, this, [this] { Time_go(); });
    const std::pair<QAction*, int32_t> speeds[] = {
        {form.PlayMax, kAsFastAsPossible}, {form.Play24, 24}, {form.Play30, 30}, {form.Play60, 60}};
    for (const auto& [item, rate] : speeds) {
        connect(item, &QAction::triggered, this, [this, rate = rate] { set_playback_rate(rate); });
    }
    clock = [] {
        return static_cast<int64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
    };
}

void TimelineController::set_playback_rate(int32_t rate) {
    form_.state().playback_rate = rate;
    QAction* item = rate == 24   ? form_.Play24
                    : rate == 30 ? form_.Play30
                    : rate == 60 ? form_.Play60
                                 : form_.PlayMax;
    item->setChecked(true);
    restart_pace();
}

void TimelineController::restart_pace() {
    const EditorState& state = form_.state();
    pace_origin_ = PaceOrigin{clock(), state.current_frame};
    paced_frame_ = state.current_frame;
    paced_maximum_ = state.max_frame;
}

bool TimelineController::paced_step() {
    EditorState& state = form_.state();
    if (state.current_frame != paced_frame_ || state.max_frame != paced_maximum_) restart_pace();
    const int direction = state.playing_forward ? 1 : -1;
    const int32_t next =
        paced_frame(pace_origin_, clock(), state.playback_rate, direction, state.max_frame);
    if (next == state.current_frame) return false;
    state.current_frame = next;
    paced_frame_ = next;
    return true;
}

void TimelineController::FirstDown() {
    form_.First->setLowered(true);
    form_.First->shiftPicture(form_.FirstImage, 1, 1);
    form_.state().current_frame = 0;
    form_.refresh_timeline();
}

void TimelineController::FirstUp() {
    form_.First->setLowered(false);
    form_.First->shiftPicture(form_.FirstImage, -1, -1);
    form_.scroll_go(0, 0);
}

void TimelineController::LastDown() {
    form_.Last->setLowered(true);
    form_.Last->shiftPicture(form_.LastImage, 1, 1);
    form_.state().current_frame = form_.state().max_frame;
    form_.refresh_timeline();
}

void TimelineController::LastUp() {
    form_.Last->setLowered(false);
    form_.Last->shiftPicture(form_.LastImage, -1, -1);
    form_.scroll_go(0, 0);
}

void TimelineController::stop_backward() {
    form_.BackImageA->show();
    form_.BackImageB->hide();
    form_.Timer2->stop();
    form_.state().playing_backward = 0;
}

void TimelineController::stop_forward() {
    form_.ForeImageA->show();
    form_.ForeImageB->hide();
    form_.Timer2->stop();
    form_.state().playing_forward = 0;
}

void TimelineController::BackDown() {
    form_.Back->setLowered(true);
    if (form_.state().playing_backward) {
        stop_backward();
        return;
    }
    if (form_.state().playing_forward) stop_forward();
    form_.BackImageA->hide();
    form_.BackImageB->show();
    form_.state().playing_backward = 1;
    restart_pace();
    form_.Timer2->start();
}

void TimelineController::ForeDown() {
    form_.Fore->setLowered(true);
    if (form_.state().playing_forward) {
        stop_forward();
        return;
    }
    if (form_.state().playing_backward) stop_backward();
    form_.ForeImageA->hide();
    form_.ForeImageB->show();
    form_.state().playing_forward = 1;
    restart_pace();
    form_.Timer2->start();
}

void TimelineController::BackUp() {
    form_.Back->setLowered(false);
}

void TimelineController::ForeUp() {
    form_.Fore->setLowered(false);
}

void TimelineController::Time_go() {
    EditorState& state = form_.state();
    if (state.playback_rate != kAsFastAsPossible) {
        if (!(state.playing_forward || state.playing_backward) || !paced_step()) return;
    } else {
        if (state.playing_forward) {
            state.current_frame = frame_after_forward_step(state.current_frame, state.max_frame);
        }
        if (state.playing_backward) {
            state.current_frame = frame_after_backward_step(state.current_frame, state.max_frame);
        }
    }
    form_.refresh_timeline();
    form_.repaint();
    // A weight field the blend cannot read is reported by a message box. At a tick per
    // millisecond the next message would follow the moment the last one closed, and no press
    // could ever reach the stop button; so playback ends with the one message.
    if (blend_would_be_refused()) stop_playback();
    form_.scroll_go(0, 0);
}

bool TimelineController::blend_would_be_refused() const {
    // Without a source nothing is blended, so nothing is refused.
    return form_.state().source_loaded() && form_.morph->refused_field().has_value();
}

void TimelineController::stop_playback() {
    if (form_.state().playing_forward) stop_forward();
    if (form_.state().playing_backward) stop_backward();
}

void TimelineController::FrameSlideDown(Qt::MouseButton button) {
    EditorState& state = form_.state();
    form_.end_stale_drags(button);
    knob_held_ = true;
    dragged_ = false;
    form_.anchor = QCursor::pos();
    if (button == Qt::LeftButton) state.drag_mode = 1;
    if (button == Qt::RightButton) state.drag_mode = 2;
    frame_at_press_ = state.current_frame;
}

void TimelineController::FrameSlideMove() {
    EditorState& state = form_.state();
    if (!knob_held_ || state.drag_mode != 1) return;
    dragged_ = true;
    state.current_frame = frame_for_knob_drag(state.max_frame, frame_at_press_,
                                              QCursor::pos().x() - form_.anchor.x());
    form_.refresh_timeline();
    form_.repaint();
    form_.scroll_go(0, 0);
}

void TimelineController::FrameSlideUp() {
    EditorState& state = form_.state();
    if (!knob_held_) return;
    // Released before the dialog opens, so that the dialog taking the mouse ends nothing.
    knob_held_ = false;
    if (!dragged_ && (state.drag_mode == 1 || state.drag_mode == 2)) {
        const int32_t maximum = state.max_frame;
        EditStep step = form_.history->begin(MaxFrameEdit{maximum, maximum});
        form_.dialogs().frame_dialog(state.drag_mode == 1 ? FrameDialogMode::kJump
                                                          : FrameDialogMode::kMaximum);
        if (state.current_frame > state.max_frame) state.current_frame = state.max_frame;
        form_.refresh_timeline();
        form_.scroll_go(0, 0);
        if (state.max_frame != maximum) {
            std::get<MaxFrameEdit>(step.change).after = state.max_frame;
            form_.history->record(std::move(step));
        }
    }
    state.drag_mode = 0;
    form_.repaint();
}

void TimelineController::FrameSlideLost() {
    if (!knob_held_) return;
    knob_held_ = false;
    form_.state().drag_mode = 0;
    form_.repaint();
}

}  // namespace warpkit
