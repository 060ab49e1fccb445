// Reading a farm file and writing its message boxes back.
#ifndef KXFARMFILE_H
#define KXFARMFILE_H

#include "kxFarm.h"

#include <QtCore/QStringList>

namespace kx::host {

// Both throw Error on any bad input; nothing is cut to fit.
Farm readFarmFile(const QString &filePath);
Farm parseFarm(const QString &filePath, const QByteArray &bytes);

// The rules of a client's name beside its capacity: Latin-1, which the record
// field stores (the position of the first character outside it, or -1), and
// no ";", which splits a recipient list, so such a name could never be reached.
int firstNonLatin1(const QString &text);
QString listSeparatorProblem(const QString &name); // empty when the name has none

// The farm's JSON object with each client's message box replaced by boxes[i].
Json farmDocument(const Farm &farm, const QStringList &boxes);

// Replaces the file filePath names (a symbolic link's target) in one step: a
// temporary file beside it, written, flushed and synced to disk, given the old
// file's owner, group and mode, then renamed over it. On any failure the old
// file stays as it was; throws Error (status 1) naming the file and the cause.
void writeFarmFile(const QString &filePath, const Json &document);

// A save replaces the file by a new one, which would leave the farm's other
// names (hard links) with the old boxes: such a farm is refused (status 2).
void refuseReplacingHardLinkedFile(const QString &filePath);

// Throws Error (status 2) when a log file of the farm is not a regular file (where it
// exists), is another of its log files, or is the farm file, its lock file or the job
// event file, by any path: the log would be appended into an input.
void refuseLogFilesOverInputs(const Farm &farm, const QString &jobFilePath);

// The file a path ends at, symbolic links followed, made absolute; for a file that does
// not exist yet, its folder's real path and its name.
QString realFilePath(const QString &path);
// The lock file that serialises runs on one farm file, beside the file itself.
QString farmLockFilePath(const QString &farmFilePath);

} // namespace kx::host

#endif // KXFARMFILE_H
