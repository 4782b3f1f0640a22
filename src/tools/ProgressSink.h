#pragma once

#include <QString>

namespace Tools {

// The progress bar as the core sees it: a value from 0 to 100 (fractions
// allowed) and a caption drawn on it. The window's bar implements it; tests
// record what is set.
class ProgressSink
{
public:
    virtual ~ProgressSink() = default;
    virtual double value() const = 0;
    virtual void setValue(double value) = 0;
    virtual QString caption() const = 0;
    virtual void setCaption(const QString &caption) = 0;
};

} // namespace Tools
