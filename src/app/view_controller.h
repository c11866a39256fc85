#pragma once
// Turning and zooming the preview with the mouse, the arrow keys, and the display settings.
#include <QObject>

#include "session/user_dialogs.h"

namespace warpkit {

class TForm1;

class ViewController : public QObject {
    Q_OBJECT
public:
    explicit ViewController(TForm1& form);

    void viewMdown(Qt::MouseButton button);
    void viewMmove();
    void viewMup();
    void ResetAng();
    // Returns true when the key turned the view.
    bool FormKeyDown(int key);

    void WireClick();
    void FlatClick();
    void SmoothClick();
    void ShadingSet();
    void ColorClick();
    void zzz1Click();

private:
    void set_shading(int mode);

    TForm1& form_;
    bool pressed_ = false;  // a view drag holds the cursor
    Rgb last_colour_;       // the colour chooser opens with what it returned last
};

}  // namespace warpkit
