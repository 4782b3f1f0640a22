#include "ProgressBar.h"

#include <QStyleOptionProgressBar>
#include <QStylePainter>

#include <algorithm>
#include <cmath>

namespace App {

namespace {

// The style draws whole steps; hundredths of a percent keep fractions visible.
constexpr int kSteps = 10000;

} // namespace

ProgressBar::ProgressBar(QWidget *parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ProgressBar::setValue(double value)
{
    const double clamped = std::isnan(value) ? 0.0 : std::clamp(value, 0.0, 100.0);
    if (clamped == m_value)
        return;
    m_value = clamped;
    update();
}

void ProgressBar::setCaption(const QString &caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    setAccessibleName(caption);
    update();
}

QSize ProgressBar::sizeHint() const
{
    QStyleOptionProgressBar option;
    option.initFrom(this);
    const int textHeight = fontMetrics().height();
    const QSize content(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 20, textHeight + 8);
    return style()->sizeFromContents(QStyle::CT_ProgressBar, &option, content, this);
}

QSize ProgressBar::minimumSizeHint() const
{
    return QSize(sizeHint().height() * 2, sizeHint().height());
}

void ProgressBar::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionProgressBar option;
    option.initFrom(this);
    option.minimum = 0;
    option.maximum = kSteps;
    option.progress = static_cast<int>(std::lround(m_value * kSteps / 100.0));
    option.text = m_caption;
    option.textVisible = true;
    option.textAlignment = Qt::AlignCenter;
    option.state |= QStyle::State_Horizontal;
    painter.drawControl(QStyle::CE_ProgressBar, option);
}

} // namespace App
