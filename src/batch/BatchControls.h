#pragma once

#include "pipeline/JobControls.h"
#include "tools/ProgressSink.h"
#include "tools/ReportingTrap.h"

#include <QStringList>

#include <cstdio>

namespace Batch {

// Most movies converted at once with --jobs.
inline constexpr int kMaxJobs = 32;

// The choices for whole archives: one job per movie, in parallel, with a
// report a later run resumes from, over a share of the list.
struct ArchiveOptions
{
    int jobs = 1;
    QString reportPath; // absolute; empty: no report
    bool resume = false;
    int shardIndex = 0; // 1 .. shardCount
    int shardCount = 0; // 0: the whole list
    bool keepFolders = false;
    bool combineChosen = false; // --combine was given
    // A child of --jobs: it converts the movies it is sent on standard input
    // and answers each with its report line on standard output.
    bool worker = false;

    // One job per movie is needed.
    bool perMovie() const { return jobs > 1 || !reportPath.isEmpty() || shardCount > 0 || keepFolders; }
};

// The choices of one tarnwick-batch run.
struct BatchOptions
{
    bool slow = true;
    bool movie = false; // each picture when and as long as the movie shows it
    bool play = false; // record each movie as it plays
    bool help = false; // --help: print the usage and do nothing else
    double playFps = 0; // 0: each movie's own frame rate
    int playHeight = 720; // --play-height
    double playSeconds = 0; // --play-seconds; 0: only the 3-hour cap
    QStringList notes; // adjustments made to the arguments, for the user
    QString seconds = QStringLiteral("3");
    QString perSecond = QStringLiteral("1");
    int quality = 75;
    bool combine = true;
    bool beside = false;
    QString outFolder; // absolute
    QStringList files; // absolute, in order
    ArchiveOptions archive;
};

// Parses the arguments (without the program name). A --from-list file is
// read here, its paths put in the list at its place; one that cannot be
// read is a usage error. `--samples` puts the
// files of the Samples folder in `dataFolder` in the list at its place.
// The delay choices are one choice: the last of --slow, --fast and --movie
// counts, and --play (or --play-fps) wherever it stands overrides them.
// Returns an error text for a usage error, empty on success (also for
// --help, which sets `help` and needs no file).
QString ParseArguments(const QStringList &arguments, const QString &currentFolder, BatchOptions &options,
                       const QString &dataFolder = QString());

// The usage text.
QString UsageText();

// The job's window, for a terminal: progress captions go to standard error,
// messages and reports to standard output.
class BatchControls : public Pipeline::JobControls, private Tools::ProgressSink, private Tools::ErrorReporter
{
public:
    BatchControls(BatchOptions options, std::FILE *out, std::FILE *err);

    // One movie of an archive run: every line shown starts with `label`, and
    // the summary is kept for the report instead of being shown.
    void setLabel(const QString &label) { m_label = label; }
    const QString &summaryText() const { return m_summary; }
    const QStringList &messages() const { return m_messages; }

    bool slowSelected() const override { return m_options.slow; }
    QString slowText() const override { return m_options.seconds; }
    QString fastText() const override { return m_options.perSecond; }
    bool movieSelected() const override { return m_options.movie; }
    bool playSelected() const override { return m_options.play; }
    double playFrameRate() const override { return m_options.playFps; }
    int playHeight() const override { return m_options.playHeight; }
    double playSeconds() const override { return m_options.playSeconds; }
    int qualityValue() const override { return m_options.quality; }
    int qualityMaximum() const override { return 100; }
    bool eachFileSelected() const override { return !m_options.combine; }
    bool combineSelected() const override { return m_options.combine; }
    bool saveToFolderSelected() const override { return !m_options.beside; }
    bool saveBesideSourceSelected() const override { return m_options.beside; }
    QString folderText() const override { return m_options.outFolder; }
    int fileCount() const override { return static_cast<int>(m_options.files.size()); }
    QString fileAt(int position) const override { return m_options.files.value(position - 1); }
    Tools::ProgressSink &progress() override { return *this; }
    void setPointer(Pipeline::Pointer pointer) override { m_pointer = pointer; }
    Pipeline::Pointer pointer() const override { return m_pointer; }
    void yield() override { }
    void showMessage(const QString &text) override;
    // The summary on standard output, its details on standard error.
    void showSummary(const QString &text, const QString &details, const QString &resultFolder) override;
    Tools::ErrorReporter &errorReporter() override { return *this; }

    // Unexpected failures reported during the run.
    int errorReports() const { return m_errorReports; }

private:
    double value() const override { return m_value; }
    void setValue(double value) override { m_value = value; }
    QString caption() const override { return m_caption; }
    void setCaption(const QString &caption) override;
    void showErrorReport(const QString &location, int step, const QString &description) override;
    void show(std::FILE *stream, const QString &text) const;

    BatchOptions m_options;
    std::FILE *m_out;
    std::FILE *m_err;
    Pipeline::Pointer m_pointer = Pipeline::Pointer::Default;
    double m_value = 0;
    QString m_caption = QStringLiteral("Progress Bar");
    int m_errorReports = 0;
    QString m_label;
    QString m_summary;
    QStringList m_messages;
};

// Line ends as a terminal shows them: CR LF and lone CRs become newlines.
QString TerminalText(const QString &text);

} // namespace Batch
