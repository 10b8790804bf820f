#pragma once

namespace MoldraDigitalDevice {
class IDefinitionRegistry;
}

namespace ZORVA {

/// A kind of device as the host is told about it.
class IDeviceDefinition
{
public:
    virtual ~IDeviceDefinition() {}
    /// Makes the registry calls that describe this definition. Host failures are
    /// released and never end the description.
    virtual void Describe(MoldraDigitalDevice::IDefinitionRegistry* registry, bool includeActions) = 0;
};

} // namespace ZORVA
