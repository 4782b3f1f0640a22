#include "BatchControls.h"

#include "filelist/FileQueue.h"
#include "filelist/Samples.h"
#include "tools/PathRoutines.h"

#include "tarnwick/Limits.h"

#include <QDir>
#include <QFileInfo>

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
    } else if (argument == QLatin1String("--combine")) {
        options.combine = true;
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
        "Usage: tarnwick-batch [--slow SECONDS | --fast N | --movie | --play [--play-fps N]]\n"
        "                      [--quality 0..100] [--each | --combine]\n"
        "                      [--out DIR | --beside] [--samples] FILE...\n"
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
        "                  player in headless Chromium, at its own frame rate for its whole timeline;\n"
        "                  needs the Debian package chromium; a movie waiting for a click gets its\n"
        "                  button pressed (at most 3 times); some ActionScript 3 movies do not play\n"
        "                  fully; a frame taking over 10 s ends that movie's recording\n"
        "  --play-fps N    with --play, record at N frames per second instead (0 or above 120: 30)\n"
        "  --quality Q     0 (smallest) to 100 (best), default 75\n"
        "  --each          one MP4 per SWF, named after it\n"
        "  --combine       all SWFs into one video.mp4 (default)\n"
        "  --out DIR       write the videos into DIR (default: the current folder)\n"
        "  --beside        write each video next to its SWF\n"
        "  --samples       convert the example files that come with Tarnwick too\n"
        "  --help          print this text and exit\n"
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
        } else {
            error = TakeValueOption(argument, value, here, options);
        }
        if (!error.isEmpty())
            return error;
    }
    if (options.play)
        options.movie = false;
    if (options.files.isEmpty())
        return QStringLiteral("no SWF file given");
    return QString();
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

void BatchControls::showMessage(const QString &text)
{
    Print(m_out, TerminalText(text) + QLatin1Char('\n'));
}

void BatchControls::showSummary(const QString &text, const QString &details, const QString & /*resultFolder*/)
{
    showMessage(text);
    if (!details.isEmpty())
        Print(m_err, TerminalText(details) + QLatin1Char('\n'));
}

void BatchControls::setCaption(const QString &caption)
{
    if (caption != m_caption && caption != QLatin1String("Progress Bar"))
        Print(m_err, caption + QLatin1Char('\n'));
    m_caption = caption;
}

void BatchControls::showErrorReport(const QString &location, int step, const QString &description)
{
    ++m_errorReports;
    Print(m_err, TerminalText(Tools::BuildErrorPrompt(location, step, description)) + QLatin1Char('\n'));
}

} // namespace Batch
