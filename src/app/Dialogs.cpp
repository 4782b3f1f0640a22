#include "Dialogs.h"

#include "ErrorReportBox.h"
#include "SummaryBox.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QPushButton>
#include <QQueue>

namespace App {

namespace {

constexpr int kMaxTitleLength = 40;

QString g_applicationTitle = QStringLiteral("Tarnwick");

struct TestSeams
{
    bool on = false;
    QList<ShownDialog> shown;
    QQueue<QMessageBox::StandardButton> messageAnswers;
    QQueue<QString> inputs;
    QQueue<QStringList> openFileNames;
    QQueue<QString> folders;
};

TestSeams &Seams()
{
    static TestSeams seams;
    return seams;
}

template <typename T>
T TakeOr(QQueue<T> &queue, T fallback)
{
    return queue.isEmpty() ? fallback : queue.dequeue();
}

} // namespace

QString ApplicationTitle()
{
    return g_applicationTitle;
}

void SetApplicationTitle(const QString &title)
{
    g_applicationTitle = title;
}

QString ShortenTitle(const QString &productName)
{
    QString title = productName;
    bool cutOnce = false;
    while (!cutOnce || title.size() > kMaxTitleLength) {
        const qsizetype blank = title.lastIndexOf(QLatin1Char(' '));
        if (blank < 0)
            break;
        title.truncate(blank);
        cutOnce = true;
    }
    return title;
}

void Dialogs::setTestMode(bool on)
{
    Seams() = TestSeams();
    Seams().on = on;
}

bool Dialogs::testMode()
{
    return Seams().on;
}

const QList<ShownDialog> &Dialogs::shown()
{
    return Seams().shown;
}

void Dialogs::clearShown()
{
    Seams().shown.clear();
}

void Dialogs::setNextMessageAnswer(QMessageBox::StandardButton answer)
{
    Seams().messageAnswers.enqueue(answer);
}

void Dialogs::setNextInput(const QString &answer)
{
    Seams().inputs.enqueue(answer);
}

void Dialogs::setNextOpenFileNames(const QStringList &paths)
{
    Seams().openFileNames.enqueue(paths);
}

void Dialogs::setNextFolder(const QString &folder)
{
    Seams().folders.enqueue(folder);
}

QMessageBox::StandardButton ShowMessage(QWidget *owner, const QString &text, QMessageBox::StandardButtons buttons)
{
    if (Seams().on) {
        Seams().shown.append({ApplicationTitle(), text, QString(), buttons});
        const auto fallback = buttons.testFlag(QMessageBox::No) ? QMessageBox::No : QMessageBox::Ok;
        return TakeOr(Seams().messageAnswers, fallback);
    }
    QMessageBox box(QMessageBox::NoIcon, ApplicationTitle(), DisplayText(text), buttons, owner);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

bool ShowSummary(QWidget *owner, const QString &text, const QString &details, bool offerFolder)
{
    const QMessageBox::StandardButtons buttons = offerFolder ? QMessageBox::Ok | QMessageBox::Open : QMessageBox::Ok;
    if (Seams().on) {
        Seams().shown.append({ApplicationTitle(), text, QString(), buttons, details});
        const QMessageBox::StandardButton answer = TakeOr(Seams().messageAnswers, QMessageBox::Ok);
        return offerFolder && answer == QMessageBox::Open;
    }
    SummaryBox box(owner, ApplicationTitle(), DisplayText(text), details, offerFolder);
    return box.exec() == SummaryBox::OpenFolder;
}

QString InputBox(QWidget *owner, const QString &prompt, const QString &defaultText)
{
    if (Seams().on) {
        Seams().shown.append({ApplicationTitle(), prompt, defaultText, {}});
        return TakeOr(Seams().inputs, QString());
    }
    bool ok = false;
    const QString answer = QInputDialog::getText(owner, ApplicationTitle(), DisplayText(prompt), QLineEdit::Normal,
                                                 defaultText, &ok);
    return ok ? answer : QString();
}

QStringList GetOpenFileNames(QWidget *owner, const QString &title, const QString &filter)
{
    if (Seams().on) {
        Seams().shown.append({title, filter, QString(), {}});
        return TakeOr(Seams().openFileNames, QStringList());
    }
    QScopedPointer<QFileDialog> dialog(CreateOpenFilesDialog(owner, title, filter));
    return dialog->exec() == QDialog::Accepted ? dialog->selectedFiles() : QStringList();
}

QFileDialog *CreateOpenFilesDialog(QWidget *owner, const QString &title, const QString &filter)
{
    auto *dialog = new QFileDialog(owner, title, QString(), filter);
    // Qt's own dialog: its filter can ignore letter case (MOVIE.SWF is an
    // SWF file), which the desktop's native dialogs do not promise.
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFilter(dialog->filter() & ~QDir::CaseSensitive);
    return dialog;
}

QFileDialog *CreateFolderDialog(QWidget *owner, const QString &title, const QString &initial)
{
    auto *dialog = new QFileDialog(owner, title);
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly, true);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    // Opening in the initial folder's parent with the folder selected lets
    // the user confirm it at once, as the start folder is meant to be.
    const QFileInfo folder(initial);
    if (!initial.isEmpty() && folder.isDir()) {
        const QString path = folder.absoluteFilePath();
        if (path == QLatin1String("/")) {
            dialog->setDirectory(path);
        } else {
            dialog->setDirectory(folder.absolutePath());
            dialog->selectFile(path);
        }
    }
    return dialog;
}

QString ChooseFolder(QWidget *owner, const QString &title, const QString &initial)
{
    if (Seams().on) {
        Seams().shown.append({title, title, initial, {}});
        return TakeOr(Seams().folders, QString());
    }
    QScopedPointer<QFileDialog> dialog(CreateFolderDialog(owner, title, initial));
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return QString();
    QString chosen = dialog->selectedFiles().constFirst();
    while (chosen.size() > 1 && chosen.endsWith(QLatin1Char('/')))
        chosen.chop(1);
    return chosen;
}

} // namespace App
