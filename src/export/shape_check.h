#pragma once
// Object files can hold coordinates that are no numbers (NaN) or infinite, and the program draws
// them as they are; an exported file must not carry them, since readers refuse or misdraw them.
#include <string>
#include <vector>

#include "base/editor_state.h"

namespace warpkit::exporting {

// Empty when every coordinate is finite; otherwise names the first vertex that is not,
// with `what` naming the shape ("vertex 12 of the source is not a finite point").
std::string non_finite_problem(const std::vector<Vec3>& points, const std::string& what);

// The source and every loaded target's displacement, checked in slot order.
std::string session_shape_problem(const EditorState& state);

}  // namespace warpkit::exporting
