#include "RecordLength.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Render {

namespace {

// A movie still and silent this long has ended; of that still tail, this
// much is kept.
constexpr double StillSeconds = 2.0;
constexpr double StillTailSeconds = 0.5;
// Sound heard this far past the known sounds' end is still theirs.
constexpr double KnownSoundSlack = 0.25;
// A sound looping this often is music meant to last as long as the movie
// is open: one pass of it is recorded.
constexpr int EndlessLoops = 100;
// A silent movie whose picture keeps changing without repeating goes on
// this long past everything its timeline shows, in case it stands still.
constexpr double UnendingGraceSeconds = 60;
// A loop is looked for over at most this many frames, and each picture
// remembers its latest few places.
constexpr int MaxLoopFrames = 3600;
constexpr std::size_t PlacesPerPicture = 8;

} // namespace

QString LengthText(double seconds)
{
    return QString::number(seconds, 'f', 1);
}

bool PictureHistory::add(const QByteArray &pixels)
{
    const int index = int(m_hashes.size());
    const bool changed = index == 0 || pixels.size() != m_previous.size()
                         || std::memcmp(pixels.constData(), m_previous.constData(), size_t(pixels.size())) != 0;
    const size_t hash = qHashBits(pixels.constData(), size_t(pixels.size()));
    m_hashes.push_back(hash);
    m_previous = pixels;
    if (changed)
        m_lastChange = index;

    if (m_period > 0 && !repeatsWithPeriod(m_period))
        m_period = 0;
    std::vector<int> &places = m_seenAt[hash];
    if (m_period == 0) {
        for (auto it = places.rbegin(); it != places.rend(); ++it) {
            const int period = index - *it;
            if (period >= 2 && period <= MaxLoopFrames && repeatsWithPeriod(period)) {
                m_period = period;
                break;
            }
        }
    }
    places.push_back(index);
    if (places.size() > PlacesPerPicture)
        places.erase(places.begin());
    return changed;
}

bool PictureHistory::repeatsWithPeriod(int period) const
{
    // The newest `period` frames match the `period` before them, which
    // hold at least two different pictures (a still picture is no loop).
    const int newest = int(m_hashes.size()) - 1;
    if (newest + 1 < 2 * period)
        return false;
    bool different = false;
    for (int i = 0; i < period; ++i) {
        if (m_hashes[size_t(newest - i)] != m_hashes[size_t(newest - period - i)])
            return false;
        different = different || m_hashes[size_t(newest - i)] != m_hashes[size_t(newest)];
    }
    return different;
}

RecordLength::RecordLength(const MovieFacts &movie, double frameRate, double capSeconds)
    : m_rate(frameRate)
{
    const double timeline = movie.frameCount / frameRate;
    m_capFrames = std::max(1, int(std::floor(capSeconds * frameRate + 1e-9)));
    m_minFrames = std::clamp(movie.frameCount, 1, m_capFrames);
    m_animationEnd = std::max(timeline, movie.longestSpriteFrames / frameRate);
    m_longestPass = movie.longestUnstartedSound;
    for (const SoundPlay &play : movie.sounds) {
        m_longestPass = std::max(m_longestPass, play.start + play.seconds);
        if (play.loops >= EndlessLoops)
            m_endless = true;
        else
            m_knownSoundEnd = std::max(m_knownSoundEnd, play.start + play.seconds * std::max(play.loops, 1));
    }
    m_hasSound = !movie.sounds.isEmpty() || movie.longestUnstartedSound > 0;
    m_heardCounts = !movie.loops || movie.sounds.isEmpty();
    // Its own frames are its animation: once through them is one pass.
    m_timelineLoops = movie.loops && movie.frameCount >= 2;
    const double expected = m_endless ? std::max(timeline, m_longestPass)
                                      : std::max({timeline, m_knownSoundEnd, m_animationEnd});
    m_planned = std::clamp(framesAt(expected), m_minFrames, m_capFrames);
}

