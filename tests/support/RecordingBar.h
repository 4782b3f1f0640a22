#pragma once

#include "tools/ProgressSink.h"

#include <QStringList>

#include <functional>
#include <vector>

// A progress bar that records every value and caption set on it.
class RecordingBar : public Tools::ProgressSink
{
public:
    double value() const override { return m_value; }
    void setValue(double value) override
    {
        m_value = value;
        values.push_back(value);
    }
    QString caption() const override { return m_caption; }
    void setCaption(const QString &caption) override
    {
        m_caption = caption;
        captions.push_back(caption);
    }

    std::vector<double> values;
    QStringList captions;

private:
    double m_value = 0;
    QString m_caption;
};

// Passes every value and caption on to another sink (a window's bar) and
// calls `onCaption` right after each caption reached it, so a test can act
// at the moment the work shows a step instead of polling.
class RelayingBar : public Tools::ProgressSink
{
public:
    explicit RelayingBar(Tools::ProgressSink &target)
        : m_target(target)
    {
    }

    double value() const override { return m_target.value(); }
    void setValue(double value) override { m_target.setValue(value); }
    QString caption() const override { return m_target.caption(); }
    void setCaption(const QString &caption) override
    {
        m_target.setCaption(caption);
        if (onCaption)
            onCaption(caption);
    }

    std::function<void(const QString &)> onCaption;

private:
    Tools::ProgressSink &m_target;
};
