#pragma once

#include <QtGlobal>

namespace vistrel {

// How long the windows that make the next capture fast (overlay windows with their backing
// stores, the last editor's window) are kept after their last use: captures in a row paint at
// once, and an app left alone goes back to its idle memory.
inline constexpr int keepWarmFor = 30'000; // ms

// Sets the heap up for a process that holds large pictures for a while; called first thing,
// before any thread starts.
void tuneHeapForPictures();

// For when the app falls idle after captures: the toolkit's cache of drawn pixmaps (styled
// buttons, gradients of windows now closed) is emptied and the heap's free pages go back to
// the system. Cheap, but it costs the next window a few redrawn pixmaps: not for every capture.
void handBackIdleMemory();

// Whether `bytes` more could be mapped now: a limit on the address space (ulimit -v, a
// container) is met here, before windows whose buffers would fail half-made. Nothing is kept.
bool roomFor(qint64 bytes);

} // namespace vistrel
