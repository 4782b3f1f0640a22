// The job's own logic, fast and without FFmpeg: the extractor, the converter
// and FFmpeg are stand-ins (tests/pipeline/fakes) that the job deploys and
// runs as it does the real ones. They log every run and keep the frames and
// arguments each encode was given. The new videos, which the fake encoder
// writes as text, are read back by ReadFakeVideo instead of FFmpeg's
// libraries.
#include "RecordingControls.h"
#include "TempFolder.h"

#include "pipeline/ConversionJob.h"
#include "tools/ProcessRunner.h"
#include "tools/ToolDeployment.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

using namespace Pipeline;

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kPlayerHint = QStringLiteral(
    "Please open with 'Media Player Classic - Home Cinema'\r\n(https://player.tarnwick.example/)");

// What one encode was given.
struct Encode
{
    QStringList arguments;
    QList<QImage> frames;
    QByteArray fedSound; // what it read on its standard input

    QString after(const QString &option) const { return arguments.value(arguments.indexOf(option) + 1); }
    QList<QColor> colours() const
    {
        QList<QColor> centres;
        for (const QImage &frame : frames)
            centres.append(frame.pixelColor(frame.width() / 2, frame.height() / 2));
        return centres;
    }
};

bool Near(const QColor &a, const QColor &b)
{
    return std::abs(a.red() - b.red()) <= 12 && std::abs(a.green() - b.green()) <= 12
           && std::abs(a.blue() - b.blue()) <= 12;
}

void ExpectColours(const QList<QColor> &actual, const QList<QColor> &expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (qsizetype i = 0; i < actual.size(); ++i)
        EXPECT_TRUE(Near(actual[i], expected[i])) << "frame " << i + 1 << ": " << actual[i].name().toStdString()
                                                  << " instead of " << expected[i].name().toStdString();
}

// Consecutive repeats dropped: the runner may set a caption again.
QStringList Distinct(const QStringList &captions)
{
    QStringList kept;
    for (const QString &caption : captions) {
        if (kept.isEmpty() || kept.last() != caption)
            kept.append(caption);
    }
    return kept;
}

// Reads the video the fake encoder wrote ("frames N", "seconds S",
// "audio yes|no", "audio-end S") as the job's check reads a real one.
PacketCount ReadFakeVideo(const QString &path)
{
    PacketCount read;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        read.firstError = path + QStringLiteral(": No such file or directory");
        return read;
    }
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() != 2)
            continue;
        if (words[0] == "frames") {
            read.opened = true;
            read.videoPackets = words[1].toInt();
        } else if (words[0] == "seconds") {
            read.duration = words[1].toDouble();
        } else if (words[0] == "audio") {
            read.audio = words[1] == "yes";
        } else if (words[0] == "audio-end") {
            read.audioEnd = words[1].toDouble();
        }
    }
    if (!read.opened)
        read.firstError = path + QStringLiteral(": Invalid data found when processing input");
    return read;
}

// Reads a sound the fake extractor wrote ("sound SECONDS", or "sound
// broken") as the job's check decodes a real one.
SoundCheck CheckFakeSound(const QString &path)
{
    SoundCheck check;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        check.reason = QStringLiteral("not exported");
        return check;
    }
    const QList<QByteArray> words = file.readAll().trimmed().split(' ');
    bool number = false;
    check.seconds = words.size() == 2 && words[0] == "sound" ? words[1].toDouble(&number) : 0;
    check.decodes = number && check.seconds > 0;
    if (!check.decodes)
        check.reason = number ? QStringLiteral("no audio decoded")
                              : QStringLiteral("Invalid data found when processing input");
    return check;
}

class JobLogicTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString ffmpeg = bin.file(QStringLiteral("ffmpeg"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(":/fakes/ffmpeg"), ffmpeg));
        QFile::setPermissions(ffmpeg, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin.path()) + ':' + m_path);
        qputenv("FAKE_TOOLS_DIR", QFile::encodeName(fakes.path()));
        picture(QStringLiteral("end"), Qt::black, 128, 128);
        controls.folder = out.path();
    }

    void TearDown() override
    {
        qputenv("PATH", m_path);
        qunsetenv("FAKE_TOOLS_DIR");
    }

    // The picture the converter gives for "picture NAME".
    void picture(const QString &name, const QColor &colour, int width = 64, int height = 48)
    {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(colour);
        fakes.mkdir(QStringLiteral("pictures"));
        ASSERT_TRUE(image.save(fakes.file(QStringLiteral("pictures/%1.jpg").arg(name)), "JPG", 95));
    }

    // A movie as the fake extractor reads it.
    QString movie(const QString &name, const QStringList &lines)
    {
        return in.write(name, lines.join(QLatin1Char('\n')).toUtf8() + '\n');
    }

    void failEncode(int n, const QString &why)
    {
        fakes.write(QStringLiteral("encode-%1-fails").arg(n), why.toUtf8() + '\n');
    }

    // Every logged run of the tools, in order.
    QStringList log() const
    {
        QFile file(fakes.file(QStringLiteral("runs")));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // The logged runs of one tool, in order.
    QStringList runs(const QString &tool) const
    {
        QStringList lines;
        for (const QString &line : log()) {
            if (line.startsWith(tool + QLatin1Char(' ')))
                lines.append(line);
        }
        return lines;
    }

    QList<Encode> encodes() const
    {
        QList<Encode> all;
        for (int n = 1; QFileInfo::exists(fakes.file(QStringLiteral("encodes/%1").arg(n))); ++n) {
            const QString kept = fakes.file(QStringLiteral("encodes/%1/").arg(n));
            Encode encode;
            QFile arguments(kept + QStringLiteral("arguments"));
            if (arguments.open(QIODevice::ReadOnly))
                encode.arguments = QString::fromUtf8(arguments.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            QFile fed(kept + QStringLiteral("fed-sound"));
            if (fed.open(QIODevice::ReadOnly))
                encode.fedSound = fed.readAll();
            for (int k = 1; QFileInfo::exists(kept + QStringLiteral("frame%1.jpg").arg(k)); ++k)
                encode.frames.append(QImage(kept + QStringLiteral("frame%1.jpg").arg(k)));
            all.append(encode);
        }
        return all;
    }

    void run()
    {
        ConversionJob job(controls, work.path(), {ReadFakeVideo, CheckFakeSound});
        job.PushButton2_Click();
        outcome = job.outcome();
    }

    QString summary() const { return controls.messages.value(0); }

    TempFolder bin;
    TempFolder fakes;
    TempFolder in;
    TempFolder out;
    Tools::WorkFolderOwner work;
    RecordingControls controls;
    JobOutcome outcome;

private:
    QByteArray m_path;
};

TEST_F(JobLogicTest, PicturesBecomeFramesInCharacterOrderWithoutGaps)
{
    picture(QStringLiteral("red"), Qt::red, 65, 49);
    picture(QStringLiteral("green"), Qt::green, 40, 30);
    picture(QStringLiteral("blue"), Qt::blue);
    // IDs in the listing's order are not the pictures' order; 3 cannot be
    // converted, 12 has no picture at all.
    const QString a = movie(QStringLiteral("a.swf"),
                            {QStringLiteral("listing  [-j] 3 JPEGs: ID(s) 10, 3, 12"),
                             QStringLiteral("listing  [-p] 1 PNG: ID(s) 2"), QStringLiteral("picture 10 blue"),
                             QStringLiteral("picture 3 broken"), QStringLiteral("picture 2 red")});
    const QString b = movie(QStringLiteral("b.swf"),
                            {QStringLiteral("listing  [-j] 1 JPEG: ID(s) 7"), QStringLiteral("picture 7 green")});
    controls.files = {a, b};
    run();

    EXPECT_EQ(summary(), QStringLiteral("Done.") + kCrLf + kCrLf + kPlayerHint);
    EXPECT_EQ(outcome.made, (QStringList{out.file(QStringLiteral("a.mp4")), out.file(QStringLiteral("b.mp4"))}));
    const QList<Encode> made = encodes();
    ASSERT_EQ(made.size(), 2);
    // Numbered from 1 in ID order, the black end frame last.
    ExpectColours(made[0].colours(), {Qt::red, Qt::blue, Qt::black});
    for (const QImage &frame : made[0].frames)
        EXPECT_EQ(frame.size(), QSize(64, 48)) << "the largest picture, made even";
    EXPECT_EQ(made[0].after(QStringLiteral("-r")), QStringLiteral("1/3"));
    EXPECT_EQ(made[0].after(QStringLiteral("-t")), QStringLiteral("9.000000"));
    // Each file starts its numbering again.
    ExpectColours(made[1].colours(), {Qt::green, Qt::black});
    EXPECT_EQ(made[1].frames.first().size(), QSize(40, 30));

    // One extractor run gives all the pictures of a movie.
    EXPECT_EQ(runs(QStringLiteral("swfextract")).filter(QStringLiteral(" -o ")).size(), 2);
    EXPECT_TRUE(controls.reports.isEmpty()) << controls.reports.join(QLatin1Char('\n')).toStdString();
    // Each frame is named while it is fitted to the video's size.
    EXPECT_EQ(Distinct(controls.captions),
              (QStringList{QStringLiteral("Processing: a.swf"), QStringLiteral("Processing: a.swf output video"),
                           QStringLiteral("Processing: image1.jpg"), QStringLiteral("Processing: image2.jpg"),
                           QStringLiteral("Processing: image3.jpg"), QStringLiteral("Processing: b.swf"),
                           QStringLiteral("Processing: b.swf output video"), QStringLiteral("Processing: image1.jpg"),
                           QStringLiteral("Processing: image2.jpg"), QStringLiteral("Progress Bar")}));
    EXPECT_EQ(controls.pointers, (QList<Pointer>{Pointer::Busy, Pointer::Default}));
    EXPECT_TRUE(QDir(work.path()).entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty()) << "the tools are removed";
}

// Each movie is read while the one before it is encoded; its pictures and
// sound stay in the work folder while that video is finished and cleared.
TEST_F(JobLogicTest, TheNextMovieIsReadDuringAnEncodeAndKeepsItsFiles)
{
    const QList<std::pair<QString, QColor>> colours{
        {QStringLiteral("red"), Qt::red}, {QStringLiteral("green"), Qt::green}, {QStringLiteral("blue"), Qt::blue}};
    for (qsizetype i = 0; i < colours.size(); ++i) {
        picture(colours[i].first, colours[i].second);
        controls.files.append(
            movie(QStringLiteral("%1.swf").arg(colours[i].first),
                  {QStringLiteral("listing  [-j] 1 JPEG: ID(s) 1"), QStringLiteral("listing  [-m] 1 MP3 Soundstream"),
                   QStringLiteral("picture 1 ") + colours[i].first, QStringLiteral("mp3 1.0")}));
    }
    fakes.write(QStringLiteral("encode-1-seconds"), "1\n");
    run();

    EXPECT_EQ(outcome.made, (QStringList{out.file(QStringLiteral("red.mp4")), out.file(QStringLiteral("green.mp4")),
                                         out.file(QStringLiteral("blue.mp4"))}));
    const QList<Encode> made = encodes();
    ASSERT_EQ(made.size(), 3);
    for (qsizetype i = 0; i < made.size(); ++i) {
        SCOPED_TRACE(colours[i].first.toStdString());
        ExpectColours(made[i].colours(), {colours[i].second, Qt::black});
        // Its own sound, which the clearing after the video before it kept.
        EXPECT_TRUE(made[i].arguments.contains(QStringLiteral("%1/temp/sound%2.mp3").arg(work.path()).arg(i + 1)));
    }
    const QStringList order = log();
    const qsizetype greenRead = order.indexOf(
        runs(QStringLiteral("swfextract")).filter(QStringLiteral("green.swf")).last());
    EXPECT_LT(greenRead, order.indexOf(QStringLiteral("ended encode 1")));
    // Only one movie ahead: a cancel stops the job before more are read.
    EXPECT_GT(order.indexOf(runs(QStringLiteral("swfextract")).filter(QStringLiteral("blue.swf")).first()),
              order.indexOf(QStringLiteral("ended encode 1")));
    EXPECT_TRUE(QDir(work.path() + QStringLiteral("/SWFPic")).isEmpty());
    EXPECT_TRUE(QDir(work.path() + QStringLiteral("/temp")).isEmpty());
}

TEST_F(JobLogicTest, CombinedVideoNumbersOnAcrossMoviesAndJoinsTheirSounds)
{
    picture(QStringLiteral("red"), Qt::red);
    picture(QStringLiteral("green"), Qt::green);
    picture(QStringLiteral("blue"), Qt::blue);
    controls.combine = true;
    controls.slow = false;
    controls.perSecond = QStringLiteral("2");
    controls.files = {
        movie(QStringLiteral("a.swf"),
              {QStringLiteral("listing  [-j] 2 JPEGs: ID(s) 1-2"), QStringLiteral("listing  [-m] 1 MP3 Soundstream"),
               QStringLiteral("picture 1 red"), QStringLiteral("picture 2 green"), QStringLiteral("mp3 1.0")}),
        movie(QStringLiteral("b.swf"),
              {QStringLiteral("listing  [-j] 1 JPEG: ID(s) 4"), QStringLiteral("listing  [-m] 1 MP3 Soundstream"),
               QStringLiteral("picture 4 blue"), QStringLiteral("mp3 0.5")})};
    run();

    EXPECT_EQ(outcome.made, QStringList{out.file(QStringLiteral("video.mp4"))});
    const QList<Encode> made = encodes();
    ASSERT_EQ(made.size(), 1);
    ExpectColours(made[0].colours(), {Qt::red, Qt::green, Qt::blue}); // no end frame in FAST mode
    EXPECT_EQ(made[0].after(QStringLiteral("-r")), QStringLiteral("2"));
    EXPECT_EQ(made[0].after(QStringLiteral("-t")), QStringLiteral("1.500000"));
    // Both sounds laid over their own pictures, as one track.
    EXPECT_EQ(made[0].arguments.count(QStringLiteral("-i")), 2);
    EXPECT_TRUE(made[0].arguments.contains(QStringLiteral("-c:a")));
    EXPECT_EQ(Distinct(controls.captions),
              (QStringList{QStringLiteral("Processing: a.swf"), QStringLiteral("Processing: b.swf"),
                           QStringLiteral("Processing: output video"), QStringLiteral("Processing: image1.jpg"),
                           QStringLiteral("Processing: image2.jpg"), QStringLiteral("Processing: image3.jpg"),
                           QStringLiteral("Progress Bar")}));
    // Making the joined soundtrack leaves the caption as it was for the
    // encode; the idle text comes back only when the job ends.
    EXPECT_EQ(controls.captions.indexOf(QStringLiteral("Progress Bar")), controls.captions.size() - 1);
    EXPECT_TRUE(outcome.details.isEmpty()) << outcome.details.join(QLatin1Char('\n')).toStdString();
}

// The combined soundtrack is fed to the encoder as it is mixed. A mix that
// fails leaves the video without sound, as a soundtrack that cannot be made
// always did; one that only outlasts the encoder's reading changes nothing.
TEST_F(JobLogicTest, TheMixIsFedToTheEncoderAndAFailedOneLeavesTheVideoSilent)
{
    picture(QStringLiteral("red"), Qt::red);
    controls.combine = true;
    const QStringList withSound{QStringLiteral("listing  [-j] 1 JPEG: ID(s) 1"),
                                QStringLiteral("listing  [-m] 1 MP3 Soundstream"), QStringLiteral("picture 1 red"),
                                QStringLiteral("mp3 1.0")};
    controls.files = {movie(QStringLiteral("a.swf"), withSound), movie(QStringLiteral("b.swf"), withSound)};
    const QString note = QStringLiteral("The video's soundtrack could not be made; it was made without sound.");
    struct Case
    {
        const char *name;
        const char *mixFails; // what the failing mix writes; null: it works
        int encodes;
        bool note;
    };
    const Case cases[] = {
        {"the mix works", nullptr, 1, false},
        {"the mix fails before writing: the encode fails", "", 2, true},
        {"the mix stops part way", "sound cut at 1.5\n", 2, true},
        {"the mix fails once the encoder has all it reads", "sound made\n", 1, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QDir(fakes.file(QStringLiteral("encodes"))).removeRecursively();
        QFile::remove(fakes.file(QStringLiteral("mix-fails")));
        if (c.mixFails)
            fakes.write(QStringLiteral("mix-fails"), c.mixFails);
        run();

        EXPECT_EQ(outcome.made, QStringList{out.file(QStringLiteral("video.mp4"))});
        const QList<Encode> made = encodes();
        ASSERT_EQ(made.size(), c.encodes);
        EXPECT_TRUE(made[0].arguments.contains(QStringLiteral("pipe:0")));
        EXPECT_EQ(made[0].after(QStringLiteral("-map")), QStringLiteral("0:v"));
        if (!c.mixFails) {
            EXPECT_EQ(made[0].fedSound, QByteArray("sound made\n"));
        }
        if (c.encodes > 1) {
            EXPECT_FALSE(made[1].arguments.contains(QStringLiteral("pipe:0")));
            EXPECT_EQ(made[1].arguments.count(QStringLiteral("-i")), 1) << "the frames only";
            ExpectColours(made[1].colours(), made[0].colours());
        }
        EXPECT_EQ(outcome.details.contains(note), c.note) << outcome.details.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(outcome.details.size(), c.note ? 1 : 0);
        EXPECT_EQ(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("video.mp4")});
        EXPECT_EQ(Tools::LiveChildCount(), 0);
    }
}

TEST_F(JobLogicTest, RefusalsRunNoToolAndTouchNothing)
{
    const QString a = movie(QStringLiteral("a.swf"), {QStringLiteral("listing  [-j] 1 JPEG: ID(s) 1")});
    struct
    {
        const char *seconds;
        const char *perSecond;
        bool slow;
        bool noFiles;
        bool missingFolder;
        const char *message;
    } cases[] = {
        {"", "x", true, false, false, "You must enter a delay."},
        {"3", "", false, false, false, "You must enter a delay."},
        {"-2", "1", true, false, false, "You must enter a delay."},
        {"3", "1", true, true, false, "No files added."},
        {"3", "1", true, false, true, "Folder does not exist. Please select another folder."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message);
        controls.messages.clear();
        controls.seconds = QString::fromLatin1(c.seconds);
        controls.perSecond = QString::fromLatin1(c.perSecond);
        controls.slow = c.slow;
        controls.files = c.noFiles ? QStringList() : QStringList{a};
        controls.folder = c.missingFolder ? out.file(QStringLiteral("missing")) : out.path();
        run();
        EXPECT_EQ(controls.messages, QStringList{QString::fromLatin1(c.message)});
        EXPECT_TRUE(outcome.refused);
    }
    EXPECT_FALSE(QFile::exists(fakes.file(QStringLiteral("runs")))) << "no tool ran";
    EXPECT_TRUE(controls.pointers.isEmpty());
    EXPECT_TRUE(QDir(work.path()).isEmpty());
    EXPECT_TRUE(QDir(out.path()).isEmpty());
}

TEST_F(JobLogicTest, SummaryNamesWhatWasMissedPartlyReadAndFailed)
{
    picture(QStringLiteral("red"), Qt::red);
    // A movie is read in part when the extractor's status says so, not when
    // a warning's wording happens to.
    const QString good = movie(QStringLiteral("good.swf"),
                               {QStringLiteral("listing  [-j] 1 JPEG: ID(s) 1"), QStringLiteral("picture 1 red"),
                                QStringLiteral("warn good.swf: a tag is cut or damaged and was skipped")});
    const QString empty = movie(
        QStringLiteral("empty.swf"),
        {QStringLiteral("listing Objects in file:"), QStringLiteral("warn empty.swf: no pictures in the movie")});
    const QString cut = movie(QStringLiteral("cut.swf"),
                              {QStringLiteral("listing  [-j] 1 JPEG: ID(s) 1"), QStringLiteral("picture 1 red"),
                               QStringLiteral("cut"), QStringLiteral("warn cut.swf: the file ends after byte 90")});
    const QString failing = movie(QStringLiteral("failing.swf"),
                                  {QStringLiteral("listing  [-j] 1 JPEG: ID(s) 1"), QStringLiteral("picture 1 red")});
    // An older video of a movie without pictures is kept.
    out.write(QStringLiteral("empty.mp4"), "older");
    failEncode(3, QStringLiteral("first line\nError while opening encoder"));
    controls.files = {good, empty, cut, failing};
    run();

    EXPECT_EQ(outcome.made, (QStringList{out.file(QStringLiteral("good.mp4")), out.file(QStringLiteral("cut.mp4"))}));
    EXPECT_EQ(outcome.noPictures, QStringList{empty});
    EXPECT_EQ(outcome.partlyRead, QStringList{cut});
    EXPECT_EQ(outcome.failed, QStringList{out.file(QStringLiteral("failing.mp4"))});
    EXPECT_EQ(
        summary(),
        QStringLiteral("Done.") + kCrLf + kCrLf + QStringLiteral("The following files: ") + kCrLf + empty + kCrLf
            + kCrLf + kCrLf + QStringLiteral("SWF could not be read or SWF does not contain any images to extract. ")
            + kCrLf + kCrLf
            + QStringLiteral("Please try opening these SWF files in your web browser (Google Chrome for example) "
                             "to see if they actually play like valid SWF files or have images that can be "
                             "extracted.")
            + kCrLf + kCrLf + QStringLiteral("The following videos could not be made: ") + kCrLf
            + out.file(QStringLiteral("failing.mp4")) + QStringLiteral(": Error while opening encoder") + kCrLf + kCrLf
            + kCrLf + QStringLiteral("The following files could only be read in part: ") + kCrLf + cut + kCrLf);
    EXPECT_EQ(outcome.details, (QStringList{empty + QStringLiteral(": empty.swf: no pictures in the movie"),
                                            cut + QStringLiteral(": cut.swf: the file ends after byte 90")}));
    EXPECT_EQ(QFileInfo(out.file(QStringLiteral("empty.mp4"))).size(), 5);
    EXPECT_FALSE(QFile::exists(out.file(QStringLiteral("failing.mp4"))));
    // Only the videos made are left: no hidden temporary file stays.
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

TEST_F(JobLogicTest, CancelledJobSaysSoAndListsTheVideosMade)
{
    picture(QStringLiteral("red"), Qt::red);
    const QStringList lines{QStringLiteral("listing  [-j] 1 JPEG: ID(s) 1"), QStringLiteral("picture 1 red")};
    controls.files = {movie(QStringLiteral("one.swf"), lines), movie(QStringLiteral("two.swf"), lines),
                      movie(QStringLiteral("three.swf"), lines)};
    controls.onYield = [&] {
        if (controls.caption() == QStringLiteral("Processing: two.swf"))
            Tools::CancelAllChildren();
    };
    run();
    Tools::ResumeChildren();

    EXPECT_TRUE(outcome.cancelled);
    EXPECT_EQ(outcome.made, QStringList{out.file(QStringLiteral("one.mp4"))});
    EXPECT_EQ(summary(), QStringLiteral("The job was cancelled.") + kCrLf + kCrLf
                             + QStringLiteral("The following videos were made: ") + kCrLf
                             + out.file(QStringLiteral("one.mp4")) + kCrLf);
    EXPECT_TRUE(runs(QStringLiteral("swfextract")).filter(QStringLiteral("three.swf")).isEmpty());
    EXPECT_EQ(controls.captions.last(), QStringLiteral("Progress Bar"));
}

TEST_F(JobLogicTest, SameNamesAreNumberedAndABadSoundIsLeftOut)
{
    picture(QStringLiteral("red"), Qt::red);
    const QString first = movie(QStringLiteral("first/movie.swf"),
                                {QStringLiteral("listing  [-j] 1 JPEG: ID(s) 1"), QStringLiteral("picture 1 red"),
                                 QStringLiteral("listing  [-m] 1 MP3 Soundstream"), QStringLiteral("mp3 broken")});
    const QString second = movie(QStringLiteral("second/movie.swf"),
                                 {QStringLiteral("listing  [-j] 1 JPEG: ID(s) 1"), QStringLiteral("picture 1 red"),
                                  QStringLiteral("listing  [-m] 1 MP3 Soundstream"), QStringLiteral("mp3 2.5")});
    controls.files = {first, second};
    run();

    EXPECT_EQ(outcome.made,
              (QStringList{out.file(QStringLiteral("movie.mp4")), out.file(QStringLiteral("movie (2).mp4"))}));
    EXPECT_EQ(outcome.details,
              QStringList{
                  QStringLiteral("The sound of %1 was left out: Invalid data found when processing input").arg(first)});
    const QList<Encode> made = encodes();
    ASSERT_EQ(made.size(), 2);
    EXPECT_EQ(made[0].arguments.count(QStringLiteral("-i")), 1) << "no sound";
    EXPECT_EQ(made[1].arguments.count(QStringLiteral("-i")), 2);
    EXPECT_EQ(made[1].after(QStringLiteral("-c:a")), QStringLiteral("copy")) << "the MP3 is copied as it is";
}

} // namespace
