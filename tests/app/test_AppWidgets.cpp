#include "WindowFixture.h"

#include "app/AppIcon.h"
#include "app/Dialogs.h"
#include "app/PointerFile.h"
#include "app/ProgressBar.h"

#include "TempFolder.h"

#include <QBuffer>
#include <QFileDialog>
#include <QImage>
#include <QImageWriter>
#include <QPushButton>
#include <QtEndian>

#include <gtest/gtest.h>

#include <limits>
#include <memory>

TEST(ApplicationTitle, CutAtTheLastBlankAtLeastOnce)
{
    struct Case
    {
        const char *product;
        const char *title;
    } cases[] = {
        {"Tarnwick", "Tarnwick"},
        {"Tarnwick Studio", "Tarnwick"},
        {"Tarnwick SWF to MP4", "Tarnwick SWF to"},
        {"An extremely long product name that goes on and on", "An extremely long product name that goes"},
        {"Averyveryveryveryveryveryveryveryverylongword tail", "Averyveryveryveryveryveryveryveryverylongword"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.product);
        EXPECT_EQ(App::ShortenTitle(QLatin1String(c.product)), QLatin1String(c.title));
    }
}

TEST(ApplicationIcon, EverySizeRenderedWithRoundedCorners)
{
    const QIcon icon = App::ApplicationIcon();
    const QList<QSize> sizes = icon.availableSizes();
    for (const int side : {16, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(side);
        ASSERT_TRUE(sizes.contains(QSize(side, side)));
        const QImage picture = icon.pixmap(QSize(side, side)).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(picture.size(), QSize(side, side));
        // Transparent outside the rounded square, opaque in its middle.
        EXPECT_EQ(qAlpha(picture.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(picture.pixel(side / 2, side / 2)), 255);
    }
}

TEST(ProgressBar, ClampsFractionsAndKeepsItsCaption)
{
    App::ProgressBar bar;
    struct Case
    {
        double in;
        double out;
    } cases[] = {{42.25, 42.25}, {-5, 0},    {150, 100},
                 {100, 100},     {0.5, 0.5}, {std::numeric_limits<double>::quiet_NaN(), 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.in);
        bar.setValue(c.in);
        EXPECT_DOUBLE_EQ(bar.value(), c.out);
    }
    bar.setCaption(QStringLiteral("Please wait.. 7 %"));
    EXPECT_EQ(bar.caption(), QStringLiteral("Please wait.. 7 %"));
    bar.resize(bar.sizeHint());
    EXPECT_FALSE(bar.grab().isNull());
}

namespace {

// A cursor file: an icon file whose type field says 2 and whose first
// entry holds the hot spot.
QByteArray CursorFile(int hotX, int hotY)
{
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(QImageWriter(&buffer, "ico").write(image));
    qToLittleEndian<quint16>(2, bytes.data() + 2);
    qToLittleEndian<quint16>(hotX, bytes.data() + 10);
    qToLittleEndian<quint16>(hotY, bytes.data() + 12);
    return bytes;
}

} // namespace

TEST(PointerFile, CursorWithHotSpotOrNothing)
{
    TempFolder folder;
    const std::optional<QCursor> hand = App::LoadPointerFile(
        folder.write(QStringLiteral("HAND-M.CUR"), CursorFile(5, 9)));
    ASSERT_TRUE(hand.has_value());
    EXPECT_EQ(hand->hotSpot(), QPoint(5, 9));
    EXPECT_EQ(hand->pixmap().size(), QSize(32, 32));

    EXPECT_FALSE(App::LoadPointerFile(folder.write(QStringLiteral("junk.cur"), "not a cursor")).has_value());
    EXPECT_FALSE(App::LoadPointerFile(folder.file(QStringLiteral("missing.cur"))).has_value());
    EXPECT_FALSE(
        App::LoadPointerFile(folder.write(QStringLiteral("huge.cur"), QByteArray(App::kMaxPointerFileBytes + 1, 0)))
            .has_value());
}

TEST_F(WindowTest, HandPointerFileBesideTheProgram)
{
    start();
    EXPECT_EQ(control<QPushButton>("PushButton1")->cursor().shape(), Qt::PointingHandCursor);

    program.write(QStringLiteral("HAND-M.CUR"), CursorFile(3, 4));
    start();
    EXPECT_TRUE(reporter.reports.empty()) << reporter;
    for (const char *name : {"PushButton1", "PushButton3", "PushButton11"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(control<QPushButton>(name)->cursor().shape(), Qt::BitmapCursor);
        EXPECT_EQ(control<QPushButton>(name)->cursor().hotSpot(), QPoint(3, 4));
    }

    program.write(QStringLiteral("HAND-M.CUR"), "damaged");
    start();
    ASSERT_EQ(reporter.reports.size(), 1u) << reporter;
    EXPECT_EQ(reporter.reports[0].step, 104);
    EXPECT_EQ(control<QPushButton>("PushButton1")->cursor().shape(), Qt::PointingHandCursor);
}

TEST(FolderDialog, OpensWithTheInitialFolderSelected)
{
    TempFolder folder;
    const QString initial = folder.mkdir(QStringLiteral("Movies"));
    std::unique_ptr<QFileDialog> dialog(
        App::CreateFolderDialog(nullptr, QStringLiteral("Please select folder:"), initial));
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Please select folder:"));
    EXPECT_EQ(dialog->directory().absolutePath(), folder.path());
    EXPECT_EQ(dialog->selectedFiles(), QStringList{initial});
    EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
}

TEST(OpenFilesDialog, SeveralFilesAndAFilterThatIgnoresCase)
{
    std::unique_ptr<QFileDialog> dialog(
        App::CreateOpenFilesDialog(nullptr, QStringLiteral("Add File(s) - Hold Ctrl to select multiple files"),
                                   QStringLiteral("SWF Files(*.swf)")));
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
    EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("SWF Files(*.swf)")});
    EXPECT_FALSE(dialog->filter().testFlag(QDir::CaseSensitive));
}
