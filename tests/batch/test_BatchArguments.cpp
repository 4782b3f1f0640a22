#include "batch/BatchControls.h"

#include "QtPrinters.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

using namespace Batch;

TEST(BatchArguments, DefaultsAndChoices)
{
    BatchOptions options;
    ASSERT_EQ(ParseArguments({QStringLiteral("a.swf"), QStringLiteral("/m/b.swf")}, QStringLiteral("/home/u"), options),
              QString());
    EXPECT_TRUE(options.slow);
    EXPECT_EQ(options.seconds, QStringLiteral("3"));
    EXPECT_EQ(options.quality, 75);
    EXPECT_TRUE(options.combine);
    EXPECT_FALSE(options.beside);
    EXPECT_EQ(options.outFolder, QStringLiteral("/home/u"));
    EXPECT_EQ(options.files, (QStringList{QStringLiteral("/home/u/a.swf"), QStringLiteral("/m/b.swf")}));

    BatchOptions other;
    ASSERT_EQ(ParseArguments({QStringLiteral("--fast"), QStringLiteral("10"), QStringLiteral("--quality"),
                              QStringLiteral("0"), QStringLiteral("--each"), QStringLiteral("--out"),
                              QStringLiteral("../v"), QStringLiteral("--"), QStringLiteral("--odd.swf")},
                             QStringLiteral("/home/u"), other),
              QString());
    EXPECT_FALSE(other.slow);
    EXPECT_EQ(other.perSecond, QStringLiteral("10"));
    EXPECT_EQ(other.quality, 0);
    EXPECT_FALSE(other.combine);
    EXPECT_EQ(other.outFolder, QStringLiteral("/home/v"));
    EXPECT_EQ(other.files, QStringList{QStringLiteral("/home/u/--odd.swf")});
}

TEST(BatchArguments, UsageErrors)
{
    const QStringList bad[] = {{},
                               {QStringLiteral("--slow")},
                               {QStringLiteral("--quality"), QStringLiteral("101"), QStringLiteral("a.swf")},
                               {QStringLiteral("--quality"), QStringLiteral("x"), QStringLiteral("a.swf")},
                               {QStringLiteral("--bogus"), QStringLiteral("a.swf")},
                               {QStringLiteral("--out")}};
    for (const QStringList &arguments : bad) {
        SCOPED_TRACE(arguments.join(QLatin1Char(' ')).toStdString());
        BatchOptions options;
        EXPECT_FALSE(ParseArguments(arguments, QStringLiteral("/"), options).isEmpty());
    }
}

TEST(BatchArguments, SamplesJoinTheListAtTheirPlaceOnce)
{
    TempFolder data;
    const QString b = data.write(QStringLiteral("Samples/b.swf"));
    const QString a = data.write(QStringLiteral("Samples/a.swf"));

    BatchOptions options;
    ASSERT_EQ(ParseArguments({QStringLiteral("x.swf"), QStringLiteral("--samples"), QStringLiteral("y.swf"),
                              QStringLiteral("--samples"), b},
                             QStringLiteral("/w"), options, data.path()),
              QString());
    EXPECT_EQ(options.files, (QStringList{QStringLiteral("/w/x.swf"), a, b, QStringLiteral("/w/y.swf"), b}));

    // A Samples folder that is not there is a usage error, not an empty list.
    for (const QString &folder : {data.file(QStringLiteral("elsewhere")), QString()}) {
        SCOPED_TRACE(folder.toStdString());
        BatchOptions missing;
        const QString error = ParseArguments({QStringLiteral("--samples")}, QStringLiteral("/w"), missing, folder);
        EXPECT_TRUE(error.contains(QStringLiteral("sample folder")));
    }
}

TEST(BatchArguments, TerminalTextShowsEveryLineBreak)
{
    EXPECT_EQ(TerminalText(QStringLiteral("a\r\nb\rc\nd")), QStringLiteral("a\nb\nc\nd"));
}

