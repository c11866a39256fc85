#pragma once
// Project data written in code, for the tests, the fuzz corpus and the export tests.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "project/project_file.h"

namespace warpkit::testing {

// A present target slot with its keys as (frame, weight) pairs.
inline ProjectTarget project_target(const std::string& path, const std::string& name,
                                    const std::vector<std::pair<int32_t, float>>& keys) {
    ProjectTarget target;
    target.present = true;
    target.path = path;
    target.name = name;
    for (const auto& [frame, weight] : keys) {
        target.keys.frames.push_back(frame);
        target.keys.weights.push_back(weight);
    }
    return target;
}

}  // namespace warpkit::testing
