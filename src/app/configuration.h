#pragma once
#include <string>

namespace warpkit {

// The configured model-data folder: value `path/modeldata` of organisation "Halvtorn",
// application "Shapeforge", system scope. Empty when the setting or its value is absent.
// Read once at start-up; never written.
std::string read_model_data_folder();

}  // namespace warpkit
