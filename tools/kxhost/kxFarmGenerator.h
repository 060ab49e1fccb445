// Farms made up on the spot, to try client tables up to their full size.
#ifndef KXFARMGENERATOR_H
#define KXFARMGENERATOR_H

#include "kxFarm.h"

namespace kx::host {

// `count` (as typed) clients named prefix01, prefix02, ... (digits enough for
// the count), all boxes empty. Throws Error naming the option for a bad
// count, log folder or prefix.
Farm generateFarm(const QString &countText, const QString &prefix, const QString &logFolder);

} // namespace kx::host

#endif // KXFARMGENERATOR_H
