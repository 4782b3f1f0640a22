#pragma once

#include "VideoCheck.h"

#include "tools/Command.h"

#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>

namespace Tools {
class ProgressSink;
}

namespace Pipeline {

// One video to encode from the frames temp/image1.jpg ... of a work folder.
struct EncodeRequest
{
    QString encoder; // the encoder program
    QString rate; // frames per second as text: "1/3" (a picture every 3 s) or "5"
    int frameCount = 0; // frames in the sequence, end frame included
    double frameSeconds = 0; // how long each frame stays on screen
    int quality = 1; // 1 (best) .. 31
    // Instead of the numbered frames at a fixed rate: a concat list, relative
    // to the work folder, that gives each picture its own duration, and the
    // video's length.
    QString frameList;
    double length = 0;
    // The sound: an MP3 stream, copied as it is, or a soundtrack the job
    // made (IsSoundtrackFile), encoded; several are joined in this order.
    QStringList sounds;
    // Or, instead: a command that writes the video's whole soundtrack to its
    // standard output (kSoundFeedFormat) while the encoder reads it.
    std::optional<Tools::Command> soundFeed;
    // When valid, the frames not yet at this size are fitted into it by the
    // encoder (FitFilter).
    QSize fitTo;
    QString output; // the MP4 to make
    PacketReader reader; // how the new video is read for its check; empty: CountPackets
    // Where the encoder reports its progress (ffmpeg -progress), relative to
    // the work folder; empty: no report.
    QString progressFile;
    // When set, shows the share of frames encoded while the encoder runs.
    Tools::ProgressSink *progress = nullptr;

    double seconds() const { return frameList.isEmpty() ? frameCount * frameSeconds : length; }
    bool withSound() const { return !sounds.isEmpty() || soundFeed; }
};

// The frames encoded so far, from an encoder's -progress report: its last
// "frame=" line; 0 when there is none yet.
int EncodedFrames(const QByteArray &report);

// Why an encoder run that ended with `status` failed: "cancelled" after a
// cancel, else the last line of its `errors`, else its status.
QString EncoderFailure(int status, const QString &errors);

// The encoder's arguments, writing to `target`. The video lasts exactly
// seconds(): a shorter sound does not cut pictures off and a longer one is
// cut at the last picture.
QStringList EncoderArguments(const EncodeRequest &request, const QString &target);

// The encoder script: the quoted command, then the removal of the marker.
QString EncoderScript(const QString &encoder, const QStringList &arguments);

// Names of the script and its marker in the work folder.
inline constexpr char kScriptName[] = "jpg2avi.sh";
inline constexpr char kMarkerName[] = "jpg2avi.tmp";

// Moves a checked video from its hidden temporary name over `output` in
// one step; a replaced video keeps its permissions. False with `reason` set
// when the move fails (the temporary file is then left to the caller).
bool ReplaceWithTemporary(const QString &target, const QString &output, QString *reason = nullptr);

// Encodes into a hidden temporary file beside the output, checks the result
// and moves it over the output only when it is whole, so an older video is
// never lost to a failed encode; a replaced video keeps its permissions.
// Returns whether the output was made; otherwise `reason` says why (the
// encoder's last error line or what the check found).
bool EncodeVideo(const EncodeRequest &request, const QString &workFolder, QString *reason = nullptr);

// EncodeVideo in three steps, so that the check, which only reads the new
// video and touches no work file, can run beside later work:
// - encodes into the hidden temporary file and returns its path; empty with
//   `reason` when the encode failed (nothing is then left behind).
//   `feedFailed` tells whether the sound feed failed; the encode may then
//   have failed for want of it, or the video's sound may stop short;
QString EncodeToTemporary(const EncodeRequest &request, const QString &workFolder, QString *reason = nullptr,
                          bool *feedFailed = nullptr);
// - what the temporary video lacks for the request, a fed sound that does
//   not reach its end included; empty when it is whole;
QString CheckTemporaryVideo(const EncodeRequest &request, const QString &target);
// - moves the temporary video over the output when `problem` is empty, and
//   otherwise, or when the move fails, removes it; false with `reason` then.
bool PublishVideo(const EncodeRequest &request, const QString &target, QString problem, QString *reason = nullptr);

} // namespace Pipeline
