#include "jobEvent.h"

// Header constants held by this unit: built at load, not read here.
#include "kxLineBreakConstants.h"

#include "jobIDText.h"
#include "kxStringField.h"
#include "records/kxJobRecord.h"

kx::JobEvent kx::readJobId(const _kxJob *job)
{
    JobEvent event;
    event.idText = jobIDTextOfJob(job);
    return event;
}

void kx::readJobFields(const _kxJob *job, JobEvent &event)
{
    event.progressCode = readAt<quint8>(job, Job::kProgressCodeOffset);
    // Each count is read whole, up to the room before the next field.
    event.imageExtension =
        stringField<Job::ImageExtensionField>(job, Job::kImageExtensionOffset).text(Job::kImageExtensionMaxUnits);
    event.image = stringField<Job::ImageField>(job, Job::kImageOffset).text(Job::kImageMaxUnits);
    event.scene = stringField<Job::SceneField>(job, Job::kSceneOffset).text(Job::kSceneMaxUnits);
    event.infoText = stringField<Job::InfoTextField>(job, Job::kInfoTextOffset).text(Job::kInfoTextMaxUnits);
    event.recipients = stringField<Job::RecipientListField>(job, Job::kRecipientListOffset).text();
}
