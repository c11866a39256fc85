#include "export/target_names.h"

#include <algorithm>

#include "base/display_text.h"
#include "export/frame_weights.h"
#include "model/qxm_reader.h"

namespace warpkit::exporting {

TargetNames morph_target_names(const EditorState& state, TargetNaming naming) {
    TargetNames result;
    const std::vector<int> targets = loaded_targets(state);
    if (naming == TargetNaming::kNumbered) {
        for (int k : targets) result.names.push_back(target_label(state, k));
        return result;
    }

    std::vector<std::string> own;
    for (int k : targets) own.push_back(display_text(state.slots[k].name));
    auto taken = [&](const std::string& name) {
        return std::find(own.begin(), own.end(), name) != own.end() ||
               std::find(result.names.begin(), result.names.end(), name) != result.names.end();
    };
    for (size_t i = 0; i < targets.size(); ++i) {
        const auto first = std::find(result.names.begin(), result.names.end(), own[i]);
        if (first == result.names.end()) {
            result.names.push_back(own[i]);
            continue;
        }
        std::string name;
        for (int suffix = 2; name.empty() || taken(name); ++suffix) {
            name = own[i] + "_" + std::to_string(suffix);
        }
        const int earlier = targets[static_cast<size_t>(first - result.names.begin())];
        result.renamed.push_back("target " + std::to_string(targets[i]) + " is written as " + name +
                                 ": target " + std::to_string(earlier) + " is named " + own[i] +
                                 " too");
        result.names.push_back(name);
    }
    return result;
}

}  // namespace warpkit::exporting
