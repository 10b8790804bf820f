#include "DetectionStatus.h"

#include <ostream>

namespace ZORVA {

std::ostream& operator<<(std::ostream& out, DetectionStatus status)
{
    switch (status) {
    case DetectionStatus::SetupUnchanged: return out << "SetupUnchanged";
    case DetectionStatus::Started: return out << "Started";
    case DetectionStatus::TimedOut: return out << "TimedOut";
    }
    return out << "DetectionStatus(" << static_cast<int>(status) << ")";
}

} // namespace ZORVA
