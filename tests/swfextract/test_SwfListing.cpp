#include "SwfTestKit.h"

#include "swfextract/lib/Listing.h"

#include <QFile>

#include <gtest/gtest.h>

#include <map>

using namespace SwfTestKit;
using SwfBuild::BuildSwf;
using SwfBuild::Container;
using SwfBuild::Tags;
using SwfExtract::Definition;
using SwfExtract::FormatIdList;
using SwfExtract::FormatListing;
using SwfExtract::Limits;
using SwfExtract::Movie;
using SwfExtract::ObjectClass;
using SwfExtract::ParseIdList;
using SwfExtract::Result;

namespace {

constexpr std::uint8_t kMp3Stereo44k = 0x2F; // MP3, 44 kHz, 16-bit, stereo
constexpr std::uint8_t kAdpcmMono11k = 0x16;

const Bytes kSomeMp3 = {0xFF, 0xFB, 0x90, 0x64, 0x00, 0x00};

std::string ListingOf(const Bytes &file)
{
    Result<Movie> movie = LoadMovie(file);
    if (!movie)
        return "error: " + movie.error().text();
    return FormatListing(*movie, "m.swf");
}

Bytes TinyJpeg()
{
    static const Bytes jpeg = EncodeJpeg(Pattern(8, 8));
    return jpeg;
}

} // namespace

TEST(IdList, AscendingWithRunsOfThreeOrMore)
{
    struct Case
    {
        std::vector<std::uint16_t> ids;
        const char *text;
    };
    const Case cases[] = {
        {{}, ""},
        {{5}, "5"},
        {{1, 2}, "1, 2"},
        {{3, 1, 2}, "1-3"},
        {{4, 9}, "4, 9"},
        {{0, 0, 0, 0, 0}, "0, 0, 0, 0, 0"},
        {{1, 2, 2, 3}, "1, 2, 2, 3"},
        {{10, 1, 2, 3, 5, 6, 7, 8, 65535}, "1-3, 5-8, 10, 65535"},
        {{65533, 65534, 65535}, "65533-65535"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(FormatIdList(c.ids), c.text);
    }
}

TEST(IdList, ParsesListsAsTheCommandLineGivesThem)
{
    using Ids = std::vector<std::uint16_t>;
    const std::map<std::string, Ids> good = {
        {"1-3,5, 9", {1, 2, 3, 5, 9}},
        {" 5", {5}},
        {"0", {0}},
        {"7 - 8", {7, 8}},
        {"65535", {65535}},
        {"4,4", {4, 4}},
        {"2-2", {2}},
        {"1,,2", {1, 2}},
    };
    for (const auto &[text, ids] : good) {
        SCOPED_TRACE(text);
        const Result<Ids> parsed = ParseIdList(text);
        ASSERT_TRUE(parsed.ok()) << parsed.error().text();
        EXPECT_EQ(*parsed, ids);
    }
    for (const char *bad : {"", " ", "a", "3-1", "65536", "1-", "-1", "1.5", "99999999999", ","}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(ParseIdList(bad).ok());
    }
}

TEST(Listing, EveryClassWithSpritesAndMainTimelineFrames)
{
    Tags sprite;
    sprite.showFrame().showFrame().soundStreamHead2(kMp3Stereo44k, 1152).soundStreamBlock(1152, 0, kSomeMp3).end();
    Tags nested;
    nested.defineSprite(31, 1, Tags().showFrame().end()).showFrame().end();
    Tags tags;
    tags.defineShape(1)
        .defineShape(2)
        .defineShape(3)
        .jpegTables({0xFF, 0xD8, 0xFF, 0xD9})
        .defineBits(10, TinyJpeg())
        .defineBitsJpeg2(11, TinyJpeg())
        .defineBitsJpeg3(12, TinyJpeg(), {})
        .defineBitsLossless(20, 5, 1, 1, {0, 1, 2, 3})
        .defineBitsLossless2(22, 5, 1, 1, {0, 1, 2, 3})
        .defineSound(40, 0x2F, 1152, {0, 0})
        .defineSprite(30, 2, sprite)
        .defineSprite(32, 1, nested)
        .tag(10, {50, 0, 1, 2}) // DefineFont
        .tag(37, {60, 0, 1, 2}) // DefineEditText
        .tag(84, {70, 0, 1, 2}) // DefineMorphShape2
        .tag(3, {0, 0}) // FreeCharacter: refers, defines nothing
        .tag(4, {1, 0, 1, 0, 0}) // PlaceObject: refers
        .tag(200, {1, 2, 3}) // unknown code
        .showFrame()
        .showFrame()
        .showFrame()
        .end();
    EXPECT_EQ(ListingOf(BuildSwf(tags)), "Objects in file m.swf:\n"
                                         " [-i] 3 Shapes: ID(s) 1-3\n"
                                         " [-M] 1 MorphShape: ID(s) 70\n"
                                         " [-j] 3 JPEGs: ID(s) 10-12\n"
                                         " [-p] 2 PNGs: ID(s) 20, 22\n"
                                         " [-s] 1 Sound: ID(s) 40\n"
                                         " [-n] 3 MovieClips: ID(s) 30-32\n"
                                         " [-F] 1 Font: ID(s) 50\n"
                                         " [-t] 1 Text: ID(s) 60\n"
                                         " [-f] 3 Frames: ID(s) 0-2\n");
}

TEST(Listing, RepeatedIdsAreListedOncePerDefinition)
{
    // FFmpeg frees ID 0 and defines it again for every picture.
    Tags tags;
    for (int i = 0; i < 5; ++i)
        tags.tag(3, {0, 0}).defineBitsJpeg2(0, TinyJpeg()).showFrame();
    tags.end();
    EXPECT_EQ(ListingOf(BuildSwf(tags)), "Objects in file m.swf:\n"
                                         " [-j] 5 JPEGs: ID(s) 0, 0, 0, 0, 0\n"
                                         " [-f] 5 Frames: ID(s) 0-4\n");
}

TEST(Listing, Mp3StreamLineOnlyForMp3BlocksOfTheMainTimeline)
{
    struct Case
    {
        const char *name;
        Tags tags;
        bool listed;
    };
    Tags inSprite;
    inSprite.soundStreamHead2(kMp3Stereo44k, 1152).soundStreamBlock(1152, 0, kSomeMp3).showFrame().end();
    std::vector<Case> cases;
    cases.push_back({"main MP3 stream",
                     Tags().soundStreamHead2(kMp3Stereo44k, 1152).soundStreamBlock(1152, 0, kSomeMp3).end(), true});
    cases.push_back(
        {"old head without LatencySeek",
         Tags().soundStreamHead(kMp3Stereo44k, 1152, std::nullopt).soundStreamBlock(1152, 0, kSomeMp3).end(), true});
    cases.push_back({"stream only inside a sprite", Tags().defineSprite(1, 1, inSprite).end(), false});
    cases.push_back({"ADPCM stream",
                     Tags().soundStreamHead2(kAdpcmMono11k, 512).soundStreamBlock(512, 0, {1, 2, 3, 4}).end(), false});
    cases.push_back({"head without blocks", Tags().soundStreamHead2(kMp3Stereo44k, 1152).showFrame().end(), false});
    cases.push_back({"blocks without a head", Tags().soundStreamBlock(1152, 0, kSomeMp3).end(), false});
    cases.push_back({"blocks with no MP3 data",
                     Tags().soundStreamHead2(kMp3Stereo44k, 1152).soundStreamBlock(0, 0, {}).end(), false});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string listing = ListingOf(BuildSwf(c.tags));
        EXPECT_EQ(listing.find(" [-m] 1 MP3 Soundstream\n") != std::string::npos, c.listed) << listing;
    }
}

