#include "Soundtrack.h"

#include "MediaReader.h"

#include "tools/Command.h"
#include "tools/ProgressSink.h"
#include "tools/Shell32.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <limits>

namespace Pipeline {

namespace {

QString Describe(const SoundSource &source)
{
    switch (source.kind) {
    case SoundSource::Kind::Event: return QStringLiteral("sound %1").arg(source.id);
    case SoundSource::Kind::MainStream: return QStringLiteral("the stream sound");
    case SoundSource::Kind::SpriteStream: return QStringLiteral("the stream sound of sprite %1").arg(source.id);
    }
    return QString();
}

// An MP3 stream's head names the encoder's delay; players skip those
// samples so the sound starts on its frame.
std::optional<qint64> LatencySkip(const TimelineStream &stream)
{
    if (stream.format.startsWith(QLatin1String("mp3")) && stream.latencySeek > 0)
        return stream.latencySeek;
    return std::nullopt;
}

// Each defined sound by ID, the first definition of an ID counting, so that
// thousands of starts do not each search thousands of sounds.
QHash<quint32, const TimelineSound *> SoundsById(const TimelineReport &report)
{
    QHash<quint32, const TimelineSound *> byId;
    for (const TimelineSound &sound : report.sounds) {
        if (!byId.contains(sound.id))
            byId.insert(sound.id, &sound);
    }
    return byId;
}

double StreamSeconds(const TimelineStream &stream, double decoded)
{
    const auto skip = LatencySkip(stream);
    return skip && stream.rate > 0 ? std::max(0.0, decoded - double(*skip) / stream.rate) : decoded;
}

// A stream's play from movie second `start`, its encoder delay skipped.
SoundPlay StreamPlay(const TimelineStream &stream, int input, double start, double decoded)
{
    SoundPlay play;
    play.input = input;
    play.stream = true;
    play.start = start;
    play.fromSample = LatencySkip(stream);
    play.playSeconds = StreamSeconds(stream, decoded);
    return play;
}

// An event sound's play as a start asks for it, `decoded` seconds being
// all the decoder gives; nothing when it would play nothing.
std::optional<SoundPlay> EventPlay(const SoundStart &start, const TimelineSound &sound, int input, double at,
                                   double decoded)
{
    SoundPlay play;
    play.input = input;
    play.start = at;
    play.plays = start.loops;
    play.fromSample = start.inPoint;
    play.toSample = start.outPoint;
    if (!play.toSample && sound.samples > 0)
        play.toSample = sound.samples;
    // In and out points count the sound's own samples, after the MP3
    // encoder's delay that the decoder still gives.
    const qint64 seek = sound.format.startsWith(QLatin1String("mp3")) ? sound.seekSamples : 0;
    if (seek > 0) {
        play.fromSample = play.fromSample.value_or(0) + seek;
        if (play.toSample)
            *play.toSample += seek;
    }
    if (play.fromSample && play.toSample && *play.toSample <= *play.fromSample)
        return std::nullopt;
    // One play lasts from the in point to the out point at the sound's
    // rate; the decoder may pad the last block, so the sample count is
    // what counts, never more than was decoded.
    double one = decoded;
    if (sound.rate > 0) {
        const qint64 from = play.fromSample.value_or(0);
        one = play.toSample ? double(*play.toSample - from) / sound.rate : decoded - double(from) / sound.rate;
    }
    play.playSeconds = std::clamp(one, 0.0, decoded);
    if (play.playSeconds <= 0)
        return std::nullopt;
    return play;
}

// Builds one soundtrack plan: each source checked once, the streams placed,
// then the event sounds as the timeline starts and stops them.
class SoundtrackPlanner
{
public:
    SoundtrackPlanner(const SoundChecker &check, const TimelineReport &report, const QList<SoundSource> &sources)
        : m_check(check)
        , m_report(report)
        , m_sources(sources)
    {
    }

