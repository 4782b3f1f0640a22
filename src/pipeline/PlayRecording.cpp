#include "PlayRecording.h"

#include "MovieTiming.h"
#include "OutputFolder.h"
#include "Soundtrack.h"
#include "TimelineReport.h"
#include "VideoCheck.h"
#include "VideoEncoding.h"

#include "render/MovieRecorder.h"
#include "tools/CmdOutput.h"
#include "tools/PathRoutines.h"
#include "tools/ProcessRunner.h"
#include "tools/Shell32.h"
#include "tools/StopCleanup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <climits>
#include <cmath>

namespace Pipeline {

namespace {

constexpr int kSampleRate = 44100;

using Take = PlayRecording::Take;

bool AllAlike(const QList<Take> &takes)
{
    const Take &first = takes.constFirst();
    bool alike = true;
    for (const Take &take : takes) {
        alike = alike && take.width == first.width && take.height == first.height && take.frameRate == first.frameRate
                && take.hasSound == first.hasSound;
    }
    return alike;
}

bool WriteConcatList(const QString &list, const QList<Take> &takes)
{
    QFile file(list);
    QString text;
    for (const Take &take : takes)
        text += ConcatFileLine(take.file);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text.toUtf8()) >= 0;
}

// The inputs and the re-encode that join takes which differ: each one
// brought to the first one's frame (scaled to fit, padded with black) at
// its rate; a silent one gets silence of its length.
QStringList ReencodedJoinArguments(const QList<Take> &takes, int crf)
{
    const Take &first = takes.constFirst();
    const bool anySound = std::any_of(takes.cbegin(), takes.cend(), [](const Take &t) { return t.hasSound; });
    QStringList args;
    QString graph;
    QString joined;
    for (qsizetype i = 0; i < takes.size(); ++i) {
        const Take &take = takes.at(i);
        args << QStringLiteral("-i") << take.file;
        graph += QStringLiteral("[%1:v]scale=%2:%3:force_original_aspect_ratio=decrease,"
                                "pad=%2:%3:(ow-iw)/2:(oh-ih)/2,setsar=1,fps=%4[v%1];")
                     .arg(i)
                     .arg(first.width)
                     .arg(first.height)
                     .arg(QString::number(first.frameRate, 'g', 10));
        joined += QStringLiteral("[v%1]").arg(i);
        if (anySound) {
            if (take.hasSound)
                graph += QStringLiteral(
                             "[%1:a]aresample=%2,aformat=channel_layouts=stereo,apad,atrim=duration=%3[a%1];")
                             .arg(i)
                             .arg(kSampleRate)
                             .arg(QString::number(take.seconds, 'f', 6));
            else
                graph += QStringLiteral("anullsrc=r=%1:cl=stereo,atrim=duration=%2[a%3];")
                             .arg(kSampleRate)
                             .arg(QString::number(take.seconds, 'f', 6))
                             .arg(i);
            joined += QStringLiteral("[a%1]").arg(i);
        }
    }
    graph += joined + QStringLiteral("concat=n=%1:v=1:a=%2[v]").arg(takes.size()).arg(anySound ? 1 : 0);
    if (anySound)
        graph += QStringLiteral("[a]");
    args << QStringLiteral("-filter_complex") << graph << QStringLiteral("-map") << QStringLiteral("[v]");
    if (anySound)
        args << QStringLiteral("-map") << QStringLiteral("[a]") << SoundtrackCodecArguments();
    args << QStringLiteral("-c:v") << QStringLiteral("libx264") << QStringLiteral("-pix_fmt")
         << QStringLiteral("yuv420p") << QStringLiteral("-crf") << QString::number(crf);
    return args;
}

// The sound plays of a stream: from its first block to its last, once
// for each place its timeline starts.
void AddStream(const TimelineReport &report, const TimelineStream &stream, const QList<qint64> &starts,
               QList<Render::SoundPlay> &plays)
{
    const double seconds = report.secondsAt(stream.lastFrame - stream.firstFrame + 1);
    for (qint64 start : starts)
        plays.append(Render::SoundPlay{report.secondsAt(start + stream.firstFrame), seconds, 1, true});
}

} // namespace

Render::MovieFacts MovieFactsFrom(const TimelineReport &report)
{
    Render::MovieFacts facts;
    facts.widthPx = report.stageWidth;
    facts.heightPx = report.stageHeight;
    facts.frameRate = report.frameRate;
    facts.frameCount = int(std::min<qint64>(report.frameCount, INT_MAX));
    facts.actionScript3 = report.actionScript3;
    facts.loops = !report.stops;
    if (report.background) {
        const Tarnwick::Rgb c = *report.background;
        facts.background = QStringLiteral("#%1%2%3")
                               .arg(c.red, 2, 16, QLatin1Char('0'))
                               .arg(c.green, 2, 16, QLatin1Char('0'))
                               .arg(c.blue, 2, 16, QLatin1Char('0'));
    }
    facts.buttons = report.buttons;
    for (const SpriteFrames &sprite : report.sprites)
        facts.longestSpriteFrames = int(std::max<qint64>(facts.longestSpriteFrames, std::min<qint64>(sprite.frames, INT_MAX)));
    facts.needsFullRenderer = report.usesFilters || report.usesBlendModes || report.usesBitmapFills;

    QSet<quint32> started;
    for (const SoundStart &start : report.soundStarts) {
        const TimelineSound *sound = report.sound(start.sound);
        if (start.stop || !sound || sound->rate <= 0)
            continue;
        started.insert(start.sound);
        const qint64 in = start.inPoint.value_or(0);
        const qint64 out = std::min(start.outPoint.value_or(sound->samples), sound->samples);
        const double seconds = out > in ? double(out - in) / sound->rate : 0;
        facts.sounds.append(Render::SoundPlay{report.secondsAt(start.frame), seconds, start.loops, false});
    }
    for (const TimelineSound &sound : report.sounds) {
        if (!started.contains(sound.id))
            facts.longestUnstartedSound = std::max(facts.longestUnstartedSound, sound.seconds);
    }
    if (report.stream)
        AddStream(report, *report.stream, {0}, facts.sounds);
    for (const TimelineStream &stream : report.spriteStreams)
        AddStream(report, stream, stream.placedAt, facts.sounds);
    return facts;
}