TEST(BatchArguments, PlayAndItsFrameRate)
{
    BatchOptions play;
    ASSERT_EQ(ParseArguments({QStringLiteral("--play"), QStringLiteral("a.swf")}, QStringLiteral("/h"), play),
              QString());
    EXPECT_TRUE(play.play);
    EXPECT_EQ(play.playFps, 0.0) << "the movie's own rate";
    EXPECT_TRUE(play.notes.isEmpty());

    BatchOptions rate;
    ASSERT_EQ(ParseArguments({QStringLiteral("--play-fps"), QStringLiteral("24"), QStringLiteral("a.swf")},
                             QStringLiteral("/h"), rate),
              QString());
    EXPECT_TRUE(rate.play);
    EXPECT_EQ(rate.playFps, 24.0);

    for (const char *absurd : {"0", "121", "1000"}) {
        BatchOptions o;
        ASSERT_EQ(ParseArguments({QStringLiteral("--play"), QStringLiteral("--play-fps"), QLatin1String(absurd),
                                  QStringLiteral("a.swf")},
                                 QStringLiteral("/h"), o),
                  QString());
        EXPECT_EQ(o.playFps, 30.0) << absurd;
        ASSERT_EQ(o.notes.size(), 1) << absurd;
        EXPECT_TRUE(o.notes[0].contains(QLatin1String("30"))) << absurd;
    }
    BatchOptions edge;
    ASSERT_EQ(ParseArguments({QStringLiteral("--play-fps"), QStringLiteral("120"), QStringLiteral("a.swf")},
                             QStringLiteral("/h"), edge),
              QString());
    EXPECT_EQ(edge.playFps, 120.0);
    EXPECT_TRUE(edge.notes.isEmpty());

    for (const char *bad : {"-5", "fast", "nan"}) {
        BatchOptions o;
        EXPECT_FALSE(ParseArguments({QStringLiteral("--play-fps"), QLatin1String(bad), QStringLiteral("a.swf")},
                                    QStringLiteral("/h"), o)
                         .isEmpty())
            << bad;
    }
    BatchOptions missing;
    EXPECT_FALSE(ParseArguments({QStringLiteral("--play-fps")}, QStringLiteral("/h"), missing).isEmpty());
}

TEST(BatchArguments, MovieIsOneDelayChoiceWithTheOthers)
{
    const auto parse = [](const QStringList &arguments) {
        BatchOptions options;
        EXPECT_EQ(ParseArguments(arguments + QStringList{QStringLiteral("a.swf")}, QStringLiteral("/h"), options),
                  QString());
        return Pipeline::JobChoices::ReadFrom(BatchControls(options, stdout, stderr));
    };

    const Pipeline::JobChoices movie = parse({QStringLiteral("--movie")});
    EXPECT_TRUE(movie.movie);
    EXPECT_FALSE(movie.slow);
    EXPECT_FALSE(movie.play);
    EXPECT_EQ(movie.slowText, QStringLiteral("3")) << "the delay of movies whose timeline shows no picture";

    const Pipeline::JobChoices slowFirst = parse(
        {QStringLiteral("--slow"), QStringLiteral("5"), QStringLiteral("--movie")});
    EXPECT_TRUE(slowFirst.movie);
    EXPECT_FALSE(slowFirst.slow);
    EXPECT_EQ(slowFirst.slowText, QStringLiteral("5"));

    // The last delay choice counts; --play overrides wherever it stands.
    const Pipeline::JobChoices slowLast = parse(
        {QStringLiteral("--movie"), QStringLiteral("--slow"), QStringLiteral("4")});
    EXPECT_FALSE(slowLast.movie);
    EXPECT_TRUE(slowLast.slow);
    const Pipeline::JobChoices fastLast = parse(
        {QStringLiteral("--movie"), QStringLiteral("--fast"), QStringLiteral("2")});
    EXPECT_FALSE(fastLast.movie);
    EXPECT_FALSE(fastLast.slow);
    EXPECT_EQ(fastLast.fastText, QStringLiteral("2"));
    for (const QStringList &arguments :
         {QStringList{QStringLiteral("--movie"), QStringLiteral("--play")},
          QStringList{QStringLiteral("--play"), QStringLiteral("--movie")},
          QStringList{QStringLiteral("--play-fps"), QStringLiteral("24"), QStringLiteral("--movie")}}) {
        SCOPED_TRACE(arguments.join(QLatin1Char(' ')).toStdString());
        const Pipeline::JobChoices played = parse(arguments);
        EXPECT_TRUE(played.play);
        EXPECT_FALSE(played.movie);
    }
}

TEST(BatchArguments, HelpNeedsNoFile)
{
    BatchOptions options;
    EXPECT_EQ(ParseArguments({QStringLiteral("--help")}, QStringLiteral("/h"), options), QString());
    EXPECT_TRUE(options.help);
    BatchOptions plain;
    EXPECT_FALSE(
        ParseArguments({QStringLiteral("--fast"), QStringLiteral("2")}, QStringLiteral("/h"), plain).isEmpty());
    EXPECT_FALSE(plain.help);
    for (const char *option : {"--slow SECONDS", "--fast N", "--movie", "--play", "--help"})
        EXPECT_TRUE(UsageText().contains(QLatin1String(option))) << option;
}
