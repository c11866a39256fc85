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
    src/app/target_order.cpp
)
