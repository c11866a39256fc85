#pragma once
// The slot operations on the session, without any window: what a source load, a target load,
// a target removal and a new project do to EditorState. The window commands ask the
// questions first and call these last, so a refused or cancelled command changes nothing.
#include <string>

#include "app/editor_state.h"
#include "model/qxm_reader.h"

namespace warpkit {

// Replaces the whole shape: every loaded target is emptied, the source slot takes the object
// read from `path`, the mesh and the starting view are built. Precondition:
// source.vertex_count > 0. Sets the modified flag.
void install_source(EditorState& state, const std::string& path, const ReadResult& source);

// Fills target slot k (1..8) with offsets target - source and one key (0, 0.0).
// Precondition: a source is loaded and target.vertex_count == state.vertex_count.
// Sets the modified flag.
void install_target(EditorState& state, int k, const std::string& path, const ReadResult& target);

// Empties target slot k. Sets the modified flag.
void remove_target(EditorState& state, int k);

// Empties every slot (source included) and clears the modified flag; frames, display
// settings, view and folders stay.
void clear_session(EditorState& state);

}  // namespace warpkit
