/// How a signal conditioner with its platform is known: the instance name a
/// host shows for its plate, and the identity key by which the plugin finds
/// the plate again at the next detection (and a tool matches a unit to it).
#pragma once

#include <string>
#include <utility>

namespace ZORVA {

/// The amplifier serial followed directly by the platform serial ("A1" and
/// "P7" give "A1P7").
inline std::string InstanceName(const std::string& amplifierSerial, const std::string& platformSerial)
{
    return amplifierSerial + platformSerial;
}

/// (amplifier model + serial, platform model + serial), compared as a pair
/// of byte strings.
typedef std::pair<std::string, std::string> IdentityKey;

inline IdentityKey UnitIdentityKey(const std::string& amplifierModel, const std::string& amplifierSerial,
                                   const std::string& platformModel, const std::string& platformSerial)
{
    return IdentityKey(amplifierModel + amplifierSerial, platformModel + platformSerial);
}

} // namespace ZORVA
