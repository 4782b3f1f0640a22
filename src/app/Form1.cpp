#include "Form1.h"

#include "DesktopOpener.h"
#include "Dialogs.h"
#include "FileListView.h"
#include "PointerFile.h"
#include "ProgressBar.h"
#include "SettingsStore.h"

#include "render/RecordPlan.h"
#include "tools/DataFolder.h"
#include "tools/Failure.h"
#include "tools/ProcessRunner.h"
#include "tools/StopCleanup.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QShortcut>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QShortcut>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTime>
#include <QVBoxLayout>

#include <cstdlib>

namespace App {

namespace {

// One pixel is 15 twips at 96 dpi; the window is laid out in twips.
constexpr int TwipsToPixels(int twips)
{
    return twips / 15;
}

template <typename Widget>
Widget *Named(Widget *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QPushButton *PushButton(const char *name, const QString &caption)
{
    return Named(new QPushButton(caption), name);
}

// A tall, narrow push button with its picture above its caption, the two
// centred together.
class TallButton : public QPushButton
{
public:
    TallButton(const QString &caption, QStyle::StandardPixmap arrow)
        : QPushButton(caption)
    {
        setIcon(QApplication::style()->standardIcon(arrow));
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    }

    QSize sizeHint() const override
    {
        const int width = fontMetrics().horizontalAdvance(QStringLiteral("Move Down")) + 2 * kPadding;
        return QSize(qMax(TwipsToPixels(855), width), iconSize().height() + fontMetrics().height() + 2 * kPadding);
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        option.text.clear();
        option.icon = QIcon();
        painter.drawControl(QStyle::CE_PushButton, option);

        const QSize iconSize = this->iconSize();
        const int blockHeight = iconSize.height() + kPadding + fontMetrics().height();
        const int top = (height() - blockHeight) / 2;
        const QRect iconRect((width() - iconSize.width()) / 2, top, iconSize.width(), iconSize.height());
        icon().paint(&painter, iconRect, Qt::AlignCenter, isEnabled() ? QIcon::Normal : QIcon::Disabled);
        const QRect textRect(0, iconRect.bottom() + 1 + kPadding, width(), fontMetrics().height());
        option.text = text();
        const int mnemonic = style()->styleHint(QStyle::SH_UnderlineShortcut, &option, this) ? Qt::TextShowMnemonic
                                                                                             : Qt::TextHideMnemonic;
        painter.drawItemText(textRect, Qt::AlignCenter | mnemonic, palette(), isEnabled(), text(),
                             QPalette::ButtonText);
    }

private:
    static constexpr int kPadding = 6;
};

} // namespace

Form1Services Form1Services::Defaults()
{
    Form1Services services;
    services.programFolder = Tools::DataFolder();
    services.renderAssets = services.programFolder + QStringLiteral("/render");
    services.drawVisit = [] {
        QRandomGenerator generator(static_cast<quint32>(QTime::currentTime().msecsSinceStartOfDay() / 1000));
        return static_cast<int>(generator.generateDouble() * 100) + 1;
    };
    services.openUrl = DesktopOpener;
    services.endProgram = [] { std::exit(0); };
    return services;
}

Form1::Form1(Form1Services services, QWidget *parent)
    : QWidget(parent)
    , m_services(std::move(services))
    , m_errorReportBox(this)
{
    setObjectName(QStringLiteral("Form1"));
    QFont arial = font();
    arial.setFamilies({QStringLiteral("Arial"), arial.family()});
    setFont(arial);
    buildControls();
    setUpKeyboard();
    connectHandlers();
    connectListHandlers();
    watchPointer(this);
}

Form1::~Form1()
{
    if (m_pointer == Pipeline::Pointer::Busy)
        QApplication::restoreOverrideCursor();
}

void Form1::buildControls()
{
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(TwipsToPixels(120), TwipsToPixels(120), TwipsToPixels(120), TwipsToPixels(120));
    grid->setHorizontalSpacing(TwipsToPixels(120));
    grid->setVerticalSpacing(TwipsToPixels(120));

    // Each '&' marks the button's Alt mnemonic; the caption shows without it.
    PushButton1 = PushButton("PushButton1", QStringLiteral("&Add SWF Files"));
    PushButton5 = PushButton("PushButton5", QStringLiteral("Add All SWF Files In &Folder"));
    PushButton7 = PushButton("PushButton7", QStringLiteral("&Clear List"));
    PushButton8 = PushButton("PushButton8", QStringLiteral("&Load Sample/Example Files"));
    PushButton2 = PushButton("PushButton2", QStringLiteral("&Start Creating MP4 File"));
    ProgressBar1 = Named(new ProgressBar, "ProgressBar1");
    ProgressBar1->setCaption(QStringLiteral("Progress Bar"));

    // The two button rows of the left column line up with Start and the
    // progress bar of the right one.
    grid->addLayout(buildLeftColumn(), 0, 0, 1, 2);
    grid->addLayout(buildRightColumn(), 0, 2);
    grid->addWidget(PushButton1, 1, 0);
    grid->addWidget(PushButton5, 1, 1);
    grid->addWidget(PushButton2, 1, 2);
    grid->addWidget(PushButton7, 2, 0);
    grid->addWidget(PushButton8, 2, 1);
    // Cancel sits at the right end of the progress bar's row.
    CancelButton = PushButton("CancelButton", QStringLiteral("Cancel"));
    CancelButton->setEnabled(false);
    CancelButton->setSizePolicy(QSizePolicy::Fixed, CancelButton->sizePolicy().verticalPolicy());
    auto *progressRow = new QHBoxLayout;
    progressRow->setContentsMargins(0, 0, 0, 0);
    progressRow->addWidget(ProgressBar1, 1);
    progressRow->addWidget(CancelButton);
    grid->addLayout(progressRow, 2, 2);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 2);
    grid->setRowStretch(0, 1);
}

QLayout *Form1::buildLeftColumn()
{
    auto *column = new QVBoxLayout;
    PushButton4 = PushButton("PushButton4", QStringLiteral("&Help"));
    column->addWidget(PushButton4);

    ListView1 = Named(new FileListView, "ListView1");
    ListView1->setQueue(&m_queue);
    ListView1->setToolTip(QStringLiteral("Drag and drop files here. Double-click item to remove it. Move | line to "
                                         "right and out of window to reveal full names."));
    ListView1->setMinimumSize(TwipsToPixels(6840), TwipsToPixels(3000));
    ListView1->header()->setVisible(false);
    ListView1->setDragCursor(
        LoadPointerFile(m_services.programFolder + QStringLiteral("/drag.ico")).value_or(QCursor(Qt::ArrowCursor)));

    PushButton3 = Named(new TallButton(QStringLiteral("Move &Up"), QStyle::SP_ArrowUp), "PushButton3");
    PushButton6 = Named(new TallButton(QStringLiteral("Move &Down"), QStyle::SP_ArrowDown), "PushButton6");
    auto *moves = new QVBoxLayout;
    moves->addWidget(PushButton3);
    moves->addWidget(PushButton6);

    auto *listRow = new QHBoxLayout;
    listRow->addWidget(ListView1, 1);
    listRow->addLayout(moves);
    column->addLayout(listRow, 1);
    return column;
}

QLayout *Form1::buildRightColumn()
{
    auto *column = new QVBoxLayout;
    column->addWidget(buildDelayGroup());
    column->addWidget(buildOutputGroup());
    column->addWidget(buildQualityGroup());
    column->addWidget(buildSaveGroup());
    column->addStretch(1);
    return column;
}

QGroupBox *Form1::buildDelayGroup()
{
    Frame2 = Named(new QGroupBox(QStringLiteral("Delay between images")), "Frame2");
    Option1 = Named(new QRadioButton(QStringLiteral("SLOW - Pause n seconds between each image file: ")), "Option1");
    Option2 = Named(new QRadioButton(QStringLiteral("FAST - Show n image files per second:")), "Option2");
    Option5 = Named(
        new QRadioButton(QStringLiteral("AS IN MOVIE - Show each image when and as long as the movie shows it")),
        "Option5");
    PushButton14 = PushButton("PushButton14", QStringLiteral("?"));
    Option6 = Named(
        new QRadioButton(QStringLiteral("PLAY - Record the movie as it plays (drawings, animation and sound)")),
        "Option6");
    PushButton13 = PushButton("PushButton13", QStringLiteral("?"));
    Text1 = Named(new QLineEdit, "Text1");
    Text2 = Named(new QLineEdit, "Text2");
    PushButton9 = PushButton("PushButton9", QStringLiteral("?"));
    PushButton10 = PushButton("PushButton10", QStringLiteral("?"));
    for (QLineEdit *field : {Text1, Text2})
        field->setFixedWidth(TwipsToPixels(1815));
    for (QPushButton *tip : {PushButton9, PushButton10, PushButton14, PushButton13})
        tip->setFixedWidth(TwipsToPixels(480));

    auto *rows = new QGridLayout(Frame2);
    rows->addWidget(Option1, 0, 0);
    rows->addWidget(Text1, 0, 1);
    rows->addWidget(PushButton9, 0, 2);
    rows->addWidget(Option2, 1, 0);
    rows->addWidget(Text2, 1, 1);
    rows->addWidget(PushButton10, 1, 2);
    rows->addWidget(Option5, 2, 0, 1, 2);
    rows->addWidget(PushButton14, 2, 2);
    PlayHeight = Named(new QComboBox, "PlayHeight");
    for (int height : Render::PlayHeights)
        PlayHeight->addItem(QStringLiteral("%1p").arg(height), height);
    PlayHeight->setToolTip(QStringLiteral("The height of PLAY's video: the movie is drawn at this size"));
    rows->addWidget(Option6, 3, 0);
    rows->addWidget(PlayHeight, 3, 1, Qt::AlignLeft);
    rows->addWidget(PushButton13, 3, 2);
    rows->setColumnStretch(0, 1);
    return Frame2;
}

QGroupBox *Form1::buildOutputGroup()
{
    Frame5 = Named(new QGroupBox(QStringLiteral("Output Options")), "Frame5");
    Option8 = Named(new QRadioButton(QStringLiteral("Combine all SWF files to one MP4 file")), "Option8");
    Option7 = Named(new QRadioButton(QStringLiteral("Convert each SWF to one MP4 file")), "Option7");
    auto *rows = new QVBoxLayout(Frame5);
    rows->addWidget(Option8);
    rows->addWidget(Option7);
    return Frame5;
}

QGroupBox *Form1::buildQualityGroup()
{
    Frame3 = Named(new QGroupBox(QStringLiteral("Output Quality")), "Frame3");
    Label2 = Named(new QLabel(QStringLiteral("Min.")), "Label2");
    Label3 = Named(new QLabel(QStringLiteral("Max.")), "Label3");
    Slider1 = Named(new QSlider(Qt::Horizontal), "Slider1");
    Slider1->setRange(0, 100);
    Slider1->setPageStep(10);
    Slider1->setTickPosition(QSlider::TicksBelow);
    Slider1->setTickInterval(10);
    Slider1->setValue(75);
    auto *row = new QHBoxLayout(Frame3);
    row->addWidget(Label2);
    row->addWidget(Slider1, 1);
    row->addWidget(Label3);
    return Frame3;
}

QGroupBox *Form1::buildSaveGroup()
{
    Frame1 = Named(new QGroupBox(QStringLiteral("Save Option")), "Frame1");
    Option3 = Named(new QRadioButton(QStringLiteral("Save results to this folder:")), "Option3");
    Option4 = Named(new QRadioButton(QStringLiteral("Save results in folder of original file")), "Option4");
    Frame4 = Named(new QGroupBox, "Frame4");
    Text3 = Named(new QLineEdit, "Text3");
    PushButton11 = PushButton("PushButton11", QStringLiteral("..."));
    PushButton11->setFixedWidth(TwipsToPixels(600));

    auto *folderRow = new QHBoxLayout(Frame4);
    folderRow->addWidget(Text3, 1);
    folderRow->addWidget(PushButton11);

    auto *rows = new QGridLayout(Frame1);
    rows->addWidget(Option3, 0, 0, 1, 2);
    rows->setColumnMinimumWidth(0, TwipsToPixels(240));
    rows->addWidget(Frame4, 1, 1);
    rows->addWidget(Option4, 2, 0, 1, 2);
    return Frame1;
}

void Form1::setUpKeyboard()
{
    // Tab reads the window as it is laid out: the list and its buttons, the
    // option groups top to bottom, Start, and Help last before the list again.
    const QList<QWidget *> order = {ListView1,    PushButton3, PushButton6,  PushButton1, PushButton5,  PushButton7,
                                    PushButton8,  Option1,     Text1,        PushButton9, Option2,      Text2,
                                    PushButton10, Option5,     PushButton14, Option6,     PlayHeight,   PushButton13, Option8,
                                    Option7,      Slider1,     Option3,      Text3,       PushButton11, Option4,
                                    PushButton2,  PushButton4};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order.at(i - 1), order.at(i));
    ListView1->setFocus();

