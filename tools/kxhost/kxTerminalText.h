// Text from input files shown on a terminal: control characters in a client
// name or a message box could move the cursor, recolour or hide what follows.
#ifndef KXTERMINALTEXT_H
#define KXTERMINALTEXT_H

#include <QtCore/QString>

// Every C0 control, DEL and C1 control as a visible escape (\t, \r, \n, \xHH).
QString kxVisibleText(const QString &text);

#endif // KXTERMINALTEXT_H
