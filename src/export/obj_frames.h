#pragma once
// The blended shape of single frames as Wavefront OBJ files: the source's triangles over the
// shape the program shows at that frame, with its vertex normals, and the palette colours as
// materials of one .mtl file shared by all frames.
#include <cstdint>
#include <string>

#include "base/editor_state.h"
#include "export/progress.h"

namespace warpkit::exporting {

inline constexpr const char* kPaletteFileName = "palette.mtl";

// "frame_0007.obj": four digits at least, so the files of a timeline sort in frame order.
std::string frame_file_name(int32_t frame);

// OBJ text of mesh.displayed with `normals` (one per vertex), faces in file order. With a
// non-empty palette the faces name their colours ("colour_3") from `palette_file`.
std::string obj_text(const EditorState& state, const std::vector<Vec3>& normals,
                     const std::string& comment, const std::string& palette_file);

// One material per palette colour, "colour_0" ..., coloured as the program shows them.
std::string mtl_text(const EditorState& state);

struct ObjExport {
    bool ok = false;
    std::string problem;           // set when !ok: which file could not be written, or which frame
    int32_t written = 0;           // frame files written
    bool palette_written = false;  // palette.mtl too
};

// Writes frames `first`, `first` + `step`, ... up to `last` (step > 0) into `folder` (made when
// missing), each in the file named by its frame number, and palette.mtl when the source has a
// palette. Every file is written whole, never through a symbolic link (output_file.h); a link
// under any of the names refuses the export before anything is written. Each frame is blended by
// the program's rules at that frame; the displayed shape is left at the last frame written.
ObjExport write_obj_frames(EditorState& state, int32_t first, int32_t last, int32_t step,
                           const std::string& folder, Progress* progress);

}  // namespace warpkit::exporting
