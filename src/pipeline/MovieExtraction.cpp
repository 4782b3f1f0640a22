#include "MovieExtraction.h"

#include "tools/CmdOutput.h"
#include "tools/PathRoutines.h"
#include "tools/ProcessRunner.h"
#include "tools/Shell32.h"

#include "lib/Convert.h"

#include <QFile>

#include <algorithm>

namespace Pipeline {

namespace {

// The extractor's exit status when something asked for was not written, or
// the listed movie is cut or damaged (tarnwick-swfextract(1)).
constexpr int kExtractorFailed = 1;

// The listing: what its pictures are and whether it holds an MP3 stream.
// Its complaints say why pictures may be missing.
void ListMovie(const MovieToExtract &movie, ExtractedMovie &extracted)
{
    QString errors;
    int status = -1;
    const QString listing = Tools::RunCaptured(Tools::Command{movie.extractor, {movie.source}, QString()}, true, false,
                                               true, &errors, &status);
    extracted.listing = ParseSwfListing(listing);
    // The extractor's status tells a movie cut or damaged from a whole one:
    // 1 with a listing, which shows what could be read (a file that is no
    // movie at all lists nothing).
    extracted.readInPart = status == kExtractorFailed && !listing.trimmed().isEmpty();
    extracted.reason = Tools::LastLineOf(errors);
}

std::optional<TimelineReport> ReadTimeline(const MovieToExtract &movie)
{
    // Standard output only: the report is JSON, the warnings go to errors.
    const TimelineReportResult timeline = ParseTimelineReport(
        Tools::RunCaptured(Tools::Command{movie.extractor, {QStringLiteral("--timeline"), movie.source}, QString()},
                           true, false, true)
            .toUtf8());
    return timeline.ok ? std::optional<TimelineReport>(timeline.report) : std::nullopt;
}

// The pictures of every listing line, and the MP3 stream when asked for,
// come from one run: the extractor reads and inflates the movie once and
// names each picture after its ID through the %d pattern.
void WriteOutputs(const MovieToExtract &movie, bool mp3, ExtractedMovie &extracted)
{
    const QString stem = movie.pictureFolder + QLatin1Char('/') + movie.stem;
    QList<QStringList> outputs;
    for (const SwfListing::PictureLine &line : extracted.listing.pictureLines) {
        if (line.ids.trimmed().isEmpty())
            continue;
        const bool jpeg = line.kind == SwfListing::Kind::Jpeg;
        outputs.append({jpeg ? QStringLiteral("-j") : QStringLiteral("-p"), line.ids, QStringLiteral("-o"),
                        stem + (jpeg ? QStringLiteral("_%d.jpg") : QStringLiteral("_%d.png"))});
    }
    // The MP3 stream first: the extractor reports each output's problems in
    // turn, so why pictures are missing comes last, where the reason is read.
    if (mp3)
        outputs.prepend({QStringLiteral("-m"), QStringLiteral("-o"), movie.soundPath});
    if (outputs.isEmpty() || Tools::ChildrenCancelled())
        return;
    QStringList arguments;
    if (outputs.size() == 1) {
        // One output: the command as a run of its own has always been.
        arguments = outputs.first().mid(0, outputs.first().size() - 2);
        arguments << movie.source << QStringLiteral("-o") << outputs.first().last();
    } else {
        for (const QStringList &output : outputs)
            arguments += output;
        arguments << movie.source;
    }
    QString errors;
    Tools::RunAndWait(Tools::Command{movie.extractor, arguments, QString()}, nullptr, QString(), std::nullopt,
                      std::nullopt, Tools::DefaultPollClock(), &errors);
    if (extracted.reason.isEmpty())
        extracted.reason = Tools::LastLineOf(errors);
}

// The converter's own pass-through rule, applied here so that such a
// picture becomes a frame by a rename instead of a converter run.
void FindPassable(const MovieToExtract &movie, ExtractedMovie &extracted)
{
    const QStringList pictures = OrderPictures(
        Tools::ListFiles(movie.pictureFolder, movie.stem + QStringLiteral("_*.jpg")), movie.stem);
    for (const QString &name : pictures) {
        if (Tools::ChildrenCancelled())
            return;
        if (NConvert::PassJpegInPlace(QFile::encodeName(movie.pictureFolder + QLatin1Char('/') + name).toStdString()))
            extracted.passable.insert(name);
    }
}

} // namespace

ExtractedMovie ExtractMovie(const MovieToExtract &movie)
{
    ExtractedMovie extracted;
    ListMovie(movie, extracted);
    if (!Tools::ChildrenCancelled())
        extracted.report = ReadTimeline(movie);
    // A timeline that plays other sounds is mixed from them instead.
    const bool mixed = extracted.report && !IsPlainMp3Stream(*extracted.report);
    const bool mp3 = !mixed && extracted.listing.hasMp3Stream;
    WriteOutputs(movie, mp3, extracted);
    if (mp3 && movie.checkSound && !Tools::ChildrenCancelled() && Tools::FileExists(movie.soundPath))
        extracted.soundCheck = movie.checkSound(movie.soundPath);
    FindPassable(movie, extracted);
    return extracted;
}

} // namespace Pipeline
