#pragma once

#include "tools/Command.h"

#include <QSize>
#include <QString>

namespace Render {

// How Chromium is started for one recording, so that it leaves nothing
// behind: its profile, caches, crash folder, temporary files and the home
// folder it sees all live in `folder` (inside the recording's work folder),
// and its crash reporter is off.
struct ChromiumLaunch
{
    QString folder;
    QSize window;
    bool fullRenderer = false; // WebGL on SwiftShader, else 2D canvas only
    QString pageUrl;

    // The folders named in the command; false when one cannot be made.
    bool makeFolders() const;
    Tools::Command command(const QString &chromium) const;
};

// Chromium's path, empty when it is not installed.
QString FindChromium();

} // namespace Render
