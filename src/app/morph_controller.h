#pragma once
// The weight side of the main window: the blend-and-redraw routine, the key buttons and the
// weight fields. The arithmetic lives in key_track and decimal; this module reads the fields,
// calls it, and writes captions and texts back.
#include <QObject>
#include <array>
#include <optional>
#include <string>

#include "session/session_history.h"

class QWidget;

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
    // removed or replaced, so its shape does not linger). A field that holds no number keeps
    // the weight it last gave, so this always redraws.
    void reblend_current();

    // The text of the first weight field, in target order, that the strict conversion refuses;
    // none when all eight hold numbers. Every blend reads all eight fields.
    std::optional<std::string> refused_field() const;
    // Tells the user that `text` is not a number.
    void refuse_number(const std::string& text);

    void KeyOperation(int k);
    void EditEnter(int k);
    void EditChange();
    // False when the field's text was refused (after saying so).
    bool EditExit();

    // Commits the weight field that holds the focus as leaving it would (tidy-up, the key on
    // the current frame), while the focus stays there. False, after the refusal, when its text
    // is no number; true when no field is being edited.
    bool commit_focused_field();

    const std::string& entry_text() const { return entry_text_; }
    // The weight field holding the focus (1..8), 0 for none.
    int focused_field() const { return focused_field_; }

    // The rows and the frame as the window shows them now.
    WeightRow shown_row(int k) const;
    WeightView shown_view() const;
    // After an undo or redo: the fields, key captions and weights of `view`, and the picture
    // blended at its weights. The field being edited starts afresh from its new text.
    void show_view(const WeightView& view);
    // Drops typing not yet committed in the field being edited: the rows and the picture go
    // back to how they were before it. False when nothing was typed.
    bool drop_typing();
    // An edit was recorded while typing was under way: dropping the typing later keeps it.
    void edit_recorded(const WeightView& after);
    // The picture holds nothing of an empty slot, whatever weight it was last blended at.
    void forget_empty_slots();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Enters and leaves the weight fields as the focus moves to `now`.
    void follow_focus(QWidget* now);
    // Takes every field's weight into the slots; false (after saying why) on a refused text.
    bool refresh_weights_from_fields();
    void blend_and_draw(int preview_target, int percent);

    TForm1& form_;
    std::string entry_text_;
    int focused_field_ = 0;        // the field entered and not yet left, 0 for none
    bool writing_fields_ = false;  // frame mode is rewriting the fields
    // The weights the picture was last blended at, 0 for the slots that were empty then.
    std::array<float, kTargetCount + 1> blended_{};
    bool typed_ = false;        // the user changed the edited field since it was last committed
    WeightView before_typing_;  // the rows when that typing began
};

}  // namespace warpkit