bool ReadMovieFacts(const QString &extractor, const QString &swf, Render::MovieFacts &facts, QString &reason)
{
    QString errors;
    const QString json = Tools::RunCaptured(Tools::Command{extractor, {QStringLiteral("--timeline"), swf}, QString()},
                                            true, false, false, &errors);
    const TimelineReportResult parsed = ParseTimelineReport(json.toUtf8());
    if (!parsed.ok) {
        const QString said = Tools::LastLineOf(errors);
        reason = QStringLiteral("the movie cannot be read: %1").arg(said.isEmpty() ? parsed.error : said);
        return false;
    }
    facts = MovieFactsFrom(parsed.report);
    return true;
}

PlayRecording::PlayRecording(Setup setup)
    : m_setup(std::move(setup))
{
}

void PlayRecording::clear()
{
    for (const Take &take : m_takes)
        QFile::remove(take.file);
    m_takes.clear();
}

bool PlayRecording::record(const QString &swf, int position, const Progress &progress, QStringList &notes,
                           QString &reason)
{
    const QString folder = m_setup.workFolder + QStringLiteral("/play");
    QDir().mkpath(folder);
    Render::RecordRequest request;
    if (!ReadMovieFacts(m_setup.extractor, swf, request.movie, reason))
        return false;
    request.swfPath = swf;
    request.outputPath = folder + QStringLiteral("/movie%1.mp4").arg(position);
    // A folder of its own for every recording: a browser still ending
    // cannot hold the next one's profile.
    request.workFolder = folder + QStringLiteral("/work%1").arg(position);
    request.assetsFolder = m_setup.assetsFolder;
    request.crf = m_setup.crf;
    request.fpsOverride = m_setup.fpsOverride;
    request.playHeight = m_setup.playHeight;
    if (m_setup.playSeconds > 0)
        request.maxSeconds = m_setup.playSeconds;
    request.progress = progress;
    Tools::RemoveOnStop(request.outputPath);
    const Render::RecordResult result = Render::MovieRecorder().record(request);
    Tools::ForgetOnStop(request.outputPath);
    QDir(request.workFolder).removeRecursively();
    notes << result.notes;
    if (!result.ok) {
        QFile::remove(request.outputPath);
        reason = result.error;
        return false;
    }
    m_takes.append(Take{swf, request.outputPath, result.framesRecorded, result.seconds, result.frameRate, result.width,
                        result.height, result.hasSound});
    return true;
}

bool PlayRecording::join(const QString &target, QString &reason) const
{
    QStringList args{QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"), QStringLiteral("-loglevel"),
                     QStringLiteral("error"), QStringLiteral("-y")};
    if (AllAlike(m_takes)) {
        // Same size, rate and sound: the recordings are joined as they are.
        const QString list = m_setup.workFolder + QStringLiteral("/play/concat.txt");
        if (!WriteConcatList(list, m_takes)) {
            reason = QStringLiteral("the list of recordings cannot be written in the work folder");
            return false;
        }
        args << QStringLiteral("-f") << QStringLiteral("concat") << QStringLiteral("-safe") << QStringLiteral("0")
             << QStringLiteral("-i") << list << QStringLiteral("-c") << QStringLiteral("copy");
    } else {
        args << ReencodedJoinArguments(m_takes, m_setup.crf);
    }
    args << QStringLiteral("-movflags") << QStringLiteral("+faststart") << QStringLiteral("-f") << QStringLiteral("mp4")
         << target;
    QString errors;
    const int status = Tools::RunAndWait(Tools::Command{m_setup.encoder, args, QString()}, nullptr, QString(),
                                         std::nullopt, std::nullopt, Tools::DefaultPollClock(), &errors);
    if (status == 0)
        return true;
    reason = EncoderFailure(status, errors);
    return false;
}

bool PlayRecording::publish(const QString &output, QString &reason)
{
    if (m_takes.isEmpty()) {
        reason = QStringLiteral("no movie could be recorded");
        return false;
    }
    RemoveStaleTemporaries(Tools::FolderOf(output));
    const QString target = ReserveTemporaryOutput(output, &reason);
    if (target.isEmpty())
        return false;
    Tools::RemoveOnStop(target);
    bool made = false;
    int frames = 0;
    double seconds = 0;
    bool withSound = false;
    const double rate = m_takes.constFirst().frameRate;
    if (m_takes.size() == 1) {
        QFile::remove(target);
        made = QFile::copy(m_takes.constFirst().file, target);
        if (!made)
            reason = QStringLiteral("the recording cannot be copied to %1").arg(Tools::FolderOf(output));
    } else {
        made = join(target, reason);
    }
    for (const Take &take : m_takes) {
        frames += take.frameRate == rate ? take.frames : static_cast<int>(std::lround(take.seconds * rate));
        seconds += take.seconds;
        withSound = withSound || take.hasSound;
    }
    if (made) {
        reason = CheckEncodedVideo(target, frames, seconds, withSound);
        made = reason.isEmpty();
    }
    if (made)
        made = ReplaceWithTemporary(target, output, &reason);
    if (!made)
        QFile::remove(target);
    Tools::ForgetOnStop(target);
    return made;
}

} // namespace Pipeline
