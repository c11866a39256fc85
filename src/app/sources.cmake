# The main window and what drives it: TForm1, its controllers, configuration and start-up.
# main.cpp is the program's own source (top CMakeLists.txt).
set(folder_sources
    configuration.cpp
    edit_history.cpp
    morph_controller.cpp
    object_file_watch.cpp
    open_at_start.cpp
    project_commands.cpp
    session_recovery.cpp
    slot_commands.cpp
    spinner_drag.cpp
    start_report.cpp
    tform1.cpp
    timeline_controller.cpp
    view_controller.cpp
)