    void addStreams()
    {
        double seconds = 0;
        if (m_report.stream) {
            const int input = inputOf(SoundSource::Kind::MainStream, 0, &seconds);
            if (input >= 0)
                add(StreamPlay(*m_report.stream, input, m_report.secondsAt(m_report.stream->firstFrame), seconds));
        }
        for (const TimelineStream &stream : m_report.spriteStreams) {
            if (stream.placedAt.isEmpty())
                continue;
            const int input = inputOf(SoundSource::Kind::SpriteStream, stream.sprite, &seconds);
            for (const qint64 placed : stream.placedAt) {
                if (input < 0)
                    break;
                add(StreamPlay(stream, input, m_report.secondsAt(placed + stream.firstFrame), seconds));
            }
        }
    }

    void addEventStarts()
    {
        // Starts act in frame order; within a frame in the order the report
        // lists them, so a stop after a start in one frame ends that start.
        QList<SoundStart> starts = m_report.soundStarts;
        std::stable_sort(starts.begin(), starts.end(),
                         [](const SoundStart &a, const SoundStart &b) { return a.frame < b.frame; });
        const auto sounds = SoundsById(m_report);
        for (const SoundStart &start : starts) {
            if (start.stop) {
                stopPlays(start);
                continue;
            }
            const TimelineSound *sound = sounds.value(start.sound);
            if (!sound) {
                leaveOut(QStringLiteral("sound %1").arg(start.sound), QStringLiteral("not defined in the movie"));
                continue;
            }
            addEventStart(start, *sound);
        }
    }

    SoundtrackPlan finish()
    {
        if (m_capped)
            m_plan.notes << QStringLiteral("The movie plays more than %1 sounds; the later ones are left out.")
                                .arg(kMaxSoundPlays);
        std::stable_sort(m_plan.plays.begin(), m_plan.plays.end(),
                         [](const SoundPlay &a, const SoundPlay &b) { return a.start < b.start; });
        for (const SoundPlay &play : m_plan.plays) {
            const double once = play.stopAt
                                    ? std::min(play.start + play.playSeconds, std::max(*play.stopAt, play.start))
                                    : play.start + play.playSeconds;
            m_plan.end = std::max(m_plan.end, once);
        }
        return m_plan;
    }

private:
    struct Checked
    {
        SoundCheck check;
        int input = -1;
    };

    // The input of a source, or -1 when it is missing or does not decode
    // (it is then named as left out, once); `seconds` gets its length.
    int inputOf(SoundSource::Kind kind, quint32 id, double *seconds)
    {
        const auto found = std::find_if(m_sources.begin(), m_sources.end(),
                                        [&](const SoundSource &s) { return s.kind == kind && s.id == id; });
        const SoundSource source = found != m_sources.end() ? *found : SoundSource{kind, id, QString()};
        const QString key = source.path.isEmpty() ? Describe(source) : source.path;
        auto it = m_checked.find(key);
        if (it == m_checked.end()) {
            Checked c;
            c.check = source.path.isEmpty() ? SoundCheck{false, 0, QStringLiteral("not exported")}
                                            : m_check(source.path);
            if (c.check.decodes) {
                c.input = int(m_plan.inputs.size());
                m_plan.inputs << source.path;
                m_plan.stereo = m_plan.stereo || c.check.channels != 1;
            }
            it = m_checked.insert(key, c);
        }
        if (!it->check.decodes) {
            leaveOut(Describe(source), it->check.reason);
            return -1;
        }
        *seconds = it->check.seconds;
        return it->input;
    }

    void leaveOut(const QString &name, const QString &reason)
    {
        if (m_named.contains(name))
            return;
        m_named << name;
        m_plan.leftOut << QStringLiteral("%1 (%2)").arg(name, reason);
    }

    bool add(const SoundPlay &play)
    {
        if (m_plan.plays.size() == kMaxSoundPlays) {
            m_capped = true;
            return false;
        }
        m_plan.plays << play;
        return true;
    }

    // A SyncStop ends the sound's plays still sounding at its frame.
    void stopPlays(const SoundStart &stop)
    {
        const double at = m_report.secondsAt(stop.frame);
        for (const qsizetype i : m_playsOf[stop.sound]) {
            SoundPlay &play = m_plan.plays[i];
            if (play.end() > at)
                play.stopAt = at;
        }
    }

