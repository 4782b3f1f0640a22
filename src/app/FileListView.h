#pragma once

#include <QCursor>
#include <QTreeView>

namespace FileList {
class FileQueue;
}

namespace App {

// The list view of the FileQueue: one column, single selection, file drops
// from the desktop, and reordering by dragging an entry over the others
// (it swaps places with each entry the pointer reaches). Long paths are
// shortened in the middle so the file name stays readable, with the whole
// path as the row's tool tip; the column fills the list as it resizes, and
// the empty list says what can be dropped on it.
class FileListView : public QTreeView
{
    Q_OBJECT

public:
    explicit FileListView(QWidget *parent = nullptr);

    void setQueue(FileList::FileQueue *queue);
    // The pointer shown while an entry is dragged.
    void setDragCursor(const QCursor &cursor) { m_dragCursor = cursor; }

    // 1-based position of the selected entry; 0 when none is selected.
    int selectedPosition() const;
    // Selects the entry and scrolls it into view.
    void selectPosition(int position);

    // The text drawn in the empty list.
    static QString dropHint();
    // The tool tip at a point of the viewport: a row's whole path, or the
    // list's own tool tip away from the rows.
    QString toolTipAt(const QPoint &point) const;

Q_SIGNALS:
    void deletePressed();
    void entryDoubleClicked();
    // Local paths of dropped files and folders, in the order of the drop.
    void pathsDropped(const QStringList &paths);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void scrollNearEdge(int hovered, int y);
    void fillColumn(int oldWidth, int newWidth);

    FileList::FileQueue *m_queue = nullptr;
    QCursor m_dragCursor{Qt::ArrowCursor};
    bool m_mouseDown = false;
    int m_dragged = 0; // the entry that carries the dragged text; 0 for none
};

} // namespace App
