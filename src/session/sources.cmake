# What a command does to the session, without a window: loads, edits, undo steps, target
# order, the command line, the interface every question to the user goes through.
set(folder_sources
    command_line.cpp
    file_command_guard.cpp
    import_steps.cpp
    live_objects.cpp
    project_session.cpp
    session.cpp
    session_edits.cpp
    session_history.cpp
    target_order.cpp
)
