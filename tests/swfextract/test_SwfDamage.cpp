#include "SwfTestKit.h"

#include "swfextract/lib/Listing.h"
#include "swfextract/lib/Sound.h"

#include <QDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace SwfTestKit;
using SwfBuild::BuildSwf;
using SwfBuild::Container;
using SwfBuild::MovieOptions;
using SwfBuild::Tags;
using SwfExtract::ErrorCode;
using SwfExtract::Limits;
using SwfExtract::Movie;
using SwfExtract::ObjectClass;
using SwfExtract::Result;

namespace {

// One of everything, small enough to sweep every prefix.
Tags Everything()
{
    const Bytes jpeg = EncodeJpeg(Pattern(8, 8), 80);
    const auto [tables, image] = SwfBuild::SplitJpegTables(jpeg);
    Tags sprite;
    sprite.showFrame().end();
    Tags tags;
    tags.jpegTables(tables)
        .defineBits(1, image)
        .defineBitsJpeg2(2, jpeg)
        .defineBitsJpeg3(3, jpeg, Bytes(64, 0x80))
        .defineBitsLossless(4, 3, 3, 2, SwfBuild::EncodePalette(3, 2, {{1, 2, 3, 0}}, {0, 0, 0, 0, 0, 0}, false), 0)
        .defineBitsLossless2(5, 5, 2, 2,
                             SwfBuild::EncodeArgb({{255, 1, 2, 3}, {0, 0, 0, 0}, {9, 9, 9, 9}, {1, 1, 1, 1}}))
        .defineSprite(6, 1, sprite)
        .soundStreamHead2(0x2F, 1152)
        .soundStreamBlock(1152, 0, {0xFF, 0xFB, 0x90, 0x64, 0, 0, 0, 0})
        .showFrame()
        .end();
    return tags;
}

// Lists and extracts everything to memory; what fails must say why.
void ExerciseEverything(const Movie &movie, const Limits &limits = Limits())
{
    const std::string listing = SwfExtract::FormatListing(movie, "x");
    EXPECT_EQ(listing.rfind("Objects in file x:\n", 0), 0u);
    for (std::size_t i = 0; i < movie.definitions.size(); ++i) {
        const ObjectClass kind = movie.definitions[i].objectClass;
        if (kind != ObjectClass::Jpeg && kind != ObjectClass::Png)
            continue;
        const Result<Bytes> bytes = PictureBytes(movie, i, limits);
        if (!bytes.ok()) {
            EXPECT_FALSE(bytes.error().message.empty());
        }
    }
    SwfExtract::VectorSink sink;
    const SwfExtract::Status stream = SwfExtract::WriteMp3Stream(movie, sink);
    if (!stream.ok()) {
        EXPECT_FALSE(stream.error().message.empty());
    }
}

Bytes WithTail(Bytes file, std::uint8_t last)
{
    file.push_back(last);
    return file;
}

bool WarnedAbout(const Movie &movie, const std::string &text)
{
    for (const std::string &warning : movie.warnings())
        if (warning.find(text) != std::string::npos)
            return true;
    return false;
}

} // namespace

TEST(DamagedFiles, EveryPrefixIsReadSafelyAndCalledDamaged)
{
    for (Container container : {Container::Fws, Container::Cws, Container::Zws}) {
        SCOPED_TRACE(int(container));
        const Bytes file = BuildSwf(Everything(), container);
        const Result<Movie> whole = LoadMovie(file);
        ASSERT_TRUE(whole.ok());
        EXPECT_TRUE(whole->complete());
        EXPECT_EQ(whole->definitions.size(), 6u);
        // Cut compressed data still yields the tags that decompressed.
        std::size_t longestPrefixListing = 0;
        for (std::size_t size = 0; size < file.size(); ++size) {
            const Bytes prefix(file.begin(), file.begin() + std::ptrdiff_t(size));
            const Result<Movie> movie = LoadMovie(prefix);
            if (!movie.ok()) {
                EXPECT_FALSE(movie.error().message.empty());
                continue;
            }
            // A compressed file cut only in its trailer (zlib checksum, LZMA
            // end marker) still holds the whole movie.
            if (movie->complete()) {
                EXPECT_NE(container, Container::Fws);
                EXPECT_GE(size, file.size() - 8);
                EXPECT_EQ(SwfExtract::FormatListing(*movie, "x"), SwfExtract::FormatListing(*whole, "x"));
            } else {
                EXPECT_FALSE(movie->warnings().empty());
            }
            if (!movie->definitions.empty())
                longestPrefixListing = size;
            ExerciseEverything(*movie);
            if (HasFailure())
                FAIL() << "prefix of " << size << " bytes";
        }
        EXPECT_GT(longestPrefixListing, file.size() / 2);
    }
}

