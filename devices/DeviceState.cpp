#include "DeviceState.h"

#include <ostream>

namespace ZORVA {

std::ostream& operator<<(std::ostream& out, DeviceState state)
{
    switch (state) {
    case DeviceState::Armed: return out << "Armed";
    case DeviceState::Acquiring: return out << "Acquiring";
    case DeviceState::Stopped: return out << "Stopped";
    }
    return out << "DeviceState(" << static_cast<int>(state) << ")";
}

} // namespace ZORVA
