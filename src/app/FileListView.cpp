#include "FileListView.h"

#include "filelist/FileQueue.h"
#include "filelist/ListEditing.h"

#include <QDragEnterEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QPainter>
#include <QToolTip>
#include <QUrl>

namespace App {

namespace {

QStringList LocalPaths(const QMimeData *data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    }
    return paths;
}

} // namespace

FileListView::FileListView(QWidget *parent)
    : QTreeView(parent)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(false);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    setTextElideMode(Qt::ElideMiddle);
}

QString FileListView::dropHint()
{
    return QStringLiteral("Drop SWF files or folders here");
}

QString FileListView::toolTipAt(const QPoint &point) const
{
    const QModelIndex index = indexAt(point);
    return index.isValid() ? index.data(Qt::DisplayRole).toString() : toolTip();
}

void FileListView::setQueue(FileList::FileQueue *queue)
{
    m_queue = queue;
    setModel(queue);
}

int FileListView::selectedPosition() const
{
    if (!selectionModel())
        return 0;
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? 0 : rows.constFirst().row() + 1;
}

void FileListView::selectPosition(int position)
{
    if (!model() || position < 1 || position > model()->rowCount())
        return;
    const QModelIndex index = model()->index(position - 1, 0);
    setCurrentIndex(index);
    selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
}

void FileListView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        Q_EMIT deletePressed();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void FileListView::mousePressEvent(QMouseEvent *event)
{
    QTreeView::mousePressEvent(event);
    m_mouseDown = true;
    if (indexAt(event->position().toPoint()).isValid()) {
        m_dragged = selectedPosition();
        viewport()->setCursor(m_dragCursor);
    }
}

void FileListView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_mouseDown || !m_queue) {
        QTreeView::mouseMoveEvent(event);
        return;
    }
    const QPoint point = event->position().toPoint();
    const QModelIndex hovered = indexAt(point);
    if (!hovered.isValid() || m_dragged < 1)
        return;
    const int hoveredPosition = hovered.row() + 1;
    if (!FileList::SwapEntries(*m_queue, m_dragged, hoveredPosition))
        return;
    selectPosition(hoveredPosition);
    m_dragged = hoveredPosition;
    scrollNearEdge(hoveredPosition, point.y());
}

void FileListView::scrollNearEdge(int hovered, int y)
{
    // Near the top or bottom edge the neighbour beyond the pointer is
    // brought into view, so a drag can carry an entry past what is shown.
    const int edge = qMax(sizeHintForRow(0), fontMetrics().height());
    if (y < edge && hovered >= 2)
        scrollTo(model()->index(hovered - 2, 0));
    else if (y >= viewport()->height() - edge && hovered < model()->rowCount())
        scrollTo(model()->index(hovered, 0));
}

void FileListView::fillColumn(int oldWidth, int newWidth)
{
    // A column the user has widened past the list (to read long names
    // whole) keeps its width until the list outgrows it; otherwise it
    // follows the list's width.
    const int width = columnWidth(0);
    if (oldWidth < 0 || width <= oldWidth)
        setColumnWidth(0, newWidth);
    else
        setColumnWidth(0, qMax(width, newWidth));
}

bool FileListView::viewportEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::Resize: {
        const auto *resize = static_cast<QResizeEvent *>(event);
        fillColumn(resize->oldSize().width(), resize->size().width());
        break;
    }
    case QEvent::ToolTip: {
        // Over a row the whole path; elsewhere the list's own tip, which the
        // item delegate would otherwise swallow over the empty viewport.
        const auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex index = indexAt(help->pos());
        QToolTip::showText(help->globalPos(), toolTipAt(help->pos()), viewport(),
                           index.isValid() ? visualRect(index) : QRect());
        return true;
    }
    default: break;
    }
    return QTreeView::viewportEvent(event);
}

void FileListView::paintEvent(QPaintEvent *event)
{
    QTreeView::paintEvent(event);
    if (model() && model()->rowCount() > 0)
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    const int margin = fontMetrics().height();
    painter.drawText(viewport()->rect().adjusted(margin, margin, -margin, -margin), Qt::AlignCenter | Qt::TextWordWrap,
                     dropHint());
}

void FileListView::mouseReleaseEvent(QMouseEvent *event)
{
    m_mouseDown = false;
    viewport()->unsetCursor();
    QTreeView::mouseReleaseEvent(event);
}

void FileListView::mouseDoubleClickEvent(QMouseEvent *)
{
    Q_EMIT entryDoubleClicked();
}

void FileListView::dragEnterEvent(QDragEnterEvent *event)
{
    if (LocalPaths(event->mimeData()).isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
}

void FileListView::dragMoveEvent(QDragMoveEvent *event)
{
    if (LocalPaths(event->mimeData()).isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
}

void FileListView::dropEvent(QDropEvent *event)
{
    const QStringList paths = LocalPaths(event->mimeData());
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    Q_EMIT pathsDropped(paths);
}

} // namespace App
