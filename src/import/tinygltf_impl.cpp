// tinygltf's implementation, compiled with the rest of the core so its parsing is built with the
// same checks (sanitizers, fuzzing coverage) as our own. Images are never decoded or read.
#define TINYGLTF_IMPLEMENTATION
#include <tiny_gltf.h>
