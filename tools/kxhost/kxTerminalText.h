// Text from input files shown on a terminal: control characters in a client
// name or a message box could move the cursor, recolour or hide what follows.
#ifndef KXTERMINALTEXT_H
#define KXTERMINALTEXT_H

#include <QtCore/QString>

// C0 controls, DEL and C1 controls: on a terminal they act instead of showing,
// in a file name they cut or hide the name (a zero ends it for the system).
bool kxIsControl(char16_t unit) noexcept;

// Every control as a visible escape (\t, \r, \n, \xHH).
QString kxVisibleText(const QString &text);

#endif // KXTERMINALTEXT_H
