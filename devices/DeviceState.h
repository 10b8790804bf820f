/// What a device reports to the host's GetState poll.
#pragma once

#include "host/IDevice.h"

#include <iosfwd>

namespace ZORVA {

/// The same for the shared device and the plates. The host's GetState takes
/// the underlying integer.
enum class DeviceState : int
{
    Armed = 0,     ///< armed: start requested, acquisition not yet reported
    Acquiring = 1, ///< the driver reported acquisition running
    Stopped = 2    ///< stopped, or not armed
};

static_assert(static_cast<int>(DeviceState::Armed) == MoldraDigitalDevice::DeviceStateArmed &&
                  static_cast<int>(DeviceState::Acquiring) == MoldraDigitalDevice::DeviceStateAcquiring &&
                  static_cast<int>(DeviceState::Stopped) == MoldraDigitalDevice::DeviceStateStopped,
              "the host reads these values");

/// The enumerator's name ("Armed"), or "DeviceState(7)" for another value.
std::ostream& operator<<(std::ostream& out, DeviceState state);

} // namespace ZORVA
