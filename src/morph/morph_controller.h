#pragma once
// The weight side of the main window: the blend-and-redraw routine, the key buttons and the
// weight fields. The arithmetic lives in key_track and decimal; this module reads the fields,
// calls it, and writes captions and texts back.
#include <QObject>
#include <string>

namespace warpkit {

class TForm1;

class MorphController : public QObject {
    Q_OBJECT
  public:
    explicit MorphController(TForm1& form);

    // 0: frame mode at the current frame. 1..8: preview of that target at `percent`, the
    // others at their fields' weights.
    void scroll_go(int target, int percent);
    // Blends every loaded target at its field's weight and redraws (after a target was
    // removed or replaced, so its shape does not linger).
    void reblend_current();

    void KeyOperation(int k);
    void EditEnter(int k);
    void EditChange();
    void EditExit();

    const std::string& entry_text() const { return entry_text_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Takes every field's weight into the slots; false (after saying why) on a refused text.
    bool refresh_weights_from_fields();
    void blend_and_draw(int preview_target, int percent);
    void refuse_number(const std::string& text);

    TForm1& form_;
    std::string entry_text_;
    bool writing_fields_ = false;  // frame mode is rewriting the fields
};

}  // namespace warpkit
