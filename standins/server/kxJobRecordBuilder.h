// A job record as the server lays it out: valid layout markers, the rest zero
// until set.
#ifndef KXJOBRECORDBUILDER_H
#define KXJOBRECORDBUILDER_H

#include "kxJobId.h"
#include "kxNotifyContract.h"

#include <QtCore/QString>

#include <memory>

namespace kx::server {

class JobRecordBuilder
{
public:
    JobRecordBuilder();

    _kxJob *record() noexcept { return m_job.get(); }
    unsigned char *bytes() noexcept { return reinterpret_cast<unsigned char *>(m_job.get()); }

    void setId(const kx::JobId &id) noexcept;
    void setId(quint8 letterByte, quint32 number) noexcept { setId(kx::makeJobId(letterByte, number)); }
    void setProgressCode(quint8 code) noexcept;
    // Texts are cut to their field's capacity.
    void setScene(const QString &text) noexcept;
    void setImage(const QString &text) noexcept;
    void setImageExtension(const QString &text) noexcept;
    void setInfoText(const QString &text) noexcept;
    void setRecipients(const QString &text) noexcept;

private:
    std::unique_ptr<_kxJob> m_job;
};

} // namespace kx::server

#endif // KXJOBRECORDBUILDER_H
