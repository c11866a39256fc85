// tinyobjloader's implementation, compiled with the rest of the core so its parsing is built
// with the same checks (sanitizers, fuzzing coverage) as our own.
#define TINYOBJLOADER_IMPLEMENTATION
#include <tiny_obj_loader.h>
