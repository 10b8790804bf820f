/// Asking the host which parameters of a device changed.
#pragma once

#include "host/HostInterfaces.h"
#include "host/HostResultHandle.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace ZORVA {

/// The ids the host reports as changed since `cursor` (which it advances), in
/// its order. Room is made for as many ids as the host announces; a count
/// beyond that room is cut to it.
inline std::vector<std::uint64_t> ChangedParameterIds(MoldraDigitalDevice::IDeviceHost& services,
                                                      unsigned int& cursor)
{
    std::vector<std::uint64_t> ids(services.GetChangedParameterCount(), 0);
    unsigned int count = 0;
    MoldraDigitalDevice::HostResultHandle(
        services.GetChangedParameters(&cursor, ids.empty() ? nullptr : ids.data(), &count));
    ids.resize(std::min<std::size_t>(count, ids.size()));
    return ids;
}

} // namespace ZORVA
