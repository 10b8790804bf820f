/// Why a detected unit got the plate definition it got: the plugin's own
/// matching function (definitions/PlateMatching.h) run on the unit's identity
/// and on the custom plates the configuration files give, and its rule put
/// in words, so a user learns why a custom plate did or did not apply. The
/// plugin itself only reports the definition it chose.
#pragma once

#include "definitions/CustomDefinitions.h"
#include "hostkit/DetectionLog.h"
#include "hostkit/HostRecords.h"

#include <string>
#include <vector>

namespace zorvahost {

/// A custom plate with the file it came from.
struct CustomPlateEntry
{
    ZORVA::CustomPlate plate;
    std::string file; ///< file name only, e.g. "CombinationPlatform.cfg"
};

/// The custom plates of the configuration files, in the plugin's order.
std::vector<CustomPlateEntry> CustomPlates(const std::vector<ZORVA::CustomPlateSource>& sources);

/// The definition the plugin's rules pick for `unit`, with the reason, e.g.
/// "standard model Pendra: the platform model contains \"Pendra\"".
struct MatchExplanation
{
    std::string definition; ///< "Pendra", a custom plate's name, or "Force plate"
    std::string reason;
};

MatchExplanation ExplainMatch(const hostkit::DetectedUnit& unit, const std::vector<CustomPlateEntry>& customPlates);

/// The plate device the plugin made for a unit (by instance name), or null.
const hostkit::OfferedDevice* PlateOf(const std::vector<hostkit::OfferedDevice>& plates,
                                      const hostkit::DetectedUnit& unit);

/// Length x width in millimetres as the plugin reads the unit's texts
/// (no number or 0 counts as 19.7 in).
std::string UnitSizeText(const hostkit::DetectedUnit& unit);

} // namespace zorvahost
