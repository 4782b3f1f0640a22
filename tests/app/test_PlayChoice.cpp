#include "WindowFixture.h"

#include "render/MovieRecorder.h"

#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>

namespace {

class PlayChoiceTest : public WindowTest
{
};

TEST_F(PlayChoiceTest, WithoutThePlayerItIsDisabledSaysWhatToInstallAndASavedPlayFallsBackToSlow)
{
    store("Option6", QStringLiteral("True"));
    store("Option1", QStringLiteral("False"));
    store("Option2", QStringLiteral("False"));
    renderAssets = program.mkdir(QStringLiteral("render-without-ruffle"));
    start();
    QRadioButton *play = control<QRadioButton>("Option6");
    EXPECT_FALSE(play->isEnabled());
    EXPECT_EQ(play->toolTip(), Render::MovieRecorder::MissingParts(renderAssets));
    EXPECT_FALSE(play->toolTip().isEmpty());
    EXPECT_FALSE(window->playSelected());
    EXPECT_TRUE(control<QRadioButton>("Option1")->isChecked()) << "a job must still have a delay choice";
    EXPECT_EQ(stored("Option6"), QStringLiteral("True")) << "kept for when the parts are installed";
}

TEST_F(PlayChoiceTest, ChoiceIsSavedExclusiveAndRestored)
{
    if (QStandardPaths::findExecutable(QStringLiteral("chromium")).isEmpty())
        GTEST_SKIP() << "chromium is not installed";
    renderAssets = QStringLiteral(TARNWICK_BIN_DIR "/render");
    ASSERT_EQ(Render::MovieRecorder::MissingParts(renderAssets), QString());
    EXPECT_EQ(stored("Option6"), QStringLiteral("<absent>"));
    start();
    QRadioButton *play = control<QRadioButton>("Option6");
    ASSERT_TRUE(play->isEnabled());
    EXPECT_TRUE(play->toolTip().isEmpty());
    EXPECT_FALSE(play->isChecked());
    click("Option6");
    EXPECT_TRUE(play->isChecked());
    EXPECT_FALSE(control<QRadioButton>("Option1")->isChecked());
    EXPECT_FALSE(control<QRadioButton>("Option2")->isChecked());
    EXPECT_EQ(stored("Option6"), QStringLiteral("True"));
    EXPECT_EQ(stored("Option1"), QStringLiteral("False"));
    EXPECT_TRUE(window->playSelected());
    EXPECT_EQ(Pipeline::JobChoices::ReadFrom(*window).play, true);

    start();
    EXPECT_TRUE(control<QRadioButton>("Option6")->isChecked()) << "restored";
    click("Option2");
    EXPECT_EQ(stored("Option6"), QStringLiteral("False"));
    start();
    EXPECT_FALSE(control<QRadioButton>("Option6")->isChecked());
    EXPECT_TRUE(control<QRadioButton>("Option2")->isChecked());
}

TEST_F(PlayChoiceTest, HelpSaysWhatItNeedsAndItsLimits)
{
    start();
    takeShownTexts();
    control<QPushButton>("PushButton13")->click();
    const QStringList texts = takeShownTexts();
    ASSERT_EQ(texts.size(), 1);
    EXPECT_TRUE(texts[0].contains(QLatin1String("chromium")));
    EXPECT_TRUE(texts[0].contains(QLatin1String("ActionScript 3")));
    EXPECT_TRUE(texts[0].contains(QLatin1String("click")));
}

} // namespace
