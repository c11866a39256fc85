# QXM files, the mesh and its normals, vertex-order matching, the arrays a draw is handed.
set(folder_sources
    draw_arrays.cpp
    finite_points.cpp
    helper_pool.cpp
    normals.cpp
    object_mesh.cpp
    qxm_reader.cpp
    qxm_writer.cpp
    target_measure.cpp
    vertex_match.cpp
)
