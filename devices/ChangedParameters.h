/// Asking the host which parameters of a device changed.
#pragma once

#include "host/HostInterfaces.h"
#include "host/HostResultHandle.h"
#include "plugin/Log.h"

#include <boost/format.hpp>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace ZORVA {

/// Most ids the plugin makes room for in one call (512 KiB): far more than a
/// host can have changed between two calls, far less than a count the host
/// got wrong can ask for.
const unsigned int MaxChangedParameterIds = 65536;

/// The ids the host reports as changed since `cursor` (which it advances), in
/// its order. Room is made for as many ids as the host announces; a count
/// beyond that room is cut to it. An announced count above
/// MaxChangedParameterIds is not asked for at all (the host would write that
/// many): it is logged at level 2 through `host` and no id is returned.
inline std::vector<std::uint64_t> ChangedParameterIds(MoldraDigitalDevice::IDeviceHost& services, unsigned int& cursor,
                                                      MoldraDigitalDevice::IPluginHost* host)
{
    const unsigned int announced = services.GetChangedParameterCount();
    if (announced > MaxChangedParameterIds) {
        Log(host, LogLevel::Warning,
            boost::format("Host announced %d changed parameters, more than %d; none read") % announced %
                MaxChangedParameterIds);
        return std::vector<std::uint64_t>();
    }
    std::vector<std::uint64_t> ids(announced, 0);
    unsigned int count = 0;
    MoldraDigitalDevice::HostResultHandle(
        services.GetChangedParameters(&cursor, ids.empty() ? nullptr : ids.data(), &count));
    ids.resize(std::min<std::size_t>(count, ids.size()));
    return ids;
}

} // namespace ZORVA
