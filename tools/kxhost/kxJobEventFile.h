// A job event file: the job events kxhost hands to pNotify, in order.
#ifndef KXJOBEVENTFILE_H
#define KXJOBEVENTFILE_H

#include <QtCore/QString>

#include <array>
#include <vector>

struct KxJobEvent
{
    std::array<unsigned char, 8> id{};
    int progressCode = 0;
    QString scene;
    QString image;
    QString imageExtension;
    QString infoText;
    QString recipients;
};

// Throws KxInputError on any bad input; nothing is cut to fit.
std::vector<KxJobEvent> kxReadJobEventFile(const QString &filePath);

#endif // KXJOBEVENTFILE_H
