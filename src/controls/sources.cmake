# Widgets and dialogs that know no main window.
set(folder_sources
    form2.cpp
    form3.cpp
    key_mark_strip.cpp
    push_panel.cpp
    qt_user_dialogs.cpp
)
