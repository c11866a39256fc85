# Files of src/project: core ones need only the standard library, UI ones use Qt.
list(APPEND WARPKIT_CORE_SOURCES
    src/project/project_file.cpp
    src/project/safe_replace.cpp
    src/project/project_session.cpp
)
list(APPEND WARPKIT_UI_SOURCES
    src/project/project_commands.cpp
)
list(APPEND WARPKIT_CORE_SOURCES
    src/project/recovery.cpp
    src/project/recovery_writer.cpp
)
list(APPEND WARPKIT_UI_SOURCES
    src/project/session_recovery.cpp
)
