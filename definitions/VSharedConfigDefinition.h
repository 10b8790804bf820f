/// Definition of the plugin-wide device that carries the settings common to
/// all signal conditioners and the zero and detect actions.
#pragma once

#include "IDeviceDefinition.h"
#include "contract/StandardRates.h"
#include "values/VParameter.h"

#include <string>

namespace ZORVA {

class VSharedConfigParameterHolder
{
public:
    VSharedConfigParameterHolder();

    VParameter<MoldraDigitalDevice::IParameterValueEnum> SyncMode;          ///< id 0
    VParameter<MoldraDigitalDevice::IParameterValueEnum> SampleRate;        ///< id 1
    VParameter<MoldraDigitalDevice::IParameterValueDouble> DataThreshold;   ///< id 2, newtons
    VParameter<MoldraDigitalDevice::IParameterValueAction> BroadcastZero;   ///< id 3
    VParameter<MoldraDigitalDevice::IParameterValueAction> ScanForHardware; ///< id 5
};

class VSharedConfigDefinition : public IDeviceDefinition, public VSharedConfigParameterHolder
{
public:
    VSharedConfigDefinition();
    VSharedConfigDefinition(const VSharedConfigDefinition&) = default;
    VSharedConfigDefinition& operator=(const VSharedConfigDefinition&) = default;
    ~VSharedConfigDefinition() override {}

    /// includeActions is ignored: both actions are always registered.
    void Describe(MoldraDigitalDevice::IDefinitionRegistry* registry, bool includeActions) override;

    std::string Name;
    std::string Version;
    std::string Manufacturer;
    std::string Description;
};

} // namespace ZORVA
