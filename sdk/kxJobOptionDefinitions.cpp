#include "kxJobOptionDefinitions.h"

// Header constants held by this unit: built at load, not read here.
#include "kxLineBreakConstants.h"

const JobOptionDefinition *kx::jobOptionDefinitionTable() noexcept
{
    return jobOptionDefinitions;
}
