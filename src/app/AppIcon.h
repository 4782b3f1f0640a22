#pragma once

#include <QIcon>

namespace App {

// Tarnwick's icon at every size the build renders (16 to 256 pixels), for
// the window, the task bar and the message boxes.
QIcon ApplicationIcon();

} // namespace App
