/// Output shared by the commands: log lines, the configuration files in
/// brief, and the units of a detection with their plates.
#pragma once

#include "definitions/CustomDefinitions.h"
#include "devhost/engine/BenchControl.h"
#include "devhost/program/CommandLine.h"
#include "hostkit/DetectionLog.h"
#include "devhost/engine/PlateMatch.h"
#include "hostkit/Session.h"

#include <string>
#include <vector>

namespace zorvahost {

/// "trace", "info", "warning", "error" for the plugin's levels; "log" for another value.
const char* LevelName(ZORVA::LogLevel level);
/// A log line as the commands print it: "warning  text".
std::string LogText(const hostkit::LogLine& line);

/// Loads the plugin named by the options (or the one beside the program);
/// prints why not and returns false when it cannot be used.
bool LoadPlugin(hostkit::PluginSession& session, const Options& options);

/// Hands the shared configuration device to the plugin and waits for the
/// detection it starts. On failure prints why and returns false.
bool DetectHardware(hostkit::PluginSession& session, hostkit::DetectionReport& report);

/// The configuration files in a few lines: which give custom plates, which
/// are missing, which have errors (check-config tells more).
void PrintConfigurationBrief(const std::vector<ZORVA::CustomPlateSource>& sources);

/// The units of a detection and the plate device each became. `brief`: one
/// line per unit; otherwise identity, origin, size and the reason of the match.
void PrintUnits(const hostkit::PluginSession& session, const hostkit::DetectionReport& report,
                const std::vector<CustomPlateEntry>& customPlates, const BenchControl& bench, bool brief);

} // namespace zorvahost
