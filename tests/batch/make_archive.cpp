// Writes an archive of light movies for the cluster lane and the batch
// benchmark: make_archive FOLDER COUNT [SUBFOLDERS].
#include "ArchiveMovies.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    bool ok = false;
    const int count = arguments.value(2).toInt(&ok);
    if (arguments.size() < 3 || !ok || count < 1) {
        std::fputs("usage: make_archive FOLDER COUNT [SUBFOLDERS]\n", stderr);
        return 2;
    }
    const int subfolders = arguments.size() > 3 ? arguments.at(3).toInt() : 1;
    return ArchiveMovies::WriteLightMovies(arguments.at(1), count, subfolders).isEmpty() ? 1 : 0;
}
