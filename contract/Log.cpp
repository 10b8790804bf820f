#include "Log.h"

#include <boost/format.hpp>

#include <ostream>

namespace ZORVA {

void Log(MoldraDigitalDevice::IPluginHost* host, LogLevel level, const char* text)
{
    if (host)
        host->Log(text, static_cast<int>(level));
}

void Log(MoldraDigitalDevice::IPluginHost* host, LogLevel level, const std::string& text)
{
    Log(host, level, text.c_str());
}

void Log(MoldraDigitalDevice::IPluginHost* host, LogLevel level, const boost::format& text)
{
    if (host)
        Log(host, level, text.str());
}

std::ostream& operator<<(std::ostream& out, LogLevel level)
{
    switch (level) {
    case LogLevel::Trace: return out << "Trace";
    case LogLevel::Information: return out << "Information";
    case LogLevel::Warning: return out << "Warning";
    case LogLevel::DetectionFailed: return out << "DetectionFailed";
    }
    return out << "LogLevel(" << static_cast<int>(level) << ")";
}

} // namespace ZORVA
