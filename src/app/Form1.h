#pragma once

#include "ErrorReportBox.h"

#include "filelist/FileQueue.h"
#include "pipeline/JobControls.h"
#include "tools/Shell32.h"

#include <QCursor>
#include <QWidget>

#include <functional>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;

namespace App {

class FileListView;
class ProgressBar;

// The product name: the window caption and the base of the application title.
inline constexpr char kProductName[] = "Tarnwick";

// What the window takes from its surroundings; tests replace these.
struct Form1Services
{
    // Where the skin, pointer files and Samples folder are looked up: the
    // program's folder, or the installed data folder (Tools::DataFolder).
    QString programFolder;
    // The start-up draw, an integer from 1 to 100; 7 opens the maker's site.
    std::function<int()> drawVisit;
    // Opens web addresses and folders (App::DesktopOpener by default).
    Tools::UrlOpener openUrl;
    // Ends the program when the window closes while work runs.
    std::function<void()> endProgram;
    // Where unexpected failures are reported (the window's own
    // "Application Error" box when null).
    Tools::ErrorReporter *errorReporter = nullptr;
    // The movie recorder's page and player (<data folder>/render).
    QString renderAssets;

    // The program's data folder, a clock-seeded draw, the desktop, std::exit.
    static Form1Services Defaults();
};

// The main window: the FileQueue list and its buttons on the left, the
// conversion options, Start and the progress bar on the right. Controls
// carry their names as object names. The conversion job reads the window
// through WindowControls.
class Form1 : public QWidget
{
    Q_OBJECT
    friend class WindowControls;

public:
    explicit Form1(Form1Services services = Form1Services::Defaults(), QWidget *parent = nullptr);
    ~Form1() override;

    // The load sequence: skin, hand pointer, the occasional web visit,
    // identity, list column, settings, output-folder rule. Run once before
    // the window is first shown.
    void Form_Load();

    // What "Start Creating MP4 File" runs.
    void setStartAction(std::function<void()> action) { m_startAction = std::move(action); }

    FileList::FileQueue &fileQueue() { return m_queue; }

    // The busy pointer locks the window while a job runs.
    void setPointer(Pipeline::Pointer pointer);
    Pipeline::Pointer pointer() const { return m_pointer; }
    // The summary box, with "Open Folder" when there is a folder to open.
    void showSummary(const QString &text, const QString &details, const QString &resultFolder);
    // Where the window's and the job's unexpected failures are reported.
    Tools::ErrorReporter &errorReporter();
    // Lets the window repaint and handle input during long work.
    void yield();

    // Handlers of the window's own controls.
    void Option1Or2_Click();
    void Option3Or4_Click();
    void Option7Or8_Click();
    void Slider1_Change();
    void PushButton2_Click();
    void PushButton4_Click();
    void PushButton9_Click();
    void PushButton10_Click();
    void PushButton13_Click();
    void PushButton14_Click();
    // Option6 needs the recorder's parts: without them it is disabled and
    // says what to install.
    void applyPlayAvailability();
    void PushButton11_Click();
    // Cancel (and Escape): stops the running job; older videos and those
    // already made stay.
    void CancelButton_Click();

    // Handlers of the list and its buttons.
    void PushButton1_Click(); // Add SWF Files
    void PushButton5_Click(); // Add All SWF Files In Folder
    void PushButton3_Click(); // Move Up
    void PushButton6_Click(); // Move Down
    void PushButton7_Click(); // Clear List
    void PushButton8_Click(); // Load Sample/Example Files
    void ListView1_KeyDown(); // the Delete key
    void ListView1_DblClick();
    void ListView1_OLEDragDrop(const QStringList &paths);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // Counts work that yields to the event loop (a job, a folder scan), so
    // that closing the window meanwhile ends the program at once.
    class WorkScope
    {
    public:
        explicit WorkScope(Form1 &form)
            : m_form(form)
        {
            ++m_form.m_workRunning;
        }
        ~WorkScope() { --m_form.m_workRunning; }
        WorkScope(const WorkScope &) = delete;
        WorkScope &operator=(const WorkScope &) = delete;

    private:
        Form1 &m_form;
    };

    void buildControls();
    void setUpKeyboard();
    QLayout *buildLeftColumn();
    QLayout *buildRightColumn();
    QGroupBox *buildDelayGroup();
    QGroupBox *buildOutputGroup();
    QGroupBox *buildQualityGroup();
    QGroupBox *buildSaveGroup();
    void connectHandlers();
    void connectListHandlers();
    void watchPointer(QWidget *root);

    void applySkin();
    void loadHandPointer();
    void visitMakerNow();
    void restoreText(QLineEdit *field, const char *key);
    void restoreOption(QRadioButton *option, const char *key, void (Form1::*click)());
    void restoreQuality();
    void applyOutputFolderRule();
    void removeSelectedEntry();
    void moveSelectedEntry(int (*move)(FileList::FileQueue &, int), const char *location);
    void showPurgeMessage();
    void writeOptionPair(QRadioButton *first, const char *firstKey, QRadioButton *second, const char *secondKey);

    Form1Services m_services;
    ErrorReportBox m_errorReportBox;
    FileList::FileQueue m_queue;
    std::function<void()> m_startAction;
    Pipeline::Pointer m_pointer = Pipeline::Pointer::Default;
    QCursor m_handCursor{Qt::PointingHandCursor};
    int m_workRunning = 0;

    QPushButton *PushButton4 = nullptr; // Help
    FileListView *ListView1 = nullptr;
    QPushButton *PushButton3 = nullptr; // Move Up
    QPushButton *PushButton6 = nullptr; // Move Down
    QPushButton *PushButton1 = nullptr; // Add SWF Files
    QPushButton *PushButton5 = nullptr; // Add All SWF Files In Folder
    QPushButton *PushButton7 = nullptr; // Clear List
    QPushButton *PushButton8 = nullptr; // Load Sample/Example Files
    QGroupBox *Frame2 = nullptr; // Delay between images
    QRadioButton *Option1 = nullptr;
    QLineEdit *Text1 = nullptr;
    QPushButton *PushButton9 = nullptr;
    QRadioButton *Option2 = nullptr;
    QRadioButton *Option5 = nullptr; // AS IN MOVIE
    QPushButton *PushButton14 = nullptr; // AS IN MOVIE's "?"
    QRadioButton *Option6 = nullptr; // PLAY
    QComboBox *PlayHeight = nullptr; // PLAY's frame height
    QPushButton *PushButton13 = nullptr; // PLAY's "?"
    QLineEdit *Text2 = nullptr;
    QPushButton *PushButton10 = nullptr;
    QGroupBox *Frame5 = nullptr; // Output Options
    QRadioButton *Option8 = nullptr;
    QRadioButton *Option7 = nullptr;
    QGroupBox *Frame3 = nullptr; // Output Quality
    QLabel *Label2 = nullptr;
    QSlider *Slider1 = nullptr;
    QLabel *Label3 = nullptr;
    QGroupBox *Frame1 = nullptr; // Save Option
    QRadioButton *Option3 = nullptr;
    QGroupBox *Frame4 = nullptr;
    QLineEdit *Text3 = nullptr;
    QPushButton *PushButton11 = nullptr;
    QRadioButton *Option4 = nullptr;
    QPushButton *PushButton2 = nullptr; // Start Creating MP4 File
    ProgressBar *ProgressBar1 = nullptr;
    QPushButton *CancelButton = nullptr; // enabled while a job runs
};

} // namespace App
