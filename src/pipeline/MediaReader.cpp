#include "MediaReader.h"

#include <QFile>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
}

#include <cstdarg>
#include <memory>
#include <mutex>

namespace Pipeline {

namespace {

// FFmpeg logs through one callback for the whole process; each reading
// thread names where its own complaints go, and the rest is dropped rather
// than written over the program's output.
thread_local QString *t_complaints = nullptr;

void KeepFirstError(void *context, int level, const char *format, va_list arguments)
{
    if (level > AV_LOG_ERROR || !t_complaints || !t_complaints->isEmpty())
        return;
    char line[1024];
    int printPrefix = 1;
    av_log_format_line2(context, level, format, arguments, line, int(sizeof line), &printPrefix);
    *t_complaints = QString::fromUtf8(line).trimmed();
}

class ComplaintsTo
{
public:
    explicit ComplaintsTo(QString &into)
    {
        static std::once_flag once;
        std::call_once(once, [] { av_log_set_callback(KeepFirstError); });
        t_complaints = &into;
    }
    ~ComplaintsTo() { t_complaints = nullptr; }
    ComplaintsTo(const ComplaintsTo &) = delete;
    ComplaintsTo &operator=(const ComplaintsTo &) = delete;
};

struct InputCloser
{
    void operator()(AVFormatContext *context) const { avformat_close_input(&context); }
};

struct PacketFreer
{
    void operator()(AVPacket *packet) const { av_packet_free(&packet); }
};

// As FFmpeg's programs word a file they cannot open: "PATH: REASON".
QString OpenFailure(const QString &path, int status)
{
    char reason[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(status, reason, sizeof reason);
    return path + QStringLiteral(": ") + QString::fromUtf8(reason);
}

} // namespace

PacketCount CountPackets(const QString &path)
{
    PacketCount count;
    QString complaints;
    const ComplaintsTo catcher(complaints);
    const QByteArray name = QFile::encodeName(path);
    AVFormatContext *opened = nullptr;
    int status = avformat_open_input(&opened, name.constData(), nullptr, nullptr);
    if (status < 0) {
        count.firstError = complaints.isEmpty() ? OpenFailure(path, status) : complaints;
        return count;
    }
    const std::unique_ptr<AVFormatContext, InputCloser> input(opened);
    status = avformat_find_stream_info(input.get(), nullptr);
    if (status < 0) {
        count.firstError = complaints.isEmpty() ? OpenFailure(path, status) : complaints;
        return count;
    }
    count.opened = true;
    int video = -1;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVMediaType type = input->streams[i]->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_VIDEO && video < 0)
            video = int(i);
        else if (type == AVMEDIA_TYPE_AUDIO)
            count.audio = true;
    }
    const std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    if (video >= 0 && packet) {
        count.videoPackets = 0;
        while (av_read_frame(input.get(), packet.get()) >= 0) {
            if (packet->stream_index == video)
                ++count.videoPackets;
            av_packet_unref(packet.get());
        }
    }
    if (input->duration != AV_NOPTS_VALUE && input->duration > 0)
        count.duration = double(input->duration) / AV_TIME_BASE;
    count.firstError = complaints;
    return count;
}

} // namespace Pipeline
