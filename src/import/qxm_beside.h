#pragma once
// Where an imported object is kept: a project names object files ending in .qxm, so an object
// read from a mesh file is written as a QXM file, beside the file it came from unless that
// folder cannot be written, and never over a file that is already there.
#include <string>
#include <vector>

#include "base/bilingual_text.h"
#include "model/qxm_writer.h"

namespace warpkit {

// The QXM file that first comes to mind for an imported file: the same folder and name with
// blanks made '_' (a project keeps single blanks only), ending in .qxm ("/m/my face.glb" ->
// "/m/my_face.qxm").
std::string qxm_path_for(const std::string& imported_path);

enum class StoreStatus { kWritten, kFolderNotWritable, kFailed };

struct StoreOutcome {
    StoreStatus status = StoreStatus::kFailed;
    std::string path;      // kWritten: the file written
    BilingualText reason;  // otherwise
};

// Writes the objects to `wanted` ending in .qxm, or to "name-2.qxm", "name-3.qxm" ... beside it
// when that name is taken; never replaces a file.
StoreOutcome write_qxm_unused_name(const std::string& wanted, const std::vector<QxmObject>& objects,
                                   const QxmPalette& palette);
StoreOutcome write_qxm_unused_name(const std::string& wanted,
                                   const std::vector<QxmObjectView>& objects,
                                   const QxmPalette& palette);

}  // namespace warpkit
