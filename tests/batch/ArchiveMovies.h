#pragma once

#include <QString>
#include <QStringList>

// Archives of small movies for the batch tests, the cluster lane and the
// batch benchmark: each a real SWF of its own (one JPEG picture of its own
// colour, so no two are alike), converted in a fraction of a second.
namespace ArchiveMovies {

// Writes `count` movies named movie-NNNN.swf into `folder`, spread over
// `subfolders` folders part-K/ when above 1, and returns their paths in
// number order; empty when one cannot be written.
QStringList WriteLightMovies(const QString &folder, int count, int subfolders = 1);

// Writes one light movie with `pictures` pictures at `path`; false when it
// cannot be written.
bool WriteLightMovie(const QString &path, int seed, int pictures = 1);

} // namespace ArchiveMovies
