// Handlers of the file list and its buttons: adding, editing and samples.
#include "Form1.h"

#include "Dialogs.h"
#include "FileListView.h"
#include "SettingsStore.h"

#include "filelist/AddFiles.h"
#include "filelist/Admission.h"
#include "filelist/ListEditing.h"
#include "filelist/Samples.h"
#include "tools/ReportingTrap.h"

#include <QPushButton>

namespace App {

namespace {

constexpr char kAddFilesLocation[] = "in Tarnwick2021/08/31.Form1.PushButton1_Click ";
constexpr char kAddAllLocation[] = "in Tarnwick2021/08/31.Form1.PushButton5_Click ";
constexpr char kMoveUpLocation[] = "in Tarnwick2021/08/31.Form1.PushButton3_Click ";
constexpr char kMoveDownLocation[] = "in Tarnwick2021/08/31.Form1.PushButton6_Click ";
constexpr char kClearLocation[] = "in Tarnwick2021/08/31.Form1.PushButton7_Click ";
constexpr char kSamplesLocation[] = "in Tarnwick2021/08/31.Form1.PushButton8_Click ";

} // namespace

void Form1::connectListHandlers()
{
    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(PushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form1::PushButton6_Click);
    connect(PushButton7, &QPushButton::clicked, this, &Form1::PushButton7_Click);
    connect(PushButton8, &QPushButton::clicked, this, &Form1::PushButton8_Click);
    connect(ListView1, &FileListView::deletePressed, this, &Form1::ListView1_KeyDown);
    connect(ListView1, &FileListView::entryDoubleClicked, this, &Form1::ListView1_DblClick);
    // Handled after the drop has finished, so that the desktop is not kept
    // waiting while a dropped folder is scanned.
    connect(ListView1, &FileListView::pathsDropped, this, &Form1::ListView1_OLEDragDrop, Qt::QueuedConnection);
}

void Form1::showPurgeMessage()
{
    const QString message = FileList::PurgeUnsupportedNames(m_queue);
    if (!message.isEmpty())
        ShowMessage(this, message);
}

void Form1::PushButton1_Click()
{
    Tools::ReportingTrap trap(errorReporter(), QLatin1String(kAddFilesLocation));
    QStringList chosen;
    trap(100, [&] {
        chosen = GetOpenFileNames(this, QStringLiteral("Add File(s) - Hold Ctrl to select multiple files"),
                                  QStringLiteral("SWF Files(*.swf)"));
    });
    trap(102, [&] { FileList::AddChosenFiles(m_queue, chosen); });
    trap(104, [&] { showPurgeMessage(); });
}

void Form1::PushButton5_Click()
{
    Tools::ReportingTrap trap(errorReporter(), QLatin1String(kAddAllLocation));
    SettingsStore store;
    QString extension;
    trap(100, [&] {
        extension = InputBox(this,
                             QStringLiteral("Enter file extension to load:\r\r(* for all files, txt for all txt files, "
                                            "doc for all doc files, etc.)"),
                             store.ReadSetting(QLatin1String(Keys::Extension)));
    });
    if (extension.isEmpty())
        return;
    trap(102, [&] { store.WriteSetting(QLatin1String(Keys::Extension), extension); });
    QString folder;
    trap(104, [&] {
        const QString lastFolder = store.ReadSetting(QLatin1String(Keys::LastFolder));
        folder = ChooseFolder(this, QStringLiteral("Please select folder:"), lastFolder);
    });
    if (folder.isEmpty())
        return;
    trap(106, [&] { store.WriteSetting(QLatin1String(Keys::LastFolder), folder); });

    // A conversion that runs meanwhile keeps its busy pointer afterwards.
    const Pipeline::Pointer before = m_pointer;
    trap(108, [&] { setPointer(Pipeline::Pointer::Busy); });
    trap(110, [&] {
        const WorkScope work(*this);
        FileList::AddFolderTree(m_queue, folder, FileList::PatternForExtension(extension), errorReporter(),
                                [this] { yield(); });
    });
    trap(112,
         [&] { setPointer(before == Pipeline::Pointer::Busy ? Pipeline::Pointer::Busy : Pipeline::Pointer::Default); });
    trap(114, [&] { showPurgeMessage(); });
}

void Form1::ListView1_OLEDragDrop(const QStringList &paths)
{
    const WorkScope work(*this);
    FileList::AddDroppedItems(m_queue, paths, errorReporter(), [this] { yield(); });
}

void Form1::removeSelectedEntry()
{
    if (m_pointer == Pipeline::Pointer::Busy)
        return;
    const int position = ListView1->selectedPosition();
    if (position > 0 && m_queue.removeAt(position))
        ListView1->clearSelection();
}

void Form1::ListView1_KeyDown()
{
    removeSelectedEntry();
}

void Form1::ListView1_DblClick()
{
    removeSelectedEntry();
}

void Form1::moveSelectedEntry(int (*moveInQueue)(FileList::FileQueue &, int), const char *location)
{
    Tools::ReportingTrap trap(errorReporter(), QLatin1String(location));
    bool stop = false;
    trap(100, [&] { stop = m_pointer == Pipeline::Pointer::Busy; });
    if (stop)
        return;
    trap(102, [&] { stop = m_queue.count() == 0; });
    if (stop)
        return;
    int position = 0;
    trap(104, [&] { position = ListView1->selectedPosition(); });
    int moved = position;
    trap(106, [&] {
        if (position > 0)
            moved = moveInQueue(m_queue, position);
    });
    trap(108, [&] {
        if (moved != position)
            ListView1->selectPosition(moved);
    });
    trap(110, [&] { ListView1->setFocus(); });
}

void Form1::PushButton3_Click()
{
    moveSelectedEntry(&FileList::MoveUp, kMoveUpLocation);
}

void Form1::PushButton6_Click()
{
    moveSelectedEntry(&FileList::MoveDown, kMoveDownLocation);
}

void Form1::PushButton7_Click()
{
    Tools::ReportingTrap trap(errorReporter(), QLatin1String(kClearLocation));
    trap(100, [&] {
        if (m_pointer != Pipeline::Pointer::Busy)
            m_queue.clear();
    });
}

void Form1::PushButton8_Click()
{
    Tools::ReportingTrap trap(errorReporter(), QLatin1String(kSamplesLocation));
    trap(100, [&] {
        FileList::LoadSampleFiles(m_queue, m_services.programFolder);
        const QMessageBox::StandardButton answer = ShowMessage(
            this,
            QStringLiteral("Would you like this software to open the folder where these sample files are stored (so "
                           "that you can view them before working with them)?"),
            QMessageBox::Yes | QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return;
        try {
            Tools::ShellOpen(FileList::SamplesFolder(m_services.programFolder) + QLatin1Char('/'), m_services.openUrl);
        } catch (const Tools::Failure &) {
            // A missing Samples folder is not worth a message of its own:
            // the list already shows that nothing was added.
        }
    });
}

} // namespace App
