#pragma once

#include "MovieFacts.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <vector>

namespace Render {

// The pictures seen so far, one hash each: whether the newest differs from
// the one before, and whether the newest ones repeat an earlier stretch (an
// animation that loops for ever).
class PictureHistory
{
public:
    // Adds the next frame; true when it differs from the one before (the
    // first frame always does).
    bool add(const QByteArray &pixels);
    // The newest frame continues a loop of at least two different pictures
    // that has already played twice.
    bool repeating() const { return m_period > 0; }
    int lastChange() const { return m_lastChange; }

private:
    bool repeatsWithPeriod(int period) const;

    QByteArray m_previous;
    std::vector<size_t> m_hashes;
    QHash<size_t, std::vector<int>> m_seenAt; // hash -> its latest frames
    int m_period = 0;
    int m_lastChange = -1;
};

// How long a recording lasts: the one rule, applied frame by frame as the
// movie plays. It records the main timeline once at least, then goes on
// while a sound plays or the picture changes, and stops once the movie has
// stood still and silent for a while (keeping a short still tail), after
// one pass of music that loops "for ever", or at the cap.
class RecordLength
{
public:
    RecordLength(const MovieFacts &movie, double frameRate, double capSeconds);

    // After frame `index` (from 0, in order): `changed` as PictureHistory
    // says, `repeating` likewise, and the movie time (seconds) up to which
    // sound has been heard so far (0: none yet). Sound heard past the known
    // sounds' end counts only where it cannot be the timeline's own sounds
    // started again: the timeline stops at its end, or starts no sound.
    void frame(int index, bool changed, bool repeating, double soundUntil);

    bool done() const { return m_done; }
    // When done: it ended at the cap, not of itself.
    bool capped() const { return m_capped; }
    // When done: how many frames the video keeps (the still tail cut).
    int framesKept() const { return m_kept; }
    // When done: why the recording ended, for the details.
    const QString &why() const { return m_why; }
    // Frames the recording is expected to take; grows when it goes on.
    int plannedFrames() const { return m_planned; }
    // Unchanged frames from this one on may not be kept (the still tail
    // beyond what a stop would keep); the recorder holds them back.
    int firstDroppable() const;
    int minFrames() const { return m_minFrames; }

private:
    void stop(int kept, const QString &why);
    int framesAt(double seconds) const;

    double m_rate = 0;
    int m_minFrames = 1;
    int m_capFrames = 1;
    double m_knownSoundEnd = 0; // sounds with a known end
    double m_longestPass = 0; // one pass of the longest sound, from its start
    double m_animationEnd = 0; // the main timeline and the longest sprite
    bool m_endless = false; // a sound loops "for ever"
    bool m_hasSound = false;
    // Sound heard beyond the known sounds counts (it is no replay of the
    // timeline's own sounds).
    bool m_heardCounts = false;
    bool m_timelineLoops = false;
    double m_stillFrom = 0;
    double m_soundUntil = 0;
    int m_planned = 1;
    bool m_done = false;
    bool m_capped = false;
    int m_kept = 0;
    QString m_why;
};

// Seconds, as the details write them ("63.9").
QString LengthText(double seconds);

} // namespace Render
