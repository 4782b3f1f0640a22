#include "ChromiumLaunch.h"

#include <QDir>
#include <QStandardPaths>

#include <unistd.h>

namespace Render {

namespace {

const QStringList &Subfolders()
{
    static const QStringList folders = {QStringLiteral("profile"), QStringLiteral("home"),   QStringLiteral("tmp"),
                                        QStringLiteral("cache"),   QStringLiteral("config"), QStringLiteral("data"),
                                        QStringLiteral("crash")};
    return folders;
}

} // namespace

QString FindChromium()
{
    for (const QString &name : {QStringLiteral("chromium"), QStringLiteral("chromium-browser")}) {
        const QString path = QStandardPaths::findExecutable(name);
        if (!path.isEmpty())
            return path;
    }
    return {};
}

bool ChromiumLaunch::makeFolders() const
{
    QDir dir(folder);
    for (const QString &sub : Subfolders()) {
        if (!dir.mkpath(sub))
            return false;
    }
    return true;
}

Tools::Command ChromiumLaunch::command(const QString &chromium) const
{
    const QDir dir(folder);
    QStringList arguments = {
        QStringLiteral("--headless"),
        QStringLiteral("--disable-background-networking"),
        QStringLiteral("--disable-component-update"),
        QStringLiteral("--disable-sync"),
        QStringLiteral("--disable-extensions"),
        QStringLiteral("--disable-quic"),
        QStringLiteral("--disable-dev-shm-usage"),
        QStringLiteral("--disable-crash-reporter"),
        QStringLiteral("--disable-breakpad"),
        QStringLiteral("--no-first-run"),
        QStringLiteral("--no-default-browser-check"),
        QStringLiteral("--mute-audio"),
        // A page that waits for the recorder must not be slowed as hidden.
        QStringLiteral("--disable-background-timer-throttling"),
        QStringLiteral("--disable-renderer-backgrounding"),
        // Nothing beyond the loopback: no name resolves, no proxy answers.
        QStringLiteral("--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1"),
        QStringLiteral("--proxy-server=127.0.0.1:9"),
        QStringLiteral("--proxy-bypass-list=<-loopback>;127.0.0.1"),
        QStringLiteral("--force-device-scale-factor=1"),
        QStringLiteral("--window-size=%1,%2").arg(window.width()).arg(window.height()),
        QStringLiteral("--user-data-dir=%1").arg(dir.filePath(QStringLiteral("profile"))),
        QStringLiteral("--disk-cache-dir=%1").arg(dir.filePath(QStringLiteral("cache"))),
        QStringLiteral("--crash-dumps-dir=%1").arg(dir.filePath(QStringLiteral("crash"))),
    };
    if (fullRenderer) {
        // WebGL 2 drawn on the processor, where no graphics card is used.
        arguments << QStringLiteral("--use-angle=swiftshader") << QStringLiteral("--enable-unsafe-swiftshader")
                  << QStringLiteral("--ignore-gpu-blocklist");
    } else {
        arguments << QStringLiteral("--disable-gpu");
    }
    // Chromium's sandbox cannot run as root; for anyone else it stays on.
    if (::geteuid() == 0)
        arguments << QStringLiteral("--no-sandbox");
    arguments << pageUrl;

    // TMPDIR is given relative to the folder Chromium runs in: its socket
    // lives there, and a socket's path may be 107 bytes at most, which a
    // deep work folder would pass.
    Tools::Command command{chromium, arguments, folder};
    command.environment = {
        QStringLiteral("HOME=") + dir.filePath(QStringLiteral("home")),
        QStringLiteral("TMPDIR=tmp"),
        QStringLiteral("XDG_CACHE_HOME=") + dir.filePath(QStringLiteral("cache")),
        QStringLiteral("XDG_CONFIG_HOME=") + dir.filePath(QStringLiteral("config")),
        QStringLiteral("XDG_DATA_HOME=") + dir.filePath(QStringLiteral("data")),
    };
    return command;
}

} // namespace Render
