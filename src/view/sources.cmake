# Files of src/view: core ones need only the standard library, UI ones use Qt.
list(APPEND WARPKIT_CORE_SOURCES
    src/view/draw_arrays.cpp
)
list(APPEND WARPKIT_UI_SOURCES
    src/view/scene_renderer.cpp
    src/view/gl_view.cpp
    src/view/view_controller.cpp
)
