#include "kxJobRecordBuilder.h"

#include "kxStringField.h"

namespace kx::server {

JobRecordBuilder::JobRecordBuilder()
    : m_job(new _kxJob())
{
    for (const kx::Job::LayoutMarker &marker : kx::Job::kLayoutMarkers) {
        kx::writeAt<quint16>(m_job.get(), marker.codeOffset, marker.code);
        kx::writeAt<quint16>(m_job.get(), marker.codeOffset + 2, 1);
    }
}

void JobRecordBuilder::setId(const kx::JobId &id) noexcept
{
    kx::writeAt(m_job.get(), kx::Job::kIdOffset, id);
}

void JobRecordBuilder::setProgressCode(quint8 code) noexcept
{
    kx::writeAt(m_job.get(), kx::Job::kProgressCodeOffset, code);
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