    auto *addFiles = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_O), this);
    connect(addFiles, &QShortcut::activated, PushButton1, &QPushButton::click);
}

void Form1::connectHandlers()
{
    const auto onSelect = [this](QRadioButton *option, void (Form1::*click)()) {
        connect(option, &QRadioButton::toggled, this, [this, click](bool checked) {
            if (checked)
                (this->*click)();
        });
    };
    onSelect(Option1, &Form1::Option1Or2_Click);
    onSelect(Option2, &Form1::Option1Or2_Click);
    onSelect(Option5, &Form1::Option1Or2_Click);
    onSelect(Option6, &Form1::Option1Or2_Click);
    connect(PlayHeight, &QComboBox::currentIndexChanged, this, [this] {
        SettingsStore().WriteSetting(QLatin1String(Keys::PlayHeight), PlayHeight->currentData().toString());
    });
    onSelect(Option7, &Form1::Option7Or8_Click);
    onSelect(Option8, &Form1::Option7Or8_Click);
    onSelect(Option3, &Form1::Option3Or4_Click);
    onSelect(Option4, &Form1::Option3Or4_Click);

    const auto onEdit = [this](QLineEdit *field, const char *key) {
        connect(field, &QLineEdit::textChanged, this,
                [key](const QString &text) { SettingsStore().WriteSetting(QLatin1String(key), text); });
    };
    onEdit(Text1, Keys::Text1);
    onEdit(Text2, Keys::Text2);
    onEdit(Text3, Keys::LocalFolder);

    connect(Slider1, &QSlider::valueChanged, this, &Form1::Slider1_Change);
    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(PushButton9, &QPushButton::clicked, this, &Form1::PushButton9_Click);
    connect(PushButton10, &QPushButton::clicked, this, &Form1::PushButton10_Click);
    connect(PushButton13, &QPushButton::clicked, this, &Form1::PushButton13_Click);
    connect(PushButton14, &QPushButton::clicked, this, &Form1::PushButton14_Click);
    connect(PushButton11, &QPushButton::clicked, this, &Form1::PushButton11_Click);
    connect(CancelButton, &QPushButton::clicked, this, &Form1::CancelButton_Click);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, &Form1::CancelButton_Click);
}

