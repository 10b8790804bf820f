/// Asking the host which parameters of a device changed.
#pragma once

#include "host/HostInterfaces.h"
#include "host/HostResultHandle.h"
#include "contract/Log.h"
#include "win32/ZorvaWin32.h"

#include <boost/format.hpp>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <utility>
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

/// Runs a piece of work on one thread at a time without a lock, so the work
/// may call into the host and the host call back into the plugin.
///
/// Serve runs `apply` until no call came in meanwhile: a caller that finds it
/// running (another thread, or the host calling back from inside a call
/// `apply` makes) counts itself and returns at once, and the running one runs
/// `apply` again. So the last run starts after the last call came in: what
/// `apply` reads then is the newest state.
class OneAtATime
{
public:
    template <typename Apply>
    void Serve(Apply&& apply)
    {
        if (pending.fetch_add(1) != 0)
            return;
        struct Abandon
        {
            std::atomic<unsigned int>& pending;
            bool served = false;
            ~Abandon()
            {
                // `apply` threw: what was asked for is dropped, later calls are served.
                if (!served)
                    pending.store(0);
            }
        } abandon{pending};
        unsigned int served = 0;
        do {
            served = pending.load();
            apply();
        } while (pending.fetch_sub(served) != served);
        abandon.served = true;
    }

private:
    std::atomic<unsigned int> pending{0};
};

/// A device's ParametersChanged calls, served one at a time (OneAtATime).
///
/// A call the host makes from inside Read's own calls, on the reading thread,
/// is covered by what they return and not counted: a host that asks again
/// from inside every query would otherwise keep the device reading for ever.
class ChangeRequests
{
public:
    template <typename Apply>
    void Serve(Apply&& apply)
    {
        if (reader.load() == GetCurrentThreadId())
            return;
        calls.Serve(std::forward<Apply>(apply));
    }

    /// The ids the host reports as changed since the last read (see
    /// ChangedParameterIds); for the thread that runs Serve.
    std::vector<std::uint64_t> Read(MoldraDigitalDevice::IDeviceHost& services, MoldraDigitalDevice::IPluginHost* host)
    {
        struct Reading
        {
            std::atomic<DWORD>& reader;
            explicit Reading(std::atomic<DWORD>& r) : reader(r) { reader.store(GetCurrentThreadId()); }
            ~Reading() { reader.store(0); }
        } reading(reader);
        return ChangedParameterIds(services, changeCursor, host);
    }

private:
    OneAtATime calls;
    /// The thread inside Read's calls to the host, or 0.
    std::atomic<DWORD> reader{0};
    /// Passed as the cursor of GetChangedParameters; the host advances it.
    unsigned int changeCursor = 1;
};

} // namespace ZORVA
