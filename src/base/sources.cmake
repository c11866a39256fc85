# The words every layer speaks: the session record, bilingual texts, display text, geometry,
# the atomic file replace, the one way an input file is opened. Includes nothing else of the
# project.
set(folder_sources
    display_text.cpp
    file_paths.cpp
    input_file.cpp
    large_arrays.cpp
    safe_replace.cpp
    texts.cpp
)
