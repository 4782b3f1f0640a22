// Times tarnwick-batch on two generated corpora, per file and combined,
// against the floor no converter can beat: FFmpeg alone making the same
// video from the very JPEGs the SWFs hold, with the job's own encoder
// arguments and sound inputs (its scaler fitting them to the frame). Each
// time is the median of several rounds. The mean PSNR of the videos' frames
// against the lossless source pictures shows what the pipeline lost.
//
//     bench_pipeline [--corpus light|noise|both] [--rounds N] [--bin DIR] [--keep] [SWFS [PICTURES]]
//
// noise: SWFs of mixed-size photo-like JPEGs (Qt-made, quality 90) with an
//        MP3 stream, at the default 3 s per picture; the encode dominates.
// light: FFmpeg-made SWFs of testsrc2 pictures (MJPEG) with an MP3 stream,
//        one size per movie, FAST 10; the pipeline's own work dominates.
#include "SwfBuilder.h"

#include "pipeline/VideoEncoding.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QSize kSizes[] = {{640, 480}, {800, 600}, {480, 360}, {1024, 768}, {720, 540}};
const QSize kLargest(1024, 768);
constexpr int kSecondsPerPicture = 3; // the noise corpus: the default SLOW 3
constexpr int kPicturesPerSecond = 10; // the light corpus: FAST 10
const QString kFfmpeg = QStringLiteral("ffmpeg");

// One movie of a corpus and what its measurement needs.
struct Movie
{
    QString swf;
    QString sound; // the MP3 its stream holds: the floor's sound input
    QString floorFolder; // holds temp/image1.jpg ...: the movie's JPEGs, end frame included
    QString references; // holds 1.png ...: the lossless source pictures
};

struct Corpus
{
    QString name;
    QStringList speed; // tarnwick-batch's speed option
    QString rate; // the encoder's input rate for that speed
    double frameSeconds = 0;
    int framesPerVideo = 0; // frames of one movie's video, end frame included
    QSize perFileFrame; // where a movie's pictures differ in size: its video's frame
    std::vector<Movie> movies;
    QString combinedFloor;
    int combinedFrames = 0;
};

bool Run(const QString &program, const QStringList &arguments, const QString &folder = QString(),
         QByteArray *errors = nullptr, bool quiet = false)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    if (quiet)
        process.setStandardErrorFile(QProcess::nullDevice()); // its progress captions
    else if (errors == nullptr)
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    const bool ok = process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit
                    && process.exitCode() == 0;
    if (errors != nullptr)
        *errors = process.readAllStandardError();
    return ok;
}

// One whole run of a program and everything it started: wall seconds, CPU
// seconds (user + system, its waited-for descendants included) and the
// largest resident memory of any one of those processes.
struct RunUsage
{
    bool ok = false;
    double wall = 0;
    double cpu = 0;
    double peakMiB = 0;
};

