/// The plugin's log levels, and its one way of logging through the host.
#pragma once

#include "host/HostInterfaces.h"

#include <boost/format/format_fwd.hpp>

#include <iosfwd>
#include <string>

namespace ZORVA {

/// The host's Log takes the underlying integer.
enum class LogLevel : int
{
    Trace = 0,          ///< every USB-library call with its arguments and result, and progress
    Information = 1,    ///< what the plugin found and did
    Warning = 2,        ///< warnings and failures the plugin survives
    DetectionFailed = 3 ///< a hardware detection that failed
};

/// `text` at `level` through `host`'s Log; nothing without a host. Allocates
/// nothing for a `const char*` text (the data path logs so).
void Log(MoldraDigitalDevice::IPluginHost* host, LogLevel level, const char* text);
void Log(MoldraDigitalDevice::IPluginHost* host, LogLevel level, const std::string& text);
void Log(MoldraDigitalDevice::IPluginHost* host, LogLevel level, const boost::format& text);

/// The enumerator's name ("Warning"), or "LogLevel(7)" for another value.
std::ostream& operator<<(std::ostream& out, LogLevel level);

} // namespace ZORVA
