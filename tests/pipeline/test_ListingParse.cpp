#include "pipeline/SwfListing.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

using namespace Pipeline;
using Kind = SwfListing::Kind;

TEST(SwfListing, PictureAndSoundLines)
{
    const SwfListing listing = ParseSwfListing(QStringLiteral("Objects in file /m/a.swf:\n"
                                                              " [-i] 2 Shapes: ID(s) 1, 4\n"
                                                              " [-j] 3 JPEGs: ID(s) 1-3, 9\n"
                                                              " [-p] 1 PNG: ID(s) 7\n"
                                                              " [-m] 1 MP3 Soundstream\n"
                                                              " [-f] 5 Frames: ID(s) 0-4\n"));
    EXPECT_FALSE(listing.empty);
    ASSERT_EQ(listing.pictureLines.size(), 2);
    EXPECT_EQ(listing.pictureLines[0].kind, Kind::Jpeg);
    EXPECT_EQ(listing.pictureLines[0].ids, QStringLiteral("1-3, 9"));
    EXPECT_EQ(listing.pictureLines[1].kind, Kind::Png);
    EXPECT_EQ(listing.pictureLines[1].ids, QStringLiteral("7"));
    EXPECT_TRUE(listing.hasMp3Stream);
}

TEST(SwfListing, FirstMarkerWinsAndOddInputs)
{
    // A line with a JPEG marker and "MP3 Sound" is a picture line only.
    const SwfListing both = ParseSwfListing(QStringLiteral(" [-j] 1 JPEG: ID(s) 5 MP3 Sound\r\n"));
    ASSERT_EQ(both.pictureLines.size(), 1);
    EXPECT_FALSE(both.hasMp3Stream);

    EXPECT_TRUE(ParseSwfListing(QStringLiteral("  \n ")).empty);
    const SwfListing failed = ParseSwfListing(
        QStringLiteral("Failed to create process, check the path of the command line."));
    EXPECT_FALSE(failed.empty);
    EXPECT_TRUE(failed.pictureLines.isEmpty());
    EXPECT_FALSE(failed.hasMp3Stream);

    // Letter case matters: "mp3 sound" is not the stream.
    EXPECT_FALSE(ParseSwfListing(QStringLiteral(" [-s] 1 mp3 sound")).hasMp3Stream);
    const SwfListing emptyIds = ParseSwfListing(QStringLiteral(" [-j] 0 JPEGs: ID(s) "));
    ASSERT_EQ(emptyIds.pictureLines.size(), 1);
    EXPECT_TRUE(emptyIds.pictureLines[0].ids.isEmpty());
}

TEST(PictureOrder, ByIdThenDefinitionJpegAndPngTogether)
{
    const QStringList names{
        QStringLiteral("swf1_10.jpg"), QStringLiteral("swf1_2.png"),   QStringLiteral("swf1_0.3.jpg"),
        QStringLiteral("swf1_0.jpg"),  QStringLiteral("swf1_0.2.jpg"), QStringLiteral("swf1_0.10.jpg"),
        QStringLiteral("swf12_1.jpg"), QStringLiteral("swf1_x.jpg"),   QStringLiteral("other.jpg")};
    EXPECT_EQ(
        OrderPictures(names, QStringLiteral("swf1")),
        (QStringList{QStringLiteral("swf1_0.jpg"), QStringLiteral("swf1_0.2.jpg"), QStringLiteral("swf1_0.3.jpg"),
                     QStringLiteral("swf1_0.10.jpg"), QStringLiteral("swf1_2.png"), QStringLiteral("swf1_10.jpg")}));
    EXPECT_EQ(OrderPictures(names, QStringLiteral("swf12")), QStringList{QStringLiteral("swf12_1.jpg")});
}
