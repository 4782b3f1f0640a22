#pragma once

namespace FileList {

class FileQueue;

// Moves the entry at `position` one place up: a copy is inserted above it
// and the old item removed. Returns the entry's new position, or
// `position` unchanged when it is the first or not in the list.
int MoveUp(FileQueue &queue, int position);

// Moves the entry at `position` one place down the same way. Returns the
// entry's new position, or `position` when it is the last or not in the list.
int MoveDown(FileQueue &queue, int position);

// One step of drag reordering: swaps the entries at `dragged` and `hovered`
// when both exist and their texts differ. Returns true when they swapped.
bool SwapEntries(FileQueue &queue, int dragged, int hovered);

} // namespace FileList
