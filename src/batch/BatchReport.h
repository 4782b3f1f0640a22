#pragma once

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The --report file: one JSON object a line, one line per movie, appended
// whole and flushed to disk as each movie ends, so that a crash leaves whole
// lines only and a later run can resume from it.
namespace Batch {

// What became of one movie.
enum class MovieStatus {
    Made, // its video was made
    Kept, // an older video of that name was kept: the new one failed its check
    Failed, // no video
    Skipped, // made by an earlier run with the same choices (--resume)
};

QString StatusName(MovieStatus status);

// One line of the report.
struct ReportLine
{
    QString source; // the SWF, absolute
    qint64 size = -1;
    QString sha256; // of the SWF, lowercase hex
    QJsonObject choices; // what decides the video: mode, delay, quality...
    QString output; // the video, absolute
    qint64 outputSize = -1; // once made; -1 when there is none
    MovieStatus status = MovieStatus::Failed;
    QString reason; // why it failed or was kept; empty when made whole
    std::optional<double> videoSeconds;
    std::optional<int> pictures;
    std::optional<int> sounds;
    QStringList notes; // the summary's details for this movie
    double wallSeconds = 0;
    double cpuSeconds = 0;

    // The line's text, without its line end.
    QByteArray toJson() const;
    // Nothing when `object` does not name a source and a known status.
    static std::optional<ReportLine> fromJson(const QJsonObject &object);
};

// A report as read before a run appends to it.
struct ReportContents
{
    QList<ReportLine> lines; // the lines that describe a movie, in order, skipped ones left out
    // Bytes of the file to keep: a last line that a crash cut short (no
    // line end, no JSON) is cut off before anything is appended.
    qint64 keepBytes = 0;
    bool endsInLineEnd = true; // false: the last whole line lacks its line end
};

// Reads an existing report (a missing one is empty). Returns the error, for
// the user, when it cannot be read or a line is not a JSON object.
QString ReadReport(const QString &path, ReportContents &contents);

// Appends lines to the report: each written whole with one write and
// flushed to disk before the next movie is counted as done.
class ReportWriter
{
public:
    ReportWriter() = default;
    ~ReportWriter();
    ReportWriter(const ReportWriter &) = delete;
    ReportWriter &operator=(const ReportWriter &) = delete;

    // Opens (or creates) the file for appending, after cutting it to
    // `contents.keepBytes`. Returns the error, empty on success.
    QString open(const QString &path, const ReportContents &contents);
    // Returns the error, empty on success.
    QString append(const ReportLine &line);

private:
    int m_fd = -1;
};

// Held while a line is written; the signal thread takes it before the
// program exits, so that a stop never cuts a line short.
void HoldReportForExit();

// The last line of each movie and video (a source listed twice makes two)
// that says what a run did to it: a skipped line stands for the one before it.
class ResumeIndex
{
public:
    explicit ResumeIndex(const QList<ReportLine> &lines);

    // The earlier line that lets `wanted` be skipped: it says made, with the
    // same SHA-256, the same choices and output, and that output is still
    // there with the size it had. `wanted` holds this run's source,
    // choices and output; its size and SHA-256 are filled in when needed.
    std::optional<ReportLine> madeBefore(ReportLine &wanted) const;

private:
    QHash<QString, ReportLine> m_last;
};

// The SHA-256 of the file, lowercase hex, and its size; empty and -1 when
// it cannot be read.
QString FileSha256(const QString &path, qint64 *size);

} // namespace Batch