RunUsage Spawn(const QString &program, const QStringList &arguments, const QString &folder = QString())
{
    std::vector<QByteArray> texts{QFile::encodeName(program)};
    for (const QString &argument : arguments)
        texts.push_back(QFile::encodeName(argument));
    std::vector<char *> argv;
    for (QByteArray &text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const QByteArray directory = QFile::encodeName(folder);
    if (!folder.isEmpty())
        posix_spawn_file_actions_addchdir_np(&actions, directory.constData());
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    RunUsage usage;
    if (spawned != 0)
        return usage;
    int status = 0;
    struct rusage resources
    {
    };
    wait4(pid, &status, 0, &resources);
    usage.wall = timer.elapsed() / 1000.0;
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    usage.cpu = seconds(resources.ru_utime) + seconds(resources.ru_stime);
    usage.peakMiB = double(resources.ru_maxrss) / 1024.0;
    usage.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return usage;
}

QStringList Quiet(const QStringList &arguments)
{
    return QStringList{QStringLiteral("-nostdin"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                       QStringLiteral("-y")}
           + arguments;
}

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Write(const QString &path, const SwfBuild::Bytes &bytes)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(reinterpret_cast<const char *>(bytes.data()), static_cast<qint64>(bytes.size()));
}

QString MakeFolder(const QDir &root, const QString &name)
{
    root.mkpath(name);
    return root.filePath(name);
}

QString MakeMp3(const QDir &root, const QString &name, double seconds)
{
    const QString path = root.filePath(name);
    Run(kFfmpeg,
        Quiet({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
               QStringLiteral("sine=frequency=330:sample_rate=22050:duration=%1").arg(seconds), QStringLiteral("-c:a"),
               QStringLiteral("libmp3lame"), QStringLiteral("-ar"), QStringLiteral("22050"), path}));
    return path;
}

// A picture with gradients, shapes and noise, so the JPEG costs what a real
// photo-like slide costs.
QImage Picture(QSize size, int seed)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, QColor::fromHsv(seed * 37 % 360, 200, 220));
    gradient.setColorAt(1, QColor::fromHsv(seed * 91 % 360, 180, 90));
    painter.fillRect(image.rect(), gradient);
    QRandomGenerator random(seed);
    for (int i = 0; i < 40; ++i) {
        painter.setBrush(QColor::fromHsv(random.bounded(360), 160, 200));
        painter.drawEllipse(random.bounded(size.width()), random.bounded(size.height()), 30 + random.bounded(120),
                            30 + random.bounded(120));
    }
    painter.end();
    for (int y = 0; y < size.height(); y += 2) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); x += 3)
            line[x] ^= random.bounded(0x10) * 0x010101;
    }
    return image;
}

SwfBuild::Bytes Jpeg(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return SwfBuild::Bytes(bytes.begin(), bytes.end());
}

// The combined floor's frames: every movie's first `pictures` floor frames,
// numbered on in movie order.
void JoinFloors(const QDir &root, Corpus &corpus, int pictures)
{
    const QString folder = corpus.name + QStringLiteral("/floorall");
    corpus.combinedFloor = MakeFolder(root, folder);
    root.mkpath(folder + QStringLiteral("/temp"));
    int number = 0;
    for (const Movie &movie : corpus.movies) {
        for (int p = 1; p <= pictures; ++p)
            QFile::copy(QStringLiteral("%1/temp/image%2.jpg").arg(movie.floorFolder).arg(p),
                        QStringLiteral("%1/temp/image%2.jpg").arg(corpus.combinedFloor).arg(++number));
    }
}

