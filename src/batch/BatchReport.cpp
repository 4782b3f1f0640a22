#include "BatchReport.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <cerrno>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <unistd.h>

namespace Batch {

namespace {

std::mutex g_writing;

struct StatusNameOf
{
    MovieStatus status;
    const char *name;
};

constexpr StatusNameOf kStatusNames[] = {
    {MovieStatus::Made, "made"},
    {MovieStatus::Kept, "kept"},
    {MovieStatus::Failed, "failed"},
    {MovieStatus::Skipped, "skipped"},
};

std::optional<MovieStatus> StatusFromName(const QString &name)
{
    for (const StatusNameOf &entry : kStatusNames) {
        if (name == QLatin1String(entry.name))
            return entry.status;
    }
    return std::nullopt;
}

QJsonValue OptionalValue(const std::optional<double> &value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QJsonValue OptionalValue(const std::optional<int> &value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QString SystemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

QString StatusName(MovieStatus status)
{
    for (const StatusNameOf &entry : kStatusNames) {
        if (entry.status == status)
            return QLatin1String(entry.name);
    }
    return QString();
}

QByteArray ReportLine::toJson() const
{
    QJsonObject object{
        {QStringLiteral("source"), source},
        {QStringLiteral("size"), size},
        {QStringLiteral("sha256"), sha256},
        {QStringLiteral("choices"), choices},
        {QStringLiteral("output"), output},
        {QStringLiteral("output_size"), outputSize < 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(outputSize)},
        {QStringLiteral("status"), StatusName(status)},
        {QStringLiteral("reason"), reason},
        {QStringLiteral("video_seconds"), OptionalValue(videoSeconds)},
        {QStringLiteral("pictures"), OptionalValue(pictures)},
        {QStringLiteral("sounds"), OptionalValue(sounds)},
        {QStringLiteral("notes"), QJsonArray::fromStringList(notes)},
        {QStringLiteral("wall_seconds"), wallSeconds},
        {QStringLiteral("cpu_seconds"), cpuSeconds},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<ReportLine> ReportLine::fromJson(const QJsonObject &object)
{
    const std::optional<MovieStatus> status = StatusFromName(object.value(QStringLiteral("status")).toString());
    ReportLine line;
    line.source = object.value(QStringLiteral("source")).toString();
    if (!status || line.source.isEmpty())
        return std::nullopt;
    line.status = *status;
    line.size = object.value(QStringLiteral("size")).toInteger(-1);
    line.sha256 = object.value(QStringLiteral("sha256")).toString();
    line.choices = object.value(QStringLiteral("choices")).toObject();
    line.output = object.value(QStringLiteral("output")).toString();
    line.outputSize = object.value(QStringLiteral("output_size")).toInteger(-1);
    line.reason = object.value(QStringLiteral("reason")).toString();
    const QJsonValue seconds = object.value(QStringLiteral("video_seconds"));
    if (seconds.isDouble())
        line.videoSeconds = seconds.toDouble();
    const QJsonValue pictures = object.value(QStringLiteral("pictures"));
    if (pictures.isDouble())
        line.pictures = pictures.toInt();
    const QJsonValue sounds = object.value(QStringLiteral("sounds"));
    if (sounds.isDouble())
        line.sounds = sounds.toInt();
    for (const QJsonValue &note : object.value(QStringLiteral("notes")).toArray())
        line.notes.append(note.toString());
    line.wallSeconds = object.value(QStringLiteral("wall_seconds")).toDouble();
    line.cpuSeconds = object.value(QStringLiteral("cpu_seconds")).toDouble();
    return line;
}

QString ReadReport(const QString &path, ReportContents &contents)
{
    contents = ReportContents();
    QFile file(path);
    if (!file.exists())
        return QString();
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly))
        return QStringLiteral("the report %1 cannot be read: %2")
            .arg(path, QFileInfo(path).isDir() ? QStringLiteral("it is a folder") : file.errorString());

    // Line by line: an archive's report holds a line per movie and run.
    qint64 at = 0;
    int number = 0;
    bool anyLine = false;
    while (!file.atEnd()) {
        ++number;
        QByteArray line = file.readLine();
        if (line.isEmpty() && file.error() != QFileDevice::NoError)
            return QStringLiteral("the report %1 cannot be read: %2").arg(path, file.errorString());
        const bool whole = line.endsWith('\n');
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        const bool blank = line.trimmed().isEmpty();
        if (!blank && (error.error != QJsonParseError::NoError || !document.isObject())) {
            // Only a run that crashed mid-line leaves a last line without its
            // end; a file of other text is not ours to cut.
            if (!whole && anyLine) {
                contents.keepBytes = at;
                return QString();
            }
            return QStringLiteral("the report %1 is not a JSON Lines file (line %2: %3); give a new file or "
                                  "the report of an earlier run")
                .arg(path)
                .arg(number)
                .arg(error.error != QJsonParseError::NoError ? error.errorString() : QStringLiteral("not an object"));
        }
        if (!blank) {
            anyLine = true;
            // What a run skipped stands on the line before it: only the others count.
            std::optional<ReportLine> parsed = ReportLine::fromJson(document.object());
            if (parsed && parsed->status != MovieStatus::Skipped)
                contents.lines.append(std::move(*parsed));
        }
        at += line.size();
        contents.endsInLineEnd = whole;
    }
    contents.keepBytes = at;
    return QString();
}

ReportWriter::~ReportWriter()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QString ReportWriter::open(const QString &path, const ReportContents &contents)
{
    const QByteArray name = QFile::encodeName(path);
    m_fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (m_fd < 0)
        return QStringLiteral("the report %1 cannot be written: %2").arg(path, SystemReason(errno));
    const off_t size = ::lseek(m_fd, 0, SEEK_END);
    if (size > contents.keepBytes && ::ftruncate(m_fd, contents.keepBytes) != 0)
        return QStringLiteral("the report %1 cannot be written: %2").arg(path, SystemReason(errno));
    if (!contents.endsInLineEnd && contents.keepBytes > 0 && ::write(m_fd, "\n", 1) != 1)
        return QStringLiteral("the report %1 cannot be written: %2").arg(path, SystemReason(errno));
    return QString();
}

QString ReportWriter::append(const ReportLine &line)
{
    const QByteArray text = line.toJson() + '\n';
    const std::lock_guard<std::mutex> writing(g_writing);
    // O_APPEND puts every write at the end, also when two runs share the file.
    qsizetype written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(m_fd, text.constData() + written, static_cast<size_t>(text.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return QStringLiteral("the report cannot be written: %1").arg(SystemReason(errno));
        written += n;
    }
    if (::fsync(m_fd) != 0)
        return QStringLiteral("the report cannot be written to disk: %1").arg(SystemReason(errno));
    return QString();
}

void HoldReportForExit()
{
    g_writing.lock();
}

ResumeIndex::ResumeIndex(const QList<ReportLine> &lines)
{
    for (const ReportLine &line : lines) {
        if (line.status != MovieStatus::Skipped)
            m_last.insert(line.source + QLatin1Char('\n') + line.output, line);
    }
}

std::optional<ReportLine> ResumeIndex::madeBefore(ReportLine &wanted) const
{
    const auto found = m_last.constFind(wanted.source + QLatin1Char('\n') + wanted.output);
    if (found == m_last.cend())
        return std::nullopt;
    const ReportLine &made = *found;
    if (made.status != MovieStatus::Made || made.output != wanted.output || made.choices != wanted.choices)
        return std::nullopt;
    const QFileInfo output(made.output);
    if (!output.isFile() || output.size() != made.outputSize)
        return std::nullopt;
    if (wanted.sha256.isEmpty()) {
        // A changed size needs no hash to tell.
        if (QFileInfo(wanted.source).size() != made.size)
            return std::nullopt;
        wanted.sha256 = FileSha256(wanted.source, &wanted.size);
    }
    if (wanted.size != made.size || wanted.sha256 != made.sha256)
        return std::nullopt;
    return made;
}

QString FileSha256(const QString &path, qint64 *size)
{
    *size = -1;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return QString();
    *size = file.size();
    return QString::fromLatin1(hash.result().toHex());
}

} // namespace Batch
