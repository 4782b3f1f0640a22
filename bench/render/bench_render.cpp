// Records a generated cartoon (hundreds of moving shapes, gradients, a
// bitmap fill, a sprite animation and a stream sound) as it plays, with
// each of the player's renderers, and reports the wall time over the
// movie's duration, the CPU time and the peak memory of the children
// (Chromium's processes and the encoder).
//
//     bench_render [SHAPES [SECONDS [FPS [canvas|full|both]]]]   (default 300 shapes, 60 s, 20 fps, both)
#include "VectorSwf.h"

#include "pipeline/PlayRecording.h"
#include "render/MovieRecorder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>

namespace {

double OwnCpuSeconds()
{
    rusage self{};
    getrusage(RUSAGE_SELF, &self);
    return self.ru_utime.tv_sec + self.ru_utime.tv_usec / 1e6 + self.ru_stime.tv_sec + self.ru_stime.tv_usec / 1e6;
}

// One recording with `renderer`; false when it failed.
bool Measure(Render::RecordRequest request, Render::Renderer renderer, const char *name, const QTemporaryDir &dir)
{
    request.renderer = renderer;
    request.outputPath = dir.filePath(QStringLiteral("cartoon-%1.mp4").arg(QLatin1String(name)));
    request.workFolder = dir.filePath(QStringLiteral("work-%1").arg(QLatin1String(name)));
    const double ownBefore = OwnCpuSeconds();
    QElapsedTimer timer;
    timer.start();
    const Render::RecordResult result = Render::MovieRecorder().record(request);
    const double wall = timer.elapsed() / 1000.0;
    if (!result.ok) {
        std::fprintf(stderr, "%s: failed: %s\n", name, qPrintable(result.error));
        return false;
    }
    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    const double own = OwnCpuSeconds() - ownBefore;
    std::printf("%s renderer (%s): %d x %d, %d frames, %.1f s: wall %.1f s, wall / duration %.2f (goal at most 0.5); "
                "load average %.1f\n",
                name, result.fullRenderer ? "WebGL" : "canvas", result.width, result.height, result.framesRecorded,
                result.seconds, wall, wall / result.seconds, load[0]);
    // On a busy machine the wall time says little; the CPU time over two
    // cores is what an idle 2-core machine could not do faster.
    std::printf("  CPU of Chromium + encoder %.1f s + recorder %.1f s, over 2 cores / duration %.2f; "
                "peak memory %.0f MB\n",
                result.cpuSeconds, own, (result.cpuSeconds + own) / 2 / result.seconds, result.peakMemoryMb);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int shapes = args.size() > 1 ? args[1].toInt() : 300;
    const int seconds = args.size() > 2 ? args[2].toInt() : 60;
    const int fps = args.size() > 3 ? args[3].toInt() : 20;
    const QString which = args.size() > 4 ? args[4] : QStringLiteral("both");
    const QString assets = QStringLiteral(TARNWICK_BIN_DIR "/render");
    const QString missing = Render::MovieRecorder::MissingParts(assets);
    if (!missing.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(missing));
        return 2;
    }

    QTemporaryDir dir;
    const SwfBuild::Bytes swf = SwfBuild::RichCartoon(shapes, std::uint16_t(fps), seconds * fps);
    QFile f(dir.filePath(QStringLiteral("cartoon.swf")));
    if (!f.open(QIODevice::WriteOnly))
        return 1;
    f.write(reinterpret_cast<const char *>(swf.data()), qint64(swf.size()));
    f.close();
    std::printf("cartoon: %d shapes (a third with gradients), a bitmap fill, a sprite and a stream sound, "
                "550 x 400 at %d fps for %d s, SWF %zu KB\n",
                shapes, fps, seconds, swf.size() / 1024);

    Render::RecordRequest request;
    QString reason;
    if (!Pipeline::ReadMovieFacts(QStringLiteral(TARNWICK_BIN_DIR "/tarnwick-swfextract"), f.fileName(), request.movie,
                                  reason)) {
        std::fprintf(stderr, "%s\n", qPrintable(reason));
        return 1;
    }
    request.swfPath = f.fileName();
    request.assetsFolder = assets;
    request.progress = [](int done, int total) {
        if (done % 200 == 0)
            std::fprintf(stderr, "frame %d of %d\n", done, total);
    };
    bool ok = true;
    if (which != QStringLiteral("full"))
        ok = Measure(request, Render::Renderer::Canvas, "canvas", dir) && ok;
    if (which != QStringLiteral("canvas"))
        ok = Measure(request, Render::Renderer::Full, "full", dir) && ok;
    return ok ? 0 : 1;
}
