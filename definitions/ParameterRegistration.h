#pragma once

#include "host/HostInterfaces.h"
#include "host/HostResultHandle.h"
#include "values/VParameter.h"

namespace ZORVA {

/// Hands one parameter of a definition to the host's registry; a refusal is
/// logged by the result handle and registration goes on.
template <typename V>
void AddParameter(MoldraDigitalDevice::IDefinitionRegistry* registry, VParameter<V>& parameter)
{
    MoldraDigitalDevice::HostResultHandle(
        registry->AddParameter(parameter.Name.c_str(), parameter.DisplayName.c_str(), parameter.Description.c_str(),
                               parameter.Group.c_str(), parameter.DefinitionFlag, &parameter.Value, parameter.Id));
}

} // namespace ZORVA
