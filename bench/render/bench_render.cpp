// Records a generated vector cartoon (hundreds of moving shapes) as it plays
// and reports the wall time over the movie's duration, and the peak memory
// of the children (Chromium's processes and the encoder).
//
//     bench_render [SHAPES [SECONDS [FPS]]]     (default 300 shapes, 60 s, 20 fps)
#include "VectorSwf.h"

#include "pipeline/PlayRecording.h"
#include "render/MovieRecorder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdlib>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int shapes = args.size() > 1 ? args[1].toInt() : 300;
    const int seconds = args.size() > 2 ? args[2].toInt() : 60;
    const int fps = args.size() > 3 ? args[3].toInt() : 20;
    const QString assets = QStringLiteral(TARNWICK_BIN_DIR "/render");
    const QString missing = Render::MovieRecorder::MissingParts(assets);
    if (!missing.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(missing));
        return 2;
    }

    QTemporaryDir dir;
    const SwfBuild::Bytes swf = SwfBuild::VectorCartoon(shapes, std::uint16_t(fps), seconds * fps);
    QFile f(dir.filePath(QStringLiteral("cartoon.swf")));
    if (!f.open(QIODevice::WriteOnly))
        return 1;
    f.write(reinterpret_cast<const char *>(swf.data()), qint64(swf.size()));
    f.close();

    Render::RecordRequest request;
    QString reason;
    if (!Pipeline::ReadMovieFacts(QStringLiteral(TARNWICK_BIN_DIR "/tarnwick-swfextract"), f.fileName(), request.movie,
                                  reason)) {
        std::fprintf(stderr, "%s\n", qPrintable(reason));
        return 1;
    }
    request.swfPath = f.fileName();
    request.outputPath = dir.filePath(QStringLiteral("cartoon.mp4"));
    request.workFolder = dir.filePath(QStringLiteral("work"));
    request.assetsFolder = assets;
    request.progress = [](int done, int total) {
        if (done % 200 == 0 || done == total)
            std::fprintf(stderr, "frame %d of %d\n", done, total);
    };
    QElapsedTimer timer;
    timer.start();
    const Render::RecordResult result = Render::MovieRecorder().record(request);
    const double wall = timer.elapsed() / 1000.0;
    if (!result.ok) {
        std::fprintf(stderr, "failed: %s\n", qPrintable(result.error));
        return 1;
    }
    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    std::printf("cartoon: %d shapes, 550 x 400 recorded at %d x %d, %d frames at %d fps (%d s), SWF %zu KB\n", shapes,
                result.width, result.height, result.framesRecorded, fps, seconds, swf.size() / 1024);
    std::printf("wall %.1f s, wall / movie duration %.2f (goal at most 0.5); load average %.1f\n", wall,
                wall / result.seconds, load[0]);
    // On a busy machine the wall time says little; the CPU time over two
    // cores is what an idle 2-core machine could not do faster.
    rusage self{};
    getrusage(RUSAGE_SELF, &self);
    const double own = self.ru_utime.tv_sec + self.ru_utime.tv_usec / 1e6 + self.ru_stime.tv_sec
                       + self.ru_stime.tv_usec / 1e6;
    const double cpu = result.cpuSeconds + own;
    std::printf("CPU of Chromium + encoder %.1f s + recorder %.1f s, over 2 cores / movie duration %.2f\n",
                result.cpuSeconds, own, cpu / 2 / result.seconds);
    std::printf("peak memory of Chromium + encoder %.0f MB\n", result.peakMemoryMb);
    return 0;
}
