// tarnwick-batch: the conversion of the window, for scripts and many files.
#include "BatchControls.h"

#include "pipeline/ConversionJob.h"
#include "tools/DataFolder.h"
#include "tools/Failure.h"
#include "tools/ToolDeployment.h"

#include <QCoreApplication>
#include <QDir>

#include <memory>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarnwick-batch"));

    Batch::BatchOptions options;
    const QString error = Batch::ParseArguments(QCoreApplication::arguments().mid(1), QDir::currentPath(), options,
                                                Tools::DataFolder());
    if (!error.isEmpty()) {
        std::fprintf(stderr, "tarnwick-batch: %s\n\n%s", error.toLocal8Bit().constData(),
                     Batch::UsageText().toLocal8Bit().constData());
        return 2;
    }

    std::unique_ptr<Tools::WorkFolderOwner> workFolder;
    try {
        workFolder = std::make_unique<Tools::WorkFolderOwner>();
    } catch (const Tools::Failure &failure) {
        std::fprintf(stderr, "tarnwick-batch: cannot create a private scratch folder: %s\n",
                     failure.description().toLocal8Bit().constData());
        return 1;
    }
    Batch::BatchControls controls(options, stdout, stderr);
    Pipeline::ConversionJob job(controls, workFolder->path());
    job.PushButton2_Click();

    const Pipeline::JobOutcome &outcome = job.outcome();
    const bool complete = !outcome.refused && outcome.failed.isEmpty() && outcome.noPictures.isEmpty()
        && !outcome.made.isEmpty() && controls.errorReports() == 0;
    return complete ? 0 : 1;
}
