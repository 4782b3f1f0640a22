#include "AppIcon.h"

#include <mutex>

// The icon resource sits in a static library; naming its initialiser makes
// the linker keep it.
static void InitIconResources()
{
    Q_INIT_RESOURCE(tarnwick_icons);
}

namespace App {

QIcon ApplicationIcon()
{
    static std::once_flag once;
    std::call_once(once, InitIconResources);
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/tarnwick-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace App
