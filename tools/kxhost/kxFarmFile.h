// Reading a farm file and writing its message boxes back.
#ifndef KXFARMFILE_H
#define KXFARMFILE_H

#include "kxFarm.h"

#include <QtCore/QFileDevice>
#include <QtCore/QStringList>

namespace kx::host {

// Throws InputError on any bad input; nothing is cut to fit.
Farm readFarmFile(const QString &filePath);

// The rules of a client's name beside its capacity: Latin-1, which the record
// field stores (the position of the first character outside it, or -1), and
// no ";", which splits a recipient list, so such a name could never be reached.
int firstNonLatin1(const QString &text);
bool hasListSeparator(const QString &name, QString *problem);

// The farm's JSON object with each client's message box replaced by boxes[i].
QJsonObject farmDocument(const Farm &farm, const QStringList &boxes);

// Replaces filePath's content in one step (temporary file, written, flushed and
// synced to disk, then renamed over it): on any failure the old file stays as it
// was. Returns false with errorMessage naming the file and the cause.
bool writeFarmFile(const QString &filePath, const QJsonObject &document, QString *errorMessage);

// Forces what was written to file onto the disk; false with the cause.
bool syncToDisk(QFileDevice &file, QString *cause);

// Throws InputError when a log file of the farm is the farm file, its lock
// file or the job event file: the log would be appended into an input.
void refuseLogFilesOverInputs(const Farm &farm, const QString &jobFilePath);

// The lock file that serialises runs on one farm file, beside it.
QString farmLockFilePath(const QString &farmFilePath);

} // namespace kx::host

#endif // KXFARMFILE_H
