// Reading a farm file and writing its message boxes back.
#ifndef KXFARMFILE_H
#define KXFARMFILE_H

#include "kxFarm.h"

#include <QtCore/QStringList>

// Throws KxInputError on any bad input; nothing is cut to fit.
KxFarm kxReadFarmFile(const QString &filePath);

// The farm's JSON object with each client's message box replaced by boxes[i].
QJsonObject kxFarmDocument(const KxFarm &farm, const QStringList &boxes);

// Replaces filePath's content in one step (temporary file, then rename): on a
// failure the old file stays whole. Returns false with errorMessage set.
bool kxWriteFarmFile(const QString &filePath, const QJsonObject &document, QString *errorMessage);

#endif // KXFARMFILE_H
