// A job event file: the job events kxhost hands to pNotify, in order.
#ifndef KXJOBEVENTFILE_H
#define KXJOBEVENTFILE_H

#include <QtCore/QString>

#include <array>
#include <vector>

namespace kx::host {

struct JobEvent
{
    std::array<unsigned char, 8> id{};
    int progressCode = 0;
    QString scene;
    QString image;
    QString imageExtension;
    QString infoText;
    QString recipients;
};

// Throws InputError on any bad input; nothing is cut to fit.
std::vector<JobEvent> readJobEventFile(const QString &filePath);

} // namespace kx::host

#endif // KXJOBEVENTFILE_H
