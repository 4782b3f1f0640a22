#include "BatchControls.h"

#include "filelist/FileQueue.h"
#include "filelist/Samples.h"
#include "render/RecordPlan.h"
#include "tools/PathRoutines.h"

#include "tarnwick/Limits.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <functional>
#include <optional>

namespace Batch {

namespace {

void Print(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

// An option without a value; false when `argument` is none of them.
bool TakeSwitch(const QString &argument, BatchOptions &options)
{
    if (argument == QLatin1String("--play")) {
        options.play = true;
    } else if (argument == QLatin1String("--movie")) {
        // As the window's AS IN MOVIE: neither SLOW nor FAST is selected.
        options.slow = false;
        options.movie = true;
    } else if (argument == QLatin1String("--each")) {
        options.combine = false;
        options.archive.combineChosen = false;
    } else if (argument == QLatin1String("--combine")) {
        options.combine = true;
        options.archive.combineChosen = true;
    } else if (argument == QLatin1String("--beside")) {
        options.beside = true;
    } else {
        return false;
    }
    return true;
}

// The window's "Load Sample/Example Files": sorted by name, none listed twice.
QString AddSamples(BatchOptions &options, const QString &dataFolder)
{
    const QString folder = FileList::SamplesFolder(dataFolder);
    if (dataFolder.isEmpty() || !Tools::IsFolder(folder))
        return QStringLiteral("the sample folder %1 is missing").arg(folder);
    FileList::FileQueue queue;
    queue.append(options.files);
    FileList::LoadSampleFiles(queue, dataFolder);
    options.files = queue.entries();
    return QString();
}

// --play-fps's value, or nothing when it has none.
QString TakePlayFps(const std::optional<QString> &text, BatchOptions &options)
{
    bool ok = false;
    double fps = text ? text->toDouble(&ok) : 0;
    if (!ok || !(fps >= 0))
        return QStringLiteral("--play-fps needs a number of frames per second");
    options.play = true;
    // A rate no player shows (none, or a movie's absurd one) becomes 30.
    if (fps == 0 || fps > Tarnwick::kMaxFrameRate) {
        options.notes.append(QStringLiteral("--play-fps %1 is not a usable frame rate: 30 is used").arg(*text));
        fps = Tarnwick::kFallbackFrameRate;
    }
    options.playFps = fps;
    return QString();
}

// --play-height's and --play-seconds' values.
QString TakePlayLimits(const QString &argument, const std::optional<QString> &text, BatchOptions &options)
{
    bool ok = false;
    if (argument == QLatin1String("--play-height")) {
        const int height = text ? text->toInt(&ok) : 0;
        if (!ok || Render::UsablePlayHeight(height) != height)
            return QStringLiteral("--play-height needs 720, 1080, 1440 or 2160");
        options.playHeight = height;
        return QString();
    }
    const double seconds = text ? text->toDouble(&ok) : 0;
    if (!ok || !(seconds > 0))
        return QStringLiteral("--play-seconds needs a number of seconds above 0");
    options.playSeconds = seconds;
    return QString();
}

// The paths of a --from-list file ("-": standard input), one a line;
// relative ones are taken from the current folder, as on the command line.
QString ReadListFile(const QString &name, const QDir &here, QStringList &files)
{
    QFile list;
    bool opened = false;
    if (name == QLatin1String("-")) {
        opened = list.open(stdin, QIODevice::ReadOnly);
    } else {
        list.setFileName(here.absoluteFilePath(name));
        opened = list.open(QIODevice::ReadOnly);
    }
    if (!opened || Tools::IsFolder(list.fileName()))
        return QStringLiteral("the list file %1 cannot be read: %2")
            .arg(name, opened ? QStringLiteral("it is a folder") : list.errorString());
    const QByteArray text = list.readAll();
    if (list.error() != QFileDevice::NoError)
        return QStringLiteral("the list file %1 cannot be read: %2").arg(name, list.errorString());
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty())
            files.append(QDir::cleanPath(here.absoluteFilePath(QFile::decodeName(line))));
    }
    return QString();
}

// The options of archive runs; nothing when `argument` is none of them.
std::optional<QString> TakeArchiveOption(const QString &argument, const std::function<bool(QString &)> &value,
                                         const QDir &here, BatchOptions &options)
{
    ArchiveOptions &archive = options.archive;
    QString text;
    bool ok = false;
    if (argument == QLatin1String("--jobs")) {
        archive.jobs = value(text) ? text.toInt(&ok) : 0;
        if (!ok || archive.jobs < 1 || archive.jobs > kMaxJobs)
            return QStringLiteral("--jobs needs a whole number from 1 to %1").arg(kMaxJobs);
    } else if (argument == QLatin1String("--report")) {
        if (!value(text) || text.isEmpty())
            return QStringLiteral("--report needs a file name");
        archive.reportPath = QDir::cleanPath(here.absoluteFilePath(text));
    } else if (argument == QLatin1String("--resume")) {
        archive.resume = true;
    } else if (argument == QLatin1String("--keep-folders")) {
        archive.keepFolders = true;
    } else if (argument == QLatin1String("--shard")) {
        static const QRegularExpression form(QStringLiteral("^(\\d{1,9})/(\\d{1,9})$"));
        const QRegularExpressionMatch match = form.match(value(text) ? text : QString());
        archive.shardIndex = match.captured(1).toInt();
        archive.shardCount = match.captured(2).toInt();
        if (!match.hasMatch() || archive.shardIndex < 1 || archive.shardIndex > archive.shardCount)
            return QStringLiteral("--shard needs K/N, a share K from 1 to N of N shares, such as 2/4");
    } else if (argument == QLatin1String("--from-list")) {
        if (!value(text))
            return QStringLiteral("--from-list needs a file name, or - for standard input");
        return ReadListFile(text, here, options.files);
    } else if (argument == QLatin1String("--worker")) {
        // Internal: a child started by --jobs, sent its movies as it goes.
        archive.worker = true;
    } else {
        return std::nullopt;
    }
    return QString();
}

// The archive options that do not fit the rest of the command line.
QString CheckArchiveOptions(BatchOptions &options)
{
    ArchiveOptions &archive = options.archive;
    if (archive.resume && archive.reportPath.isEmpty())
        return QStringLiteral("--resume needs --report FILE, the report it resumes from");
    if (!archive.perMovie())
        return QString();
    // One video per movie is what these options are for.
    if (archive.combineChosen)
        return QStringLiteral("--jobs above 1, --report, --shard and --keep-folders make one video per movie: "
                              "they cannot be used with --combine");
    if (archive.keepFolders && options.beside)
        return QStringLiteral("--keep-folders keeps the folders under --out DIR; with --beside each video is "
                              "next to its movie already");
    options.combine = false;
    return QString();
}

// An option followed by its value, which `value` takes from the arguments
// (false when none is left); returns the usage error, or empty.
QString TakeValueOption(const QString &argument, const std::function<bool(QString &)> &value, const QDir &here,
                        BatchOptions &options)
{
    QString text;
    if (argument == QLatin1String("--slow")) {
        options.slow = true;
        options.movie = false;
        if (!value(options.seconds))
            return QStringLiteral("--slow needs a number of seconds");
    } else if (argument == QLatin1String("--play-fps")) {
        return TakePlayFps(value(text) ? std::optional<QString>(text) : std::nullopt, options);
    } else if (argument == QLatin1String("--play-height") || argument == QLatin1String("--play-seconds")) {
        return TakePlayLimits(argument, value(text) ? std::optional<QString>(text) : std::nullopt, options);
    } else if (argument == QLatin1String("--fast")) {
        options.slow = false;
        options.movie = false;
        if (!value(options.perSecond))
            return QStringLiteral("--fast needs a number of pictures per second");
    } else if (argument == QLatin1String("--quality")) {
        bool ok = false;
        if (value(text))
            options.quality = text.toInt(&ok);
        if (!ok || options.quality < 0 || options.quality > 100)
            return QStringLiteral("--quality needs a whole number from 0 to 100");
    } else if (argument == QLatin1String("--out")) {
        if (!value(text))
            return QStringLiteral("--out needs a folder");
        options.beside = false;
        options.outFolder = QDir::cleanPath(here.absoluteFilePath(text));
    } else {
        return QStringLiteral("unknown option ") + argument;
    }
    return QString();
}

} // namespace

