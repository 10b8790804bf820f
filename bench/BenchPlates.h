#pragma once

#include "driver/VZORVADriverService.h"
#include "host/HostInterfaces.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zorvabench {

/// A plate's host services that keep nothing: every call answers at once,
/// PushSamples counts. Called on the plugin's worker thread only.
class SilentServices : public MoldraDigitalDevice::IDeviceHost
{
public:
    MoldraDigitalDevice::HostResult* GetParameterValue(MoldraDigitalDevice::IParameterValue*, const char*,
                                                       const char*) override
    {
        return nullptr;
    }
    MoldraDigitalDevice::HostResult* SetParameterValue(MoldraDigitalDevice::IParameterValue*, const char*,
                                                       const char*) override
    {
        return nullptr;
    }
    unsigned int GetChangedParameterCount() override { return 0; }
    MoldraDigitalDevice::HostResult* GetChangedParameters(unsigned int*, std::uint64_t*, unsigned int* count) override
    {
        if (count)
            *count = 0;
        return nullptr;
    }
    MoldraDigitalDevice::HostResult* PushSamples(unsigned int, std::int64_t, int, const int*, int, const float*,
                                                 int) override
    {
        ++pushes;
        return nullptr;
    }
    void NotifyChanged() override {}

    std::uint64_t pushes = 0;
};

/// `count` units as a detection reports them: amplifiers A0, A1, ... of
/// product type 100 on Pendra-600 plates P0, P1, ..., in device order.
inline std::vector<ZORVA::VZORVADriverService::VDeviceInfo> PendraUnits(unsigned int count)
{
    std::vector<ZORVA::VZORVADriverService::VDeviceInfo> units(count);
    for (unsigned int k = 0; k < count; ++k) {
        units[k].productType = 100;
        units[k].amplifierSerial = "A" + std::to_string(k);
        units[k].platformModel = "Pendra-600";
        units[k].platformSerial = "P" + std::to_string(k);
        units[k].originOffsets = {0.12f, -0.08f, -1.61f};
        units[k].deviceIndex = static_cast<int>(k);
    }
    return units;
}

} // namespace zorvabench
