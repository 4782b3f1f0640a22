#pragma once

#include "tools/ProgressSink.h"

#include <QWidget>

namespace App {

// A progress bar that takes fractional values from 0 to 100 (others are
// clamped) and draws a caption on the bar.
class ProgressBar : public QWidget, public Tools::ProgressSink
{
    Q_OBJECT

public:
    explicit ProgressBar(QWidget *parent = nullptr);

    double value() const override { return m_value; }
    void setValue(double value) override;
    QString caption() const override { return m_caption; }
    void setCaption(const QString &caption) override;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    double m_value = 0.0;
    QString m_caption;
};

} // namespace App