QString UsageText()
{
    return QStringLiteral(
        "Usage: tarnwick-batch [--slow SECONDS | --fast N | --movie | --play [--play-fps N]\n"
        "                      [--play-height 720|1080|1440|2160] [--play-seconds N]]\n"
        "                      [--quality 0..100] [--each | --combine]\n"
        "                      [--out DIR | --beside] [--samples] FILE...\n"
        "       tarnwick-batch [choices] [--jobs N] [--report FILE.jsonl [--resume]] [--shard K/N]\n"
        "                      [--keep-folders] [--from-list LIST|-] FILE-OR-FOLDER...\n"
        "       tarnwick-batch --help\n"
        "Turns SWF movies into MP4 slide-show videos.\n"
        "  --slow SECONDS  show each picture for SECONDS seconds (default 3)\n"
        "  --fast N        show N pictures per second\n"
        "  --movie         show each picture when and as long as the movie shows it: the video\n"
        "                  lasts the movie's timeline, or its sound when that is longer (a looping\n"
        "                  movie repeats its pictures, one that stops keeps its last), at most 3 hours;\n"
        "                  a movie whose timeline shows none of its pictures is made as with --slow,\n"
        "                  with the SECONDS of a --slow given before --movie (default 3)\n"
        "  --play          record each movie as it plays (drawings, animation and sound) in the Ruffle\n"
        "                  player in headless Chromium, at its own frame rate, for as long as it plays:\n"
        "                  its main timeline at least, then on while a sound plays or the picture\n"
        "                  changes, until it stands still and silent for 2 s (0.5 s of that kept);\n"
        "                  music looping 100 times or more gets one pass; at most 3 hours;\n"
        "                  needs the Debian package chromium; a movie waiting for a click gets its\n"
        "                  button pressed (at most 3 times); some ActionScript 3 movies do not play\n"
        "                  fully; a frame taking over 10 s ends that movie's recording\n"
        "  --play-fps N    with --play, record at N frames per second instead (0 or above 120: 30)\n"
        "  --play-height H with --play, frames H pixels high: 720 (default), 1080, 1440 or 2160\n"
        "  --play-seconds N  with --play, record each movie for at most N seconds\n"
        "  --quality Q     0 (smallest) to 100 (best), default 75\n"
        "  --each          one MP4 per SWF, named after it\n"
        "  --combine       all SWFs into one video.mp4 (default)\n"
        "  --out DIR       write the videos into DIR (default: the current folder)\n"
        "  --beside        write each video next to its SWF\n"
        "  --samples       convert the example files that come with Tarnwick too\n"
        "  --jobs N        convert up to N movies at once (1 to 32, default 1)\n"
        "  --report FILE   append one JSON line per movie to FILE as each ends (man tarnwick-batch)\n"
        "  --resume        with --report: skip the movies it says were made, unchanged, with the same\n"
        "                  choices, whose video is still there\n"
        "  --shard K/N     convert only share K of N shares of the list (by a hash of each path)\n"
        "  --from-list LIST  add the paths in LIST, one a line (- reads standard input)\n"
        "  --keep-folders  with --out, keep each movie's folder below the list's root\n"
        "  --help          print this text and exit\n"
        "A folder stands for the SWF files of its whole tree. --jobs above 1, --report, --shard and\n"
        "--keep-folders make one video per movie (as --each) and cannot be used with --combine.\n"
        "Each movie keeps its sound: its stream sounds and every event sound its timeline starts,\n"
        "mixed at their own levels into 192 kb/s AAC (a movie whose only sound is an MP3 stream from\n"
        "its first frame has the MP3 copied unchanged); in a combined video each movie's sound plays\n"
        "with its own pictures. A sound that cannot be decoded is left out and named.\n"
        "The output folder is checked before any work: one that is missing or cannot be written is refused.\n"
        "Each new video is checked before it replaces an older one of the same name, which keeps its\n"
        "permissions; a video that fails the check leaves the older one in place.\n"
        "Why a video was not made, why a SWF gave no pictures and which sounds were left out are\n"
        "written to standard error.\n"
        "Exit status: 0 when every video was made from pictures and every SWF was read whole; 1 when a\n"
        "video could not be made, a SWF gave no pictures or could only be read in part, or the job was\n"
        "refused; 2 on a usage error; 128 + N when stopped by signal N (SIGINT 130, SIGTERM 143,\n"
        "SIGHUP 129). A stopped run ends every tool it started and removes its unfinished video and\n"
        "its scratch folder; videos already finished stay.\n");
}

