#pragma once
// The one place that reads an object out of any file the program opens: QXM object files
// through the object file reader, glTF and OBJ in this process, FBX, COLLADA, PLY and STL
// through warpkit-export in a child process. The kind is told by the file's first bytes, then by
// its extension. Callers see the same object table and ReadResult whatever the format; an
// object that came from a mesh file also brings its morph targets.
#include <string>

#include "import/child_import.h"
#include "import/imported_scene.h"
#include "model/qxm_reader.h"

namespace warpkit {

enum class ObjectFileKind { kQxm, kGltf, kObj, kInChild };

// A file that is none of the known kinds counts as QXM, whose reader then refuses it.
ObjectFileKind object_file_kind(const std::string& path);

struct ImportSettings {
    std::string export_tool;  // warpkit-export, for kInChild; see find_export_tool()
    ImportLimits limits;
};

// Every mesh of a mesh file, named as it will be kept and checked against the limits. Memory
// that runs out on the way is a refusal, never an exception.
ImportOutcome import_meshes(const std::string& path, ObjectFileKind kind,
                            const ImportSettings& settings, ImportedScene& scene);

// What every import does after its reader: a file without meshes is refused, meshes of points
// or lines beside meshes with triangles are left out, the names are finished (what changed in
// the scene's `renamed`) and the limits checked. The scene is emptied when the outcome is a
// refusal.
ImportOutcome finish_import(ImportOutcome read, ImportedScene& scene);

class AnyObjectReader {
public:
    explicit AnyObjectReader(ImportSettings settings = {}) : settings_(std::move(settings)) {}

    // As ObjectFileReader::ReadObject with a chooser. A mesh file that cannot be imported is
    // kNotImported with the reason (also when the import runs out of memory); the chooser sees
    // each mesh as an object. Memory that runs out in the QXM reader or after the import is
    // thrown, for the window's one guard around commands that read files to say.
    ReadOutcome ReadObject(const std::string& path, const std::string& prompt,
                           const ObjectChooser& choose);
    const ReadResult& result() const { return imported_ ? result_ : qxm_.result(); }
    ReadResult& result() { return imported_ ? result_ : qxm_.result(); }
    void ReleaseReadResult();

    // The mesh the result came from, with its morph targets; null when it came from a QXM file.
    const ImportedMesh* imported_mesh() const;
    // Takes the mesh's first `count` morph targets out of it, leaving the rest of the scene.
    std::vector<MorphShape> take_imported_targets(size_t count);
    // Its index among the scene's meshes, as the scene's animation names the mesh it drives.
    size_t imported_mesh_index() const { return chosen_; }
    // The palette and joined corners of the file the mesh came from.
    const ImportedScene& imported_scene() const { return scene_; }

    ImportSettings& settings() { return settings_; }

private:
    ImportSettings settings_;
    ObjectFileReader qxm_;
    ImportedScene scene_;
    ReadResult result_;
    size_t chosen_ = 0;
    bool imported_ = false;
};

}  // namespace warpkit
