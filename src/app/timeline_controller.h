#pragma once
// The timeline strip: the knob that shows and scrubs the current frame, the jumps to the first
// and last frame, and playback in both directions on the 1 ms timer.
#include <QObject>
#include <QPoint>
#include <cstdint>
#include <functional>

#include "morph/playback_pace.h"

namespace warpkit {

class TForm1;

class TimelineController : public QObject {
    Q_OBJECT
public:
    explicit TimelineController(TForm1& form);

    void FirstDown();
    void FirstUp();
    void LastDown();
    void LastUp();
    void BackDown();
    void BackUp();
    void ForeDown();
    void ForeUp();
    void Time_go();
    void FrameSlideDown(Qt::MouseButton button);
    void FrameSlideMove();
    void FrameSlideUp();
    // The knob's release will not come (see TForm1::end_drags): the drag ends at the frame it
    // reached and opens no dialog.
    void FrameSlideLost();

    // View > playback speed: frames a second, or kAsFastAsPossible. Playback under way goes
    // on at the new rate from the frame it shows.
    void set_playback_rate(int32_t rate);
    // Nanoseconds of a steady clock; tests replace it.
    std::function<int64_t()> clock;

private:
    // Paced playback starts counting its time again from now and the current frame.
    void restart_pace();
    // The next tick's frame at a chosen rate; false when it is still the frame shown.
    bool paced_step();
    void stop_backward();
    void stop_forward();
    void stop_playback();
    // The frame-mode blend refuses (with a message) when a weight field holds no number.
    bool blend_would_be_refused() const;

    TForm1& form_;
    bool knob_held_ = false;  // pressed and neither released nor lost
    bool dragged_ = false;
    int frame_at_press_ = 0;
    PaceOrigin pace_origin_;
    // What the last paced tick showed: a frame or maximum changed since by anything else (a
    // jump, a drag, the frame dialog, an undo) restarts the pace from there.
    int32_t paced_frame_ = 0;
    int32_t paced_maximum_ = 0;
};

}  // namespace warpkit
