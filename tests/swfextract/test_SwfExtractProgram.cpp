// The built swfextract program, run end to end as the pipeline runs it.
#include "SwfTestKit.h"

#include "TempFolder.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace SwfTestKit;
using SwfBuild::BuildSwf;
using SwfBuild::Container;
using SwfBuild::Tags;

namespace {

QString WriteSwf(const TempFolder &tmp, const QString &name, const Bytes &bytes)
{
    return tmp.write(name, ToQt(bytes));
}

QStringList Args(std::initializer_list<QString> args)
{
    return QStringList(args);
}

QString S(const char *text)
{
    return QString::fromUtf8(text);
}

} // namespace

TEST(ExtractorProgram, FfmpegMovieWithRepeatedPictureIdsAndMp3)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    TempFolder tmp;
    const QString swf = tmp.file(S("made by ffmpeg.swf"));
    const ProgramRun made = RunProgram(S("ffmpeg"), {S("-v"),   S("error"),
                                                     S("-f"),   S("lavfi"),
                                                     S("-i"),   S("testsrc=size=160x120:rate=2:duration=3"),
                                                     S("-f"),   S("lavfi"),
                                                     S("-i"),   S("sine=frequency=440:sample_rate=44100:duration=3"),
                                                     S("-c:v"), S("mjpeg"),
                                                     S("-c:a"), S("libmp3lame"),
                                                     S("-ar"),  S("44100"),
                                                     S("-ac"),  S("2"),
                                                     S("-f"),   S("swf"),
                                                     swf});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();

    const ProgramRun listing = RunExtractor({swf});
    EXPECT_EQ(listing.exitCode, 0) << listing.err.toStdString();
    EXPECT_TRUE(listing.out.startsWith(S("Objects in file ") + swf + S(":\n")));
    EXPECT_TRUE(listing.out.contains(S("\n [-j] 6 JPEGs: ID(s) 0, 0, 0, 0, 0, 0\n"))) << listing.out.toStdString();
    EXPECT_TRUE(listing.out.contains(S("\n [-m] 1 MP3 Soundstream\n")));

    const QString pictures = tmp.mkdir(S("pics"));
    const ProgramRun extracted = RunExtractor({S("-j"), S("0"), swf, S("-o"), pictures + S("/x_%d.jpg")});
    EXPECT_EQ(extracted.exitCode, 0) << extracted.err.toStdString();
    const QStringList expected = {S("x_0.2.jpg"), S("x_0.3.jpg"), S("x_0.4.jpg"),
                                  S("x_0.5.jpg"), S("x_0.6.jpg"), S("x_0.jpg")};
    EXPECT_EQ(QDir(pictures).entryList(QDir::Files, QDir::Name), expected);
    for (const QString &name : expected) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(Decode(ReadFile(pictures + S("/") + name)).size(), QSize(160, 120));
    }

    const QString mp3 = tmp.file(S("sound.mp3"));
    const ProgramRun sound = RunExtractor({S("-m"), swf, S("-o"), mp3});
    EXPECT_EQ(sound.exitCode, 0) << sound.err.toStdString();
    // FFmpeg's muxer drops the MP3 still buffered after the last picture.
    const double seconds = MediaDuration(mp3);
    EXPECT_GT(seconds, 2.0);
    EXPECT_LT(seconds, 3.1);
    const ProgramRun decode = RunProgram(S("ffmpeg"), {S("-v"), S("error"), S("-i"), mp3, S("-f"), S("null"), S("-")});
    EXPECT_TRUE(decode.err.trimmed().isEmpty()) << decode.err.toStdString();
}

