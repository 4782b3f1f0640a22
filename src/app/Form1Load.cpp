// The load sequence of the main window.
#include "Form1.h"

#include "Dialogs.h"
#include "FileListView.h"
#include "PointerFile.h"
#include "SettingsStore.h"
#include "WebAddresses.h"

#include "render/RecordPlan.h"
#include "tools/PathRoutines.h"
#include "tools/ReportingTrap.h"
#include "tools/Rounding.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>

namespace App {

namespace {

constexpr char kLoadLocation[] = "in Tarnwick2021/08/31.Form1.Form_Load ";

// Largest skin style sheet read.
constexpr qint64 kMaxSkinBytes = 1024 * 1024;
// The draw that sends the user to the maker's site.
constexpr int kVisitDraw = 7;
// The list's one column, 6500 twips.
constexpr int kColumnWidth = 6500 / 15;

} // namespace

void Form1::Form_Load()
{
    Tools::ReportingTrap trap(errorReporter(), QLatin1String(kLoadLocation));
    trap(100, [&] { applySkin(); });
    bool handFile = false;
    trap(102, [&] { handFile = Tools::FileExists(m_services.programFolder + QStringLiteral("/HAND-M.CUR")); });
    trap(104, [&] {
        if (handFile)
            loadHandPointer();
    });
    trap(106, [&] { visitMakerNow(); });
    trap(130, [&] {
        setWindowTitle(QLatin1String(kProductName));
        setWindowIcon(QApplication::windowIcon());
        SetApplicationTitle(ShortenTitle(QLatin1String(kProductName)));
    });
    trap(132, [&] { ListView1->header()->setVisible(true); });
    trap(134, [&] { ListView1->setColumnWidth(0, kColumnWidth); });
    trap(136, [&] { restoreText(Text1, Keys::Text1); });
    trap(138, [&] { restoreText(Text2, Keys::Text2); });
    trap(140, [&] { restoreOption(Option1, Keys::Option1, &Form1::Option1Or2_Click); });
    trap(141, [&] { restoreOption(Option5, Keys::Option5, &Form1::Option1Or2_Click); });
    trap(142, [&] { restoreOption(Option2, Keys::Option2, &Form1::Option1Or2_Click); });
    trap(143, [&] {
        applyPlayAvailability();
        // Without the recorder's parts a saved PLAY falls back to SLOW.
        if (Option6->isEnabled())
            restoreOption(Option6, Keys::Option6, &Form1::Option1Or2_Click);
        else if (!Option1->isChecked() && !Option2->isChecked() && !Option5->isChecked()) {
            // Only on screen: the saved choice stays for when the parts are installed.
            const QSignalBlocker blocker(Option1);
            Option1->setChecked(true);
        }
    });
    trap(143, [&] {
        const int saved = SettingsStore().ReadSetting(QLatin1String(Keys::PlayHeight)).toInt();
        const QSignalBlocker blocker(PlayHeight);
        PlayHeight->setCurrentIndex(std::max(0, PlayHeight->findData(Render::UsablePlayHeight(saved))));
    });
    trap(144, [&] { restoreText(Text3, Keys::LocalFolder); });
    trap(146, [&] { restoreQuality(); });
    trap(148, [&] { Frame3->setTitle(QStringLiteral("Output Quality = ") + QString::number(Slider1->value())); });
    trap(150, [&] { restoreOption(Option7, Keys::Option7, &Form1::Option7Or8_Click); });
    trap(152, [&] { restoreOption(Option8, Keys::Option8, &Form1::Option7Or8_Click); });
    trap(154, [&] { restoreOption(Option3, Keys::Option3, &Form1::Option3Or4_Click); });
    trap(156, [&] { restoreOption(Option4, Keys::Option4, &Form1::Option3Or4_Click); });
    trap(158, [&] { applyOutputFolderRule(); });
}

void Form1::applySkin()
{
    const QString path = m_services.programFolder + QStringLiteral("/x/o.cjs");
    if (!QFileInfo(path).isFile())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Tools::Failure(Tools::FailureNumber::PathFileAccess, QStringLiteral("Path/File access error"));
    if (file.size() > kMaxSkinBytes)
        throw Tools::Failure(Tools::FailureNumber::PathFileAccess, QStringLiteral("The skin file is too large"));
    setStyleSheet(QString::fromUtf8(file.readAll()));
}

void Form1::loadHandPointer()
{
    const std::optional<QCursor> hand = LoadPointerFile(m_services.programFolder + QStringLiteral("/HAND-M.CUR"));
    if (!hand)
        throw Tools::Failure(Tools::FailureNumber::InvalidPicture, QStringLiteral("Invalid picture"));
    m_handCursor = *hand;
    for (QWidget *child : findChildren<QWidget *>()) {
        if (qobject_cast<QPushButton *>(child))
            child->setCursor(m_handCursor);
    }
}

void Form1::visitMakerNow()
{
    if (m_services.drawVisit && m_services.drawVisit() == kVisitDraw)
        Tools::ShellOpen(QLatin1String(WebAddresses::kMakerSite), m_services.openUrl);
}

// Restoring a control has the effect of a user change: its handler writes
// the value straight back, so every restored key exists after a start.
void Form1::restoreText(QLineEdit *field, const char *key)
{
    SettingsStore store;
    const QString text = store.ReadSetting(QLatin1String(key));
    {
        const QSignalBlocker blocker(field);
        field->setText(text);
    }
    store.WriteSetting(QLatin1String(key), field->text());
}

void Form1::restoreOption(QRadioButton *option, const char *key, void (Form1::*click)())
{
    const bool selected = SettingsStore().ReadBool(QLatin1String(key));
    const QSignalBlocker blocker(option);
    if (selected) {
        option->setChecked(true);
        (this->*click)();
    } else if (option->isChecked()) {
        option->setAutoExclusive(false);
        option->setChecked(false);
        option->setAutoExclusive(true);
    }
}

void Form1::restoreQuality()
{
    const double value = Tools::RoundHalfEven(SettingsStore().ReadNumber(QLatin1String(Keys::Quality)));
    if (value < Slider1->minimum() || value > Slider1->maximum())
        throw Tools::Failure(Tools::FailureNumber::InvalidPropertyValue, QStringLiteral("Invalid property value"));
    {
        const QSignalBlocker blocker(Slider1);
        Slider1->setValue(static_cast<int>(value));
    }
    Slider1_Change();
}

} // namespace App
