#pragma once

#include <QAbstractListModel>
#include <QStringList>

namespace FileList {

// The ordered list of input paths. Positions are 1-based; the same path may
// stand more than once. Views attach to it as a one-column model headed
// "SWF File(s)".
class FileQueue : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit FileQueue(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    int count() const { return static_cast<int>(m_entries.size()); }
    const QStringList &entries() const { return m_entries; }
    // The text at a position; empty when there is no such position.
    QString entryAt(int position) const;

    void append(const QString &path);
    void append(const QStringList &paths);
    // Each returns false and changes nothing when the position is invalid.
    bool insertAt(int position, const QString &path); // 1 .. count() + 1
    bool removeAt(int position);
    bool setEntryAt(int position, const QString &path);
    void clear();

private:
    bool valid(int position) const { return position >= 1 && position <= count(); }

    QStringList m_entries;
};

} // namespace FileList