QString ParseArguments(const QStringList &arguments, const QString &currentFolder, BatchOptions &options,
                       const QString &dataFolder)
{
    const QDir here(currentFolder);
    options.outFolder = currentFolder;
    bool filesOnly = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        const auto value = [&](QString &into) {
            if (i + 1 >= arguments.size())
                return false;
            into = arguments.at(++i);
            return true;
        };
        QString error;
        if (filesOnly || !argument.startsWith(QLatin1String("--"))) {
            options.files.append(QDir::cleanPath(here.absoluteFilePath(argument)));
        } else if (argument == QLatin1String("--")) {
            filesOnly = true;
        } else if (argument == QLatin1String("--help")) {
            options.help = true;
            return QString();
        } else if (TakeSwitch(argument, options)) {
            continue;
        } else if (argument == QLatin1String("--samples")) {
            error = AddSamples(options, dataFolder);
        } else if (const std::optional<QString> archiveError = TakeArchiveOption(argument, value, here, options)) {
            error = *archiveError;
        } else {
            error = TakeValueOption(argument, value, here, options);
        }
        if (!error.isEmpty())
            return error;
    }
    if (options.play)
        options.movie = false;
    if (options.files.isEmpty() && !options.archive.worker)
        return QStringLiteral("no SWF file given");
    return CheckArchiveOptions(options);
}

