// Marker texts. Internal linkage: one copy per including source file.
#ifndef KXMARKERCONSTANTS_H
#define KXMARKERCONSTANTS_H

#include "kxSharedLayout.h"

namespace {
const _kxString8_allSize<50> kUpdateMarker("?update?");
const _kxString8_allSize<50> kNoProjectRootAccessMarker("!NoProjectRootAccess!");
} // namespace

#endif // KXMARKERCONSTANTS_H