TEST(ExtractorProgram, EachAskedIdSucceedsOrFailsOnItsOwn)
{
    TempFolder tmp;
    const Bytes jpeg = EncodeJpeg(Pattern(12, 10));
    const QString swf = WriteSwf(tmp, S("m.swf"),
                                 BuildSwf(Tags()
                                              .defineBitsJpeg2(1, jpeg)
                                              .defineBitsJpeg2(2, jpeg)
                                              .defineBitsLossless(5, 5, 1, 1, {0, 1, 2, 3})
                                              .showFrame()
                                              .end(),
                                          Container::Cws));
    const QString out = tmp.mkdir(S("out"));
    struct Case
    {
        const char *name;
        QStringList args;
        int exitCode;
        QStringList written;
        const char *says;
    };
    const Case cases[] = {
        {"listing", Args({swf}), 0, {}, ""},
        {"two found, one missing",
         Args({S("-j"), S("1,2, 9"), swf, S("-o"), out + S("/p_%d.jpg")}),
         1,
         {S("p_1.jpg"), S("p_2.jpg")},
         "ID 9: no JPEG"},
        {"lossless ID asked as JPEG",
         Args({S("-j"), S("5"), swf, S("-o"), out + S("/q_%d.jpg")}),
         1,
         {},
         "it is a PNG"},
        {"several without %d", Args({S("-j"), S("1-2"), swf, S("-o"), out + S("/one.jpg")}), 1, {}, "%d"},
        {"one without %d", Args({S("-j"), S(" 2"), swf, S("-o"), out + S("/two.jpg")}), 0, {S("two.jpg")}, ""},
        {"lossless as PNG", Args({S("-p"), S("5"), swf, S("-o"), out + S("/l.png")}), 0, {S("l.png")}, ""},
        {"no MP3 stream", Args({S("-m"), swf, S("-o"), out + S("/s.mp3")}), 1, {}, "no MP3"},
        {"missing file", Args({tmp.file(S("absent.swf"))}), 1, {}, "cannot open"},
        {"not a SWF", Args({tmp.write(S("n.swf"), "GIF89a, not a movie")}), 1, {}, "not a SWF"},
        {"no arguments", {}, 2, {}, "no input file"},
        {"unknown option", Args({S("-x"), swf}), 2, {}, "unknown option"},
        {"shapes cannot be extracted", Args({S("-i"), S("1"), swf}), 2, {}, "not supported"},
        {"bad ID list", Args({S("-j"), S("3-1"), swf, S("-o"), out + S("/x")}), 2, {}, "bad ID list"},
        {"-m with pictures", Args({S("-m"), S("-j"), S("1"), swf, S("-o"), out + S("/x")}), 2, {}, "-m"},
        {"extraction without -o", Args({S("-j"), S("1"), swf}), 2, {}, "-o"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        const ProgramRun run = RunExtractor(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        EXPECT_EQ(QDir(out).entryList(QDir::Files, QDir::Name), c.written);
        for (const QString &name : c.written)
            EXPECT_FALSE(Decode(ReadFile(out + S("/") + name)).isNull()) << name.toStdString();
        EXPECT_TRUE(run.err.contains(S(c.says))) << run.err.toStdString();
        if (c.exitCode != 0) {
            EXPECT_FALSE(run.err.trimmed().isEmpty());
        }
    }
}

TEST(ExtractorProgram, CutFilesListWhatTheyHoldAndFail)
{
    TempFolder tmp;
    const Bytes file = BuildSwf(Tags()
                                    .defineShape(1)
                                    .defineBitsLossless2(2, 5, 4, 4, Bytes(64, 0x40))
                                    .defineBitsJpeg2(3, EncodeJpeg(Pattern(30, 20)))
                                    .showFrame()
                                    .end(),
                                Container::Cws);
    // Every 23rd prefix through the real program: a reason and a non-zero
    // exit, never a crash.
    for (std::size_t size = 0; size < file.size(); size += 23) {
        SCOPED_TRACE(size);
        const QString swf = WriteSwf(tmp, S("cut.swf"), Bytes(file.begin(), file.begin() + std::ptrdiff_t(size)));
        const ProgramRun run = RunExtractor({swf});
        EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
        EXPECT_FALSE(run.err.trimmed().isEmpty());
    }
    // Cut inside the last picture: the first two are still listed.
    const QString swf = WriteSwf(tmp, S("cut.swf"), Bytes(file.begin(), file.end() - 60));
    const ProgramRun run = RunExtractor({swf});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.contains(S(" [-i] 1 Shape: ID(s) 1\n"))) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(S(" [-p] 1 PNG: ID(s) 2\n")));
    EXPECT_TRUE(run.err.contains(S("cut or damaged"))) << run.err.toStdString();
    const ProgramRun picture = RunExtractor({S("-p"), S("2"), swf, S("-o"), tmp.file(S("p.png"))});
    EXPECT_EQ(picture.exitCode, 0) << picture.err.toStdString();
    EXPECT_EQ(Decode(ReadFile(tmp.file(S("p.png")))).size(), QSize(4, 4));
}

