// The letter constant. Internal linkage: one copy per including source file.
#ifndef KXLETTERCONSTANTS_H
#define KXLETTERCONSTANTS_H

#include "kxSharedLayout.h"

namespace {
const _kxString8_allSize<10> kLetterC("C");
} // namespace

#endif // KXLETTERCONSTANTS_H
