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

// aloop keeps the whole play in memory and repeats it once its input ends.
constexpr char kWholeSound[] = "2147483647";

qint64 Samples(double seconds, int rate = kSoundtrackRate)
{
    return qint64(std::llround(std::max(seconds, 0.0) * rate));
}

QStringList QuietArguments()
{
    return {QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"), QStringLiteral("-loglevel"),
            QStringLiteral("error"), QStringLiteral("-y")};
}

QStringList LosslessArguments(const QString &target)
{
    return {QStringLiteral("-c:a"), QStringLiteral("flac"), QStringLiteral("-f"), QStringLiteral("flac"), target};
}

QString Layout(bool stereo)
{
    return stereo ? QStringLiteral("stereo") : QStringLiteral("mono");
}

// Every input brought to one format so the mixer and concat take them. In a
// stereo soundtrack a mono sound goes to both sides at its full level, as
// players play it; the resampler's default would lower it by 3 dB.
QString CommonFormat(bool stereo, bool stream = false, int rate = kSoundtrackRate)
{
    // The resampler itself must convert: an aformat after it lets the graph
    // put a default converter in front, and the 3 dB are lost again. The
    // layout goes by its newer name: FFmpeg 5.1 ignores the older "ocl",
    // which left a mono sound mono, and a mix of mono and stereo sounds then
    // lost its stereo.
    return QStringLiteral("aresample=%1:out_chlayout=%2:clev=1:osf=fltp%3")
        .arg(rate)
        .arg(Layout(stereo), stream ? QStringLiteral(":async=1:first_pts=0") : QString());
}

QString Describe(const SoundSource &source)
{
    switch (source.kind) {
    case SoundSource::Kind::Event: return QStringLiteral("sound %1").arg(source.id);
    case SoundSource::Kind::MainStream: return QStringLiteral("the stream sound");
    case SoundSource::Kind::SpriteStream: return QStringLiteral("the stream sound of sprite %1").arg(source.id);
    }
    return QString();
}

// Without a caption of its own the run keeps the bar's: the runner would
// leave its idle text there, under which the job's next step would run.
bool RunFfmpeg(const QString &ffmpeg, const QStringList &arguments, Tools::ProgressSink *bar, const QString &caption)
{
    if (bar && !caption.isEmpty())
        bar->setCaption(caption);
    const QString shown = bar && caption.isEmpty() ? bar->caption() : caption;
    return Tools::RunAndWait(Tools::Command{ffmpeg, arguments, QString()}, bar, shown) == 0;
}

// Graphs go through a file: a movie with hundreds of sounds, or a long
// list of movies, would pass the kernel's limit on one argument.
bool WriteGraph(const QString &path, const QString &graph)
{
    QFile file(path);
    const QByteArray text = graph.toUtf8();
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}

