// A job event file: the job events kxhost hands to pNotify, in order.
#ifndef KXJOBEVENTFILE_H
#define KXJOBEVENTFILE_H

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include <array>
#include <vector>

namespace kx::host {

struct JobEvent
{
    std::array<unsigned char, 8> id{};
    QString idText; // as the file gives it: the job ID text, or "bytes " and the bytes
    int progressCode = 0;
    QString scene;
    QString image;
    QString imageExtension;
    QString infoText;
    QString recipients;
};

// Both throw Error on any bad input; nothing is cut to fit.
std::vector<JobEvent> readJobEventFile(const QString &filePath);
std::vector<JobEvent> parseJobEvents(const QString &filePath, const QByteArray &bytes);

} // namespace kx::host

#endif // KXJOBEVENTFILE_H
