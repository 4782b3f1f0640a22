#include "FileQueue.h"

namespace FileList {

FileQueue::FileQueue(QObject *parent)
    : QAbstractListModel(parent)
{
}

int FileQueue::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant FileQueue::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= count() || index.column() != 0)
        return QVariant();
    if (role == Qt::DisplayRole)
        return m_entries.at(index.row());
    return QVariant();
}

QVariant FileQueue::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return QStringLiteral("SWF File(s)");
    return QVariant();
}

Qt::ItemFlags FileQueue::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

QString FileQueue::entryAt(int position) const
{
    return valid(position) ? m_entries.at(position - 1) : QString();
}

void FileQueue::append(const QString &path)
{
    insertAt(count() + 1, path);
}

void FileQueue::append(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    beginInsertRows(QModelIndex(), count(), count() + static_cast<int>(paths.size()) - 1);
    m_entries.append(paths);
    endInsertRows();
}

bool FileQueue::insertAt(int position, const QString &path)
{
    if (position < 1 || position > count() + 1)
        return false;
    beginInsertRows(QModelIndex(), position - 1, position - 1);
    m_entries.insert(position - 1, path);
    endInsertRows();
    return true;
}

bool FileQueue::removeAt(int position)
{
    if (!valid(position))
        return false;
    beginRemoveRows(QModelIndex(), position - 1, position - 1);
    m_entries.removeAt(position - 1);
    endRemoveRows();
    return true;
}

bool FileQueue::setEntryAt(int position, const QString &path)
{
    if (!valid(position))
        return false;
    m_entries[position - 1] = path;
    const QModelIndex changed = index(position - 1);
    Q_EMIT dataChanged(changed, changed, {Qt::DisplayRole});
    return true;
}

void FileQueue::clear()
{
    if (m_entries.isEmpty())
        return;
    beginResetModel();
    m_entries.clear();
    endResetModel();
}

} // namespace FileList
