/// What the commands print of a session's configuration and detection: the
/// configuration files in brief, and the units of a detection with their
/// plates.
#pragma once

#include "definitions/CustomDefinitions.h"
#include "devhost/engine/BenchControl.h"
#include "hostkit/DetectionLog.h"
#include "devhost/engine/PlateMatch.h"
#include "hostkit/Session.h"

#include <string>
#include <vector>

namespace zorvahost {

/// The configuration files in a few lines: which give custom plates, which
/// are missing, which have errors (check-config tells more).
void PrintConfigurationBrief(const std::vector<ZORVA::CustomPlateSource>& sources);

/// The units of a detection and the plate device each became. `brief`: one
/// line per unit; otherwise identity, origin, size and the reason of the match.
void PrintUnits(const hostkit::PluginSession& session, const hostkit::DetectionReport& report,
                const std::vector<CustomPlateEntry>& customPlates, const BenchControl& bench, bool brief);

} // namespace zorvahost
