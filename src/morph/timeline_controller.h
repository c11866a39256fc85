#pragma once
// The timeline strip: the knob that shows and scrubs the current frame, the jumps to the first
// and last frame, and playback in both directions on the 1 ms timer.
#include <QObject>
#include <QPoint>

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

private:
    void stop_backward();
    void stop_forward();
    void stop_playback();
    // The frame-mode blend refuses (with a message) when a weight field holds no number.
    bool blend_would_be_refused() const;

    TForm1& form_;
    bool knob_held_ = false;  // pressed and neither released nor lost
    bool dragged_ = false;
    int frame_at_press_ = 0;
};

}  // namespace warpkit
