// Farms made up on the spot, to try client tables up to their full size.
#ifndef KXFARMGENERATOR_H
#define KXFARMGENERATOR_H

#include "kxFarm.h"

// `count` (as typed) clients named prefix01, prefix02, ... (digits enough for
// the count), all boxes empty. Throws KxInputError naming the option for a bad
// count, log folder or prefix.
KxFarm kxGenerateFarm(const QString &countText, const QString &prefix, const QString &logFolder);

#endif // KXFARMGENERATOR_H
