# The project file and the recovery copy.
set(folder_sources
    project_file.cpp
    recovery.cpp
    recovery_writer.cpp
)
