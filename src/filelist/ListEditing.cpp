#include "ListEditing.h"

#include "FileQueue.h"

namespace FileList {

int MoveUp(FileQueue &queue, int position)
{
    if (position <= 1 || position > queue.count())
        return position;
    queue.insertAt(position - 1, queue.entryAt(position));
    queue.removeAt(position + 1);
    return position - 1;
}

int MoveDown(FileQueue &queue, int position)
{
    if (position < 1 || position >= queue.count())
        return position;
    queue.insertAt(position + 2, queue.entryAt(position));
    queue.removeAt(position);
    return position + 1;
}

bool SwapEntries(FileQueue &queue, int dragged, int hovered)
{
    const QString draggedText = queue.entryAt(dragged);
    const QString hoveredText = queue.entryAt(hovered);
    if (dragged < 1 || hovered < 1 || dragged > queue.count() || hovered > queue.count() || draggedText == hoveredText)
        return false;
    queue.setEntryAt(dragged, hoveredText);
    queue.setEntryAt(hovered, draggedText);
    return true;
}

} // namespace FileList
