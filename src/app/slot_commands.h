#pragma once
// The slot rows' commands: load the source, load or reload a target, remove a target.
// Each asks and validates first and changes the session last.
#include <QObject>
#include <string>
#include <vector>

#include "import/any_object_reader.h"
#include "model/qxm_reader.h"

namespace warpkit {

class TForm1;

class SlotCommands : public QObject {
    Q_OBJECT
public:
    explicit SlotCommands(TForm1& form);

    void SourceLoad();
    void TargetLoad(int k);
    void TargetKill(int k);

    // Shows why a read was refused (nothing for the silent outcomes).
    void report_read_failure(const ReadOutcome& outcome, const std::string& path);

private:
    // Reads an object the user picks from a file chosen in the open dialog; false when
    // cancelled or refused (the refusal already shown).
    bool choose_and_read(const std::string& dialog_title, const std::string& prompt,
                         std::string& path);
    // An object read from a mesh file is kept in a QXM file first, and `path` becomes that
    // file; a source load may also take the mesh's morph targets along (kept for
    // load_morph_targets). False when the user cancelled or the file could not be written.
    bool keep_import(std::string& path, bool offer_targets);
    // Installs the targets kept by keep_import into slots 1, 2 ... of the new source.
    void load_morph_targets(const std::string& path);
    // A target row after its slot was filled: key button, weight field.
    void show_new_target(int k);

    TForm1& form_;
    AnyObjectReader reader_;
    std::vector<MorphShape> pending_targets_;
};

// The folder part of a file name ("/a/b/c.qxm" -> "/a/b"); empty when there is none.
std::string folder_of(const std::string& path);

}  // namespace warpkit
