#pragma once
// Watches the files the loaded objects came from and reads an object again when another
// program has saved its file and left it alone for a moment (session/live_objects.h). Qt's
// watcher sees a write in place at once; the folders are watched too, since a save that writes
// a new file and renames it over the old one leaves the watcher on a file that is gone, and a
// short look at every watched file re-arms the watcher and notices a file that came back.
#include <QElapsedTimer>
#include <QObject>
#include <map>
#include <string>

#include "import/any_object_reader.h"
#include "session/live_objects.h"

class QFileSystemWatcher;
class QTimer;

namespace warpkit {

class TForm1;

class ObjectFileWatch : public QObject {
    Q_OBJECT
public:
    explicit ObjectFileWatch(TForm1& form);

    // Brings the watched files in line with the loaded slots and notes every file whose
    // contents, name or presence changed since it was last looked at.
    void look_at_files();
    // True while no change waits to be read.
    bool idle() const { return settler_.idle(); }
    // The object file `kept` was written from the mesh `import.mesh` of `import.from` by a
    // load: that mesh file is watched for it.
    void note_kept_import(const std::string& kept, KeptImport import);

private:
    // What tells a file's save apart: a rename over it brings another inode, a write in place
    // another time of change.
    struct Stamp {
        bool exists = false;
        unsigned long long inode = 0;
        long long size = 0;
        long long changed_ns = 0;
        bool operator==(const Stamp& other) const {
            return exists == other.exists && inode == other.inode && size == other.size &&
                   changed_ns == other.changed_ns;
        }
    };
    static Stamp stamp_of(const std::string& file);

    // Looks at one watched file: a stamp other than the one last seen is a change to settle
    // (a file gone is none: it keeps its objects until it is back).
    void look_at(const std::string& file);
    // The settle timer's tick: reads each file that has settled, unless it must wait.
    void read_settled();
    bool must_wait() const;
    // A settled file: the kept imports made from it are written again and read, then the
    // slots that read it.
    void settled(const std::string& file);
    // Reads `file` again for its slots; the notice names `shown_file`.
    void reload(const std::string& file, const std::string& shown_file);

    TForm1& form_;
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer* look_timer_ = nullptr;    // the short look at every file
    QTimer* settle_timer_ = nullptr;  // single shot, when the next change settles
    QElapsedTimer clock_;
    ChangeSettler settler_;
    std::map<std::string, Stamp> stamps_;  // the files watched, as last seen
    KeptImports kept_;
    AnyObjectReader reader_;
    bool reloading_ = false;
};

}  // namespace warpkit
