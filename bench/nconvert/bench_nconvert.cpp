// Measures what the picture steps of a conversion cost:
//   1. one run of nconvert (start-up included), on a JPEG and on a PNG with
//      alpha, against the cost of starting /bin/true;
//   2. normalising 200 frames of mixed sizes (measure + redraw + save).
//
//     build/bench/bench_nconvert [runs]
#include "pipeline/FrameNormalisation.h"

#include "tools/ProgressSink.h"
#include "tools/ReportingTrap.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <cstdio>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace {

class SilentBar : public Tools::ProgressSink
{
public:
    double value() const override { return m_value; }
    void setValue(double value) override { m_value = value; }
    QString caption() const override { return QString(); }
    void setCaption(const QString &) override { }

private:
    double m_value = 0;
};

class CountingReporter : public Tools::ErrorReporter
{
public:
    void showErrorReport(const QString &, int, const QString &) override { ++reports; }
    int reports = 0;
};

// A picture with detail everywhere, so the codecs do real work.
QImage Scene(int width, int height, bool alpha)
{
    QImage image(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgba((x * 255) / width, (y * 255) / height, ((x ^ y) * 7) & 0xFF, alpha ? (x + y) & 0xFF : 255);
    }
    return image;
}

// Wall time of one spawn-and-wait of the program, in milliseconds.
double TimeRun(const QList<QByteArray> &arguments)
{
    std::vector<char *> argv;
    for (const QByteArray &argument : arguments)
        argv.push_back(const_cast<char *>(argument.constData()));
    argv.push_back(nullptr);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    const double elapsed = double(timer.nsecsElapsed()) / 1e6;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? elapsed : -1;
}

double Average(int runs, const QList<QByteArray> &arguments)
{
    double total = 0;
    for (int i = 0; i < runs; ++i) {
        const double one = TimeRun(arguments);
        if (one < 0)
            return -1;
        total += one;
    }
    return total / runs;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    QTemporaryDir folder;
    const QByteArray dir = QFile::encodeName(folder.path());
    const QByteArray program = TARNWICK_BIN_DIR "/nconvert";

    Scene(800, 600, false).save(folder.filePath(QStringLiteral("scene.jpg")), "JPG", 90);
    Scene(800, 600, true).save(folder.filePath(QStringLiteral("scene.png")), "PNG");
    Scene(128, 128, false).save(folder.filePath(QStringLiteral("small.png")), "PNG");
    const QByteArray out = dir + "/out.jpg";
    const auto convert = [&](const char *input) {
        return QList<QByteArray>{program, "-out", "jpeg", "-truecolors", "-o", out, dir + "/" + input};
    };
    std::printf("nconvert, average of %d runs (wall time, start-up included):\n", runs);
    std::printf("  /bin/true (process start only)  %7.2f ms\n", Average(runs, {"/bin/true"}));
    std::printf("  128 x 128 PNG                   %7.2f ms\n", Average(runs, convert("small.png")));
    std::printf("  800 x 600 JPEG                  %7.2f ms\n", Average(runs, convert("scene.jpg")));
    std::printf("  800 x 600 PNG with alpha        %7.2f ms\n", Average(runs, convert("scene.png")));

    // 200 frames: sizes as the pictures of real SWF files vary, the largest
    // (1280 x 960) setting the target; one frame in six already of that size.
    const QSize sizes[] = {{640, 480}, {800, 600}, {1280, 960}, {320, 240}, {600, 800}, {1024, 576}};
    QDir(folder.path()).mkdir(QStringLiteral("temp"));
    constexpr qint16 kFrames = 200;
    for (int i = 1; i <= kFrames; ++i) {
        const QSize size = sizes[i % 6];
        Scene(size.width(), size.height(), false).save(Pipeline::FramePath(folder.path(), i), "JPG", 95);
    }
    SilentBar bar;
    CountingReporter reporter;
    QElapsedTimer timer;
    timer.start();
    qint32 height = 0;
    qint32 width = 0;
    Pipeline::MeasureLargestFrame(folder.path(), kFrames, height, width);
    const double measured = double(timer.nsecsElapsed()) / 1e6;
    height -= height % 2;
    width -= width % 2;
    Pipeline::SetImagesSizes(folder.path(), kFrames, height, width, bar, reporter);
    const double total = double(timer.nsecsElapsed()) / 1e6;
    std::printf("normalising %d mixed-size frames to %d x %d:\n", kFrames, width, height);
    std::printf("  MeasureLargestFrame   %8.1f ms\n", measured);
    std::printf("  SetImagesSizes        %8.1f ms  (%.1f ms per frame)\n", total - measured,
                (total - measured) / kFrames);
    std::printf("  reports: %d\n", reporter.reports);
    return reporter.reports == 0 ? 0 : 1;
}