Corpus NoiseCorpus(const QDir &root, int swfs, int pictures)
{
    Corpus corpus;
    corpus.name = QStringLiteral("noise");
    corpus.rate = QStringLiteral("1/%1").arg(kSecondsPerPicture);
    corpus.frameSeconds = kSecondsPerPicture;
    corpus.framesPerVideo = pictures + 1; // SLOW adds the black end frame

    const QString mp3 = MakeMp3(root, QStringLiteral("noise.mp3"), pictures * kSecondsPerPicture);
    const QByteArray mp3Bytes = ReadAll(mp3);
    const std::vector<SwfBuild::Bytes> frames = SwfBuild::SplitMp3Frames(
        SwfBuild::Bytes(mp3Bytes.begin(), mp3Bytes.end()));

    // Every movie holds all five sizes, so each video is of the largest.
    corpus.perFileFrame = kLargest;
    QImage endFrame(128, 128, QImage::Format_RGB32);
    endFrame.fill(Qt::black);
    const SwfBuild::Bytes endJpeg = Jpeg(endFrame);
    for (int s = 0; s < swfs; ++s) {
        const QString floor = MakeFolder(root, QStringLiteral("noise/floor%1").arg(s + 1));
        root.mkpath(QStringLiteral("noise/floor%1/temp").arg(s + 1));
        const QString references = MakeFolder(root, QStringLiteral("noise/ref%1").arg(s + 1));
        const QString native = MakeFolder(root, QStringLiteral("noise/native%1").arg(s + 1));
        SwfBuild::Tags tags;
        tags.soundStreamHead2(0x2A, 576); // MP3, 22 kHz, 16-bit, mono
        const size_t perFrame = frames.size() / static_cast<size_t>(pictures) + 1;
        for (int p = 0; p < pictures; ++p) {
            const QImage picture = Picture(kSizes[(s + p) % 5], s * 1000 + p);
            picture.save(QStringLiteral("%1/%2.png").arg(native).arg(p + 1), "PNG", 90);
            const SwfBuild::Bytes jpeg = Jpeg(picture);
            Write(QStringLiteral("%1/temp/image%2.jpg").arg(floor).arg(p + 1), jpeg);
            tags.defineBitsJpeg2(static_cast<std::uint16_t>(p + 1), jpeg);
            SwfBuild::Bytes block;
            for (size_t f = p * perFrame; f < std::min(frames.size(), (p + 1) * perFrame); ++f)
                block.insert(block.end(), frames[f].begin(), frames[f].end());
            if (!block.empty())
                tags.soundStreamBlock(static_cast<std::uint16_t>(576 * perFrame), 0, block);
            tags.showFrame();
        }
        // Every video of this corpus is 1024x768 and every size 4:3: the
        // references are scaled to it by FFmpeg's Lanczos filter, as the
        // light corpus's are, so that no scaler of ours is also the yardstick.
        // (A complex filter graph, as the comparison uses, takes one size
        // per input.)
        Run(kFfmpeg, Quiet({QStringLiteral("-framerate"), QStringLiteral("1"), QStringLiteral("-i"),
                            native + QStringLiteral("/%d.png"), QStringLiteral("-vf"),
                            QStringLiteral("scale=%1:%2:flags=lanczos").arg(kLargest.width()).arg(kLargest.height()),
                            references + QStringLiteral("/%d.png")}));
        Write(QStringLiteral("%1/temp/image%2.jpg").arg(floor).arg(pictures + 1), endJpeg);
        tags.end();
        const QString swf = root.filePath(QStringLiteral("noise/movie%1.swf").arg(s + 1));
        Write(swf, SwfBuild::BuildSwf(tags, SwfBuild::Container::Cws));
        corpus.movies.push_back({swf, mp3, floor, references});
    }

    // The combined floor encodes all pictures plus the end frame once.
    corpus.combinedFrames = swfs * pictures + 1;
    JoinFloors(root, corpus, pictures);
    QFile::copy(QStringLiteral("%1/temp/image%2.jpg").arg(corpus.movies.front().floorFolder).arg(pictures + 1),
                QStringLiteral("%1/temp/image%2.jpg").arg(corpus.combinedFloor).arg(corpus.combinedFrames));
    return corpus;
}

