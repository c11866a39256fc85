# Files of src/import: the mesh importers that run in the program's own process (glTF, OBJ),
# the rules every import shares, and the child process that reads the other formats. Core only.
list(APPEND WARPKIT_CORE_SOURCES
    src/import/animation_keys.cpp
    src/import/any_object_reader.cpp
    src/import/child_import.cpp
    src/import/file_bytes.cpp
    src/import/gltf_reader.cpp
    src/import/imported_scene.cpp
    src/import/obj_reader.cpp
    src/import/placement.cpp
    src/import/qxm_beside.cpp
    src/import/tinygltf_impl.cpp
    src/import/tinyobj_impl.cpp
)
