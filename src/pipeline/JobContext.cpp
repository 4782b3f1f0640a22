#include "JobContext.h"

#include "tools/ProcessRunner.h"
#include "tools/Shell32.h"
#include "tools/ProgressSink.h"

#include <QLocale>

namespace Pipeline {

JobContext::JobContext(JobControls &jobControls, QString folder, MediaReaders mediaReaders)
    : controls(jobControls)
    , workFolder(std::move(folder))
    , readers(std::move(mediaReaders))
{
}

QString JobContext::tempFile(const QString &name) const
{
    return workFolder + QStringLiteral("/temp/") + name;
}

QString JobContext::pictureFile(const QString &name) const
{
    return workFolder + QStringLiteral("/SWFPic/") + name;
}

bool JobContext::cancelled()
{
    if (Tools::ChildrenCancelled())
        run.outcome.cancelled = true;
    return run.outcome.cancelled;
}

void JobContext::note(const QString &source, const QString &text)
{
    run.outcome.details.append(source + QStringLiteral(": ") + text);
}

bool JobContext::refuse(const QString &message)
{
    run.outcome.refused = true;
    controls.showMessage(message);
    return false;
}

QString JobContext::runExtractor(const QStringList &arguments)
{
    Tools::ProgressSink &bar = controls.progress();
    QString errors;
    Tools::RunAndWait(Tools::Command{run.tools.extractor, arguments, QString()}, &bar, bar.caption(),
                      static_cast<int>(bar.value()), controls.fileCount(), Tools::DefaultPollClock(), &errors);
    return errors;
}

bool IsNumeric(const QString &text)
{
    bool ok = false;
    QLocale::c().toDouble(text.trimmed(), &ok);
    return ok;
}

double NumberOf(const QString &text)
{
    return QLocale::c().toDouble(text.trimmed());
}

} // namespace Pipeline