    void addEventStart(const SoundStart &start, const TimelineSound &sound)
    {
        double seconds = 0;
        const int input = inputOf(SoundSource::Kind::Event, start.sound, &seconds);
        if (input < 0)
            return;
        const double at = m_report.secondsAt(start.frame);
        QList<qsizetype> &mine = m_playsOf[start.sound];
        if (start.noMultiple
            && std::any_of(mine.begin(), mine.end(), [&](qsizetype i) { return m_plan.plays.at(i).end() > at; }))
            return;
        const std::optional<SoundPlay> play = EventPlay(start, sound, input, at, seconds);
        if (play && add(*play))
            mine << m_plan.plays.size() - 1;
    }

    const SoundChecker &m_check;
    const TimelineReport &m_report;
    const QList<SoundSource> &m_sources;
    SoundtrackPlan m_plan;
    QHash<QString, Checked> m_checked; // by path
    QStringList m_named; // sounds already listed as left out
    QHash<quint32, QList<qsizetype>> m_playsOf; // event sound ID -> its plays
    bool m_capped = false;
};

} // namespace

QList<SoundExport> SoundExports(const TimelineReport &report, const QString &swfPath, const QString &folder,
                                const QString &stem)
{
    QList<SoundExport> exports;
    const QString base = folder + QLatin1Char('/') + stem;
    if (report.stream) {
        const QString out = base + QStringLiteral("_stream.flv");
        exports << SoundExport{{SoundSource::Kind::MainStream, 0, out},
                               {QStringLiteral("--stream"), QStringLiteral("0"), swfPath, QStringLiteral("-o"), out}};
    }
    for (const TimelineStream &stream : report.spriteStreams) {
        if (stream.placedAt.isEmpty())
            continue;
        const QString out = base + QStringLiteral("_sprite%1.flv").arg(stream.sprite);
        exports << SoundExport{
            {SoundSource::Kind::SpriteStream, stream.sprite, out},
            {QStringLiteral("--stream"), QString::number(stream.sprite), swfPath, QStringLiteral("-o"), out}};
    }
    const auto sounds = SoundsById(report);
    QList<quint32> wanted;
    QSet<quint32> seen;
    for (const SoundStart &start : report.soundStarts) {
        if (!start.stop && sounds.contains(start.sound) && !seen.contains(start.sound)) {
            seen.insert(start.sound);
            wanted << start.sound;
        }
    }
    for (const quint32 id : wanted) {
        const QString out = base + QStringLiteral("_sound%1.flv").arg(id);
        exports << SoundExport{{SoundSource::Kind::Event, id, out},
                               {QStringLiteral("-s"), QString::number(id), swfPath, QStringLiteral("-o"), out}};
    }
    return exports;
}

bool IsPlainMp3Stream(const TimelineReport &report)
{
    if (!report.stream || report.stream->format != QLatin1String("mp3") || report.stream->firstFrame != 0)
        return false;
    for (const TimelineStream &stream : report.spriteStreams) {
        if (!stream.placedAt.isEmpty())
            return false;
    }
    const auto sounds = SoundsById(report);
    return std::none_of(report.soundStarts.begin(), report.soundStarts.end(),
                        [&](const SoundStart &start) { return !start.stop && sounds.contains(start.sound); });
}

SoundCheck CheckSound(const QString &path)
{
    SoundCheck check;
    if (!QFileInfo(path).isFile()) {
        check.reason = QStringLiteral("not exported");
        return check;
    }
    const DecodedSound decoded = DecodeFirstAudio(path);
    check.decodes = decoded.seconds > 0;
    check.seconds = decoded.seconds;
    check.rate = decoded.rate;
    check.channels = decoded.channels;
    if (!check.decodes)
        check.reason = decoded.firstError.isEmpty() ? QStringLiteral("no audio decoded") : decoded.firstError;
    return check;
}

double SoundPlay::end() const
{
    const double all = start + playSeconds * plays;
    return stopAt ? std::min(all, std::max(*stopAt, start)) : all;
}

SoundtrackPlan PlanSoundtrack(const TimelineReport &report, const QList<SoundSource> &sources,
                              const SoundChecker &check)
{
    SoundtrackPlanner planner(check, report, sources);
    planner.addStreams();
    planner.addEventStarts();
    return planner.finish();
}

} // namespace Pipeline
