// Handlers of the window's own controls: options, slider, browse and tips.
#include "Form1.h"

#include "Dialogs.h"
#include "SettingsStore.h"
#include "WebAddresses.h"

#include "render/MovieRecorder.h"
#include "tools/ReportingTrap.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>

namespace App {

namespace {

constexpr char kBrowseLocation[] = "in Tarnwick2021/08/31.Form1.PushButton11_Click ";
constexpr char kHelpLocation[] = "in Tarnwick2021/08/31.Form1.PushButton4_Click ";
constexpr char kSlowTipLocation[] = "in Tarnwick2021/08/31.Form1.PushButton9_Click ";
constexpr char kFastTipLocation[] = "in Tarnwick2021/08/31.Form1.PushButton10_Click ";
constexpr char kPlayTipLocation[] = "in Tarnwick2021/08/31.Form1.PushButton13_Click ";
constexpr char kMovieTipLocation[] = "in Tarnwick2021/08/31.Form1.PushButton14_Click ";

const QString kLineEnd = QStringLiteral("\r\n");

} // namespace

void Form1::writeOptionPair(QRadioButton *first, const char *firstKey, QRadioButton *second, const char *secondKey)
{
    SettingsStore store;
    store.WriteBool(QLatin1String(firstKey), first->isChecked());
    store.WriteBool(QLatin1String(secondKey), second->isChecked());
}

void Form1::Option1Or2_Click()
{
    writeOptionPair(Option1, Keys::Option1, Option2, Keys::Option2);
    writeOptionPair(Option5, Keys::Option5, Option6, Keys::Option6);
}

void Form1::Option7Or8_Click()
{
    writeOptionPair(Option7, Keys::Option7, Option8, Keys::Option8);
}

void Form1::Option3Or4_Click()
{
    writeOptionPair(Option3, Keys::Option3, Option4, Keys::Option4);
    applyOutputFolderRule();
}

void Form1::applyPlayAvailability()
{
    const QString missing = Render::MovieRecorder::MissingParts(m_services.renderAssets);
    Option6->setEnabled(missing.isEmpty());
    Option6->setToolTip(missing);
}

void Form1::applyOutputFolderRule()
{
    Frame4->setEnabled(Option3->isChecked());
}

void Form1::Slider1_Change()
{
    Frame3->setTitle(QStringLiteral("Output Quality = ") + QString::number(Slider1->value()));
    SettingsStore().WriteNumber(QLatin1String(Keys::Quality), Slider1->value());
}

void Form1::PushButton11_Click()
{
    Tools::ReportingTrap trap(errorReporter(), QLatin1String(kBrowseLocation));
    SettingsStore store;
    QString start;
    QString chosen;
    trap(100, [&] { start = store.ReadSetting(QLatin1String(Keys::LastFolderDot)); });
    trap(102, [&] { chosen = ChooseFolder(this, QStringLiteral("Please select folder:"), start); });
    if (chosen.isEmpty())
        return;
    trap(104, [&] { store.WriteSetting(QLatin1String(Keys::LastFolderDot), chosen); });
    trap(106, [&] { Text3->setText(chosen.endsWith(QLatin1Char('/')) ? chosen : chosen + QLatin1Char('/')); });
}

void Form1::PushButton4_Click()
{
    Tools::ReportingTrap trap(errorReporter(), QLatin1String(kHelpLocation));
    trap(100, [&] {
        ShowMessage(this, QStringLiteral("The video looks much better if the pictures have the same or similar "
                                         "dimensions (height and width).")
                              + kLineEnd + kLineEnd + QStringLiteral("Questions? Please contact Team Quillmark at ")
                              + QLatin1String(WebAddresses::kMakerContact));
    });
    QMessageBox::StandardButton answer = QMessageBox::No;
    trap(102, [&] {
        answer = ShowMessage(
            this,
            QStringLiteral("The output videos do not play well with Windows Media Player.") + kLineEnd + kLineEnd
                + QStringLiteral("However, they do play well with Media Player Classic - Home Cinema. It is strongly "
                                 "recommended that you download and use MPC-HC with the video files created with "
                                 "this software.")
                + kLineEnd + kLineEnd
                + QStringLiteral("Would you like me to open this website in your browser for you now so you can see?"),
            QMessageBox::Yes | QMessageBox::No);
    });
    trap(104, [&] {
        if (answer == QMessageBox::Yes)
            Tools::ShellOpen(QLatin1String(WebAddresses::kPlayerSearch), m_services.openUrl);
    });
}

void Form1::PushButton9_Click()
{
    Tools::ReportingTrap trap(errorReporter(), QLatin1String(kSlowTipLocation));
    trap(100, [&] {
        ShowMessage(this, QStringLiteral("It is recommended that you start with a higher number like 3 (rather than 1) "
                                         "so there is time to view the images in video player."));
    });
}

void Form1::PushButton10_Click()
{
    Tools::ReportingTrap trap(errorReporter(), QLatin1String(kFastTipLocation));
    trap(100, [&] {
        ShowMessage(this, QStringLiteral("Because images are displayed quickly, it may not display all the images in "
                                         "Windows Media Player (for example) but may display fine in other video "
                                         "players. You may need to add some extra images to the file list to get the "
                                         "desired result."));
    });
}

void Form1::PushButton13_Click()
{
    Tools::ReportingTrap trap(errorReporter(), QLatin1String(kPlayTipLocation));
    trap(100, [&] {
        ShowMessage(this,
                    QStringLiteral("PLAY records each movie as it plays, in the Ruffle Flash player: its drawings, "
                                   "animation and sound, at the movie's own frame rate and for its whole "
                                   "timeline. The delay boxes do not apply.")
                        + kLineEnd + kLineEnd
                        + QStringLiteral("It needs Chromium (the Debian package chromium) and the Ruffle player "
                                         "that comes with Tarnwick.")
                        + kLineEnd + kLineEnd
                        + QStringLiteral("Limits: a movie waiting for a click gets one press of its button (at "
                                         "most 3 a movie); a movie that needs more (a game, a menu, typing) is "
                                         "recorded as it stands. Some ActionScript 3 movies do not play fully in "
                                         "Ruffle. A frame taking over 10 s ends the recording; what was recorded "
                                         "is kept when it lasts at least 1 s."));
    });
}

void Form1::PushButton14_Click()
{
    Tools::ReportingTrap trap(errorReporter(), QLatin1String(kMovieTipLocation));
    trap(100, [&] {
        ShowMessage(this, QStringLiteral("AS IN MOVIE shows each picture when the movie first shows it and keeps it "
                                         "until the movie shows the next one. The video lasts as long as the movie's "
                                         "timeline, or as long as its sound when that is longer: a movie that loops "
                                         "repeats its pictures, one that stops keeps its last picture. At most 3 "
                                         "hours a video.")
                              + kLineEnd + kLineEnd
                              + QStringLiteral("The delay boxes do not apply, except to a movie whose timeline "
                                               "shows none of its pictures (a slide-show run by its code): that "
                                               "movie is made as in SLOW, with the SLOW box's seconds (3 when the "
                                               "box holds no number above 0).")
                              + kLineEnd + kLineEnd
                              + QStringLiteral("Every choice keeps the movie's sound: its stream and event sounds, "
                                               "mixed at their own levels."));
    });
}

} // namespace App
