#pragma once

#include "pipeline/JobControls.h"
#include "tools/ProgressSink.h"
#include "tools/ReportingTrap.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace Pipeline {

// The window as a test sees it: choices set by the test, messages, reports
// and progress recorded.
class RecordingControls : public JobControls, public Tools::ProgressSink, public Tools::ErrorReporter
{
public:
    bool slow = true;
    bool movie = false;
    QString seconds = QStringLiteral("3");
    QString perSecond = QStringLiteral("1");
    int quality = 75;
    bool combine = false;
    bool beside = false;
    QString folder;
    QStringList files;
    std::function<void()> onYield;

    QStringList messages;
    QStringList reports;
    QStringList captions;
    QList<Pointer> pointers;

    bool slowSelected() const override { return slow; }
    bool movieSelected() const override { return movie; }
    QString slowText() const override { return seconds; }
    QString fastText() const override { return perSecond; }
    int qualityValue() const override { return quality; }
    int qualityMaximum() const override { return 100; }
    bool eachFileSelected() const override { return !combine; }
    bool combineSelected() const override { return combine; }
    bool saveToFolderSelected() const override { return !beside; }
    bool saveBesideSourceSelected() const override { return beside; }
    QString folderText() const override { return folder; }
    int fileCount() const override { return static_cast<int>(files.size()); }
    QString fileAt(int position) const override { return files.value(position - 1); }
    Tools::ProgressSink &progress() override { return *this; }
    void setPointer(Pointer p) override
    {
        m_pointer = p;
        pointers.append(p);
    }
    Pointer pointer() const override { return m_pointer; }
    void yield() override
    {
        if (onYield)
            onYield();
    }
    void showMessage(const QString &text) override { messages.append(text); }
    Tools::ErrorReporter &errorReporter() override { return *this; }

    double value() const override { return m_value; }
    void setValue(double v) override { m_value = v; }
    QString caption() const override { return m_caption; }
    void setCaption(const QString &c) override
    {
        m_caption = c;
        captions.append(c);
    }
    void showErrorReport(const QString &location, int step, const QString &description) override
    {
        reports.append(Tools::BuildErrorPrompt(location, step, description));
    }

private:
    Pointer m_pointer = Pointer::Default;
    double m_value = 0;
    QString m_caption = QStringLiteral("Progress Bar");
};

} // namespace Pipeline
