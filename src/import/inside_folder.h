#pragma once
// Files that one file names (a glTF buffer or image, an OBJ material library) are read only from
// the folder of the file that names them: the name is resolved through "..", absolute paths
// and symbolic links (realpath), and refused when the result lies outside that folder. A URI is
// percent-decoded by the caller first.
#include <string>

#include "base/bilingual_text.h"

namespace warpkit {

struct NamedFile {
    std::string path;       // the resolved path, when something inside the folder has the name
    bool missing = false;   // nothing has the name; what that costs is the caller's to say
    BilingualText problem;  // the name leads out of the folder ("../x.bin lies outside ...")
};

NamedFile file_in_folder(const std::string& folder, const std::string& name);

// A URI's path with its %XX escapes decoded ("..%2Fx.bin" -> "../x.bin"); a broken escape stays
// as it is written.
std::string percent_decoded(const std::string& uri);

}  // namespace warpkit
