#include "MediaReader.h"

#include <QFile>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
}

#include <algorithm>
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

struct DecoderFreer
{
    void operator()(AVCodecContext *decoder) const { avcodec_free_context(&decoder); }
};

struct FrameFreer
{
    void operator()(AVFrame *frame) const { av_frame_free(&frame); }
};

// As FFmpeg's programs word a file they cannot open: "PATH: REASON".
QString OpenFailure(const QString &path, int status)
{
    char reason[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(status, reason, sizeof reason);
    return path + QStringLiteral(": ") + QString::fromUtf8(reason);
}

// Opens the file and finds its streams; nothing, with the complaint in
// `error`, when either fails.
std::unique_ptr<AVFormatContext, InputCloser> OpenInput(const QString &path, const QString &complaints, QString &error)
{
    const QByteArray name = QFile::encodeName(path);
    AVFormatContext *opened = nullptr;
    int status = avformat_open_input(&opened, name.constData(), nullptr, nullptr);
    std::unique_ptr<AVFormatContext, InputCloser> input(status < 0 ? nullptr : opened);
    if (input)
        status = avformat_find_stream_info(input.get(), nullptr);
    if (status >= 0)
        return input;
    error = complaints.isEmpty() ? OpenFailure(path, status) : complaints;
    return nullptr;
}

// The decoder of `stream`, opened; nothing, with `error` set, when there is
// none or it will not open.
std::unique_ptr<AVCodecContext, DecoderFreer> OpenDecoder(const AVStream &stream, QString &error)
{
    const AVCodec *codec = avcodec_find_decoder(stream.codecpar->codec_id);
    std::unique_ptr<AVCodecContext, DecoderFreer> decoder(codec ? avcodec_alloc_context3(codec) : nullptr);
    if (decoder && avcodec_parameters_to_context(decoder.get(), stream.codecpar) >= 0) {
        decoder->pkt_timebase = stream.time_base;
        if (avcodec_open2(decoder.get(), codec, nullptr) >= 0)
            return decoder;
    }
    error = QStringLiteral("Decoder (codec %1) not found or not opened for input stream #0:%2")
                .arg(QString::fromUtf8(avcodec_get_name(stream.codecpar->codec_id)))
                .arg(stream.index);
    return nullptr;
}

} // namespace

PacketCount CountPackets(const QString &path)
{
    PacketCount count;
    QString complaints;
    const ComplaintsTo catcher(complaints);
    const auto input = OpenInput(path, complaints, count.firstError);
    if (!input)
        return count;
    count.opened = true;
    int video = -1;
    int audio = -1;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVMediaType type = input->streams[i]->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_VIDEO && video < 0)
            video = int(i);
        else if (type == AVMEDIA_TYPE_AUDIO && audio < 0)
            audio = int(i);
    }
    count.audio = audio >= 0;
    const std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    if (video >= 0 && packet) {
        count.videoPackets = 0;
        while (av_read_frame(input.get(), packet.get()) >= 0) {
            if (packet->stream_index == video) {
                ++count.videoPackets;
            } else if (packet->stream_index == audio && packet->pts != AV_NOPTS_VALUE) {
                const double end = double(packet->pts + packet->duration) * av_q2d(input->streams[audio]->time_base);
                count.audioEnd = std::max(count.audioEnd, end);
            }
            av_packet_unref(packet.get());
        }
    }
    if (input->duration != AV_NOPTS_VALUE && input->duration > 0)
        count.duration = double(input->duration) / AV_TIME_BASE;
    count.firstError = complaints;
    return count;
}

DecodedSound DecodeFirstAudio(const QString &path)
{
    DecodedSound sound;
    QString complaints;
    const ComplaintsTo catcher(complaints);
    const auto input = OpenInput(path, complaints, sound.firstError);
    if (!input)
        return sound;
    int index = -1;
    for (unsigned i = 0; i < input->nb_streams && index < 0; ++i) {
        if (input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            index = int(i);
    }
    if (index < 0) {
        sound.firstError = QStringLiteral("Stream map '0:a:0' matches no streams.");
        return sound;
    }
    QString error;
    const auto decoder = OpenDecoder(*input->streams[index], error);
    const std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    const std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
    if (!decoder || !packet || !frame) {
        sound.firstError = complaints.isEmpty() ? error : complaints;
        return sound;
    }
    // How far the decoded audio reaches on the file's timeline, from its
    // start, as FFmpeg's program reports it: a gap in the timestamps counts.
    const AVStream &stream = *input->streams[index];
    const double timeBase = av_q2d(stream.time_base);
    const double start = input->start_time != AV_NOPTS_VALUE ? double(input->start_time) / AV_TIME_BASE : 0;
    double reached = 0;
    const auto receive = [&] {
        while (avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
            const double length = frame->sample_rate > 0 ? double(frame->nb_samples) / frame->sample_rate : 0;
            sound.rate = std::max(sound.rate, frame->sample_rate);
            sound.channels = std::max(sound.channels, frame->ch_layout.nb_channels);
            const qint64 pts = frame->best_effort_timestamp;
            const double begin = pts != AV_NOPTS_VALUE ? pts * timeBase - start : reached;
            reached = std::max(reached, begin + length);
            av_frame_unref(frame.get());
        }
    };
    // A packet the decoder refuses is skipped, as FFmpeg's program does.
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == index && avcodec_send_packet(decoder.get(), packet.get()) >= 0)
            receive();
        av_packet_unref(packet.get());
    }
    if (avcodec_send_packet(decoder.get(), nullptr) >= 0)
        receive();
    sound.seconds = reached;
    sound.firstError = complaints;
    return sound;
}

} // namespace Pipeline
