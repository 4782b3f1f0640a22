#include "ExtractionsAhead.h"

#include "tools/ProgressSink.h"
#include "tools/Shell32.h"

#include <QElapsedTimer>

#include <algorithm>

namespace Pipeline {

bool ExtractionsAhead::has(int position) const
{
    return std::any_of(m_pending.cbegin(), m_pending.cend(),
                       [position](const Pending &pending) { return pending.position == position; });
}

void ExtractionsAhead::start(int position, const MovieToExtract &movie)
{
    Pending pending;
    pending.position = position;
    pending.task = std::make_unique<SideTask<ExtractedMovie>>([movie] { return ExtractMovie(movie); });
    m_pending.push_back(std::move(pending));
}

ExtractedMovie ExtractionsAhead::take(int position, Tools::ProgressSink &bar, int fileCount)
{
    while (m_pending.front().position != position)
        m_pending.pop_front();
    const std::unique_ptr<SideTask<ExtractedMovie>> task = std::move(m_pending.front().task);
    m_pending.pop_front();
    Tools::WaitingBar waiting(bar, bar.caption(), static_cast<int>(bar.value()), fileCount);
    QElapsedTimer clock;
    clock.start();
    qint64 polls = 0;
    ExtractedMovie extracted = task->take([&] {
        for (; clock.elapsed() >= (polls + 1) * Tools::kPollMilliseconds; ++polls)
            waiting.poll();
    });
    if (polls >= 50)
        waiting.end();
    return extracted;
}

bool ExtractionsAhead::keeps(const QString &name) const
{
    return std::any_of(m_pending.cbegin(), m_pending.cend(), [&name](const Pending &pending) {
        return name.startsWith(QStringLiteral("swf%1_").arg(pending.position))
               || name == QStringLiteral("sound%1.mp3").arg(pending.position);
    });
}

} // namespace Pipeline