// Pointer rule: the hand over push buttons, the arrow over everything else,
// and a busy pointer left alone. Push buttons show the hand themselves; the
// window keeps the shape it would have for the job and the list to read.
void Form1::watchPointer(QWidget *root)
{
    for (QWidget *child : root->findChildren<QWidget *>()) {
        child->installEventFilter(this);
        if (qobject_cast<QPushButton *>(child))
            child->setCursor(m_handCursor);
    }
    root->installEventFilter(this);
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Enter && m_pointer != Pipeline::Pointer::Busy) {
        const bool button = qobject_cast<QPushButton *>(watched) != nullptr;
        m_pointer = button ? Pipeline::Pointer::Hand : Pipeline::Pointer::Default;
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::setPointer(Pipeline::Pointer pointer)
{
    const bool wasBusy = m_pointer == Pipeline::Pointer::Busy;
    const bool busy = pointer == Pipeline::Pointer::Busy;
    if (busy && !wasBusy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else if (!busy && wasBusy)
        QApplication::restoreOverrideCursor();
    m_pointer = pointer;
}

void Form1::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (m_workRunning == 0)
        return;
    // The job or scan that runs is abandoned where it stands: its child
    // processes must not outlive the window, its unfinished video is removed,
    // and nothing may return into a window that is gone.
    Tools::CancelAllChildren();
    Tools::AbortRunningProcess();
    Tools::RemoveRegisteredOnStop();
    if (m_services.endProgram)
        m_services.endProgram();
}

void Form1::yield()
{
    QCoreApplication::processEvents();
}

void Form1::showSummary(const QString &text, const QString &details, const QString &resultFolder)
{
    if (!ShowSummary(this, text, details, !resultFolder.isEmpty()))
        return;
    const QString folder = resultFolder.endsWith(QLatin1Char('/')) ? resultFolder : resultFolder + QLatin1Char('/');
    try {
        Tools::ShellOpen(folder, m_services.openUrl);
    } catch (const Tools::Failure &failure) {
        ShowMessage(this, QStringLiteral("The folder ") + folder + QStringLiteral(" cannot be opened: ")
                              + failure.description());
    }
}

Tools::ErrorReporter &Form1::errorReporter()
{
    return m_services.errorReporter ? *m_services.errorReporter : m_errorReportBox;
}

void Form1::PushButton2_Click()
{
    if (!m_startAction)
        return;
    WorkScope work(*this);
    // A click while a job runs reaches the job, which ignores it; only the
    // outermost click owns the Cancel button.
    const bool outermost = !CancelButton->isEnabled();
    if (outermost)
        CancelButton->setEnabled(true);
    m_startAction();
    if (outermost)
        CancelButton->setEnabled(false);
}

void Form1::CancelButton_Click()
{
    if (CancelButton->isEnabled())
        Tools::CancelAllChildren();
}

} // namespace App
