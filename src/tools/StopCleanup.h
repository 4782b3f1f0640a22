#pragma once

#include <QString>

// Files and folders to remove should the program be stopped (a signal, the
// window closing, Cancel): the hidden unfinished video, the WorkFolder.
namespace Tools {

// Registers a file or folder for removal should the program be stopped
// (a signal, the window closing); Forget drops it again once it is safe.
void RemoveOnStop(const QString &path);
void ForgetOnStop(const QString &path);
// Removes every registered path (they stay registered, so a second call
// catches what was written meanwhile). Callable from a thread other than the
// one doing the work.
void RemoveRegisteredOnStop();

} // namespace Tools
