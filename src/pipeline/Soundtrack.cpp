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
