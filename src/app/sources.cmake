list(APPEND WARPKIT_CORE_SOURCES
    src/app/texts.cpp
    src/app/session.cpp
)
list(APPEND WARPKIT_UI_SOURCES
    src/app/configuration.cpp
    src/app/tform1.cpp
    src/app/slot_commands.cpp
    src/app/qt_user_dialogs.cpp
)

list(APPEND WARPKIT_CORE_SOURCES
    src/app/session_edits.cpp
    src/app/import_steps.cpp
    src/app/target_order.cpp
)

# The command line: parsed in the core, acted on by the window.
list(APPEND WARPKIT_CORE_SOURCES src/app/command_line.cpp)
list(APPEND WARPKIT_UI_SOURCES src/app/open_at_start.cpp src/app/start_report.cpp)
