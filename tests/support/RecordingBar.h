#pragma once

#include "tools/ProgressSink.h"

#include <QStringList>

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
