#pragma once

#include "MovieExtraction.h"
#include "SideTask.h"

#include <QString>

#include <deque>
#include <memory>

namespace Tools {
class ProgressSink;
}

namespace Pipeline {

// Movies extracted on threads of their own, in file order, so that a movie
// is read while the one before it is staged and encoded. Each keeps its
// files under names of its own (MovieToExtract::stem, its sound path).
class ExtractionsAhead
{
public:
    // True when the extraction of the file at `position` has begun and was
    // not yet taken.
    bool has(int position) const;
    void start(int position, const MovieToExtract &movie);
    // The extraction of the file at `position`, which must have begun,
    // waited for with the bar kept alive as for any long tool run. Those
    // begun for files before it are of files the job passed over: dropped.
    ExtractedMovie take(int position, Tools::ProgressSink &bar, int fileCount);
    // True for a file of SWFPic/ or temp/ that an extraction still running
    // or not yet taken keeps.
    bool keeps(const QString &name) const;
    bool empty() const { return m_pending.empty(); }
    // Waits for those still running (a cancel cut them short) and drops them.
    void clear() { m_pending.clear(); }

private:
    struct Pending
    {
        int position = 0;
        std::unique_ptr<SideTask<ExtractedMovie>> task;
    };
    std::deque<Pending> m_pending;
};

} // namespace Pipeline
