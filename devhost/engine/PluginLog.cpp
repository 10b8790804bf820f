#include "devhost/engine/PluginLog.h"

#include "devhost/engine/Text.h"

namespace zorvahost {

const char* LevelName(ZORVA::LogLevel level)
{
    switch (level) {
    case ZORVA::LogLevel::Trace: return "trace";
    case ZORVA::LogLevel::Information: return "info";
    case ZORVA::LogLevel::Warning: return "warning";
    case ZORVA::LogLevel::DetectionFailed: return "error";
    }
    return "log";
}

std::string LogText(const hostkit::LogLine& line) { return Pad(LevelName(line.Level()), 8) + " " + line.text; }

} // namespace zorvahost
