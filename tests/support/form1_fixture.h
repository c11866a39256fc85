#pragma once
// A main window on the real display with scripted dialogs, and object files written for it.
#include <gtest/gtest.h>

#include <QTest>
#include <memory>
#include <string>

#include "app/slot_commands.h"
#include "app/tform1.h"
#include "base/editor_state.h"
#include "support/qxm_writer.h"
#include "support/scripted_dialogs.h"

namespace warpkit::testing {

class Form1Fixture {
public:
    explicit Form1Fixture(const std::string& configured_folder = std::string()) {
        form = std::make_unique<TForm1>(state, dialogs, configured_folder);
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }

    // Writes a one-object file and returns its path.
    std::string write_object(const std::string& file_name, const QxmObjectSpec& object,
                             int colours = 1) {
        QxmFileSpec file_spec;
        file_spec.objects.push_back(object);
        file_spec.colours = make_palette(colours);
        return write_qxm(folder.file(file_name), file_spec);
    }

    // Loads the source (answering the open and selection dialogs); confirm answers OK when a
    // source is already loaded.
    void load_source(const std::string& path, int index = 0) {
        if (state.source_loaded()) dialogs.confirm_answers.push_back(true);
        dialogs.file_answers.push_back(path);
        dialogs.object_answers.push_back(index);
        form->slots_->SourceLoad();
    }

    void load_target(int k, const std::string& path, int index = 0) {
        if (state.target_loaded(k)) dialogs.confirm_answers.push_back(true);
        dialogs.file_answers.push_back(path);
        dialogs.object_answers.push_back(index);
        form->slots_->TargetLoad(k);
    }

    TempFolder folder;
    EditorState state;
    ScriptedDialogs dialogs;
    std::unique_ptr<TForm1> form;
};

// A grid object whose vertices are moved by `dz` in z (same count and order as the grid).
inline QxmObjectSpec moved_grid(const std::string& name, int columns, int rows, float dz) {
    QxmObjectSpec object = make_grid_object(name, columns, rows);
    for (Vec3& v : object.vertices) v.z += dz;
    return object;
}

}  // namespace warpkit::testing
