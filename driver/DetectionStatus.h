/// How a detection's library start-up went (VDllInitInfo::status).
#pragma once

#include <iosfwd>

namespace ZORVA {

enum class DetectionStatus : int
{
    SetupUnchanged = 0, ///< started; the set-up is the one last saved (set-up check code 1)
    Started = 1,        ///< started; any other set-up check code
    TimedOut = 2        ///< the start-up did not complete in time
};

/// The enumerator's name ("TimedOut"), or "DetectionStatus(7)" for another value.
std::ostream& operator<<(std::ostream& out, DetectionStatus status);

} // namespace ZORVA
