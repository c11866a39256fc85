#pragma once
// A main window with a small grid source and three targets that move it along z by known
// amounts, so every blend the window makes can be checked to the last bit of each float.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <array>
#include <cmath>
#include <iomanip>
#include <string>
#include <vector>

#include "app/edit_history.h"
#include "base/texts.h"
#include "support/form1_fixture.h"

namespace warpkit::testing {

class WeightFixture {
public:
    static constexpr int kColumns = 2;
    static constexpr int kRows = 2;
    static constexpr float kSourceZ = 0.3f;
    // Target k lies at z = kTargetZ[k]; slot 0 is unused.
    static constexpr std::array<float, 4> kTargetZ = {0.0f, 1.0f, 3.7f, -2.2f};
    // A value no blend can produce here: a vertex still holding it was not blended.
    static constexpr float kUntouched = -12345.0f;

    WeightFixture() {
        f.load_source(
            f.write_object("base.qxm", make_grid_object("base", kColumns, kRows, 1, kSourceZ)));
        for (int k = 1; k <= 3; ++k) {
            const std::string name = "t" + std::to_string(k);
            f.load_target(
                k, f.write_object(name + ".qxm", moved_grid(name, kColumns, kRows, kTargetZ[k])));
        }
        f.form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(f.form.get()));
        f.dialogs.shown.clear();
        f.form->history->mark_saved();
    }

    QLineEdit* field(int k) { return f.form->weight_fields[k]; }
    QPushButton* key(int k) { return f.form->key_buttons[k]; }
    std::string text(int k) { return field(k)->text().toStdString(); }
    std::string caption(int k) { return key(k)->text().toStdString(); }

    // Enters a field the way the user does, with a click; the whole text ends up selected.
    void enter(int k) {
        QTest::mouseClick(field(k), Qt::LeftButton);
        QCoreApplication::processEvents();
    }
    // Leaves whatever field has the focus by tabbing onto the source's load button.
    void leave() { f.form->load_buttons[0]->setFocus(Qt::TabFocusReason); }
    void type(int k, const char* keys) { QTest::keyClicks(field(k), keys); }

    // Moves the timeline the way its controls do: frame mode at the new frame.
    void go_to_frame(int frame) {
        f.state.current_frame = frame;
        f.form->refresh_timeline();
        f.form->scroll_go(0, 0);
    }

    void set_keys(int k, std::vector<int32_t> frames, std::vector<float> weights) {
        f.state.slots[k].keys.frames = std::move(frames);
        f.state.slots[k].keys.weights = std::move(weights);
    }

    void mark_untouched() {
        for (Vec3& v : f.state.mesh.displayed) v = Vec3{kUntouched, kUntouched, kUntouched};
    }
    ::testing::AssertionResult untouched() const {
        for (size_t i = 0; i < f.state.mesh.displayed.size(); ++i) {
            if (f.state.mesh.displayed[i].z != kUntouched)
                return ::testing::AssertionFailure() << "vertex " << i << " was blended";
        }
        return ::testing::AssertionSuccess();
    }

    // The z every vertex must show with targets 1..3 at `weights` (NaN: not loaded), worked
    // out as the blend is meant to: each term in double, each partial sum stored as a float.
    static float expected_z(const std::array<double, 4>& weights) {
        float offset = 0.0f;
        for (int j = 1; j <= 3; ++j) {
            if (std::isnan(weights[j])) continue;
            const float displacement = kTargetZ[j] - kSourceZ;
            offset += (displacement * static_cast<float>(weights[j])) * 0.01f;
        }
        return kSourceZ + offset;
    }

    // Every vertex keeps its grid x and y and shows expected_z(weights) within 1e-5: far
    // below the 0.007 that one percent of the smallest displacement moves it, so it tells every
    // whole percent of every target apart and leaves the rounding to the test about it.
    ::testing::AssertionResult shows(double w1, double w2, double w3) const {
        return compare({0.0, w1, w2, w3}, 1e-5f);
    }
    // The same to the last bit.
    ::testing::AssertionResult shows_exactly(double w1, double w2, double w3) const {
        return compare({0.0, w1, w2, w3}, 0.0f);
    }

    // The refusal the window shows for a text that is no number, in its start language.
    std::string refusal_of(const std::string& refused) const {
        return format_text(pick(f.state.UiLanguage, texts::kNumberRefusal.text), refused.c_str());
    }
    // The warnings shown since the last clear, in order.
    std::vector<std::string> warnings() const {
        std::vector<std::string> out;
        for (const ShownDialog& dialog : f.dialogs.shown) {
            if (dialog.kind != "warn") continue;
            EXPECT_EQ(dialog.title, pick(f.state.UiLanguage, texts::kNumberRefusal.title));
            out.push_back(dialog.text);
        }
        return out;
    }

    Form1Fixture f;

private:
    ::testing::AssertionResult compare(const std::array<double, 4>& weights, float slack) const {
        const float z = expected_z(weights);
        const std::vector<Vec3>& shown = f.state.mesh.displayed;
        if (shown.size() != static_cast<size_t>((kColumns + 1) * (kRows + 1)))
            return ::testing::AssertionFailure() << shown.size() << " vertices shown";
        for (size_t i = 0; i < shown.size(); ++i) {
            const float x = static_cast<float>(static_cast<int>(i) % (kColumns + 1));
            const float y = static_cast<float>(static_cast<int>(i) / (kColumns + 1));
            if (shown[i].x != x || shown[i].y != y || !(std::fabs(shown[i].z - z) <= slack)) {
                return ::testing::AssertionFailure()
                       << std::setprecision(9) << "vertex " << i << " shows (" << shown[i].x << ", "
                       << shown[i].y << ", " << shown[i].z << "), expected z " << z
                       << " for weights " << weights[1] << ", " << weights[2] << ", " << weights[3];
            }
        }
        return ::testing::AssertionSuccess();
    }
};

}  // namespace warpkit::testing