Corpus LightCorpus(const QDir &root, int swfs, int pictures)
{
    Corpus corpus;
    corpus.name = QStringLiteral("light");
    corpus.speed = {QStringLiteral("--fast"), QString::number(kPicturesPerSecond)};
    corpus.rate = QString::number(kPicturesPerSecond);
    corpus.frameSeconds = 1.0 / kPicturesPerSecond;
    corpus.framesPerVideo = pictures; // FAST adds no end frame

    const QString mp3 = MakeMp3(root, QStringLiteral("light.mp3"), double(pictures) / kPicturesPerSecond);
    // Movie s shows testsrc2's pictures 30 s ... 30 s + 29, so the movies
    // differ and the combined video runs through the source once.
    const auto source = [&](QSize size, int first) {
        return QStringLiteral("testsrc2=size=%1x%2:rate=%3,trim=start_frame=%4,setpts=PTS-STARTPTS")
            .arg(size.width())
            .arg(size.height())
            .arg(kPicturesPerSecond)
            .arg(first);
    };
    const QStringList mjpeg = {QStringLiteral("-c:v"), QStringLiteral("mjpeg"), QStringLiteral("-q:v"),
                               QStringLiteral("3")};
    const QString count = QString::number(pictures);
    for (int s = 0; s < swfs; ++s) {
        const QString lavfi = source(kSizes[s % 5], s * pictures);
        const QString swf = root.filePath(QStringLiteral("light/movie%1.swf").arg(s + 1));
        const QString floor = MakeFolder(root, QStringLiteral("light/floor%1").arg(s + 1));
        root.mkpath(QStringLiteral("light/floor%1/temp").arg(s + 1));
        const QString references = MakeFolder(root, QStringLiteral("light/ref%1").arg(s + 1));
        const QStringList input = {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), lavfi};
        Run(kFfmpeg, Quiet(input + QStringList{QStringLiteral("-i"), mp3, QStringLiteral("-frames:v"), count} + mjpeg
                           + QStringList{QStringLiteral("-c:a"), QStringLiteral("copy"), QStringLiteral("-f"),
                                         QStringLiteral("swf"), swf}));
        // The same encoder on the same pictures: the very JPEGs the SWF holds.
        Run(kFfmpeg, Quiet(input + QStringList{QStringLiteral("-frames:v"), count} + mjpeg
                           + QStringList{floor + QStringLiteral("/temp/image%d.jpg")}));
        Run(kFfmpeg,
            Quiet(input + QStringList{QStringLiteral("-frames:v"), count, references + QStringLiteral("/%d.png")}));
        corpus.movies.push_back({swf, mp3, floor, references});
    }

    // Combined, every picture is fitted to the largest size.
    corpus.combinedFrames = swfs * pictures;
    JoinFloors(root, corpus, pictures);
    return corpus;
}

// FFmpeg alone on the movies' own JPEGs, with the job's own arguments; with
// a valid `frame` its scaler fits them into it, as the job's encoder does.
RunUsage Floor(const Corpus &corpus, const QString &folder, int frames, const QStringList &sounds, const QSize &frame)
{
    Pipeline::EncodeRequest request;
    request.fitTo = frame;
    request.rate = corpus.rate;
    request.frameCount = frames;
    request.frameSeconds = corpus.frameSeconds;
    request.quality = 8; // the default slider position, 75
    request.sounds = sounds;
    const RunUsage usage = Spawn(kFfmpeg, Pipeline::EncoderArguments(request, QStringLiteral("floor.mp4")), folder);
    if (!usage.ok)
        std::printf("  (the floor's encode failed in %s)\n", qPrintable(folder));
    return usage;
}

QSize VideoSize(const QString &video)
{
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                 QStringLiteral("v:0"), QStringLiteral("-show_entries"), QStringLiteral("stream=width,height"),
                 QStringLiteral("-of"), QStringLiteral("csv=p=0:s=x"), video});
    probe.waitForFinished(-1);
    const QStringList parts = QString::fromLatin1(probe.readAllStandardOutput()).trimmed().split(QLatin1Char('x'));
    return parts.size() == 2 ? QSize(parts[0].toInt(), parts[1].toInt()) : QSize();
}

