// Farms made up on the spot, to try client tables up to their full size.
#ifndef KXFARMGENERATOR_H
#define KXFARMGENERATOR_H

#include "kxFarm.h"

// `count` clients named prefix01, prefix02, ... (digits enough for the count),
// all boxes empty. Throws KxInputError naming the option for a bad count or prefix.
KxFarm kxGenerateFarm(qint64 count, const QString &prefix, const QString &logFolder);

#endif // KXFARMGENERATOR_H
