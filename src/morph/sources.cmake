# Files of src/morph: core ones need only the standard library, UI ones use Qt.
list(APPEND WARPKIT_CORE_SOURCES
    src/morph/decimal.cpp
    src/morph/key_track.cpp
    src/morph/frame_steps.cpp
)
list(APPEND WARPKIT_UI_SOURCES
    src/morph/morph_controller.cpp
    src/morph/timeline_controller.cpp
    src/morph/form3.cpp
)
