#include "devhost/DetectionLog.h"

#include <cstdio>
#include <cstdlib>

namespace zorvahost {

namespace {

/// A whole decimal integer; false for anything else.
bool ParseInt(const std::string& text, int& value)
{
    if (text.empty() || text.size() > 11)
        return false;
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0')
        return false;
    value = static_cast<int>(parsed);
    return true;
}

/// "(x, y, z)" as the plugin formats three floats.
bool ParseTriple(const std::string& text, double out[3])
{
    double x = 0, y = 0, z = 0;
    char close = 0;
    if (std::sscanf(text.c_str(), "(%lf, %lf, %lf%c", &x, &y, &z, &close) != 4 || close != ')')
        return false;
    out[0] = x;
    out[1] = y;
    out[2] = z;
    return true;
}

} // namespace

bool StartsWith(const std::string& text, const std::string& prefix, std::string* rest)
{
    if (text.compare(0, prefix.size(), prefix) != 0)
        return false;
    if (rest)
        *rest = text.substr(prefix.size());
    return true;
}

void DetectionLogParser::Feed(const LogLine& line)
{
    const std::string& text = line.text;
    std::string rest;
    if (text == "::fmDLLInit()") {
        Finish();
        current_ = DetectionReport();
        started_ = true;
    }
    if (!started_)
        return;
    current_.log.push_back(line);

    if (StartsWith(text, "::fmDLLSelectDeviceIndex(", &rest) && !ended_) {
        // Each identity block starts with the selection; the blink job selects
        // too, so a block counts only once its product type was read.
        int index = -1;
        if (!rest.empty() && rest.back() == ')' && ParseInt(rest.substr(0, rest.size() - 1), index)) {
            if (!current_.units.empty() && !current_.units.back().complete)
                current_.units.pop_back();
            DetectedUnit unit;
            unit.index = index;
            current_.units.push_back(unit);
        }
        return;
    }
    if (!ended_ && !current_.units.empty()) {
        DetectedUnit& unit = current_.units.back();
        if (StartsWith(text, "::fmGetAmplifierModelNumber() -> ", &rest))
            unit.amplifierModel = rest;
        else if (StartsWith(text, "::fmGetProductType() -> ", &rest))
            unit.complete = ParseInt(rest, unit.productType);
        else if (StartsWith(text, "::fmGetAmplifierFirmwareVersion() -> ", &rest))
            unit.firmwareVersion = rest;
        else if (StartsWith(text, "::fmGetAmplifierSerialNumber() -> ", &rest))
            unit.amplifierSerial = rest;
        else if (StartsWith(text, "::fmGetPlatformModelNumber() -> ", &rest))
            unit.platformModel = rest;
        else if (StartsWith(text, "::fmGetPlatformSerialNumber() -> ", &rest))
            unit.platformSerial = rest;
        else if (StartsWith(text, "::fmGetPlatformXYZOffsets() -> ", &rest))
            ParseTriple(rest, unit.origin);
        else if (StartsWith(text, "::fmGetPlatformLengthAndWidth() -> ", &rest)) {
            // "%s, %s": a length text holding ", " itself cannot be told apart; the last one splits.
            const std::size_t comma = rest.rfind(", ");
            unit.length = comma == std::string::npos ? rest : rest.substr(0, comma);
            unit.width = comma == std::string::npos ? std::string() : rest.substr(comma + 2);
        }
    }

    if (StartsWith(text, "Successful ZORVA device detection loop: ", &rest)) {
        current_.succeeded = true;
        current_.message = rest;
    } else if (StartsWith(text, "Unsuccessful ZORVA device detection loop: ", &rest)) {
        current_.succeeded = false;
        current_.message = rest;
    } else if (StartsWith(text, "Detected unsupported device type ", &rest)) {
        int type = 0;
        if (ParseInt(rest.substr(0, rest.find(',')), type))
            current_.unsupportedTypes.push_back(type);
    } else if (StartsWith(text, "Host returned ")) {
        current_.refusals.push_back(text);
    } else if (StartsWith(text, "Detected ", &rest) && LevelOf(line) == ZORVA::LogLevel::Information) {
        int count = 0;
        const std::size_t blank = rest.find(' ');
        if (blank != std::string::npos && rest.substr(blank) == " ZORVA digital devices" &&
            ParseInt(rest.substr(0, blank), count)) {
            current_.deviceCount = count;
            if (!current_.units.empty() && !current_.units.back().complete)
                current_.units.pop_back();
            ended_ = true;
        }
    }
}

void DetectionLogParser::Finish()
{
    if (!ended_)
        return;
    finished_.push_back(current_);
    current_ = DetectionReport();
    started_ = false;
    ended_ = false;
}

std::vector<DetectionReport> DetectionLogParser::TakeReports()
{
    std::vector<DetectionReport> reports(finished_.begin(), finished_.end());
    finished_.clear();
    return reports;
}

} // namespace zorvahost
