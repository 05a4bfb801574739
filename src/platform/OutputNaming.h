// Output file names: the input's name and extension in the output folder, numbered "(0)", "(1)", ...
// before the extension while the name is taken on disk or by an earlier output of the same batch.
#pragma once

#include <QSet>
#include <QString>

namespace quarnix {

// The part of a path after its last "/".
QString FileNameOf(const QString& path);

// folder + separator + name of the input; when that exists or is in takenInBatch, the first of
// name(0).ext, name(1).ext, ... that is free. The numbering splits at the last "." of the whole candidate.
QString MakeOutputPath(const QString& folder, const QString& inputPath,
                       const QSet<QString>& takenInBatch = {});

} // namespace quarnix