QString TerminalText(const QString &text)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

BatchControls::BatchControls(BatchOptions options, std::FILE *out, std::FILE *err)
    : m_options(std::move(options))
    , m_out(out)
    , m_err(err)
{
}

void BatchControls::show(std::FILE *stream, const QString &text) const
{
    QString shown = TerminalText(text);
    if (!m_label.isEmpty()) {
        // Several movies at once share the terminal: each line names its own.
        shown = m_label + QStringLiteral(": ") + shown;
        shown.replace(QLatin1Char('\n'), QLatin1Char('\n') + m_label + QStringLiteral(": "));
    }
    Print(stream, shown + QLatin1Char('\n'));
}

void BatchControls::showMessage(const QString &text)
{
    m_messages.append(text);
    show(m_out, text);
}

void BatchControls::showSummary(const QString &text, const QString &details, const QString & /*resultFolder*/)
{
    // One movie of an archive run: its result line and the report say it.
    if (m_label.isEmpty())
        show(m_out, text);
    m_summary = text;
    if (!details.isEmpty())
        show(m_err, details);
}

void BatchControls::setCaption(const QString &caption)
{
    if (caption != m_caption && caption != QLatin1String("Progress Bar"))
        show(m_err, caption);
    m_caption = caption;
}

void BatchControls::showErrorReport(const QString &location, int step, const QString &description)
{
    ++m_errorReports;
    show(m_err, Tools::BuildErrorPrompt(location, step, description));
}

} // namespace Batch
