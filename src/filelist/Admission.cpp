#include "Admission.h"

#include "FileQueue.h"

#include "tools/PathRoutines.h"

#include <QFile>

#include <vector>

namespace FileList {

namespace {

const QString kLineEnd = QStringLiteral("\r\n");

struct Rejection
{
    QString text;
    int position;
    QString suggestion;
};

QString BuildMessage(const std::vector<Rejection> &rejected)
{
    QString message = QStringLiteral("The following files: ") + kLineEnd;
    QString suggestions;
    for (const Rejection &entry : rejected) {
        message += entry.text + kLineEnd;
        suggestions += kLineEnd + entry.suggestion + kLineEnd;
    }
    message += kLineEnd + QStringLiteral("were not added because it has unsupported characters in the filenames.")
               + kLineEnd + kLineEnd;
    message += QStringLiteral("Please try to rename the files to:") + suggestions + kLineEnd
               + QStringLiteral("and try again.") + kLineEnd + kLineEnd;
    return message;
}

} // namespace

bool IsReachableNormalFile(const QString &path)
{
    if (path.contains(QChar(0)) || QFile::decodeName(QFile::encodeName(path)) != path)
        return false;
    if (Tools::FileNameOf(path).trimmed().isEmpty())
        return false;
    const std::optional<int> attributes = Tools::FileAttributes(path);
    if (!attributes || (*attributes & (Tools::Directory | Tools::Hidden | Tools::System)))
        return false;
    return Tools::ProbeFile(path);
}

QString SuggestedName(const QString &path)
{
    // The extension comes from the file name alone: a dot in a folder name,
    // or no dot at all, must not pull folder text into the suggestion.
    const QString name = Tools::FileNameOf(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot < 0 ? QString() : name.mid(dot);
    return Tools::FolderOf(path) + QLatin1Char('x') + extension;
}

QString PurgeUnsupportedNames(FileQueue &queue)
{
    const int count = queue.count();
    if (count == 0)
        return QString();

    std::vector<Rejection> rejected;
    for (int position = 1; position <= count; ++position) {
        const QString text = queue.entryAt(position);
        if (!IsReachableNormalFile(text))
            rejected.push_back({text, position, SuggestedName(text)});
    }
    if (rejected.empty())
        return QString();

    for (auto it = rejected.rbegin(); it != rejected.rend(); ++it)
        queue.removeAt(it->position);
    return BuildMessage(rejected);
}

} // namespace FileList
