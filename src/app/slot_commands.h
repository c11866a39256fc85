#pragma once
// The slot rows' commands: load the source, load or reload a target, remove a target.
// Each asks and validates first and changes the session last.
#include <QObject>
#include <string>

#include "model/qxm_reader.h"

namespace warpkit {

class TForm1;
struct SlotCheck;

class SlotCommands : public QObject {
    Q_OBJECT
public:
    explicit SlotCommands(TForm1& form);

    void SourceLoad();
    // The source load after its questions, for a file named outright (the command line).
    void load_source_file(const std::string& path);
    void TargetLoad(int k);
    void TargetKill(int k);

    // Shows why a read was refused (nothing for the silent outcomes).
    void report_read_failure(const ReadOutcome& outcome, const std::string& path);

private:
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
    void take_source(const std::string& path);

    TForm1& form_;
    ObjectFileReader reader_;
};

// The folder part of a file name ("/a/b/c.qxm" -> "/a/b"); empty when there is none.
std::string folder_of(const std::string& path);

}  // namespace warpkit
