# The words every layer speaks: the session record, bilingual texts, display text, geometry,
# the atomic file replace. Includes nothing else of the project.
set(folder_sources
    display_text.cpp
    file_paths.cpp
    safe_replace.cpp
    texts.cpp
)
