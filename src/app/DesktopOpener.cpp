#include "DesktopOpener.h"

#include <QDesktopServices>

namespace App {

bool DesktopOpener(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

} // namespace App
