#include "TypedFolder.h"

#include <QDir>

namespace App {

QString ResolveTypedFolder(const QString &typed, const QString &home)
{
    if (typed.isEmpty() || QDir::isAbsolutePath(typed))
        return typed;
    const QString base = home.endsWith(QLatin1Char('/')) ? home.chopped(1) : home;
    if (typed == QLatin1String("~"))
        return home;
    // Only "~/" is the home folder; "~name" is an ordinary relative name.
    if (typed.startsWith(QLatin1String("~/")))
        return base + typed.mid(1);
    return base + QLatin1Char('/') + typed;
}

} // namespace App
