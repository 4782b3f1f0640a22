#pragma once

#include "JobContext.h"
#include "SideTask.h"
#include "VideoEncoding.h"

#include <QSet>
#include <QString>

#include <memory>
#include <optional>

namespace Pipeline {

// Where the videos of a job go and when each counts as made: one video per
// file, named after it, or all combined into one video.mp4. With one video
// per file, a new video is checked on a thread of its own beside the next
// file's work and counted in its place.
class OutputPlan
{
public:
    explicit OutputPlan(JobContext &job);
    ~OutputPlan();

    // One video per file: the file's video; combined: video.mp4 in the
    // chosen folder or beside the first file.
    QString fileVideo(const QString &path) const;
    QString combinedVideo() const;
    // Beside the sources, each source's folder is checked when its turn
    // comes: false, with the file's video failed, when it cannot take one.
    bool folderTakes(const QString &path, const QString &output);
    // The name the video for `path` is written as: two sources of one job
    // that map to one name keep both videos, the later one numbered.
    QString claim(const QString &path);

    // Counts `output` as failed, after the video before it.
    void fail(const QString &output, const QString &reason);
    // Publishes an encoded temporary video (empty `target`: the encode
    // failed with `reason`). The video before it is counted first.
    void publish(EncodeRequest request, const QString &target, const QString &reason);
    // Counts a video made elsewhere (a recording) or its failure.
    void record(const QString &output, bool made, const QString &reason);
    // Waits for the check of the last video and counts it.
    void settle();

    // The output folder, or beside the sources the first video's folder
    // (none when no video was made).
    QString resultFolder() const;

private:
    struct CheckedVideo
    {
        bool whole = false; // the check found nothing missing
        bool made = false; // and it replaced the output
        QString problem;
    };
    struct PendingVideo
    {
        EncodeRequest request;
        QString target; // its hidden temporary file
        qsizetype detailsAt = 0; // its note's place among the details noted at once
        std::unique_ptr<SideTask<CheckedVideo>> check;
    };

    void recordVideo(const EncodeRequest &request, bool made, const QString &reason,
                     std::optional<qsizetype> detailsAt = std::nullopt);

    JobContext &m_job;
    QSet<QString> m_claimed;
    std::unique_ptr<PendingVideo> m_pending;
    int m_detailsInserted = 0; // details noted after later ones, in their place
};

} // namespace Pipeline
