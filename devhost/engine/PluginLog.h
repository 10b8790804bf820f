/// The plugin's log lines as the development host shows them: "warning  text".
#pragma once

#include "hostkit/HostRecords.h"

#include <string>

namespace zorvahost {

/// "trace", "info", "warning", "error" for the plugin's levels; "log" for another value.
const char* LevelName(ZORVA::LogLevel level);
/// A log line as the commands print it: its level's name padded to 8, then the text.
std::string LogText(const hostkit::LogLine& line);

} // namespace zorvahost