// Several outputs in one run read the movie once and write exactly what the
// separate runs write; each output succeeds or fails on its own.
TEST(ExtractorProgram, SeveralOutputsInOneRunWriteWhatSeparateRunsWrite)
{
    TempFolder tmp;
    const Bytes pcm(400, 0x21);
    const QString swf = WriteSwf(tmp, S("m.swf"),
                                 BuildSwf(Tags()
                                              .defineBitsJpeg2(1, EncodeJpeg(Pattern(12, 10)))
                                              .defineBitsJpeg2(2, EncodeJpeg(Pattern(20, 16)))
                                              .defineBitsLossless(5, 5, 1, 1, {0, 1, 2, 3})
                                              .defineSound(7, 0x3F, 200, pcm)
                                              .showFrame()
                                              .end(),
                                          Container::Cws));
    const QString apart = tmp.mkdir(S("apart"));
    const QString together = tmp.mkdir(S("together"));
    // Each output's options and the name it writes to.
    const std::vector<std::pair<QStringList, QString>> outputs = {
        {{S("-j"), S("1,2")}, S("j_%d.jpg")},
        {{S("-p"), S("5")}, S("p_%d.png")},
        {{S("-s"), S("7")}, S("s_%d.flv")},
        {{S("-j"), S("9")}, S("missing_%d.jpg")}, // fails alone
        {{S("-j"), S("2"), S("-p"), S("5")}, S("both_%d")},
    };
    QStringList oneRun = {swf};
    QString separateErrors;
    for (const auto &[options, name] : outputs) {
        const ProgramRun run = RunExtractor(options + QStringList{swf, S("-o"), apart + S("/") + name});
        EXPECT_EQ(run.exitCode, name.startsWith(S("missing")) ? 1 : 0) << run.err.toStdString();
        separateErrors += run.err;
        oneRun << options << S("-o") << together + S("/") + name;
    }
    const ProgramRun run = RunExtractor(oneRun);
    EXPECT_EQ(run.exitCode, 1) << "one output failed";
    EXPECT_EQ(run.err, separateErrors) << "the same reasons, in the order of the outputs";
    const QStringList written = QDir(apart).entryList(QDir::Files, QDir::Name);
    const QStringList expected = {S("both_2"), S("both_5"), S("j_1.jpg"), S("j_2.jpg"), S("p_5.png"), S("s_7.flv")};
    EXPECT_EQ(written, expected);
    EXPECT_EQ(QDir(together).entryList(QDir::Files, QDir::Name), written);
    for (const QString &name : written) {
        SCOPED_TRACE(name.toStdString());
        const Bytes bytes = ReadFile(apart + S("/") + name);
        EXPECT_FALSE(bytes.empty());
        EXPECT_EQ(ReadFile(together + S("/") + name), bytes);
    }

    struct Case
    {
        const char *name;
        QStringList args;
        const char *says;
    };
    const QString out = tmp.file(S("x_%d"));
    const Case wrong[] = {
        // (With one -o, options may stand on either side of it, as always.)
        {"an extraction after the last -o",
         Args({S("-j"), S("1"), S("-o"), out, S("-p"), S("5"), S("-o"), out, S("-s"), S("7"), swf}),
         "before its own -o"},
        {"an -o with nothing to write", Args({S("-j"), S("1"), S("-o"), out, S("-o"), out, swf}), "nothing to extract"},
        {"-m with pictures in one output",
         Args({S("-m"), S("-j"), S("1"), S("-o"), out, S("-p"), S("5"), S("-o"), out, swf}), "-m"},
        {"--timeline among outputs",
         Args({S("--timeline"), S("-j"), S("1"), S("-o"), out, S("-p"), S("5"), S("-o"), out, swf}), "--timeline"},
        {"a video and pictures in one output",
         Args({S("--video"), S("3"), S("-j"), S("1"), S("-o"), out, S("-p"), S("5"), S("-o"), out, swf}), "own"},
    };
    for (const Case &c : wrong) {
        SCOPED_TRACE(c.name);
        const ProgramRun refused = RunExtractor(c.args);
        EXPECT_EQ(refused.exitCode, 2);
        EXPECT_TRUE(refused.err.contains(S(c.says))) << refused.err.toStdString();
    }
}

TEST(ExtractorProgram, AnFfmpegMovieGivesItsPicturesAndMp3InOneRun)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg/ffprobe not installed";
    TempFolder tmp;
    const QString swf = tmp.file(S("f.swf"));
    const ProgramRun made = RunProgram(
        S("ffmpeg"), {S("-v"), S("error"), S("-f"), S("lavfi"), S("-i"), S("testsrc2=size=96x64:rate=4:duration=2"),
                      S("-f"), S("lavfi"), S("-i"), S("sine=frequency=440:sample_rate=22050:duration=2"), S("-c:v"),
                      S("mjpeg"), S("-c:a"), S("libmp3lame"), S("-ar"), S("22050"), S("-f"), S("swf"), swf});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    const QString apart = tmp.mkdir(S("apart"));
    const QString together = tmp.mkdir(S("together"));
    ASSERT_EQ(RunExtractor({S("-j"), S("0"), swf, S("-o"), apart + S("/x_%d.jpg")}).exitCode, 0);
    ASSERT_EQ(RunExtractor({S("-m"), swf, S("-o"), apart + S("/sound.mp3")}).exitCode, 0);
    const ProgramRun run = RunExtractor(
        {S("-j"), S("0"), S("-o"), together + S("/x_%d.jpg"), S("-m"), S("-o"), together + S("/sound.mp3"), swf});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList written = QDir(apart).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(written.size(), 9) << "eight pictures and the sound";
    EXPECT_EQ(QDir(together).entryList(QDir::Files, QDir::Name), written);
    for (const QString &name : written) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(ReadFile(together + S("/") + name), ReadFile(apart + S("/") + name));
    }
}
