#include "kxJobRecordBuilder.h"

#include <cstring>

KxJobRecordBuilder::KxJobRecordBuilder()
    : m_job(new _kxJob())
{
    std::memset(static_cast<void *>(m_job.get()), 0, sizeof(_kxJob));
    int i = 0;
    for (const kx::Job::LayoutMarker &marker : kx::Job::kLayoutMarkers) {
        m_job->layoutMarkers[i++] = marker.code;
        m_job->layoutMarkers[i++] = 1;
    }
}

void KxJobRecordBuilder::setId(const kx::JobId &id) noexcept
{
    std::memcpy(m_job->id, id.data(), id.size());
}

void KxJobRecordBuilder::setProgressCode(quint8 code) noexcept
{
    m_job->progressCode = code;
}

void KxJobRecordBuilder::setScene(const QString &text) noexcept
{
    kx::stringField<kx::Job::SceneField>(m_job.get(), kx::Job::kSceneOffset).assign(text);
}

void KxJobRecordBuilder::setImage(const QString &text) noexcept
{
    kx::stringField<kx::Job::ImageField>(m_job.get(), kx::Job::kImageOffset).assign(text);
}

void KxJobRecordBuilder::setImageExtension(const QString &text) noexcept
{
    kx::stringField<kx::Job::ImageExtensionField>(m_job.get(), kx::Job::kImageExtensionOffset).assign(text);
}

void KxJobRecordBuilder::setInfoText(const QString &text) noexcept
{
    kx::stringField<kx::Job::InfoTextField>(m_job.get(), kx::Job::kInfoTextOffset).assign(text);
}

void KxJobRecordBuilder::setRecipients(const QString &text) noexcept
{
    kx::stringField<kx::Job::RecipientListField>(m_job.get(), kx::Job::kRecipientListOffset).assign(text);
}
