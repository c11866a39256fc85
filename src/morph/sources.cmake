# Key tracks and the blend, decimal conversions, frame steps, playback pace, key marks.
set(folder_sources
    decimal.cpp
    frame_steps.cpp
    key_marks.cpp
    key_track.cpp
    playback_pace.cpp
)
