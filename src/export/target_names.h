#pragma once
// The names morph targets carry in an exported file.
#include <string>
#include <vector>

#include "base/editor_state.h"

namespace warpkit::exporting {

// "1 smile" tells the slot; "smile" alone suits tools that match shape keys by name. An import
// of the file reads "1 smile" as the first morph target back as "smile", so neither grows over
// round trips.
enum class TargetNaming { kNumbered, kPlain };

struct TargetNames {
    std::vector<std::string> names;  // one per loaded target, in slot order
    // One line per name that had to change: plain names must differ for tools that match by
    // name, so a repeated one gets a suffix ("target 3 is written as smile_2: target 1 is
    // named smile too").
    std::vector<std::string> renamed;
};

// Plain names keep the first target of each name as it is; a later one gets the smallest
// suffix _2, _3 ... that no target's own name and no name given before it already has.
TargetNames morph_target_names(const EditorState& state, TargetNaming naming);

}  // namespace warpkit::exporting
