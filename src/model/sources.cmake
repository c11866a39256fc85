# Files of src/model: core ones need only the standard library, UI ones use Qt.
list(APPEND WARPKIT_CORE_SOURCES
    src/model/qxm_reader.cpp
    src/model/qxm_writer.cpp
    src/model/object_mesh.cpp
    src/model/helper_pool.cpp
    src/model/normals.cpp
    src/model/target_measure.cpp
    src/model/vertex_match.cpp
)
list(APPEND WARPKIT_UI_SOURCES
    src/model/form2.cpp
)
