// Text from input files shown on a terminal: control characters in a client
// name or a message box could move the cursor, recolour or hide what follows.
#ifndef KXTERMINALTEXT_H
#define KXTERMINALTEXT_H

#include <QtCore/QString>

namespace kx::host {

// C0 controls, DEL and C1 controls: on a terminal they act instead of showing,
// in a file name they cut or hide the name (a zero ends it for the system).
bool isControl(char16_t unit) noexcept;

// Every control as a visible escape (\t, \r, \n, \xHH).
QString visibleText(const QString &text);

} // namespace kx::host

#endif // KXTERMINALTEXT_H
