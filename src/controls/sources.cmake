# Files of src/controls: core ones need only the standard library, UI ones use Qt.
list(APPEND WARPKIT_CORE_SOURCES
)
list(APPEND WARPKIT_UI_SOURCES
    src/controls/spinner_drag.cpp
    src/controls/push_panel.cpp
)
