#pragma once
// The slot rows' commands: load the source, load or reload a target, remove a target.
// Each asks and validates first and changes the session last.
#include <QObject>
#include <functional>
#include <string>
#include <vector>

#include "import/any_object_reader.h"
#include "model/qxm_reader.h"
#include "session/import_steps.h"

namespace warpkit {

class TForm1;
struct SlotCheck;

class SlotCommands : public QObject {
    Q_OBJECT
public:
    explicit SlotCommands(TForm1& form);

    void SourceLoad();
    // The source load after its questions, for a file named outright (the command line); a
    // guarded command of its own.
    void load_source_file(const std::string& path);
    void TargetLoad(int k);
    void TargetKill(int k);

    // Shows why a read was refused (nothing for the silent outcomes).
    void report_read_failure(const ReadOutcome& outcome, const std::string& path);

private:
    // A load through the window's guard against exceptions (TForm1::run_reading_command); what
    // a stopped load had read is let go. True when it ran to its end.
    bool run_guarded(const std::function<void()>& command);
    // Reads an object the user picks from a file chosen in the open dialog; false when
    // cancelled or refused (the refusal already shown).
    bool choose_and_read(const std::string& dialog_title, const std::string& prompt,
                         std::string& path);
    // Shows why the object just read cannot go into a slot; false when it can.
    bool refuse_unusable(const SlotCheck& check, const std::string& path);
    // After a load: warns, once, of a name that no project file could record.
    void warn_of_unrecordable_name(const SlotCheck& check, const std::string& name);
    // Reads an object out of `path`, the user choosing it; false when refused (the refusal
    // already shown) or declined. `ask_when_single` false takes a file's only object unasked.
    bool read_object_file(const std::string& path, const std::string& prompt, bool ask_when_single);
    // Makes the object just read the source, unless it has no vertices.
    void take_source(std::string path);
    // An object read from a mesh file is kept in a QXM file first, and `path` becomes that
    // file; a source load may also take the mesh's morph targets along (kept for
    // load_morph_targets) with the keys the file gives them. False when the user cancelled or the
    // file could not be written.
    bool keep_import(std::string& path, bool offer_targets);
    // Installs the targets kept by keep_import into slots 1, 2 ... of the new source, with
    // their keys, and draws the new shape.
    void load_morph_targets(const std::string& path);
    // A target row after its slot was filled: key button, weight field.
    void show_new_target(int k);

    TForm1& form_;
    AnyObjectReader reader_;
    std::vector<MorphShape> pending_targets_;
    ImportedKeys pending_keys_;
};

}  // namespace warpkit