bool Made(bool ran, const QString &target)
{
    if (ran && QFileInfo(target).size() > 0)
        return true;
    QFile::remove(target);
    return false;
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

// An input heard more than once is split, so each file is decoded once;
// each play then takes the next copy of its input.
class InputCopies
{
public:
    explicit InputCopies(const QList<const SoundPlay *> &heard)
    {
        for (const SoundPlay *play : heard)
            ++m_uses[play->input];
    }

    // The split filters, one line for each input heard more than once.
    QString splits() const
    {
        QString graph;
        for (auto it = m_uses.cbegin(); it != m_uses.cend(); ++it) {
            if (it.value() < 2)
                continue;
            graph += QStringLiteral("[%1:a]asplit=%2").arg(it.key()).arg(it.value());
            for (int k = 0; k < it.value(); ++k)
                graph += QStringLiteral("[s%1_%2]").arg(it.key()).arg(k);
            graph += QStringLiteral(";\n");
        }
        return graph;
    }

    QString next(int input)
    {
        if (m_uses.value(input) == 1)
            return QStringLiteral("[%1:a]").arg(input);
        return QStringLiteral("[s%1_%2]").arg(input).arg(m_taken[input]++);
    }

private:
    QHash<int, int> m_uses;
    QHash<int, int> m_taken;
};

// The filters that cut a play to its in and out points, repeat its loops
// as far as the video needs and bring it to the common format.
QStringList PlayFilters(const SoundPlay &play, double seconds, bool stereo)
{
    QStringList chain;
    if (play.fromSample || play.toSample) {
        QString trim = QStringLiteral("atrim=start_sample=%1").arg(play.fromSample.value_or(0));
        if (play.toSample)
            trim += QStringLiteral(":end_sample=%1").arg(*play.toSample);
        chain << trim << QStringLiteral("asetpts=PTS-STARTPTS");
    }
    if (!play.stream) {
        const double left = seconds - play.start;
        const int needed = int(std::min<double>(play.plays, std::ceil(left / play.playSeconds) + 1));
        if (needed > 1)
            chain << QStringLiteral("aloop=loop=%1:size=%2").arg(needed - 1).arg(QLatin1String(kWholeSound))
                  << QStringLiteral("asetpts=N/SR/TB");
    }
    // Gaps between stream blocks are timestamps without samples: the
    // resampler fills them with silence.
    chain << CommonFormat(stereo, play.stream);
    return chain;
}

// Plays laid one after another, the silence between them in front of each.
struct Lane
{
    qint64 end = 0; // samples
    QStringList segments;
};

// Joins each lane's plays, then mixes the lanes, ready for the finish.
QString MixLanes(const QList<Lane> &lanes)
{
    QString graph;
    for (qsizetype i = 0; i < lanes.size(); ++i) {
        graph += lanes[i].segments.join(QString());
        if (lanes[i].segments.size() > 1)
            graph += QStringLiteral("concat=n=%1:v=0:a=1").arg(lanes[i].segments.size());
        else
            graph += QStringLiteral("anull");
        graph += QStringLiteral("[l%1];\n").arg(i);
    }
    for (qsizetype i = 0; i < lanes.size(); ++i)
        graph += QStringLiteral("[l%1]").arg(i);
    // normalize=0: each sound keeps its own level instead of a share of
    // 1/inputs; the limiter catches what the sum pushes past full scale.
    if (lanes.size() > 1)
        graph += QStringLiteral("amix=inputs=%1:normalize=0:duration=longest,").arg(lanes.size());
    else
        graph += QStringLiteral("anull,");
    return graph;
}

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

QString SoundtrackGraph(const SoundtrackPlan &plan, double seconds)
{
    const qint64 total = Samples(seconds);
    QList<const SoundPlay *> heard;
    for (const SoundPlay &play : plan.plays) {
        if (Samples(play.start) < total && play.end() > play.start)
            heard << &play;
    }
    const QString finish =
        QStringLiteral("alimiter=level=false:latency=true,apad=whole_len=%1,atrim=end_sample=%1[out]").arg(total);
    if (heard.isEmpty())
        return QStringLiteral("anullsrc=r=%1:cl=%2,").arg(kSoundtrackRate).arg(Layout(plan.stereo)) + finish;

    InputCopies copies(heard);
    QString graph = copies.splits();
    // Plays that do not overlap share a lane: one after another, each padded
    // to its exact length with the silence between them put in front. The
    // mixer then sums a few lanes instead of hundreds of inputs each padded
    // with silence from the movie's start.
    QList<Lane> lanes;
    for (qsizetype i = 0; i < heard.size(); ++i) {
        const SoundPlay &play = *heard.at(i);
        QStringList chain = PlayFilters(play, seconds, plan.stereo);
        const qint64 from = Samples(play.start);
        const qint64 length = std::min(Samples(std::min(play.end(), seconds)), total) - from;
        if (length <= 0)
            continue;
        chain << QStringLiteral("apad=whole_len=%1,atrim=end_sample=%1").arg(length);

        auto lane = std::find_if(lanes.begin(), lanes.end(), [&](const Lane &l) { return l.end <= from; });
        if (lane == lanes.end())
            lane = lanes.insert(lanes.end(), Lane());
        if (from > lane->end)
            chain << QStringLiteral("adelay=delays=%1S:all=1").arg(from - lane->end);
        lane->end = from + length;
        const QString label = QStringLiteral("[p%1]").arg(i);
        graph += copies.next(play.input) + chain.join(QLatin1Char(',')) + label + QStringLiteral(";\n");
        lane->segments << label;
    }
    return graph + MixLanes(lanes) + finish;
}

QStringList SoundtrackArguments(const SoundtrackPlan &plan, const QString &graphPath, const QString &target)
{
    QStringList args = QuietArguments();
    for (const QString &input : plan.inputs)
        args << QStringLiteral("-i") << input;
    args << QStringLiteral("-filter_complex_script") << graphPath << QStringLiteral("-map") << QStringLiteral("[out]");
    return args + LosslessArguments(target);
}

QStringList SoundtrackCodecArguments()
{
    return {QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-b:a"), QLatin1String(kSoundtrackBitrate)};
}

bool IsSoundtrackFile(const QString &path)
{
    return path.endsWith(QLatin1String(kSoundtrackSuffix));
}

QString SoundtrackCaption(const QString &fileName)
{
    return QStringLiteral("Processing: %1 sound").arg(fileName);
}

bool WriteSoundtrack(const QString &ffmpeg, const SoundtrackPlan &plan, double seconds, const QString &target,
                     Tools::ProgressSink *bar, const QString &caption)
{
    if (plan.silent() || !(seconds > 0))
        return false;
    const QString graphPath = target + QStringLiteral(".graph");
    if (!WriteGraph(graphPath, SoundtrackGraph(plan, seconds)))
        return false;
    const bool ran = RunFfmpeg(ffmpeg, SoundtrackArguments(plan, graphPath, target), bar, caption);
    QFile::remove(graphPath);
    return Made(ran, target);
}

int CombinedSoundtrackRate(const QList<MovieSoundSpan> &spans)
{
    int rate = 0;
    for (const MovieSoundSpan &span : spans) {
        if (span.soundtrack.isEmpty())
            continue;
        if (span.rate <= 0)
            return kSoundtrackRate;
        rate = std::max(rate, std::min(span.rate, kSoundtrackRate));
    }
    return rate > 0 ? rate : kSoundtrackRate;
}

QString CombinedSoundtrackGraph(const QList<MovieSoundSpan> &spans)
{
    const int rate = CombinedSoundtrackRate(spans);
    // Stereo when one movie's sound is: a mono movie then plays on both
    // sides at its full level.
    const bool stereo = std::any_of(spans.begin(), spans.end(), [](const MovieSoundSpan &span) {
        return !span.soundtrack.isEmpty() && span.channels != 1;
    });
    QString graph;
    int inputs = 0;
    int parts = 0;
    for (const MovieSoundSpan &span : spans) {
        // Whole samples of absolute times, so the spans add up exactly.
        const qint64 length = Samples(span.end, rate) - Samples(span.start, rate);
        if (length <= 0)
            continue;
        if (span.soundtrack.isEmpty()) {
            graph += QStringLiteral("anullsrc=r=%1:cl=%2,atrim=end_sample=%3[c%4];\n")
                         .arg(rate)
                         .arg(Layout(stereo))
                         .arg(length)
                         .arg(parts);
        } else {
            graph += QStringLiteral("[%1:a]%2,apad=whole_len=%3,atrim=end_sample=%3,asetpts=N/SR/TB[c%4];\n")
                         .arg(inputs++)
                         .arg(CommonFormat(stereo, false, rate))
                         .arg(length)
                         .arg(parts);
        }
        ++parts;
    }
    if (parts == 0)
        return QString();
    for (int i = 0; i < parts; ++i)
        graph += QStringLiteral("[c%1]").arg(i);
    return graph + QStringLiteral("concat=n=%1:v=0:a=1[out]").arg(parts);
}

std::optional<Tools::Command> CombinedSoundtrackFeed(const QString &ffmpeg, const QList<MovieSoundSpan> &spans,
                                                     const QString &graphPath)
{
    const QString graph = CombinedSoundtrackGraph(spans);
    if (graph.isEmpty() || !WriteGraph(graphPath, graph))
        return std::nullopt;
    const int rate = CombinedSoundtrackRate(spans);
    QStringList args = QuietArguments();
    for (const MovieSoundSpan &span : spans) {
        if (!span.soundtrack.isEmpty() && Samples(span.end, rate) - Samples(span.start, rate) > 0)
            args << QStringLiteral("-i") << span.soundtrack;
    }
    args << QStringLiteral("-filter_complex_script") << graphPath << QStringLiteral("-map") << QStringLiteral("[out]")
         << QStringLiteral("-c:a") << QStringLiteral("pcm_s24le") << QStringLiteral("-f")
         << QLatin1String(kSoundFeedFormat) << QStringLiteral("pipe:1");
    return Tools::Command{ffmpeg, args, QString()};
}

} // namespace Pipeline
