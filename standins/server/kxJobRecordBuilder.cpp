#include "kxJobRecordBuilder.h"

#include <cstring>

namespace kx::server {

JobRecordBuilder::JobRecordBuilder()
    : m_job(new _kxJob())
{
    std::memset(static_cast<void *>(m_job.get()), 0, sizeof(_kxJob));
    int i = 0;
    for (const kx::Job::LayoutMarker &marker : kx::Job::kLayoutMarkers) {
        m_job->layoutMarkers[i++] = marker.code;
        m_job->layoutMarkers[i++] = 1;
    }
}

void JobRecordBuilder::setId(const kx::JobId &id) noexcept
{
    std::memcpy(m_job->id, id.data(), id.size());
}

void JobRecordBuilder::setProgressCode(quint8 code) noexcept
{
    m_job->progressCode = code;
}

void JobRecordBuilder::setScene(const QString &text) noexcept
{
    kx::stringField<kx::Job::SceneField>(m_job.get(), kx::Job::kSceneOffset).assign(text);
}

void JobRecordBuilder::setImage(const QString &text) noexcept
{
    kx::stringField<kx::Job::ImageField>(m_job.get(), kx::Job::kImageOffset).assign(text);
}

void JobRecordBuilder::setImageExtension(const QString &text) noexcept
{
    kx::stringField<kx::Job::ImageExtensionField>(m_job.get(), kx::Job::kImageExtensionOffset).assign(text);
}

void JobRecordBuilder::setInfoText(const QString &text) noexcept
{
    kx::stringField<kx::Job::InfoTextField>(m_job.get(), kx::Job::kInfoTextOffset).assign(text);
}

void JobRecordBuilder::setRecipients(const QString &text) noexcept
{
    kx::stringField<kx::Job::RecipientListField>(m_job.get(), kx::Job::kRecipientListOffset).assign(text);
}

} // namespace kx::server
