#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

class QFileDialog;
class QWidget;

// Every modal dialog of the window is reached through these classes, so that
// tests can answer a dialog before it would open. In test mode nothing is
// shown: each dialog takes its queued answer (or cancels) and is recorded.
namespace App {

// The title of message and input boxes that pass none of their own.
QString ApplicationTitle();
void SetApplicationTitle(const QString &title);

// The application title rule: cut the product name at its last blank, at
// least once, and again while it is longer than 40 characters. A name
// without a blank stays whole.
QString ShortenTitle(const QString &productName);

// What a test-mode dialog was asked to show.
struct ShownDialog
{
    QString title;
    QString text; // message text, input prompt, or file dialog title
    QString initial; // input box default, or the dialog's initial folder
    QMessageBox::StandardButtons buttons;
    QString details = QString(); // a summary's details
};

class Dialogs
{
public:
    // Test mode: no dialog opens; answers come from the queues below.
    static void setTestMode(bool on);
    static bool testMode();
    // Everything asked since test mode was switched on or last cleared.
    static const QList<ShownDialog> &shown();
    static void clearShown();

    static void setNextMessageAnswer(QMessageBox::StandardButton answer);
    static void setNextInput(const QString &answer); // empty text: Cancel
    static void setNextOpenFileNames(const QStringList &paths);
    static void setNextFolder(const QString &folder); // empty text: Cancel
};

// A modal message box without icon, titled with the application title.
// Without a queued answer, test mode answers No, or Ok when there is no No.
QMessageBox::StandardButton ShowMessage(QWidget *owner, const QString &text,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// The job's summary box (SummaryBox): the text scrolls when long, the
// details sit behind "Show Details...", and when `offerFolder` an "Open
// Folder" button stands beside OK. True when "Open Folder" was pressed. In
// test mode the queued answer decides (QMessageBox::Open for "Open Folder").
bool ShowSummary(QWidget *owner, const QString &text, const QString &details, bool offerFolder);

// A text-input box; the empty text when the user cancels.
QString InputBox(QWidget *owner, const QString &prompt, const QString &defaultText);

// The open-file dialog for several files; the chosen paths, empty when cancelled.
QStringList GetOpenFileNames(QWidget *owner, const QString &title, const QString &filter);

// The configured open-file dialog, for GetOpenFileNames and its tests.
QFileDialog *CreateOpenFilesDialog(QWidget *owner, const QString &title, const QString &filter);

// The folder chooser with `initial` preselected. Returns the chosen folder
// without a trailing '/' ("/" for the root), or the empty text when cancelled.
QString ChooseFolder(QWidget *owner, const QString &title, const QString &initial);

// The configured folder chooser, for ChooseFolder and its tests.
QFileDialog *CreateFolderDialog(QWidget *owner, const QString &title, const QString &initial);

} // namespace App
