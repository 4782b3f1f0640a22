#pragma once

#include <QUrl>

namespace App {

// Opens a folder, file or web address with the desktop's default handler;
// the window passes it to Tools::ShellOpen.
bool DesktopOpener(const QUrl &url);

} // namespace App