TEST(DamagedFiles, LyingLengthsAndHostileHeaders)
{
    const Bytes jpegStart = {1, 0, 0xFF, 0xD8, 0xFF, 0xE0};
    Tags overlongInSprite;
    overlongInSprite.lyingTag(1, 100, {}).end();
    struct Case
    {
        const char *name;
        Bytes file;
        bool loads;
        const char *says; // in the error or in a warning
    };
    const Case cases[] = {
        {"tag length past the end", BuildSwf(Tags().defineShape(7).lyingTag(21, 1000, jpegStart)), true, "cut short"},
        {"long header claiming 4 GiB", BuildSwf(Tags().defineShape(7).lyingTag(21, 0xFFFFFFFFu, jpegStart)), true,
         "cut short"},
        {"sprite tag longer than the sprite", BuildSwf(Tags().defineSprite(3, 1, overlongInSprite).end()), true,
         "cut short"},
        {"definition too short for its ID", BuildSwf(Tags().tag(21, {7}).end()), true, "too short"},
        {"no End tag", BuildSwf(Tags().defineShape(7).showFrame()), true, "no End tag"},
        {"cut tag header", WithTail(BuildSwf(Tags().defineShape(7)), 0x3F), true, "header is cut off"},
        {"not a SWF", {'G', 'W', 'S', 9, 20, 0, 0, 0, 0, 0}, false, "not a SWF"},
        {"empty file", {}, false, "not a SWF"},
        {"header only", {'F', 'W', 'S', 9, 8, 0, 0, 0}, false, "header"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Result<Movie> movie = LoadMovie(c.file);
        ASSERT_EQ(movie.ok(), c.loads) << (movie.ok() ? "" : movie.error().text());
        if (!movie.ok()) {
            EXPECT_NE(movie.error().message.find(c.says), std::string::npos) << movie.error().message;
            continue;
        }
        EXPECT_FALSE(movie->complete());
        EXPECT_TRUE(WarnedAbout(*movie, c.says));
        ExerciseEverything(*movie);
    }
}

TEST(DamagedFiles, AWrongFileLengthIsReadAsFarAsTheDataGoes)
{
    const Tags tags = Everything();
    const Result<Movie> truth = LoadMovie(BuildSwf(tags));
    ASSERT_TRUE(truth.ok());
    const Bytes body(truth->body().begin(), truth->body().end());
    const std::string listing = SwfExtract::FormatListing(*truth, "x");
    const std::uint32_t size = std::uint32_t(body.size() + 8);
    struct Kind
    {
        Container container;
        bool endMarker;
    };
    for (const Kind kind : {Kind{Container::Fws, true}, Kind{Container::Cws, true}, Kind{Container::Zws, true},
                            Kind{Container::Zws, false}}) {
        for (const std::uint32_t length : {size, 0u, 1u, 8u, 0xFFFFFFFFu, size - 10, size + 1000}) {
            SCOPED_TRACE(std::to_string(int(kind.container)) + (kind.endMarker ? "" : " without end marker")
                         + ", FileLength " + std::to_string(length));
            MovieOptions options;
            options.fileLength = length;
            options.lzmaEndMarker = kind.endMarker;
            const Result<Movie> movie = LoadMovie(BuildSwf(tags, kind.container, options));
            ASSERT_TRUE(movie.ok()) << movie.error().text();
            EXPECT_TRUE(movie->complete());
            EXPECT_EQ(WarnedAbout(*movie, "FileLength"), length != size);
            EXPECT_EQ(movie->warnings().size(), length != size ? 1u : 0u);
            EXPECT_EQ(SwfExtract::FormatListing(*movie, "x"), listing);
            // An LZMA stream of unknown size may decode a byte or so past
            // the movie's End tag; nothing is lost or changed before it.
            const Bytes read(movie->body().begin(), movie->body().end());
            ASSERT_GE(read.size(), body.size());
            EXPECT_TRUE(std::equal(body.begin(), body.end(), read.begin()));
            if (length == size || kind.endMarker) {
                EXPECT_EQ(read.size(), body.size());
            }
            ExerciseEverything(*movie);
        }
        // The body limit holds whatever the header claims.
        for (const std::uint32_t length : {0u, 0xFFFFFFFFu}) {
            MovieOptions options;
            options.fileLength = length;
            options.lzmaEndMarker = kind.endMarker;
            Limits limits;
            limits.maxBodyBytes = body.size() - 1;
            const Result<Movie> movie = LoadMovie(BuildSwf(tags, kind.container, options), limits);
            ASSERT_FALSE(movie.ok());
            EXPECT_EQ(movie.error().code, ErrorCode::TooLarge);
        }
    }

    // A cut file whose header is wrong as well is still a cut file: the
    // zlib stream says so, an LZMA stream (which need not have an end
    // marker) leaves it to the tags.
    MovieOptions zero;
    zero.fileLength = 0;
    for (const Container container : {Container::Cws, Container::Zws}) {
        SCOPED_TRACE(int(container));
        Bytes file = BuildSwf(tags, container, zero);
        file.resize(file.size() * 2 / 3);
        const Result<Movie> movie = LoadMovie(file);
        ASSERT_TRUE(movie.ok());
        EXPECT_FALSE(movie->complete());
        EXPECT_EQ(WarnedAbout(*movie, "ends early"), container == Container::Cws);
        EXPECT_TRUE(WarnedAbout(*movie, "FileLength"));
        EXPECT_TRUE(WarnedAbout(*movie, "cut")) << ::testing::PrintToString(movie->warnings());
    }
}

TEST(DamagedFiles, LimitsHoldAtTheirEdges)
{
    // FWS body limit: cap - 1 fails, cap and cap + 1 pass.
    const Bytes plain = BuildSwf(Everything());
    const std::size_t bodySize = plain.size() - 8;
    for (const auto &[cap, ok] : {std::pair{bodySize - 1, false}, {bodySize, true}, {bodySize + 1, true}}) {
        Limits limits;
        limits.maxBodyBytes = cap;
        for (Container container : {Container::Fws, Container::Cws, Container::Zws}) {
            SCOPED_TRACE(std::to_string(cap) + " " + std::to_string(int(container)));
            const Result<Movie> movie = LoadMovie(BuildSwf(Everything(), container), limits);
            ASSERT_EQ(movie.ok(), ok);
            if (!ok) {
                EXPECT_EQ(movie.error().code, ErrorCode::TooLarge);
            }
        }
    }

    // Tag count: the End tag counts too.
    Limits fewTags;
    fewTags.maxTags = 10;
    Tags nine;
    Tags ten;
    for (int i = 0; i < 9; ++i)
        nine.showFrame();
    for (int i = 0; i < 10; ++i)
        ten.showFrame();
    EXPECT_TRUE(LoadMovie(BuildSwf(nine.end()), fewTags).ok());
    EXPECT_FALSE(LoadMovie(BuildSwf(ten.end()), fewTags).ok());

    // Sprite depth: the cap is walked, one more is not.
    auto nested = [](int depth) {
        Tags inner;
        inner.showFrame().end();
        for (int level = depth; level > 1; --level) {
            Tags outer;
            outer.defineSprite(std::uint16_t(level), 1, inner).end();
            inner = outer;
        }
        return BuildSwf(Tags().defineSprite(1, 1, inner).end());
    };
    const Limits defaults;
    const Result<Movie> atCap = LoadMovie(nested(defaults.maxSpriteDepth));
    ASSERT_TRUE(atCap.ok());
    EXPECT_TRUE(atCap->complete());
    const Result<Movie> beyond = LoadMovie(nested(2000));
    ASSERT_TRUE(beyond.ok());
    EXPECT_FALSE(beyond->complete());
    EXPECT_TRUE(WarnedAbout(*beyond, "nested deeper"));

    // LZMA dictionary beyond the memory limit.
    Limits smallLzma;
    smallLzma.maxLzmaMemory = 1 << 20;
    const Result<Movie> lzma = LoadMovie(BuildSwf(Tags().end(), Container::Zws), smallLzma);
    ASSERT_FALSE(lzma.ok());
    EXPECT_EQ(lzma.error().code, ErrorCode::TooLarge);
}

TEST(DamagedFiles, DecompressionBombsStopAtTheirCaps)
{
    // 32 MiB of zeros compresses to about 32 KiB.
    const Bytes zeros(32u << 20, 0);
    Limits limits;
    limits.maxBodyBytes = 1u << 20;
    const Result<Movie> movie = LoadMovie(BuildSwf(Tags().tag(87, zeros).end(), Container::Cws), limits);
    ASSERT_FALSE(movie.ok());
    EXPECT_EQ(movie.error().code, ErrorCode::TooLarge);

    // Inside pictures: an 8 x 8 JPEG3 whose alpha plane inflates to 32 MiB,
    // and a 4 x 4 Lossless whose data does.
    const Bytes jpeg = EncodeJpeg(Pattern(8, 8));
    const Result<Movie> pictures = LoadMovie(
        BuildSwf(Tags().defineBitsJpeg3(1, jpeg, zeros).defineBitsLossless(2, 5, 4, 4, zeros).end(), Container::Cws));
    ASSERT_TRUE(pictures.ok());
    const Result<Bytes> alpha = PictureBytes(*pictures, 0);
    ASSERT_TRUE(alpha.ok());
    EXPECT_EQ(Decode(*alpha).size(), QSize(8, 8));
    const Result<Bytes> lossless = PictureBytes(*pictures, 1);
    ASSERT_TRUE(lossless.ok());
    EXPECT_EQ(Decode(*lossless).size(), QSize(4, 4));
}

TEST(DamagedFiles, RandomBytesNeverCrash)
{
    std::mt19937 random(20240607);
    const Bytes valid = BuildSwf(Everything(), Container::Fws);
    for (int round = 0; round < 600; ++round) {
        Bytes file;
        switch (round % 3) {
        case 0: { // random bytes behind a plausible header
            file = {std::uint8_t("FCZ"[random() % 3]), 'W', 'S', 10};
            const std::size_t size = random() % 400;
            for (std::size_t i = 0; i < size + 4; ++i)
                file.push_back(std::uint8_t(random()));
            break;
        }
        case 1: // a valid file with bytes flipped
            file = valid;
            for (int flips = 0; flips < 1 + round % 8; ++flips)
                file[8 + random() % (file.size() - 8)] = std::uint8_t(random());
            break;
        default: // plain noise
            for (std::size_t i = 0, size = random() % 64; i < size; ++i)
                file.push_back(std::uint8_t(random()));
        }
        const Result<Movie> movie = LoadMovie(file);
        if (movie.ok())
            ExerciseEverything(*movie);
        if (HasFailure())
            FAIL() << "round " << round;
    }
}

TEST(DamagedFiles, RegressionCorpusReadsSafely)
{
    const QDir corpus(QStringLiteral(TARNWICK_SOURCE_DIR "/tests/data/regress"));
    const QStringList files = corpus.entryList(QDir::Files);
    int inputs = 0;
    for (const QString &name : files) {
        if (name.endsWith(QStringLiteral(".md")))
            continue;
        SCOPED_TRACE(name.toStdString());
        ++inputs;
        Limits limits;
        limits.maxBodyBytes = 16u << 20;
        const Result<Movie> movie = LoadMovie(ReadFile(corpus.filePath(name)), limits);
        if (movie.ok())
            ExerciseEverything(*movie, limits);
    }
    EXPECT_GT(inputs, 0);
}
