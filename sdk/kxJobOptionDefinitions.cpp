#include "kxJobOptionDefinitions.h"

const JobOptionDefinition *kx::jobOptionDefinitionTable() noexcept
{
    return jobOptionDefinitions;
}
