#pragma once

#include <QDialog>
#include <QString>

class QPlainTextEdit;
class QPushButton;
class QScrollArea;

namespace App {

// The job's summary: its text in a scrolling area, so that a long list of
// files never pushes the OK button off the screen, and the details (the
// tools' reasons) behind a "Show Details..." button as a message box has.
class SummaryBox : public QDialog
{
    Q_OBJECT

public:
    // exec() returns this when "Open Folder" was pressed.
    static constexpr int OpenFolder = 2;

    SummaryBox(QWidget *owner, const QString &title, const QString &text, const QString &details,
               bool offerFolder = false);

    QPushButton *okButton() const { return m_ok; }
    QPushButton *detailsButton() const { return m_detailsButton; }
    QPushButton *openFolderButton() const { return m_openFolder; }
    QPlainTextEdit *detailsView() const { return m_details; }

    // Keeps the box within the available height of its screen.
    QSize sizeHint() const override;

private:
    void toggleDetails();
    int availableHeight() const;

    QScrollArea *m_scroll = nullptr;
    QPlainTextEdit *m_details = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_detailsButton = nullptr;
    QPushButton *m_openFolder = nullptr;
};

} // namespace App
