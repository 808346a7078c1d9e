#pragma once

namespace vistrel {

// For when the app falls idle after captures: the toolkit's cache of drawn pixmaps (styled
// buttons, gradients of windows now closed) is emptied and the heap's free pages go back to
// the system. Cheap, but it costs the next window a few redrawn pixmaps: not for every capture.
void handBackIdleMemory();

} // namespace vistrel