int RecordLength::framesAt(double seconds) const
{
    return int(std::ceil(seconds * m_rate - 1e-6));
}

void RecordLength::stop(int kept, const QString &why)
{
    m_done = true;
    m_kept = std::clamp(kept, 1, m_capFrames);
    m_planned = m_kept;
    m_why = why;
}

int RecordLength::firstDroppable() const
{
    return std::max(m_minFrames, framesAt(std::max(m_stillFrom, m_soundUntil) + StillTailSeconds));
}

void RecordLength::frame(int index, bool changed, bool repeating, double soundUntil)
{
    if (m_done)
        return;
    const int recorded = index + 1;
    const double t = recorded / m_rate;
    if (changed)
        m_stillFrom = t;
    m_soundUntil = std::max(m_soundUntil, m_heardCounts ? soundUntil : std::min(soundUntil, m_knownSoundEnd));
    m_hasSound = m_hasSound || soundUntil > 0;
    if (recorded >= m_planned && recorded < m_capFrames)
        m_planned = std::min(m_capFrames, recorded + framesAt(StillSeconds));

    if (recorded >= m_capFrames) {
        stop(recorded, QStringLiteral("cut at %1 s").arg(LengthText(t)));
        m_capped = true;
        return;
    }
    if (recorded < m_minFrames)
        return;
    if (m_endless) {
        const double pass = std::max(m_minFrames / m_rate, m_longestPass);
        if (t + 1e-9 >= pass)
            stop(recorded, QStringLiteral("one pass of the looping music (%1 s)").arg(LengthText(m_longestPass)));
        return;
    }
    // The known sounds end where the timeline says (give or take a codec's
    // padding); sound only the player knew of (started by code) may pause,
    // so it gets the still time.
    const bool known = m_knownSoundEnd > 0 && m_soundUntil <= m_knownSoundEnd + KnownSoundSlack;
    const bool sounding = known ? t < std::max(m_knownSoundEnd, m_soundUntil) - 1e-9
                                : m_soundUntil > 0 && t - m_soundUntil < StillSeconds - 1e-9;
    // Sound the timeline does not account for (code, or a sprite that
    // starts it on every pass) goes on a while at most.
    const double accounted = std::max({m_animationEnd, m_knownSoundEnd, m_longestPass});
    if (sounding && !known && t + 1e-9 >= accounted + UnendingGraceSeconds) {
        stop(recorded, QStringLiteral("the sound never stopped: cut at %1 s").arg(LengthText(t)));
        return;
    }
    if (sounding)
        return;
    const double quietFrom = std::max(m_stillFrom, m_soundUntil);
    const QString soundEnded = QStringLiteral("the sound ended at %1 s").arg(LengthText(m_soundUntil));
    if (t - quietFrom >= StillSeconds - 1e-9) {
        stop(std::max(m_minFrames, framesAt(quietFrom + StillTailSeconds)),
             m_soundUntil > m_stillFrom ? soundEnded
                                        : QStringLiteral("stood still from %1 s").arg(LengthText(m_stillFrom)));
        return;
    }
    if (t - m_stillFrom < StillSeconds - 1e-9) {
        // The picture still changes, and no sound plays.
        const double animationEnd = std::max(m_animationEnd, m_longestPass);
        const bool heard = m_soundUntil > 0;
        if (repeating)
            stop(recorded, heard ? soundEnded : QStringLiteral("the animation repeats from %1 s").arg(LengthText(t)));
        else if (t + 1e-9 >= animationEnd && (m_hasSound || m_timelineLoops))
            stop(recorded, heard ? soundEnded : QStringLiteral("one pass of its animation (%1 s)").arg(LengthText(t)));
        else if (t + 1e-9 >= animationEnd + UnendingGraceSeconds)
            stop(recorded, QStringLiteral("the picture never stood still: cut at %1 s").arg(LengthText(t)));
    }
}

} // namespace Render
