# The mesh importers that run in the program's own process (glTF, OBJ), the rules every
# import shares, and the child process that reads the other formats. The assimp reader is a
# library of its own (CMakeLists.txt here), linked only by warpkit-export.
set(folder_sources
    animation_keys.cpp
    any_object_reader.cpp
    child_import.cpp
    file_bytes.cpp
    gltf_compressed.cpp
    gltf_reader.cpp
    imported_scene.cpp
    inside_folder.cpp
    obj_reader.cpp
    placement.cpp
    qxm_beside.cpp
    scene_choice.cpp
    tinygltf_impl.cpp
    tinyobj_impl.cpp
)