// Per-frame PSNR (all planes) of the video's frames against the source
// pictures of `movies` in order, each scaled to the video's size; frames
// beyond the pictures (the end frame) are not compared.
std::vector<double> FramePsnr(const QString &video, const std::vector<const Movie *> &movies, const Corpus &corpus,
                              const QDir &root)
{
    const QSize size = VideoSize(video);
    if (!size.isValid())
        return {};
    QStringList arguments = {QStringLiteral("-i"), video};
    QString graph = QStringLiteral("[0:v]settb=1/100,setpts=N[v];");
    QString joined;
    for (std::size_t i = 0; i < movies.size(); ++i) {
        arguments << QStringLiteral("-framerate") << corpus.rate << QStringLiteral("-i")
                  << movies[i]->references + QStringLiteral("/%d.png");
        graph += QStringLiteral("[%1:v]scale=%2:%3:flags=lanczos,setsar=1,format=yuv420p[r%1];")
                     .arg(i + 1)
                     .arg(size.width())
                     .arg(size.height());
        joined += QStringLiteral("[r%1]").arg(i + 1);
    }
    const QString stats = root.filePath(QStringLiteral("psnr.txt"));
    QFile::remove(stats);
    graph += joined + QStringLiteral("concat=n=%1:v=1:a=0,settb=1/100,setpts=N[r];").arg(movies.size())
             + QStringLiteral("[v][r]psnr=shortest=1:stats_file=") + stats;
    arguments << QStringLiteral("-lavfi") << graph << QStringLiteral("-fps_mode") << QStringLiteral("passthrough")
              << QStringLiteral("-f") << QStringLiteral("null") << QStringLiteral("-");
    QByteArray errors;
    if (!Run(kFfmpeg, Quiet(arguments), QString(), &errors))
        std::printf("  (PSNR measurement failed: %s)\n", errors.constData());
    std::vector<double> values;
    for (const QByteArray &line : ReadAll(stats).split('\n')) {
        const qsizetype at = line.indexOf("psnr_avg:");
        if (at >= 0)
            values.push_back(line.mid(at + 9).split(' ').first().toDouble());
    }
    return values;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double Mean(const std::vector<double> &values)
{
    double sum = 0;
    for (const double v : values)
        sum += v;
    return values.empty() ? 0 : sum / double(values.size());
}

// The machine's load averages (1, 5, 15 minutes), as uptime shows them: the
// machine is shared, so each figure is quoted with the load it ran under.
QString Load()
{
    const QList<QByteArray> fields = ReadAll(QStringLiteral("/proc/loadavg")).split(' ');
    return fields.size() >= 3 ? QString::fromLatin1(fields[0] + ' ' + fields[1] + ' ' + fields[2])
                              : QStringLiteral("unknown");
}

QString Times(const std::vector<double> &values)
{
    QStringList texts;
    for (const double v : values)
        texts.append(QString::number(v, 'f', 2));
    return texts.join(QLatin1Char(' '));
}

void Measure(const Corpus &corpus, bool combine, int rounds, const QString &bin, const QDir &root)
{
    const QString out = MakeFolder(root, QStringLiteral("%1/out").arg(corpus.name));
    QStringList arguments = corpus.speed;
    arguments << (combine ? QStringLiteral("--combine") : QStringLiteral("--each")) << QStringLiteral("--out") << out;
    for (const Movie &movie : corpus.movies)
        arguments.append(movie.swf);

    std::vector<double> ours;
    std::vector<double> floors;
    std::vector<double> ratios; // round by round, so drift in the machine's speed cancels
    std::vector<double> cpuOurs;
    std::vector<double> cpuFloors;
    std::vector<double> peaks;
    const QString loadBefore = Load();
    bool ok = true;
    for (int round = 0; round < rounds; ++round) {
        const RunUsage job = Spawn(bin + QStringLiteral("/tarnwick-batch"), arguments);
        ok = job.ok && ok;
        ours.push_back(job.wall);
        cpuOurs.push_back(job.cpu);
        peaks.push_back(job.peakMiB);

        RunUsage floor;
        const auto add = [&floor](const RunUsage &one) {
            floor.wall += one.wall;
            floor.cpu += one.cpu;
        };
        if (combine) {
            QStringList sounds;
            for (const Movie &movie : corpus.movies)
                sounds.append(movie.sound);
            add(Floor(corpus, corpus.combinedFloor, corpus.combinedFrames, sounds, kLargest));
        } else {
            for (const Movie &movie : corpus.movies)
                add(Floor(corpus, movie.floorFolder, corpus.framesPerVideo, {movie.sound}, corpus.perFileFrame));
        }
        floors.push_back(floor.wall);
        cpuFloors.push_back(floor.cpu);
        ratios.push_back(ours.back() / floor.wall);
    }

    // The videos of the last round against the source pictures.
    std::vector<double> psnr;
    std::size_t expected = 0;
    if (combine) {
        std::vector<const Movie *> all;
        for (const Movie &movie : corpus.movies)
            all.push_back(&movie);
        psnr = FramePsnr(QDir(out).filePath(QStringLiteral("video.mp4")), all, corpus, root);
    } else {
        for (const Movie &movie : corpus.movies) {
            const QString video = QDir(out).filePath(QFileInfo(movie.swf).completeBaseName() + QStringLiteral(".mp4"));
            const std::vector<double> one = FramePsnr(video, {&movie}, corpus, root);
            psnr.insert(psnr.end(), one.begin(), one.end());
        }
    }
    for (const Movie &movie : corpus.movies)
        expected += std::size_t(QDir(movie.references).entryList({QStringLiteral("*.png")}, QDir::Files).size());

    const double job = Median(ours);
    const double floor = Median(floors);
    std::printf("%-5s %-8s tarnwick-batch %7.2f s%s   ffmpeg alone %7.2f s   ratio %.2f   PSNR %.2f dB%s\n",
                qPrintable(corpus.name), combine ? "combined" : "per-file", job, ok ? "" : " (FAILED)", floor,
                job / floor, Mean(psnr),
                psnr.size() == expected
                    ? ""
                    : qPrintable(QStringLiteral(" (%1 of %2 frames compared)").arg(psnr.size()).arg(expected)));
    std::printf("      rounds: job %s   ffmpeg %s   paired ratios %s (median %.2f)\n", qPrintable(Times(ours)),
                qPrintable(Times(floors)), qPrintable(Times(ratios)), Median(ratios));
    std::printf("      CPU (user + system) job %.2f s   ffmpeg %.2f s   ratio %.2f   job's largest process %.0f MiB\n",
                Median(cpuOurs), Median(cpuFloors), Median(cpuOurs) / Median(cpuFloors), Median(peaks));
    std::printf("      load average before %s, after %s\n", qPrintable(loadBefore), qPrintable(Load()));
    std::fflush(stdout);
}

int Usage()
{
    std::fprintf(
        stderr,
        "usage: bench_pipeline [--corpus light|noise|both] [--rounds N] [--bin DIR] [--keep] [SWFS [PICTURES]]\n");
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QString which = QStringLiteral("both");
    QString bin = QStringLiteral(TARNWICK_BIN_DIR);
    int rounds = 3;
    bool keep = false; // the corpus stays, for profiling the job on it
    std::vector<int> counts;
    const QStringList arguments = app.arguments().mid(1);
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        const bool hasValue = i + 1 < arguments.size();
        if (argument == QLatin1String("--corpus") && hasValue)
            which = arguments.at(++i);
        else if (argument == QLatin1String("--rounds") && hasValue)
            rounds = std::max(1, arguments.at(++i).toInt());
        else if (argument == QLatin1String("--bin") && hasValue)
            bin = arguments.at(++i);
        else if (argument == QLatin1String("--keep"))
            keep = true;
        else if (!argument.startsWith(QLatin1String("--")) && argument.toInt() > 0)
            counts.push_back(argument.toInt());
        else
            return Usage();
    }
    if (which != QLatin1String("light") && which != QLatin1String("noise") && which != QLatin1String("both"))
        return Usage();
    const int swfs = counts.size() > 0 ? counts[0] : 20;
    const int pictures = counts.size() > 1 ? counts[1] : 30;

    QTemporaryDir dir;
    dir.setAutoRemove(!keep);
    const QDir root(dir.path());
    if (keep)
        std::printf("The corpus is kept in %s\n", qPrintable(root.path()));
    for (const QString &name : {QStringLiteral("light"), QStringLiteral("noise")}) {
        if (which != QLatin1String("both") && which != name)
            continue;
        std::printf("Generating the %s corpus: %d SWFs of %d pictures...\n", qPrintable(name), swfs, pictures);
        std::fflush(stdout);
        root.mkpath(name);
        const Corpus corpus = name == QLatin1String("light") ? LightCorpus(root, swfs, pictures)
                                                             : NoiseCorpus(root, swfs, pictures);
        for (const bool combine : {false, true})
            Measure(corpus, combine, rounds, bin, root);
    }
    return 0;
}