TEST(Listing, SameListingFromEveryContainer)
{
    Tags tags;
    tags.defineShape(1).defineBitsJpeg2(2, TinyJpeg()).defineBitsLossless(3, 5, 1, 1, {0, 9, 9, 9}).showFrame().end();
    const std::string plain = ListingOf(BuildSwf(tags, Container::Fws));
    EXPECT_NE(plain.find(" [-j] 1 JPEG: ID(s) 2\n"), std::string::npos) << plain;
    for (Container container : {Container::Cws, Container::Zws}) {
        SCOPED_TRACE(int(container));
        const Result<Movie> movie = LoadMovie(BuildSwf(tags, container));
        ASSERT_TRUE(movie.ok()) << movie.error().text();
        EXPECT_TRUE(movie->complete());
        EXPECT_EQ(FormatListing(*movie, "m.swf"), plain);
    }
}

TEST(Listing, RealFilesMatchTheirManifest)
{
    const QString folder = QStringLiteral(TARNWICK_SOURCE_DIR "/tests/data/realswf/");
    QFile manifest(folder + QStringLiteral("MANIFEST.tsv"));
    ASSERT_TRUE(manifest.open(QIODevice::ReadOnly));
    const QStringList header = QString::fromUtf8(manifest.readLine()).trimmed().split(QLatin1Char('\t'));
    const int fileColumn = int(header.indexOf(QStringLiteral("file")));
    const int jpegColumn = int(header.indexOf(QStringLiteral("jpeg_count")));
    const int losslessColumn = int(header.indexOf(QStringLiteral("lossless_count")));
    const int mp3Column = int(header.indexOf(QStringLiteral("mp3_stream")));
    ASSERT_GE(std::min({fileColumn, jpegColumn, losslessColumn, mp3Column}), 0);
    int files = 0;
    while (!manifest.atEnd()) {
        const QStringList row = QString::fromUtf8(manifest.readLine()).trimmed().split(QLatin1Char('\t'));
        if (row.size() < header.size())
            continue;
        const QString name = row[fileColumn];
        SCOPED_TRACE(name.toStdString());
        ++files;
        const Result<Movie> movie = Movie::open((folder + name).toStdString(), Limits());
        ASSERT_TRUE(movie.ok()) << movie.error().text();
        EXPECT_TRUE(movie->complete());
        std::map<ObjectClass, int> counts;
        for (const Definition &definition : movie->definitions)
            ++counts[definition.objectClass];
        EXPECT_EQ(counts[ObjectClass::Jpeg], row[jpegColumn].toInt());
        EXPECT_EQ(counts[ObjectClass::Png], row[losslessColumn].toInt());
        EXPECT_EQ(movie->mp3Stream.has_value() && !movie->mp3Stream->blocks.empty(),
                  row[mp3Column] == QStringLiteral("yes"));
        // Every picture the listing names comes out and decodes.
        for (std::size_t i = 0; i < movie->definitions.size(); ++i) {
            const Definition &definition = movie->definitions[i];
            if (definition.objectClass != ObjectClass::Jpeg && definition.objectClass != ObjectClass::Png)
                continue;
            SCOPED_TRACE(definition.id);
            const Result<Bytes> bytes = PictureBytes(*movie, i);
            ASSERT_TRUE(bytes.ok()) << bytes.error().text();
            EXPECT_FALSE(Decode(*bytes).isNull());
        }
    }
    EXPECT_EQ(files, 8);
}
