// Where a frame's time goes: the converter run and each step of the redraw
// (header, decode, resample, canvas, save) on one picture of each size,
// light (FFmpeg's testsrc2 through its MJPEG encoder) and photo-like (the
// converter's own quality-95 full-colour output). Median of many rounds, in
// milliseconds of CPU time per picture (so that other load on the machine
// does not count). Columns: the converter re-encoding
// (-q 95) and by default; the redraw's header read, its full decode, a bare
// libjpeg-turbo decode, growth to 1024x768, canvas, save at 100; shrinking
// to 480x360 after a full decode, and after a decode at the reduced scale.
//
//     bench_frames [ROUNDS]
#include "pipeline/FrameNormalisation.h"
#include "pipeline/JpegReader.h"
#include "pipeline/JpegWriter.h"
#include "pipeline/Resampling.h"

#include "tools/ProgressSink.h"
#include "tools/ReportingTrap.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <turbojpeg.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <functional>
#include <vector>

namespace {

const QSize kSizes[] = {{480, 360}, {640, 480}, {720, 540}, {800, 600}, {1024, 768}};
const QSize kTarget(1024, 768);

double CpuMs(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// This process's CPU time (Qt scales on several threads) plus that of the children it waited for.
double SpentMs()
{
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    const auto ms = [](const timeval &t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return CpuMs(CLOCK_PROCESS_CPUTIME_ID) + ms(children.ru_utime) + ms(children.ru_stime);
}

double MedianMs(int rounds, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        const double start = SpentMs();
        work();
        times.push_back(SpentMs() - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

bool Run(const QStringList &arguments, const QString &program = QStringLiteral("ffmpeg"))
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitCode() == 0;
}

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// libjpeg-turbo decoding at the smallest scale (n/8) whose result is at
// least `at least`, as a reader that knows the target size could do.
double TurboScaled(const QByteArray &jpeg, QSize atLeast, int rounds, QSize *got)
{
    tjhandle handle = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    auto *data = reinterpret_cast<unsigned char *>(const_cast<char *>(jpeg.constData()));
    tjDecompressHeader3(handle, data, (unsigned long)jpeg.size(), &width, &height, &subsampling, &colourspace);
    int count = 0;
    const tjscalingfactor *factors = tjGetScalingFactors(&count);
    tjscalingfactor best{1, 1};
    for (int i = 0; i < count; ++i) {
        const tjscalingfactor f = factors[i];
        if (f.num * best.denom < best.num * f.denom && TJSCALED(width, f) >= atLeast.width()
            && TJSCALED(height, f) >= atLeast.height())
            best = f;
    }
    const int w = TJSCALED(width, best);
    const int h = TJSCALED(height, best);
    *got = QSize(w, h);
    std::vector<unsigned char> pixels(std::size_t(w) * h * 4);
    const double ms = MedianMs(
        rounds, [&] { tjDecompress2(handle, data, (unsigned long)jpeg.size(), pixels.data(), w, 0, h, TJPF_BGRX, 0); });
    tjDestroy(handle);
    return ms;
}

class NoProgress : public Tools::ProgressSink
{
public:
    void setValue(double value) override { m_value = value; }
    double value() const override { return m_value; }
    void setCaption(const QString &caption) override { m_caption = caption; }
    QString caption() const override { return m_caption; }

private:
    double m_value = 0;
    QString m_caption;
};

class NoReports : public Tools::ErrorReporter
{
public:
    void showErrorReport(const QString &, int, const QString &) override { }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    QTemporaryDir dir;
    const QDir root(dir.path());
    const QString converter = QStringLiteral(TARNWICK_BIN_DIR "/nconvert");

    std::printf("ms per picture, median of %d; redraw target %dx%d\n", rounds, kTarget.width(), kTarget.height());
    std::printf("%-6s %-9s %7s %7s %7s %7s %7s %7s %7s %7s %7s %7s\n", "kind", "size", "conv-q", "conv-0", "header",
                "decode", "tjfull", "resamp", "canvas", "save", "shrink", "sc+shr");
    for (const bool light : {true, false}) {
        for (const QSize size : kSizes) {
            const QString name = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
            const QString source = root.filePath(name + QStringLiteral(".jpg"));
            if (light) {
                Run({QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                     QStringLiteral("testsrc2=size=") + name, QStringLiteral("-frames:v"), QStringLiteral("1"),
                     QStringLiteral("-c:v"), QStringLiteral("mjpeg"), QStringLiteral("-q:v"), QStringLiteral("3"),
                     source});
            } else {
                // Photo-like: dense detail everywhere, saved by Qt at 90.
                QImage noisy(size, QImage::Format_RGB32);
                for (int y = 0; y < size.height(); ++y)
                    for (int x = 0; x < size.width(); ++x)
                        noisy.setPixel(x, y, qRgb((x * 7 + y * 3) & 0xFF, (x ^ y) & 0xFF, ((x * y) >> 4) & 0xFF));
                noisy.save(source, "JPEG", 90);
            }
            // The converter as the job runs it: re-encoding (-q 95, what it
            // always did) and by default (a JPEG like this one is copied).
            const QString frame = root.filePath(name + QStringLiteral("-frame.jpg"));
            const auto convert = [&](bool quality) {
                QStringList arguments{QStringLiteral("-out"), QStringLiteral("jpeg"), QStringLiteral("-o"), frame,
                                      source};
                if (quality)
                    arguments << QStringLiteral("-q") << QStringLiteral("95");
                Run(arguments, converter);
            };
            const double converted = MedianMs(rounds, [&] { convert(true); });
            const double copied = MedianMs(rounds, [&] { convert(false); });
            // The redraw reads what the converter now leaves: the source.
            const QString input = source;
            const QByteArray bytes = ReadAll(input);

            const double header = MedianMs(rounds, [&] { (void)Pipeline::ReadJpegSize(ReadAll(input)); });
            NConvert::Picture picture;
            const double decode = MedianMs(rounds, [&] { Pipeline::DecodeJpeg(ReadAll(input), QSize(), picture); });
            QSize scaledSize;
            // libjpeg-turbo straight into the pixels, nothing else.
            const double scaled = TurboScaled(bytes, size, rounds, &scaledSize);
            NConvert::Picture fitted;
            const double resample = MedianMs(rounds, [&] { Pipeline::ResamplePicture(picture, 1024, 768, fitted); });
            NConvert::Picture canvas;
            const double draw = MedianMs(rounds, [&] {
                canvas = NConvert::AllocatePicture(kTarget.width(), kTarget.height(), NConvert::Limits()).value();
                for (std::uint32_t y = 0; y < fitted.height; ++y)
                    std::copy_n(fitted.pixel(0, y), std::size_t(fitted.width) * 4, canvas.pixel(0, y));
            });
            const QString saved = root.filePath(name + QStringLiteral("-saved.jpg"));
            const double save = MedianMs(rounds, [&] { Pipeline::SaveJpeg(canvas, saved, 100); });
            // Shrinking to 480x360, as a movie whose largest picture is smaller would.
            NConvert::Picture shrunk;
            const double shrink = MedianMs(rounds, [&] { Pipeline::ResamplePicture(picture, 480, 360, shrunk); });
            QSize reduced;
            const double reducedDecode = TurboScaled(bytes, QSize(480, 360), rounds, &reduced);
            NConvert::Picture small =
                NConvert::AllocatePicture(reduced.width(), reduced.height(), NConvert::Limits()).value();
            std::fill(small.rgba.begin(), small.rgba.end(), std::uint8_t(255));
            const double reducedShrink = reducedDecode + MedianMs(rounds, [&] {
                                             Pipeline::ResamplePicture(small, 480, 360, shrunk);
                                         });
            std::printf("%-6s %-9s %7.2f %7.2f %7.2f %7.2f %7.2f %7.2f %7.2f %7.2f %7.2f %7.2f\n",
                        light ? "light" : "photo", qPrintable(name), converted, copied, header, decode, scaled,
                        resample, draw, save, shrink, reducedShrink);
        }
    }

    // The whole redraw pass over 30 frames of 640x480 to 1024x768, redrawn
    // or left for the encoder to grow, and over 30 frames already at the
    // size (read, compared, left alone).
    struct Pass
    {
        QSize size;
        Pipeline::Growing growing;
        const char *what;
    };
    for (const Pass &pass : {Pass{QSize(640, 480), Pipeline::Growing::Redraw, "redrawn"},
                             Pass{QSize(640, 480), Pipeline::Growing::Encoder, "left to the encoder"},
                             Pass{kTarget, Pipeline::Growing::Redraw, "at the size"}}) {
        const QString folder = root.filePath(QStringLiteral("work"));
        QDir(folder).removeRecursively();
        root.mkpath(QStringLiteral("work/temp"));
        Run({QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
             QStringLiteral("testsrc2=size=%1x%2").arg(pass.size.width()).arg(pass.size.height()),
             QStringLiteral("-frames:v"), QStringLiteral("30"), QStringLiteral("-c:v"), QStringLiteral("mjpeg"),
             QStringLiteral("-q:v"), QStringLiteral("3"), folder + QStringLiteral("/temp/image%d.jpg")});
        NoProgress bar;
        NoReports reports;
        const double start = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
        Pipeline::SetImagesSizes(folder, 30, kTarget.height(), kTarget.width(), bar, reports, nullptr, pass.growing);
        std::printf("SetImagesSizes, 30 frames %dx%d -> %dx%d, %s: %.2f ms CPU per frame\n", pass.size.width(),
                    pass.size.height(), kTarget.width(), kTarget.height(), pass.what,
                    (CpuMs(CLOCK_PROCESS_CPUTIME_ID) - start) / 30);
    }
    return 0;
}
