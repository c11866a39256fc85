# The OpenGL preview: its native surface and the scene renderer.
set(folder_sources
    gl_view.cpp
    scene_renderer.cpp
)
